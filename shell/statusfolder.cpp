#include "shell/shell.h"
#include "base/base.h"
#include <strsafe.h>

static int MakeFolder(const char *path, SECURITY_ATTRIBUTES *attributes)
{
    DWORD code;
    BOOL made;

    if (!Act("folder create %s (administrators and system only)", path)) {
        JournalFolder(path);
        return 1;
    }
    made = CreateDirectoryA(path, attributes);
    code = made ? 0 : GetLastError();
    /* A file system without security refuses the descriptor: such a folder is
     * open to everybody whatever the program asks for. */
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_SECURITY_DESCR) {
        made = CreateDirectoryA(path, NULL);
        code = made ? 0 : GetLastError();
    }
    ActDone(made, code);
    /* Only a folder this run made is removed again, never one that was there. */
    if (made)
        JournalFolder(path);
    SetLastError(code);
    return made;
}

int CheckStatusFolder(const char *folder, const char *caption)
{
    const char *why;
    int verdict = JudgeFolderTrust(folder, NULL, &why);

    if (verdict == FolderUntrusted)
        KxMessageBox(NULL, why, caption, MB_OK);
    return verdict;
}

int CreateStatusFolder(const char *folder)
{
    /* Administrators and the system may change the folder; users may only read
     * and run what is in it, so that nobody else can put a program or a DLL
     * there for the administrator's next run (the uninstall starts from it). */
    AdminSecurity security;
    char path[STATUSDIR_CHARS];
    const char *why = NULL;
    size_t standing;
    char *cut, kept;
    DWORD code = 0;

    switch (JudgeFolderTrust(folder, &standing, &why)) {
    case FolderTrusted:
        return 1;
    case FolderUntrusted:
        KxMessageBox(NULL, why, KX_CAPTION_INSTALL_ERROR, MB_OK);
        return 0;
    }
    if (FAILED(StringCchCopyA(path, ARRAYSIZE(path), folder)) ||
        !BuildAdminSecurity(&security, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) {
        ShowSystemError(GetLastError(), KX_CAPTION_SYSTEM_ERROR);
        return 0;
    }
    /* Each missing folder on the way down, the status folder last. One that
     * has appeared since it was judged is judged again as it now stands. */
    for (cut = path + (standing > 3 ? standing + 1 : 3);; cut++) {
        if (*cut != '\\' && *cut != '\0')
            continue;
        kept = *cut;
        *cut = '\0';
        if (!MakeFolder(path, &security.attributes)) {
            code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS || JudgeFolderTrust(path, NULL, &why) != FolderTrusted)
                break;
        }
        *cut = kept;
        if (!kept)
            return 1;
    }
    if (why)
        KxMessageBox(NULL, why, KX_CAPTION_INSTALL_ERROR, MB_OK);
    else
        ShowSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 0;
}
