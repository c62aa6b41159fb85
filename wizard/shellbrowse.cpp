#include "wizard/wizard.h"
#include <shlobj.h>
#include <strsafe.h>

#define SHELL_NAME_BYTES 260

ShellBrowseResult ShellBrowse(HWND owner, int rootFolder, const char *title, UINT flags,
                              char *path, size_t pathChars)
{
    ShellBrowseResult result = SHELL_BROWSE_FAILED;
    char *name;
    LPITEMIDLIST root = NULL, chosen;
    BROWSEINFOA info;

    /* The shell's task allocator is a process-wide object; the global keeps the
     * reference for the rest of the run. */
    if (FAILED(SHGetMalloc(&shellAllocator)) || !shellAllocator)
        return SHELL_BROWSE_FAILED;
    name = (char *)shellAllocator->Alloc(SHELL_NAME_BYTES);
    if (!name)
        return SHELL_BROWSE_FAILED;
    if (FAILED(SHGetSpecialFolderLocation(owner, rootFolder, &root)) || !root) {
        shellAllocator->Free(name);
        return SHELL_BROWSE_FAILED;
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
        if (SHGetPathFromIDListA(chosen, name)) {
            StringCchCopyA(path, pathChars, name);
            result = SHELL_BROWSE_CHOSEN;
        }
        shellAllocator->Free(chosen);
    } else {
        result = SHELL_BROWSE_CANCELLED;
    }
    shellAllocator->Free(root);
    shellAllocator->Free(name);
    return result;
}
