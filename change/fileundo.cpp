#include "change/change.h"
#include <strsafe.h>

#define PENDING_KEY "SYSTEM\\CurrentControlSet\\Control\\Session Manager"
#define PENDING_VALUE "PendingFileRenameOperations"

/* ---- a file the run writes: its earlier content, or its absence ---- */

struct FileUndo {
    char target[MAX_PATH];
    char backup[MAX_PATH]; /* "" when there was no target */
    FileDigest digest;     /* the backup's, when it was made */
};

static int backupCount;

static int Gone(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

/* A target whose content is the backup's was left as it was (a copy kept
 * it, or never came; one in use, such as a loaded monitor, cannot be written
 * anyway). Only the hash tells: size and time say nothing of a file from a
 * medium whose files all carry one time. */
static int Unchanged(const FileUndo *file)
{
    FileDigest now;

    return file->digest.algorithm &&
           DigestFile(file->target, file->digest.algorithm, &now) == NO_ERROR &&
           SameDigest(&file->digest, &now);
}

/* Only a backup of the length and hash recorded when it was made is copied
 * back. Copied, not moved, so that a restore that fails leaves the backup
 * where the log says it is. */
static DWORD RestoreBackup(const FileUndo *file)
{
    FileDigest now;
    DWORD code = DigestFile(file->backup, file->digest.algorithm, &now);
    if (code == NO_ERROR && !SameDigest(&file->digest, &now))
        code = ERROR_CRC;
    if (code == NO_ERROR && !Unchanged(file) && !CopyFileA(file->backup, file->target, FALSE))
        code = GetLastError();
    if (code == NO_ERROR)
        DeleteFileA(file->backup);
    else {
        LogLine("  backup kept: %s", file->backup);
        NoteKeptBackup();
    }
    return code;
}

static DWORD UndoFile(void *data)
{
    const FileUndo *file = (const FileUndo *)data;

    if (file->backup[0])
        return RestoreBackup(file);
    /* A step whose backup could not be made undoes nothing. */
    if (!file->target[0] || DeleteFileA(file->target))
        return NO_ERROR;
    DWORD code = GetLastError();
    return Gone(code) ? NO_ERROR : code;
}

static DWORD UndoFolder(void *data)
{
    if (RemoveDirectoryA((const char *)data))
        return NO_ERROR;
    DWORD code = GetLastError();
    return Gone(code) ? NO_ERROR : code;
}

void JournalFolder(const char *path)
{
    char *copy = (char *)Journal(StepFolder, MAX_PATH, "folder remove %s", path);
    if (copy)
        StringCchCopyA(copy, MAX_PATH, path);
}

/* SetupAPI makes a target's missing folders during the commit: each is
 * removed again, the deepest first. */
static void JournalMissingFolders(const char *target)
{
    char path[MAX_PATH];
    size_t length;

    if (FAILED(StringCchCopyA(path, ARRAYSIZE(path), target)) ||
        (length = strlen(path)) <= 3)
        return;
    for (char *c = path + 3; *c; c++) {
        if (*c != '\\')
            continue;
        *c = '\0';
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            JournalFolder(path);
        *c = '\\';
    }
}

/* The backups are plain log lines, not action lines: they live in the
 * journal's folder and go with it, and a plan makes none. */
int JournalTarget(const char *target)
{
    DWORD attributes = GetFileAttributesA(target);
    int existed = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    DWORD code = NO_ERROR;

    if (!Journaling())
        return 1;
    JournalMissingFolders(target);
    FileUndo *file =
        (FileUndo *)Journal(StepFile, sizeof(FileUndo), existed ? "restore %s" : "delete %s", target);
    if (!file)
        return 1;
    StringCchCopyA(file->target, ARRAYSIZE(file->target), target);
    if (!existed || Planning())
        return 1;
    if (!JournalFolderPath()[0] ||
        FAILED(StringCchPrintfA(file->backup, ARRAYSIZE(file->backup), "%s\\%d",
                                JournalFolderPath(), ++backupCount)))
        code = ERROR_PATH_NOT_FOUND;
    else if (!CopyFileA(target, file->backup, TRUE))
        code = GetLastError();
    else
        code = DigestFile(file->backup, 0, &file->digest);
    LogLine("backup %s -> %s: %s", target, file->backup, LogStatus(code));
    /* Without its backup the step cannot undo: its undo would delete the
     * earlier file. It undoes nothing, and the change is not made. */
    if (code != NO_ERROR) {
        file->backup[0] = '\0';
        file->target[0] = '\0';
        SetLastError(code);
        return 0;
    }
    return 1;
}

/* ---- the entries a folder or file had before the run replaced them ---- */

struct EntriesUndo {
    char path[MAX_PATH];
    DWORD bytes;
};

static DWORD UndoEntries(void *data)
{
    EntriesUndo *undo = (EntriesUndo *)data;
    if (!undo->path[0])
        return NO_ERROR;
    return SetFileSecurityA(undo->path, DACL_SECURITY_INFORMATION, (PSECURITY_DESCRIPTOR)(undo + 1))
               ? NO_ERROR
               : GetLastError();
}

int JournalFileEntries(const char *path)
{
    DWORD needed = 0;

    GetFileSecurityA(path, DACL_SECURITY_INFORMATION, NULL, 0, &needed);
    if (!needed)
        return 0;
    EntriesUndo *undo = (EntriesUndo *)Journal(StepFileEntries, sizeof(EntriesUndo) + needed,
                                               "permissions of %s back", path);
    /* The path goes in last: an undo without one has nothing to put back. */
    if (undo && (!GetFileSecurityA(path, DACL_SECURITY_INFORMATION, undo + 1, needed, &needed) ||
                 FAILED(StringCchCopyA(undo->path, ARRAYSIZE(undo->path), path)))) {
        undo->path[0] = '\0';
        return 0;
    }
    return 1;
}

/* ---- a copy deferred to the restart ---- */

/* The rename's target as the session manager keeps it: "\??\" and, for one
 * that replaces, a leading '!'. */
static int SameTarget(const char *pending, const char *target)
{
    if (*pending == '!')
        pending++;
    if (pending[0] == '\\' && pending[1] == '?' && pending[2] == '?' && pending[3] == '\\')
        pending += 4;
    return lstrcmpiA(pending, target) == 0;
}

/* Every rename pending onto the target goes, with the temporary file it
 * would move; the renames of others stay as they are. */
static DWORD UndoDelayedCopy(void *data)
{
    const char *target = (const char *)data;
    HKEY key;
    DWORD type = 0, bytes = 0, code;

    code = (DWORD)RegOpenKeyExA(HKEY_LOCAL_MACHINE, PENDING_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                &key);
    if (code != ERROR_SUCCESS)
        return code;
    char *list = NULL;
    code = (DWORD)RegQueryValueExA(key, PENDING_VALUE, NULL, &type, NULL, &bytes);
    if (code == ERROR_SUCCESS && (list = (char *)AllocateMemory(bytes + 2)) != NULL)
        code = (DWORD)RegQueryValueExA(key, PENDING_VALUE, NULL, &type, (BYTE *)list, &bytes);
    if (code == ERROR_SUCCESS && list) {
        char *kept = list;
        for (char *from = list; *from && from < list + bytes;) {
            char *to = from + strlen(from) + 1;
            char *next = to + strlen(to) + 1;
            DWORD pair = (DWORD)(next - from);
            if (SameTarget(to, target)) {
                DeleteFileA(from[0] == '\\' && from[1] == '?' ? from + 4 : from);
            } else {
                MoveMemory(kept, from, pair);
                kept += pair;
            }
            from = next;
        }
        *kept = '\0';
        code = kept == list ? (DWORD)RegDeleteValueA(key, PENDING_VALUE)
                            : (DWORD)RegSetValueExA(key, PENDING_VALUE, 0, type, (BYTE *)list,
                                                    (DWORD)(kept - list) + 1);
    }
    if (Gone(code))
        code = NO_ERROR;
    if (list)
        FreeMemory(list);
    RegCloseKey(key);
    return code;
}

/* Reported after SetupAPI has made it: written through at once. */
void JournalDelayedCopy(const char *target)
{
    char *copy = (char *)Journal(StepDelayedCopy, MAX_PATH, "cancel the copy of %s at the restart",
                                 target);
    if (copy)
        StringCchCopyA(copy, MAX_PATH, target);
    SyncJournal();
}

/* ---- the checks of a journal read back ---- */

/* A path field ended within MAX_PATH, on a drive, and the one its line
 * names: `format` is the line's, with the path's %s. */
static const char *CheckPath(const char *path, const char *format, const char *line)
{
    if (!FieldText(path, MAX_PATH) || !DrivePath(path))
        return "its path is not ended or not on a drive";
    return LineIs(line, format, path) ? NULL : KX_STEP_OTHER_LINE;
}

static const char *CheckFolder(const void *data, DWORD bytes, const char *line)
{
    return bytes < MAX_PATH ? KX_STEP_SHORT : CheckPath((const char *)data, "folder remove %s", line);
}

static const char *CheckDelayedCopy(const void *data, DWORD bytes, const char *line)
{
    return bytes < MAX_PATH ? KX_STEP_SHORT
                            : CheckPath((const char *)data, "cancel the copy of %s at the restart", line);
}

/* The backup a run made is "<journal folder>\<number>": nothing else is
 * copied over a target. */
static int OwnBackup(const char *backup)
{
    const char *folder = JournalFolderPath();
    int length = (int)strlen(folder);

    if (!length || CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, backup, length, folder,
                                  length) != CSTR_EQUAL ||
        backup[length] != '\\' || !backup[length + 1])
        return 0;
    for (const char *c = backup + length + 1; *c; c++)
        if (*c < '0' || *c > '9')
            return 0;
    return 1;
}

