#include "change/change.h"
#include <strsafe.h>

#define UNDO_LINE_CHARS 1024
#define JOURNAL_FILE_NAME "journal"
/* The file's first bytes: its layout, and the width of the program that wrote
 * it (a step's data holds handles of the registry's roots). */
#define JOURNAL_MAGIC_BASE 0x314A584Bu
#define JOURNAL_MAGIC (JOURNAL_MAGIC_BASE + (DWORD)sizeof(void *))
#define OTHER_WIDTH_MAGIC (JOURNAL_MAGIC_BASE + 12 - (DWORD)sizeof(void *))
#define JOURNAL_MAX_BYTES (16u << 20)

/* One step as the file holds it: its kind, then its data (a multiple of 16
 * bytes), then its line without a terminator. */
struct StepHeader {
    DWORD kind;
    DWORD dataBytes;
    DWORD lineBytes;
    DWORD reserved;
};

/* In memory the step follows its link, so that the file gets it in one write. */
struct JournalEntry {
    JournalEntry *previous;
    BYTE pad[16 - sizeof(JournalEntry *)];
    StepHeader step;
};

static JournalEntry *last;
static JournalEntry *written; /* the last step the file holds */
static int journaling;
static UndoProc undoProcs[UndoKinds];
static StepCheck stepChecks[UndoKinds];
static char folder[MAX_PATH];
static HANDLE file; /* NULL without a journal file */
static int unsynced, held, keptBackups;

static void *DataOf(JournalEntry *entry)
{
    return entry + 1;
}

static char *LineOf(JournalEntry *entry)
{
    return (char *)DataOf(entry) + entry->step.dataBytes;
}

/* Kept out of line: inlined, each of the sixteen definitions would carry its
 * own two stores. */
__attribute__((noinline)) void DefineUndo(UndoKind kind, UndoProc undo, StepCheck check)
{
    undoProcs[kind] = undo;
    stepChecks[kind] = check;
}

static void Forget(void)
{
    while (last) {
        JournalEntry *entry = last;
        last = entry->previous;
        FreeMemory(entry);
    }
    journaling = 0;
    unsynced = held = 0;
}

static int JournalPath(char *path, const char *name)
{
    return SUCCEEDED(StringCchPrintfA(path, MAX_PATH, "%s\\%s", folder, name));
}

/* The file goes first, then what is left in its folder; a folder that still
 * holds a backup is kept and named. */
static void CloseJournalFolder(int removeBackups)
{
    char path[MAX_PATH];
    WIN32_FIND_DATAA found;

    if (file)
        CloseHandle(file);
    file = NULL;
    if (!folder[0])
        return;
    if (JournalPath(path, JOURNAL_FILE_NAME))
        DeleteFileA(path);
    HANDLE search = removeBackups && JournalPath(path, "*") ? FindFirstFileA(path, &found)
                                                             : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                JournalPath(path, found.cFileName))
                DeleteFileA(path);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    DWORD code = StatusOf(RemoveDirectoryA(folder));
    if (code == ERROR_DIR_NOT_EMPTY)
        LogLine("backups kept in %s", folder);
    else
        LogLine("journal folder %s removed: %s", folder, LogStatus(code));
    folder[0] = '\0';
}

int BeginJournal(const char *journalFolder)
{
    char path[MAX_PATH];
    DWORD magic = JOURNAL_MAGIC, done = 0;

    EndJournal();
    journaling = 1;
    keptBackups = 0;
    if (!journalFolder)
        return 1;
    if (FAILED(StringCchCopyA(folder, ARRAYSIZE(folder), journalFolder)) ||
        !JournalPath(path, JOURNAL_FILE_NAME))
        return 0;
    /* Held without delete sharing for the whole run: neither the file nor its
     * folder can be renamed away while the run may still need them. */
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        file = NULL;
    DWORD code = file && WriteFile(file, &magic, sizeof(magic), &done, NULL) &&
                         FlushFileBuffers(file)
                     ? NO_ERROR
                     : GetLastError();
    LogLine("journal %s: %s", path, LogStatus(code));
    return code == NO_ERROR;
}

int Journaling(void)
{
    return journaling;
}

const char *JournalFolderPath(void)
{
    return folder;
}

