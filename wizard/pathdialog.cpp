#include "wizard/wizard.h"
#include "resources/resource.h"
#include <shlobj.h>
#include <strsafe.h>

#define SHELL_NAME_BYTES 260
/* The field is read as a path: 259 characters and the terminator. */
#define INPUT_PATH_READ 260

void BrowseForFolder(HWND owner, int rootFolder, const char *title, UINT flags)
{
    char *name;
    LPITEMIDLIST root = NULL, chosen;
    BROWSEINFOA info;

    /* The shell's task allocator is a process-wide object; the global keeps the
     * reference for the rest of the run. */
    if (FAILED(SHGetMalloc(&shellAllocator)) || !shellAllocator)
        return;
    name = (char *)shellAllocator->Alloc(SHELL_NAME_BYTES);
    if (!name)
        return;
    if (FAILED(SHGetSpecialFolderLocation(owner, rootFolder, &root)) || !root) {
        shellAllocator->Free(name);
        return;
    }
    ZeroMemory(&info, sizeof(info));
    info.hwndOwner = owner;
    info.pidlRoot = root;
    info.pszDisplayName = name;
    info.lpszTitle = title;
    info.ulFlags = flags;
    info.lpfn = NULL;
    info.lParam = 0;
    chosen = SHBrowseForFolderA(&info);
    if (chosen) {
        if (SHGetPathFromIDListA(chosen, name))
            StringCchCopyA(inputPath, ARRAYSIZE(inputPath), name);
        shellAllocator->Free(chosen);
    } else {
        inputPath[0] = '\0';
    }
    shellAllocator->Free(root);
    shellAllocator->Free(name);
}

INT_PTR CALLBACK InputPathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        switch (wParam) {
        case IDOK:
            GetDlgItemTextA(dialog, IDC_INPUT_PATH, inputPath, INPUT_PATH_READ);
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_INPUT_BROWSE:
            BrowseForFolder(dialog, CSIDL_DESKTOP, "Input Path", BIF_RETURNONLYFSDIRS);
            if (inputPath[0])
                SendDlgItemMessageA(dialog, IDC_INPUT_PATH, WM_SETTEXT, 0, (LPARAM)inputPath);
            break;
        }
        return TRUE;
    }
    return FALSE;
}
