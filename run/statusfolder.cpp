#include "run/run.h"
#include "change/change.h"
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
    code = StatusOf(made);
    /* A file system without security refuses the descriptor: such a folder is
     * open to everybody whatever the program asks for. */
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_SECURITY_DESCR) {
        made = CreateDirectoryA(path, NULL);
        code = StatusOf(made);
    }
    ActDone(made, code);
    /* Only a folder this run made is removed again, never one that was there. */
    if (made)
        JournalFolder(path);
    SetLastError(code);
    return made;
}

/* One folder or file given the administrators' entries, its own entries kept
 * for the undo (a plan too keeps them, to list the undo). Entries that cannot
 * be read for the undo are not replaced. */
static int ProtectEntry(const char *path, SECURITY_DESCRIPTOR *protection)
{
    BOOL set;

    if (!JournalFileEntries(path))
        return 0;
    if (!Act("permissions of %s: administrators and system only", path))
        return 1;
    set = SetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, protection);
    ActDone(set, StatusOf(set));
    return set;
}

/* A file in a folder that others could change is not made anybody's own:
 * another account could have written it (a kxsetup.exe of a higher version,
 * which SetupAPI would keep over the medium's and the uninstall would
 * start). It is taken away, kept for the undo, and the run copies the
 * medium's own. */
static int RemoveUnjudgedFile(const char *path)
{
    return DeleteJournaled(path, "another account could have written it") > 0;
}

/* A folder whose owner is trusted but whose entries let others in (an earlier
 * release's C:\STATUS, which inherited a drive root's entries) is made the
 * administrators' own before anything is copied into it, and emptied of the
 * files others could have written there. */
static int ProtectStatusFolder(const char *folder, SECURITY_DESCRIPTOR *protection,
                               const char **why)
{
    WIN32_FIND_DATAA found;
    char path[MAX_PATH];
    HANDLE search;
    int removedAll;

    *why = NULL;
    if (FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\*", folder)) ||
        !ProtectEntry(folder, protection))
        return 0;
    /* Judged again once nobody else may add to it: what was placed there
     * since the first judgement (another's file, a hard link) is refused
     * before anything in it is touched. */
    if (JudgeFolderTrust(folder, NULL, why) == FolderUntrusted) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    *why = NULL;
    search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 1;
    removedAll = 1;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        removedAll = SUCCEEDED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%s", folder,
                                                found.cFileName)) &&
                     RemoveUnjudgedFile(path);
    } while (removedAll && FindNextFileA(search, &found));
    FindClose(search);
    return removedAll;
}

int CheckStatusFolder(const char *folder, const char *caption)
{
    const char *why;
    int verdict = JudgeFolderTrust(folder, NULL, &why);

    if (verdict == FolderUntrusted)
        KxMessageBox(NULL, why, caption, MB_OK);
    return verdict;
}

/* Each missing folder of `path` below the `standing` part, the status folder
 * last. One that has appeared since it was judged is judged again as it now
 * stands. 0 after the box. */
static int MakeMissingFolders(char *path, size_t standing, AdminSecurity *security)
{
    const char *why = NULL;
    DWORD code = 0;

    for (char *cut = path + (standing > 3 ? standing + 1 : 3);; cut++) {
        if (*cut != '\\' && *cut != '\0')
            continue;
        char kept = *cut;
        *cut = '\0';
        if (!MakeFolder(path, &security->attributes)) {
            code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS)
                break;
            int again = JudgeFolderTrust(path, NULL, &why);
            if (again == FolderUntrusted || (again == FolderRepairable &&
                                             !ProtectStatusFolder(path, &security->descriptor, &why))) {
                code = GetLastError();
                break;
            }
            why = NULL;
        }
        *cut = kept;
        if (!kept)
            return 1;
    }
    if (why)
        KeepBox(why, KX_CAPTION_INSTALL_ERROR);
    else
        KeepSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 0;
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

    if (!BuildAdminSecurity(&security, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) {
        KeepSystemError(GetLastError(), KX_CAPTION_SYSTEM_ERROR);
        return 0;
    }
    switch (JudgeFolderTrust(folder, &standing, &why)) {
    case FolderTrusted:
        return 1;
    case FolderRepairable:
        if (ProtectStatusFolder(folder, &security.descriptor, &why))
            return 1;
        if (why)
            KeepBox(why, KX_CAPTION_INSTALL_ERROR);
        else
            KeepSystemError(GetLastError(), KX_CAPTION_SYSTEM_ERROR);
        return 0;
    case FolderUntrusted:
        KeepBox(why, KX_CAPTION_INSTALL_ERROR);
        return 0;
    }
    if (FAILED(StringCchCopyA(path, ARRAYSIZE(path), folder))) {
        KeepSystemError(ERROR_BUFFER_OVERFLOW, KX_CAPTION_SYSTEM_ERROR);
        return 0;
    }
    return MakeMissingFolders(path, standing, &security);
}

HANDLE HoldFolder(const char *folder)
{
    BY_HANDLE_FILE_INFORMATION information;
    /* An open for attributes alone takes no part in the sharing rules. The
     * link itself is opened, never where it points (NT 4, which has no links,
     * ignores the flag). */
    HANDLE held = CreateFileA(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);

    if (held == INVALID_HANDLE_VALUE)
        return NULL;
    if (!GetFileInformationByHandle(held, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(held);
        return NULL;
    }
    return held;
}

/* The files this run copied into its status folder, where the earlier
 * installation's folder holds them under the same name: the run's copies
 * replace them. Deleted while the folder is held, each kept for the undo. */
int RemoveEarlierFiles(const char *earlier, const char *folder, const char *targets)
{
    char path[MAX_PATH];
    const char *why;
    int removed = 1;
    HANDLE held = HoldFolder(earlier);

    /* One that cannot be held, or that another account owns, is left as it is. */
    if (!held || JudgeHeldFolder(earlier, &why) == FolderUntrusted) {
        if (held)
            CloseHandle(held);
        return 1;
    }
    size_t length = (size_t)strlen(folder);
    for (const char *target = targets; removed && *target; target += strlen(target) + 1) {
        if (!IsInsideFolder(target, folder) ||
            FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", earlier, target + length)) ||
            GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            continue;
        removed = DeleteJournaled(path, "the earlier installation's") > 0;
    }
    CloseHandle(held);
    return removed;
}

void RemoveEarlierFolder(const char *earlier)
{
    if (Act("folder remove %s: the earlier installation's", earlier)) {
        BOOL removed = RemoveDirectoryA(earlier);
        ActDone(removed, StatusOf(removed));
    }
}
