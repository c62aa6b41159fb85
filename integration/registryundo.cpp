#include "integration/integration.h"
#include "change/change.h"
#include <stddef.h>
#include <strsafe.h>

/* The undo of the registry's changes: a value's old type and data, or its
 * absence, and the keys a change makes. */
/* The steps' lines, which a journal read back is checked against. */
#define VALUE_RESTORE_LINE "registry restore %s\\%s %s"
#define VALUE_DELETE_LINE "registry delete %s\\%s %s"
#define KEY_DELETE_LINE "registry delete %s\\%s"
#define TREE_RESTORE_LINE "registry restore %s\\%s with its values and subkeys"
#define KEY_ENTRIES_LINE "registry permissions of %s\\%s back"

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

    if (!value->subKey[0])
        return ERROR_INVALID_DATA;
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

    if (!Journaling() || FAILED(StringCchCopyA(path, ARRAYSIZE(path), subKey)))
        return;
    length = strlen(path);
    while (length && path[length - 1] == '\\')
        path[--length] = '\0';
    /* Each missing level from the top down: undone deepest first. */
    for (size_t cut = 0; cut <= length; cut++) {
        if (path[cut] != '\\' && path[cut] != '\0')
            continue;
        char kept = path[cut];
        path[cut] = '\0';
        if (!KeyExists(root, path)) {
            KeyUndo *undo = (KeyUndo *)Journal(StepKey, sizeof(KeyUndo), KEY_DELETE_LINE,
                                               rootName, path);
            if (undo) {
                undo->root = root;
                StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), path);
            }
        }
        path[cut] = kept;
    }
}

int JournalValue(HKEY root, const char *rootName, const char *subKey, const char *name)
{
    HKEY key = NULL;
    DWORD type = REG_NONE, bytes = 0;
    int existed = 0, kept = 1;

    if (!Journaling())
        return 1;
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
        (ValueUndo *)Journal(StepValue, sizeof(ValueUndo) + bytes,
                             existed ? VALUE_RESTORE_LINE : VALUE_DELETE_LINE,
                             rootName, subKey, name[0] ? name : "(default)");
    if (undo) {
        undo->root = root;
        StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), subKey);
        StringCchCopyA(undo->name, ARRAYSIZE(undo->name), name);
        undo->existed = existed;
        undo->type = type;
        undo->bytes = bytes;
        /* A value that changed between the two reads is not known: its undo
         * must not delete it, and the change is not made. */
        if (existed && RegQueryValueExA(key, name, NULL, &undo->type, undo->data, &undo->bytes) !=
                           ERROR_SUCCESS) {
            LogLine("the earlier value of %s\\%s %s could not be read", rootName, subKey, name);
            undo->subKey[0] = '\0';
            kept = 0;
        }
    }
    if (key)
        RegCloseKey(key);
    return kept;
}

/* ---- a key tree that a change deletes: its values and subkeys ---- */

/* A saved tree is a row of records, each a key (its path below the tree's
 * key, "" for that key itself) followed by that key's values. */
#define TREE_KEY_RECORD 0xFFFFFFFFu

struct TreeRecord {
    DWORD type; /* a value's REG_ type, or TREE_KEY_RECORD */
    DWORD nameBytes; /* with the name's zero */
    DWORD dataBytes;
};

struct TreeUndo {
    HKEY root;
    char subKey[MAX_PATH];
    DWORD bytes;
    BYTE records[4];
};

struct TreeWriter {
    BYTE *at;
    DWORD left;
};

static DWORD Padded(DWORD bytes)
{
    return (bytes + 3) & ~3u;
}

/* A record's head and name; its data goes to `*data`, `room` bytes at most. */
static int PutRecord(TreeWriter *out, DWORD type, const char *name, BYTE **data, DWORD *room)
{
    DWORD nameBytes = (DWORD)strlen(name) + 1, head = (DWORD)sizeof(TreeRecord) + Padded(nameBytes);
    if (out->left < head)
        return 0;
    TreeRecord record = { type, nameBytes, 0 };
    CopyMemory(out->at, &record, sizeof(record));
    CopyMemory(out->at + sizeof(record), name, nameBytes);
    *data = out->at + head;
    *room = out->left - head;
    return 1;
}

static void EndRecord(TreeWriter *out, DWORD dataBytes)
{
    TreeRecord *record = (TreeRecord *)out->at;
    record->dataBytes = dataBytes;
    DWORD bytes = (DWORD)sizeof(TreeRecord) + Padded(record->nameBytes) + Padded(dataBytes);
    out->at += bytes;
    out->left -= bytes;
}

