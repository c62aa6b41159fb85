#include "integration/integration.h"
#include "base/base.h"
#include <strsafe.h>

/* The undo of the registry's changes: a value's old type and data, or its
 * absence, and the keys a change makes. */
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
            KeyUndo *undo = (KeyUndo *)Journal(StepKey, sizeof(KeyUndo), "registry delete %s\\%s",
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
                             existed ? "registry restore %s\\%s %s" : "registry delete %s\\%s %s",
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
                                                     "registry permissions of %s\\%s back",
                                                     rootName, subKey);
    if (!undo)
        return 0;
    undo->root = root;
    StringCchCopyA(undo->subKey, ARRAYSIZE(undo->subKey), subKey);
    CopyMemory(undo + 1, descriptor, bytes);
    return 1;
}

void DefineRegistryUndo(void)
{
    DefineUndo(StepValue, UndoValue);
    DefineUndo(StepKey, UndoKey);
    DefineUndo(StepKeyEntries, UndoKeyEntries);
}
