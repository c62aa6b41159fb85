#include "shell/shell.h"
#include "base/base.h"
#include <strsafe.h>

/* The version checks of a copy come as bits beside the notification. */
#define VERSION_NOTIFICATIONS (SPFILENOTIFY_LANGMISMATCH | SPFILENOTIFY_TARGETEXISTS | \
                               SPFILENOTIFY_TARGETNEWER)

/* The source a disk prompt asks for; 0 when the path does not fit. */
static int SourceOf(const SOURCE_MEDIA_A *media, char *path, size_t chars)
{
    size_t length = lstrlenA(media->SourcePath);
    const char *separator = length && media->SourcePath[length - 1] == '\\' ? "" : "\\";

    return SUCCEEDED(StringCchPrintfA(path, chars, "%s%s%s", media->SourcePath, separator,
                                      media->SourceFile));
}

void LogQueueNotification(UINT notification, UINT_PTR param1, UINT answer)
{
    const FILEPATHS_A *paths = (const FILEPATHS_A *)param1;
    const SOURCE_MEDIA_A *media = (const SOURCE_MEDIA_A *)param1;

    /* Without a log nothing of the notification is read: a run without /log
     * costs no more than it did before the log existed. A plan makes none of
     * the operations, so there is no outcome to tell. */
    if (!LogIsOpen() || Planning())
        return;
    /* A person (SetupAPI's dialog) may let the copy go ahead where a quiet run
     * keeps the target: the line tells the answer given. */
    if (notification & VERSION_NOTIFICATIONS) {
        const char *target = notification & SPFILENOTIFY_TARGETNEWER ? "newer"
                             : notification & SPFILENOTIFY_LANGMISMATCH ? "other-language"
                                                                        : "existing";
        LogLine(answer ? "copy replaces %s target %s" : "copy kept %s target %s", target,
                paths->Target);
        return;
    }
    switch (notification) {
    case SPFILENOTIFY_ENDCOPY:
        if (paths->Win32Error == NO_ERROR)
            LogLine("copied %s -> %s", paths->Source, paths->Target);
        break;
    case SPFILENOTIFY_COPYERROR:
        LogLine("copy failed %s -> %s: %s", paths->Source, paths->Target,
                LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_ENDDELETE:
        if (paths->Win32Error == NO_ERROR)
            LogLine("deleted %s", paths->Target);
        break;
    case SPFILENOTIFY_DELETEERROR:
        LogLine("delete skipped %s: %s", paths->Target, LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_RENAMEERROR:
        LogLine("rename failed %s -> %s: %s", paths->Source, paths->Target,
                LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_NEEDMEDIA: {
        char path[MAX_PATH * 2];
        if (SourceOf(media, path, ARRAYSIZE(path)))
            LogLine("source needed %s", path);
        break;
    }
    }
}

static int SourceExists(const char *path)
{
    DWORD attributes;

    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* The file a copy takes as its source, looked for as SetupAPI on Windows looks
 * for it: the name itself, then its compressed forms, the last character
 * replaced by '_', then by '$' (a name that ends in '_' is already one). The
 * path found goes to `found`; 0 when there is none, 2 when a compressed form
 * was found, 1 for the name itself. */
static int FindSource(const char *path, char *found, size_t chars)
{
    static const char compressedMarks[] = { '_', '$' };
    size_t length;

    if (FAILED(StringCchCopyA(found, chars, path)) ||
        FAILED(StringCchLengthA(found, chars, &length)) || !length)
        return 0;
    if (SourceExists(found))
        return 1;
    const char last = found[length - 1];
    if (last != '_' && last != '\\')
        for (size_t i = 0; i < ARRAYSIZE(compressedMarks); i++) {
            found[length - 1] = compressedMarks[i];
            if (SourceExists(found))
                return 2;
        }
    found[length - 1] = last;
    return 0;
}

UINT QuietQueueAnswer(UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    if (notification & VERSION_NOTIFICATIONS)
        return FALSE;
    switch (notification) {
    case SPFILENOTIFY_STARTQUEUE:
    case SPFILENOTIFY_STARTSUBQUEUE:
        return TRUE;
    case SPFILENOTIFY_STARTCOPY:
    case SPFILENOTIFY_STARTDELETE:
    case SPFILENOTIFY_STARTRENAME:
        return FILEOP_DOIT;
    case SPFILENOTIFY_NEEDMEDIA:
        /* The medium is the folder the setup runs from: nobody can insert
         * another disk, so a file that is not there ends the run. A file found
         * only in its compressed form is there for SetupAPI on Windows, which
         * looks for it and expands it on the retry; the answer cannot name it
         * (FILEOP_NEWPATH gives a folder, not a file). */
    {
        char path[MAX_PATH * 2], found[MAX_PATH * 2];
        int source = 0;
        if (SourceOf((const SOURCE_MEDIA_A *)param1, path, ARRAYSIZE(path)))
            source = FindSource(path, found, ARRAYSIZE(found));
        if (source == 2)
            LogLine("source %s found compressed: %s", path, found);
        if (source)
            return FILEOP_DOIT;
        LogLine("source missing %s", path);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FILEOP_ABORT;
    }
    case SPFILENOTIFY_DELETEERROR:
        return FILEOP_SKIP;
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_RENAMEERROR:
        SetLastError(((const FILEPATHS_A *)param1)->Win32Error);
        return FILEOP_ABORT;
    }
    return 0;
}

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

static void JournalTarget(const char *target)
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

struct QueueScan {
    int seen;
    int missing;
    ULONGLONG bytes;
};

static UINT CALLBACK ActQueuedCopy(PVOID context, UINT notification, UINT_PTR param1,
                                   UINT_PTR param2)
{
    QueueScan *scan = (QueueScan *)context;
    WIN32_FILE_ATTRIBUTE_DATA source;
    char found[MAX_PATH * 2];

    scan->seen++;
    if (notification == SPFILENOTIFY_QUEUESCAN_EX) {
        const FILEPATHS_A *paths = (const FILEPATHS_A *)param1;
        JournalTarget(paths->Target);
        int kind = FindSource(paths->Source, found, ARRAYSIZE(found));
        if (kind && GetFileAttributesExA(found, GetFileExInfoStandard, &source)) {
            Act(kind == 2 ? "copy %s -> %s (%lu bytes, compressed)" : "copy %s -> %s (%lu bytes)",
                found, paths->Target, (unsigned long)source.nFileSizeLow);
            scan->bytes += ((ULONGLONG)source.nFileSizeHigh << 32) | source.nFileSizeLow;
        } else {
            Act("copy %s -> %s (source missing)", paths->Source, paths->Target);
            scan->missing++;
        }
    } else if (notification == SPFILENOTIFY_QUEUESCAN) {
        JournalTarget((const char *)param1);
        Act("copy -> %s", (const char *)param1);
    }
    return NO_ERROR;
}

int ActQueuedCopies(HSPFILEQ queue, int *missing, DWORD *kilobytes)
{
    DWORD result = 0;
    QueueScan scan = { 0, 0, 0 };

    /* NT 4 knows only the scan that names the target. The scan's own result is
     * not trusted (Wine reports a complete scan as failed); what it delivered
     * is. It runs without a log too: the sizes are the installed size. */
    SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACKEX, NULL, ActQueuedCopy, &scan, &result);
    if (!scan.seen)
        SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACK, NULL, ActQueuedCopy, &scan, &result);
    *missing = scan.missing;
    ULONGLONG kb = (scan.bytes + 1023) / 1024;
    *kilobytes = kb > MAXDWORD ? MAXDWORD : (DWORD)kb;
    return !Planning();
}

/* The section's next line with this key: SetupAPI applies the lists of every
 * line of a key (AddReg = A, then AddReg = B), not only the first one's. */
static BOOL FindNextKeyLine(INFCONTEXT *line, const char *key)
{
    char name[NAME_CHARS];

    while (SetupFindNextLine(line, line))
        if (SetupGetStringFieldA(line, 0, name, sizeof(name), NULL) && lstrcmpiA(name, key) == 0)
            return TRUE;
    return FALSE;
}

/* A RenFiles line names the new name first, then the old one. */
static void ActFileLists(HINF inf, const char *section, const char *key, int renames)
{
    char name[NAME_CHARS], folder[MAX_PATH], file[MAX_PATH], old[MAX_PATH];
    INFCONTEXT list, line;

    if (!SetupFindFirstLineA(inf, section, key, &list))
        return;
    do {
        for (DWORD field = 1; SetupGetStringFieldA(&list, field, name, sizeof(name), NULL); field++) {
            if (!SetupGetTargetPathA(inf, NULL, name, folder, sizeof(folder), NULL) ||
                !SetupFindFirstLineA(inf, name, NULL, &line))
                continue;
            do {
                if (!SetupGetStringFieldA(&line, 1, file, sizeof(file), NULL))
                    continue;
                if (!renames)
                    Act("delete %s\\%s", folder, file);
                else if (SetupGetStringFieldA(&line, 2, old, sizeof(old), NULL))
                    Act("rename %s\\%s -> %s\\%s", folder, old, folder, file);
            } while (SetupFindNextLine(&line, &line));
        }
    } while (FindNextKeyLine(&list, key));
}

void ActSectionFiles(HINF inf, const char *section)
{
    ActFileLists(inf, section, "DelFiles", 0);
    ActFileLists(inf, section, "RenFiles", 1);
}

/* A registry line's root, key and value as they stand before the section
 * applies it. A line without a value name makes or deletes a key: a key it
 * makes is deleted again; a key tree it deletes is not kept. Relative roots
 * (HKR) have no meaning outside a device's section. */
static void JournalRegistryLine(INFCONTEXT *line)
{
    static const struct {
        const char *name;
        HKEY root;
    } roots[] = { { "HKLM", HKEY_LOCAL_MACHINE }, { "HKCU", HKEY_CURRENT_USER },
                  { "HKCR", HKEY_CLASSES_ROOT },  { "HKU", HKEY_USERS } };
    char root[8], subKey[MAX_PATH], value[MAX_PATH];

    if (!SetupGetStringFieldA(line, 1, root, sizeof(root), NULL) ||
        !SetupGetStringFieldA(line, 2, subKey, sizeof(subKey), NULL))
        return;
    for (size_t i = 0; i < ARRAYSIZE(roots); i++) {
        if (lstrcmpiA(root, roots[i].name) != 0)
            continue;
        if (SetupGetStringFieldA(line, 3, value, sizeof(value), NULL))
            JournalValue(roots[i].root, roots[i].name, subKey, value);
        else
            JournalKeys(roots[i].root, roots[i].name, subKey);
    }
}

/* Each line of the lists that the section's entry `key` names, as the file
 * writes it. */
static void ActLists(HINF inf, const char *section, const char *key, const char *change,
                     int registry)
{
    char name[NAME_CHARS], text[TEXT_CHARS];
    INFCONTEXT list, line;

    if (!SetupFindFirstLineA(inf, section, key, &list))
        return;
    do {
        for (DWORD field = 1; SetupGetStringFieldA(&list, field, name, sizeof(name), NULL); field++) {
            if (!SetupFindFirstLineA(inf, name, NULL, &line))
                continue;
            do {
                if (registry && Journaling())
                    JournalRegistryLine(&line);
                if (SetupGetLineTextA(&line, NULL, NULL, NULL, text, sizeof(text), NULL))
                    Act("%s %s (section %s)", change, text, section);
            } while (SetupFindNextLine(&line, &line));
        }
    } while (FindNextKeyLine(&list, key));
}

/* In the order SetupAPI applies them: INI files, then registry deletions, then
 * additions. */
int ActSection(HINF inf, const char *section, UINT parts)
{
    if (parts & SPINST_INIFILES) {
        ActLists(inf, section, "UpdateInis", "ini update", 0);
        ActLists(inf, section, "UpdateIniFields", "ini fields update", 0);
    }
    if (parts & SPINST_REGISTRY) {
        ActLists(inf, section, "DelReg", "registry delete", 1);
        ActLists(inf, section, "AddReg", "registry add", 1);
    }
    return !Planning();
}