static void Append(JournalEntry *entry)
{
    DWORD bytes = sizeof(StepHeader) + entry->step.dataBytes + entry->step.lineBytes, done = 0;

    if (!WriteFile(file, &entry->step, bytes, &done, NULL) || done != bytes)
        LogLine("journal step not written: %s", LogStatus(GetLastError()));
}

static JournalEntry *NewEntry(DWORD kind, DWORD dataBytes, DWORD lineBytes)
{
    DWORD data = (dataBytes + 15) & ~15u;
    JournalEntry *entry = (JournalEntry *)AllocateMemory(sizeof(JournalEntry) + data + lineBytes + 1);
    if (entry) {
        entry->step.kind = kind;
        entry->step.dataBytes = data;
        entry->step.lineBytes = lineBytes;
    }
    return entry;
}

void *Journal(UndoKind kind, DWORD bytes, const char *format, ...)
{
    char line[UNDO_LINE_CHARS];
    size_t length = 0;
    va_list args;

    if (!journaling)
        return NULL;
    va_start(args, format);
    StringCchVPrintfA(line, ARRAYSIZE(line), format, args);
    va_end(args);
    length = strlen(line);
    /* The earliest entry of a change holds the state before the run; a plan,
     * which makes nothing, would otherwise find a missing key or folder again
     * for each of its children. */
    for (JournalEntry *entry = last; entry; entry = entry->previous)
        if (entry->step.kind == (DWORD)kind && lstrcmpiA(LineOf(entry), line) == 0)
            return NULL;
    JournalEntry *entry = NewEntry(kind, bytes, (DWORD)length);
    if (!entry) {
        LogLine("no memory to record the undo of: %s", line);
        return NULL;
    }
    CopyMemory(LineOf(entry), line, length);
    entry->previous = last;
    last = entry;
    /* Written when the caller has filled it: at the next sync, which comes
     * before the change. */
    unsynced = 1;
    return DataOf(entry);
}

/* The steps not yet in the file go there in their order. */
static void AppendPending(JournalEntry *entry, JournalEntry *stop)
{
    if (!entry || entry == stop)
        return;
    AppendPending(entry->previous, stop);
    Append(entry);
}

void SyncJournal(void)
{
    if (!unsynced || held)
        return;
    unsynced = 0;
    if (!file)
        return;
    AppendPending(last, written);
    written = last;
    /* After the queue's commit too: the copied files have gone to the disk
     * with the first flush after it, and the later ones carry a step alone. */
    if (!FlushFileBuffers(file))
        LogLine("journal not written through: %s", LogStatus(GetLastError()));
}

void HoldJournal(int hold)
{
    held = hold;
    SyncJournal();
}

void NoteKeptBackup(void)
{
    keptBackups++;
}

int KeptBackups(void)
{
    return keptBackups;
}

void RollBack(void)
{
    while (last) {
        JournalEntry *entry = last;
        UndoProc undo = entry->step.kind < UndoKinds ? undoProcs[entry->step.kind] : NULL;
        /* A plan lists what would be undone; an undo that fails leaves the
         * rest to run all the same. */
        LogLine("< %s", LineOf(entry));
        if (!Planning()) {
            DWORD code = undo ? undo(DataOf(entry)) : ERROR_INVALID_DATA;
            ActDone(code == NO_ERROR, code);
        }
        last = entry->previous;
        FreeMemory(entry);
    }
    written = NULL;
    Forget();
    /* A plan leaves an interrupted run's journal where it is. */
    if (Planning())
        folder[0] = '\0';
    else
        CloseJournalFolder(0);
}

void EndJournal(void)
{
    written = NULL;
    Forget();
    CloseJournalFolder(1);
}

/* ---- a journal read back: the file of a run that was stopped ---- */

/* Judged on its copy, where its data is aligned and its line ended: NULL
 * when the step may be undone, else why not. */
static const char *JudgeStep(JournalEntry *entry)
{
    DWORD kind = entry->step.kind;
    const char *line = LineOf(entry);

    if (kind >= UndoKinds || !undoProcs[kind])
        return "its kind is unknown";
    if (entry->step.reserved)
        return "it is of another format";
    if (strlen(line) != entry->step.lineBytes)
        return "its line holds a zero";
    return stepChecks[kind] ? stepChecks[kind](DataOf(entry), entry->step.dataBytes, line) : NULL;
}

