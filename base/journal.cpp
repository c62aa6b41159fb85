#include "base/base.h"
#include <stdarg.h>
#include <strsafe.h>

#define UNDO_LINE_CHARS 1024

/* One change's undo: the procedure, its action line, then its data (aligned
 * for the pointers and records the spooler's kinds keep there). */
struct JournalEntry {
    JournalEntry *previous;
    UndoProc undo;
    char *line;
    void *data;
};

static JournalEntry *last;
static int journaling;

void BeginJournal(void)
{
    EndJournal();
    journaling = 1;
}

int Journaling(void)
{
    return journaling;
}

void EndJournal(void)
{
    while (last) {
        JournalEntry *entry = last;
        last = entry->previous;
        HeapFree(GetProcessHeap(), 0, entry);
    }
    journaling = 0;
}

void *Journal(UndoProc undo, DWORD bytes, const char *format, ...)
{
    char line[UNDO_LINE_CHARS];
    size_t length = 0;
    va_list args;

    if (!journaling)
        return NULL;
    va_start(args, format);
    StringCchVPrintfA(line, ARRAYSIZE(line), format, args);
    va_end(args);
    StringCchLengthA(line, ARRAYSIZE(line), &length);
    /* The earliest entry of a change holds the state before the run; a plan,
     * which makes nothing, would otherwise find a missing key or folder again
     * for each of its children. */
    for (JournalEntry *entry = last; entry; entry = entry->previous)
        if (entry->undo == undo && lstrcmpiA(entry->line, line) == 0)
            return NULL;
    /* The data comes first, on a 16-byte boundary after the header. */
    SIZE_T header = (sizeof(JournalEntry) + 15) & ~(SIZE_T)15;
    SIZE_T data = ((SIZE_T)bytes + 15) & ~(SIZE_T)15;
    JournalEntry *entry =
        (JournalEntry *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, header + data + length + 1);
    if (!entry) {
        LogLine("no memory to record the undo of: %s", line);
        return NULL;
    }
    entry->undo = undo;
    entry->data = (char *)entry + header;
    entry->line = (char *)entry->data + data;
    CopyMemory(entry->line, line, length);
    entry->previous = last;
    last = entry;
    return entry->data;
}

void RollBack(void)
{
    while (last) {
        JournalEntry *entry = last;
        /* A plan lists what would be undone; an undo that fails leaves the
         * rest to run all the same. */
        LogLine("< %s", entry->line);
        if (!Planning()) {
            DWORD code = entry->undo(entry->data);
            ActDone(code == NO_ERROR, code);
        }
        last = entry->previous;
        HeapFree(GetProcessHeap(), 0, entry);
    }
    EndJournal();
}

/* ---- the registry ---- */