/* 0 when the tree does not fit what is left, or cannot be read whole. */
static int SaveKey(HKEY root, const char *top, const char *path, TreeWriter *out)
{
    char full[MAX_PATH], name[MAX_PATH];
    BYTE *data;
    DWORD room, nameChars, dataBytes, type;
    HKEY key;
    int saved = 1;

    if (FAILED(StringCchPrintfA(full, ARRAYSIZE(full), path[0] ? "%s\\%s" : "%s", top, path)) ||
        RegOpenKeyExA(root, full, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    if (!PutRecord(out, TREE_KEY_RECORD, path, &data, &room))
        saved = 0;
    else
        EndRecord(out, 0);
    for (DWORD i = 0; saved; i++) {
        nameChars = ARRAYSIZE(name);
        /* The name is read into the record's place once it is known to fit. */
        LONG status = RegEnumValueA(key, i, name, &nameChars, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || !PutRecord(out, 0, name, &data, &room)) {
            saved = 0;
            break;
        }
        nameChars = ARRAYSIZE(name);
        dataBytes = room;
        if (RegEnumValueA(key, i, name, &nameChars, NULL, &type, data, &dataBytes) != ERROR_SUCCESS)
            saved = 0;
        else {
            ((TreeRecord *)out->at)->type = type;
            EndRecord(out, dataBytes);
        }
    }
    for (DWORD i = 0; saved; i++) {
        char child[MAX_PATH];
        nameChars = ARRAYSIZE(name);
        LONG status = RegEnumKeyExA(key, i, name, &nameChars, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        saved = status == ERROR_SUCCESS &&
                SUCCEEDED(StringCchPrintfA(child, ARRAYSIZE(child), path[0] ? "%s\\%s" : "%s%s",
                                           path, name)) &&
                SaveKey(root, top, child, out);
    }
    RegCloseKey(key);
    return saved;
}

/* Each record is checked against the step's bounds: a journal read back from
 * disk is not trusted further. */
static DWORD UndoTree(void *data)
{
    TreeUndo *undo = (TreeUndo *)data;
    const BYTE *at = undo->records, *end = undo->records + undo->bytes;
    char full[MAX_PATH];
    HKEY key = NULL;
    DWORD code = undo->subKey[0] ? NO_ERROR : ERROR_INVALID_DATA;

    while (code == NO_ERROR && at < end) {
        TreeRecord record;
        if ((DWORD)(end - at) < sizeof(record))
            return ERROR_INVALID_DATA;
        CopyMemory(&record, at, sizeof(record));
        const char *name = (const char *)at + sizeof(record);
        if (!record.nameBytes || record.nameBytes > (DWORD)(end - (const BYTE *)name) ||
            name[record.nameBytes - 1]) {
            code = ERROR_INVALID_DATA;
            break;
        }
        const BYTE *bytes = (const BYTE *)name + Padded(record.nameBytes);
        if (bytes > end || record.dataBytes > (DWORD)(end - bytes)) {
            code = ERROR_INVALID_DATA;
            break;
        }
        if (record.type == TREE_KEY_RECORD) {
            if (key)
                RegCloseKey(key);
            key = NULL;
            code = SUCCEEDED(StringCchPrintfA(full, ARRAYSIZE(full), name[0] ? "%s\\%s" : "%s",
                                              undo->subKey, name))
                       ? (DWORD)RegCreateKeyExA(undo->root, full, 0, NULL, 0, KEY_SET_VALUE, NULL,
                                                &key, NULL)
                       : ERROR_INVALID_DATA;
        } else
            code = key ? (DWORD)RegSetValueExA(key, name, 0, record.type, bytes, record.dataBytes)
                       : ERROR_INVALID_DATA;
        at = bytes + Padded(record.dataBytes);
    }
    if (key)
        RegCloseKey(key);
    return code;
}

/* 1 with the saved records (NULL when there is no such key), 0 when the tree
 * cannot be kept. */
static int SaveKeyTree(HKEY root, const char *subKey, void **saved, DWORD *bytes)
{
    TreeWriter out;
    BYTE *buffer = (BYTE *)AllocateMemory(KX_KEY_TREE_BYTES);

    *saved = NULL;
    *bytes = 0;
    if (!buffer)
        return 0;
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        FreeMemory(buffer);
        return 1;
    }
    RegCloseKey(key);
    out.at = buffer;
    out.left = KX_KEY_TREE_BYTES;
    if (!SaveKey(root, subKey, "", &out)) {
        FreeMemory(buffer);
        return 0;
    }
    *saved = buffer;
    *bytes = KX_KEY_TREE_BYTES - out.left;
    return 1;
}

int KeyTreeFits(HKEY root, const char *subKey)
{
    void *saved;
    DWORD bytes;

    if (!SaveKeyTree(root, subKey, &saved, &bytes))
        return 0;
    if (saved)
        FreeMemory(saved);
    return 1;
}

int JournalKeyTree(HKEY root, const char *rootName, const char *subKey)
{
    void *saved;
    DWORD bytes;

    if (!Journaling())
        return 1;
    if (!SaveKeyTree(root, subKey, &saved, &bytes)) {
        LogLine("the key %s\\%s cannot be kept for the undo: over %u bytes, or not readable",
                rootName, subKey, (unsigned)KX_KEY_TREE_BYTES);
        return 0;
    }
    if (!saved)
        return 1;
    TreeUndo *undo = (TreeUndo *)Journal(StepKeyTree, sizeof(TreeUndo) + bytes,
                                         TREE_RESTORE_LINE,
                                         rootName, subKey);
    if (undo) {
        undo->root = root;
        undo->bytes = bytes;
        CopyMemory(undo->records, saved, bytes);
        StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), subKey);
    }
    FreeMemory(saved);
    return 1;
}