/* The steps of another run's file, in their order, onto this journal; a step
 * that fails its check is left out, and one whose sizes do not fit what is
 * left of the file (the run was stopped while writing it) ends the list. */
static void ReadSteps(const BYTE *bytes, DWORD size)
{
    DWORD at = sizeof(DWORD);

    for (int number = 1; at < size; number++) {
        StepHeader step;
        DWORD room = size - at;
        if (room < sizeof(StepHeader)) {
            LogLine("journal step %d is cut: %lu bytes of its head", number, (unsigned long)room);
            return;
        }
        CopyMemory(&step, bytes + at, sizeof(step));
        room -= (DWORD)sizeof(StepHeader);
        if ((step.dataBytes & 15) || step.lineBytes >= UNDO_LINE_CHARS || step.dataBytes > room ||
            step.lineBytes > room - step.dataBytes) {
            LogLine("journal step %d (kind %lu) is cut or garbled: %lu + %lu bytes, %lu left",
                    number, (unsigned long)step.kind, (unsigned long)step.dataBytes,
                    (unsigned long)step.lineBytes, (unsigned long)room);
            return;
        }
        JournalEntry *entry = NewEntry(step.kind, step.dataBytes, step.lineBytes);
        if (!entry)
            return;
        entry->step.reserved = step.reserved;
        CopyMemory(DataOf(entry), bytes + at + sizeof(StepHeader), step.dataBytes + step.lineBytes);
        at += (DWORD)sizeof(StepHeader) + step.dataBytes + step.lineBytes;
        const char *why = JudgeStep(entry);
        if (why) {
            LogLine("journal step %d (kind %lu) skipped: %s", number, (unsigned long)step.kind, why);
            FreeMemory(entry);
            continue;
        }
        entry->previous = last;
        last = entry;
    }
}

/* The whole file in memory; NULL with why it cannot be read. */
static BYTE *ReadJournalFile(const char *path, DWORD *size, const char **why)
{
    BY_HANDLE_FILE_INFORMATION information;
    DWORD read = 0;
    BYTE *bytes = NULL;
    HANDLE journal = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, NULL);

    if (journal == INVALID_HANDLE_VALUE) {
        *why = GetLastError() == ERROR_FILE_NOT_FOUND ? NULL : LogStatus(GetLastError());
        return NULL;
    }
    /* A size that cannot be read is no journal's either. */
    if (!GetFileInformationByHandle(journal, &information) || information.nFileSizeHigh ||
        (*size = information.nFileSizeLow) > JOURNAL_MAX_BYTES)
        *why = "it is larger than a journal can be";
    else if (!(bytes = (BYTE *)AllocateMemory(*size + 1)))
        *why = "no memory";
    else if (!ReadFile(journal, bytes, *size, &read, NULL) || read != *size) {
        *why = "it cannot be read";
        FreeMemory(bytes);
        bytes = NULL;
    }
    CloseHandle(journal);
    return bytes;
}

Replay ReplayJournal(const char *journalFolder)
{
    char path[MAX_PATH];
    DWORD size = 0, magic = 0;
    const char *why = NULL;
    Replay replay = ReplayUnread;

    EndJournal();
    if (FAILED(StringCchCopyA(folder, ARRAYSIZE(folder), journalFolder)) ||
        !JournalPath(path, JOURNAL_FILE_NAME)) {
        folder[0] = '\0';
        return ReplayUnread;
    }
    BYTE *bytes = ReadJournalFile(path, &size, &why);
    if (bytes && size >= sizeof(magic))
        CopyMemory(&magic, bytes, sizeof(magic));
    if (!bytes && !why) {
        LogLine("interrupted installation: %s holds no journal", folder);
        replay = ReplayNone;
    } else if (!bytes)
        LogLine("interrupted installation: its journal %s cannot be read: %s", path, why);
    else if (magic != JOURNAL_MAGIC)
        LogLine("interrupted installation: %s is not a journal of this program%s", path,
                magic == OTHER_WIDTH_MAGIC ? " (its build has pointers of another width)" : "");
    else {
        LogLine("interrupted installation: its journal %s", path);
        journaling = 1;
        ReadSteps(bytes, size);
        RollBack();
        replay = ReplayDone;
    }
    if (bytes)
        FreeMemory(bytes);
    folder[0] = '\0';
    return replay;
}
