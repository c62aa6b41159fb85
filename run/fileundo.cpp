#include "run/run.h"
#include "base/base.h"
#include <strsafe.h>

/* ---- undo of the copies: each target's earlier content, or its absence ---- */

struct FileUndo {
    char target[MAX_PATH];
    char backup[MAX_PATH]; /* "" when there was no target */
    DWORD lost;            /* why the earlier content could not be kept aside */
};

static char backupFolder[MAX_PATH];
static int backupCount;

static int Gone(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

/* The backup keeps the target's time: a target of the same size and time was
 * left as it was (a copy kept it, or never came), and one in use, such as a
 * loaded monitor, cannot be written anyway. */
static int Unchanged(const FileUndo *file)
{
    WIN32_FILE_ATTRIBUTE_DATA target, backup;

    return GetFileAttributesExA(file->target, GetFileExInfoStandard, &target) &&
           GetFileAttributesExA(file->backup, GetFileExInfoStandard, &backup) &&
           target.nFileSizeLow == backup.nFileSizeLow &&
           target.nFileSizeHigh == backup.nFileSizeHigh &&
           CompareFileTime(&target.ftLastWriteTime, &backup.ftLastWriteTime) == 0;
}

/* Copied back, not moved, so that a restore that fails leaves the backup. */
static DWORD UndoFile(void *data)
{
    const FileUndo *file = (const FileUndo *)data;

    if (file->lost)
        return file->lost;
    if (file->backup[0])
        return Unchanged(file) || CopyFileA(file->backup, file->target, FALSE) ? NO_ERROR
                                                                                : GetLastError();
    if (DeleteFileA(file->target))
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
    char *copy = (char *)Journal(UndoFolder, MAX_PATH, "folder remove %s", path);
    if (copy)
        StringCchCopyA(copy, MAX_PATH, path);
}

/* The backups live in a folder of the system's temporary folder that only
 * administrators and the system may change, as the status folder. It is the
 * run's own scratch, gone at the end of every run, so its lines are plain log
 * lines: a plan makes no backup and lists none. */
static DWORD MakeBackupFolder(void)
{
    AdminSecurity security;
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(ARRAYSIZE(temp), temp);

    if (!length || length >= ARRAYSIZE(temp) ||
        FAILED(StringCchPrintfA(backupFolder, ARRAYSIZE(backupFolder), "%skxsetup-undo-%lx", temp,
                                (unsigned long)GetCurrentProcessId())))
        return ERROR_BUFFER_OVERFLOW;
    if (!BuildAdminSecurity(&security, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE))
        return GetLastError();
    BOOL made = CreateDirectoryA(backupFolder, &security.attributes);
    if (!made && GetLastError() == ERROR_NOT_SUPPORTED)
        made = CreateDirectoryA(backupFolder, NULL);
    DWORD code = made ? NO_ERROR : GetLastError();
    LogLine("backup folder %s: %s", backupFolder, LogStatus(code));
    if (!made)
        backupFolder[0] = '\0';
    return code;
}

/* SetupAPI makes a target's missing folders during the commit: each is
 * removed again, the deepest first. */
static void JournalMissingFolders(const char *target)
{
    char path[MAX_PATH];
    size_t length;

    if (FAILED(StringCchCopyA(path, ARRAYSIZE(path), target)) ||
        FAILED(StringCchLengthA(path, ARRAYSIZE(path), &length)) || length <= 3)
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

void JournalTarget(const char *target)
{
    DWORD attributes = GetFileAttributesA(target);
    int existed = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    JournalMissingFolders(target);
    FileUndo *file = (FileUndo *)Journal(UndoFile, sizeof(FileUndo),
                                         existed ? "restore %s" : "delete %s", target);

    if (!file)
        return;
    StringCchCopyA(file->target, ARRAYSIZE(file->target), target);
    if (!existed || Planning())
        return;
    if (!backupFolder[0])
        file->lost = MakeBackupFolder();
    if (file->lost)
        return;
    if (FAILED(StringCchPrintfA(file->backup, ARRAYSIZE(file->backup), "%s\\%d", backupFolder,
                                ++backupCount))) {
        file->lost = ERROR_BUFFER_OVERFLOW;
        return;
    }
    file->lost = CopyFileA(target, file->backup, FALSE) ? NO_ERROR : GetLastError();
    LogLine("backup %s -> %s: %s", target, file->backup, LogStatus(file->lost));
}

void RemoveBackups(void)
{
    char path[MAX_PATH];

    if (!backupFolder[0])
        return;
    for (int i = 1; i <= backupCount; i++)
        if (SUCCEEDED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%d", backupFolder, i)))
            DeleteFileA(path);
    LogLine("backup folder %s removed: %s", backupFolder,
            LogStatus(RemoveDirectoryA(backupFolder) ? NO_ERROR : GetLastError()));
    backupFolder[0] = '\0';
    backupCount = 0;
}
