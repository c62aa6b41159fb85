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

    if (!Journaling())
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