static const char *CheckFile(const void *data, DWORD bytes, const char *line)
{
    const FileUndo *file = (const FileUndo *)data;
    const FileDigest *digest = &file->digest;

    if (bytes < sizeof(FileUndo))
        return KX_STEP_SHORT;
    if (!FieldText(file->backup, MAX_PATH) || !FieldText(file->target, MAX_PATH))
        return KX_STEP_UNENDED;
    /* Its backup could not be made: it undoes nothing. */
    if (!file->target[0])
        return file->backup[0] ? "it has a backup but no target" : NULL;
    if (file->backup[0] && !OwnBackup(file->backup))
        return "its backup is not one of the journal's folder";
    DWORD hashBytes = digest->algorithm == CALG_SHA_256 ? 32 : digest->algorithm == CALG_SHA1 ? 20 : 0;
    if ((digest->algorithm && !hashBytes) || digest->bytes != hashBytes)
        return "its hash is not one the program takes";
    return CheckPath(file->target, file->backup[0] ? "restore %s" : "delete %s", line);
}

static const char *CheckEntries(const void *data, DWORD bytes, const char *line)
{
    const EntriesUndo *undo = (const EntriesUndo *)data;

    if (bytes < sizeof(EntriesUndo) || !FieldText(undo->path, MAX_PATH))
        return KX_STEP_SHORT;
    if (!undo->path[0])
        return NULL;
    if (!DescriptorFits(undo + 1, bytes - (DWORD)sizeof(EntriesUndo)))
        return KX_STEP_SHORT;
    return CheckPath(undo->path, "permissions of %s back", line);
}

void DefineFileUndo(void)
{
    DefineUndo(StepFolder, UndoFolder, CheckFolder);
    DefineUndo(StepFile, UndoFile, CheckFile);
    DefineUndo(StepDelayedCopy, UndoDelayedCopy, CheckDelayedCopy);
    DefineUndo(StepFileEntries, UndoEntries, CheckEntries);
}

void ResetFileUndo(void)
{
    backupCount = 0;
}

int DeleteJournaled(const char *path, const char *why)
{
    if (!JournalTarget(path))
        return -1;
    if (!Act("delete %s: %s", path, why))
        return 1;
    BOOL deleted = DeleteFileA(path);
    ActDone(deleted, StatusOf(deleted));
    return deleted;
}