/* ---- the entries a key had before the run made it the administrators' own ---- */

struct KeyEntriesUndo {
    HKEY root;
    char subKey[MAX_PATH];
};

static DWORD UndoKeyEntries(void *data)
{
    KeyEntriesUndo *undo = (KeyEntriesUndo *)data;
    HKEY key;
    LONG status = RegOpenKeyExA(undo->root, undo->subKey, 0, WRITE_DAC, &key);

    if (status == ERROR_FILE_NOT_FOUND)
        return NO_ERROR;
    if (status != ERROR_SUCCESS)
        return (DWORD)status;
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, (PSECURITY_DESCRIPTOR)(undo + 1));
    RegCloseKey(key);
    return (DWORD)status;
}

int JournalKeyEntries(HKEY root, const char *rootName, const char *subKey,
                      const void *descriptor, DWORD bytes)
{
    KeyEntriesUndo *undo = (KeyEntriesUndo *)Journal(StepKeyEntries, sizeof(KeyEntriesUndo) + bytes,
                                                     KEY_ENTRIES_LINE,
                                                     rootName, subKey);
    if (!undo)
        return 0;
    undo->root = root;
    StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), subKey);
    CopyMemory(undo + 1, descriptor, bytes);
    return 1;
}

/* ---- the checks of a journal read back ---- */

/* The name the steps' lines give a root the program writes under. */
static const char *RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE  ? "HKLM"
           : root == HKEY_CURRENT_USER ? "HKCU"
           : root == HKEY_CLASSES_ROOT ? "HKCR"
           : root == HKEY_USERS        ? "HKU"
                                       : NULL;
}

/* Every registry step begins with its root and key: a root the program
 * writes under, a key ended within its field. */
static const char *CheckKeyHead(HKEY root, const char *subKey, DWORD bytes, DWORD head)
{
    if (bytes < head)
        return KX_STEP_SHORT;
    if (!RootName(root))
        return "its root is not one the program writes under";
    return FieldText(subKey, MAX_PATH) && subKey[0] ? NULL : KX_STEP_UNENDED;
}


static const char *CheckValue(const void *data, DWORD bytes, const char *line)
{
    const ValueUndo *undo = (const ValueUndo *)data;
    const DWORD head = (DWORD)offsetof(ValueUndo, data);
    /* A value whose earlier content could not be read has no key: its undo
     * refuses it. */
    if (bytes >= head && !undo->subKey[0])
        return NULL;
    const char *why = CheckKeyHead(undo->root, undo->subKey, bytes, head);
    if (!why && !FieldText(undo->name, MAX_PATH))
        why = KX_STEP_UNENDED;
    if (!why && undo->bytes > bytes - head)
        why = KX_STEP_SHORT;
    if (!why && !LineIs(line, undo->existed ? VALUE_RESTORE_LINE : VALUE_DELETE_LINE,
                        RootName(undo->root), undo->subKey, undo->name[0] ? undo->name : "(default)"))
        why = KX_STEP_OTHER_LINE;
    return why;
}

static const char *CheckKey(const void *data, DWORD bytes, const char *line)
{
    const KeyUndo *undo = (const KeyUndo *)data;
    const char *why = CheckKeyHead(undo->root, undo->subKey, bytes, sizeof(KeyUndo));
    return why ? why : LineIs(line, KEY_DELETE_LINE, RootName(undo->root), undo->subKey) ? NULL : KX_STEP_OTHER_LINE;
}

static const char *CheckTree(const void *data, DWORD bytes, const char *line)
{
    const TreeUndo *undo = (const TreeUndo *)data;
    const DWORD head = (DWORD)offsetof(TreeUndo, records);
    const char *why = CheckKeyHead(undo->root, undo->subKey, bytes, head);

    if (!why && undo->bytes > bytes - head)
        why = KX_STEP_SHORT;
    if (!why && !LineIs(line, TREE_RESTORE_LINE, RootName(undo->root), undo->subKey))
        why = KX_STEP_OTHER_LINE;
    return why;
}

static const char *CheckKeyEntries(const void *data, DWORD bytes, const char *line)
{
    const KeyEntriesUndo *undo = (const KeyEntriesUndo *)data;
    const char *why = CheckKeyHead(undo->root, undo->subKey, bytes, sizeof(KeyEntriesUndo));
    if (!why && !LineIs(line, KEY_ENTRIES_LINE, RootName(undo->root), undo->subKey))
        why = KX_STEP_OTHER_LINE;

    if (!why && !DescriptorFits(undo + 1, bytes - (DWORD)sizeof(KeyEntriesUndo)))
        why = KX_STEP_SHORT;
    return why;
}

void DefineRegistryUndo(void)
{
    DefineUndo(StepValue, UndoValue, CheckValue);
    DefineUndo(StepKey, UndoKey, CheckKey);
    DefineUndo(StepKeyEntries, UndoKeyEntries, CheckKeyEntries);
    DefineUndo(StepKeyTree, UndoTree, CheckTree);
}
