#include "wizard/wizard.h"
#include "base/base.h"
#include "runtime/runtime.h"
#include <shlobj.h>
#include <strsafe.h>

#define SHELL_NAME_BYTES 260

/* shell32 is loaded, from the system folder, only when a browse button is
 * pressed: most runs never browse, and the shell is the largest DLL the program
 * uses. Its calls go through these import slots, filled then; a slot that is
 * already filled is kept. */
#define SHELL_IMPORTS(X) \
    X(SHBrowseForFolderA, 4) \
    X(SHGetDesktopFolder, 4) \
    X(SHGetMalloc, 4) \
    X(SHGetPathFromIDListA, 8) \
    X(SHGetSpecialFolderLocation, 12)
#define DEFINE_SLOT(name, argumentBytes) \
    KX_KEPT FARPROC name##Slot __asm__(KX_IMPORT_SLOT(name, argumentBytes)) = NULL;
#define SLOT_ENTRY(name, argumentBytes) { &name##Slot, #name },

SHELL_IMPORTS(DEFINE_SLOT)

static const struct {
    FARPROC *slot;
    const char *name;
} shellImports[] = { SHELL_IMPORTS(SLOT_ENTRY) };

/* 1 when every slot is filled. Kept for the life of the process once loaded. */
static int LoadShell(void)
{
    static HMODULE shell;
    char path[MAX_PATH];

    if (!shell && !(shell = LoadSystemLibrary("\\shell32.dll", path, ARRAYSIZE(path))))
        return 0;
    for (size_t i = 0; i < ARRAYSIZE(shellImports); i++)
        if (!*shellImports[i].slot && !(*shellImports[i].slot = GetProcAddress(shell, shellImports[i].name)))
            return 0;
    return 1;
}

/* A network printer is no file-system object: its \\server\printer name is the
 * item's parsing name, which the desktop folder gives for any item. */
static int ParsingName(IMalloc *allocator, LPCITEMIDLIST item, char *name, size_t nameChars)
{
    IShellFolder *desktop = NULL;
    STRRET text;
    int found = 0;

    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop)
        return 0;
    if (SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &text))) {
        switch (text.uType) {
        case STRRET_WSTR:
            found = text.pOleStr && WideCharToMultiByte(CP_ACP, 0, text.pOleStr, -1, name,
                                                        (int)nameChars, NULL, NULL) > 0;
            allocator->Free(text.pOleStr);
            break;
        case STRRET_OFFSET:
            found = SUCCEEDED(StringCchCopyA(name, nameChars, (const char *)item + text.uOffset));
            break;
        case STRRET_CSTR:
            found = SUCCEEDED(StringCchCopyA(name, nameChars, text.cStr));
            break;
        }
    }
    desktop->Release();
    return found && name[0];
}

ShellBrowseResult ShellBrowse(SetupStateRecord *state, HWND owner, int rootFolder,
                              const char *title, UINT flags, char *path, size_t pathChars)
{
    ShellBrowseResult result = SHELL_BROWSE_FAILED;
    char *name;
    LPITEMIDLIST root = NULL, chosen;
    BROWSEINFOA info;

    if (!LoadShell() || FAILED(SHGetMalloc(&state->shellAllocator)) || !state->shellAllocator) {
        state->shellAllocator = NULL;
        return SHELL_BROWSE_FAILED;
    }
    name = (char *)state->shellAllocator->Alloc(SHELL_NAME_BYTES);
    if (name && SUCCEEDED(SHGetSpecialFolderLocation(owner, rootFolder, &root)) && root) {
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
            /* Only the printer browser takes an item without a file-system path. */
            if (SHGetPathFromIDListA(chosen, name) ||
                ((flags & BIF_BROWSEFORPRINTER) &&
                 ParsingName(state->shellAllocator, chosen, name, SHELL_NAME_BYTES))) {
                StringCchCopyA(path, pathChars, name);
                result = SHELL_BROWSE_CHOSEN;
            }
            state->shellAllocator->Free(chosen);
        } else {
            result = SHELL_BROWSE_CANCELLED;
        }
    }
    /* The one release point: what the allocator handed out, then the allocator. */
    state->shellAllocator->Free(root);
    state->shellAllocator->Free(name);
    state->shellAllocator->Release();
    state->shellAllocator = NULL;
    return result;
}
