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

struct ValueUndo {
    HKEY root;
    char subKey[MAX_PATH];
    char name[MAX_PATH];
    DWORD existed;
    DWORD type;
    DWORD bytes;
    BYTE data[1];
};

struct KeyUndo {
    HKEY root;
    char subKey[MAX_PATH];
};

static int Gone(LONG status)
{
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

static DWORD UndoValue(void *data)
{
    ValueUndo *value = (ValueUndo *)data;
    HKEY key;
    LONG status = RegOpenKeyExA(value->root, value->subKey, 0, KEY_SET_VALUE, &key);

    if (status != ERROR_SUCCESS)
        return value->existed || !Gone(status) ? (DWORD)status : NO_ERROR;
    if (value->existed)
        status = RegSetValueExA(key, value->name, 0, value->type, value->data, value->bytes);
    else if (Gone(status = RegDeleteValueA(key, value->name)))
        status = ERROR_SUCCESS;
    RegCloseKey(key);
    return (DWORD)status;
}

/* Removed only while it holds no key of somebody else's. */
static DWORD UndoKey(void *data)
{
    KeyUndo *undo = (KeyUndo *)data;
    LONG status = RegDeleteKeyA(undo->root, undo->subKey);

    return Gone(status) ? NO_ERROR : (DWORD)status;
}

static int KeyExists(HKEY root, const char *subKey)
{
    HKEY key;

    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

void JournalKeys(HKEY root, const char *rootName, const char *subKey)
{
    char path[MAX_PATH];
    size_t length;

    if (!journaling || FAILED(StringCchCopyA(path, ARRAYSIZE(path), subKey)))
        return;
    StringCchLengthA(path, ARRAYSIZE(path), &length);
    while (length && path[length - 1] == '\\')
        path[--length] = '\0';
    /* Each missing level from the top down: undone deepest first. */
    for (size_t cut = 0; cut <= length; cut++) {
        if (path[cut] != '\\' && path[cut] != '\0')
            continue;
        char kept = path[cut];
        path[cut] = '\0';
        if (!KeyExists(root, path)) {
            KeyUndo *undo = (KeyUndo *)Journal(UndoKey, sizeof(KeyUndo), "registry delete %s\\%s",
                                               rootName, path);
            if (undo) {
                undo->root = root;
                StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), path);
            }
        }
        path[cut] = kept;
    }
}

void JournalValue(HKEY root, const char *rootName, const char *subKey, const char *name)
{
    HKEY key = NULL;
    DWORD type = REG_NONE, bytes = 0;
    int existed = 0;

    if (!journaling)
        return;
    if (!name)
        name = "";
    JournalKeys(root, rootName, subKey);
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        key = NULL;
    else {
        existed = RegQueryValueExA(key, name, NULL, &type, NULL, &bytes) == ERROR_SUCCESS;
        if (!existed)
            bytes = 0;
    }
    ValueUndo *undo =
        (ValueUndo *)Journal(UndoValue, sizeof(ValueUndo) + bytes,
                             existed ? "registry restore %s\\%s %s" : "registry delete %s\\%s %s",
                             rootName, subKey, name[0] ? name : "(default)");
    if (undo) {
        undo->root = root;
        StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), subKey);
        StringCchCopyA(undo->name, ARRAYSIZE(undo->name), name);
        undo->existed = existed;
        undo->type = type;
        undo->bytes = bytes;
        if (existed && RegQueryValueExA(key, name, NULL, &undo->type, undo->data, &undo->bytes) !=
                           ERROR_SUCCESS)
            undo->existed = 0;
    }
    if (key)
        RegCloseKey(key);
}
