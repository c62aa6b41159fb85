#include "base/base.h"
#include <strsafe.h>

#define PENDING_KEY   "SYSTEM\\CurrentControlSet\\Control\\Session Manager"
#define PENDING_VALUE "PendingFileRenameOperations"

/* The session manager's list of renames for the next start: pairs of
 * source and target, the list ended by an empty text. NULL when there is
 * none (FreeMemory). */
static char *ReadPendingRenames(DWORD *bytes)
{
    HKEY key;
    DWORD type = REG_NONE;
    char *list = NULL;

    *bytes = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PENDING_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return NULL;
    /* Two zeros more than the value holds: a list that lacks its own end
     * still ends inside the buffer. */
    if (RegQueryValueExA(key, PENDING_VALUE, NULL, &type, NULL, bytes) == ERROR_SUCCESS &&
        (list = (char *)AllocateMemory(*bytes + 2)) != NULL &&
        RegQueryValueExA(key, PENDING_VALUE, NULL, &type, (BYTE *)list, bytes) != ERROR_SUCCESS) {
        FreeMemory(list);
        list = NULL;
    }
    RegCloseKey(key);
    return list;
}

/* A path as the session manager keeps it: "\??\" before it and, for a
 * rename that replaces its target, a leading '!'. */
static const char *PlainPath(const char *pending)
{
    if (*pending == '!')
        pending++;
    if (pending[0] == '\\' && pending[1] == '?' && pending[2] == '?' && pending[3] == '\\')
        pending += 4;
    return pending;
}

/* Walks the pairs; with a target, stops at the first rename onto it. */
static int WalkPendingRenames(const char *target, char *source, size_t chars)
{
    DWORD bytes;
    char *list = ReadPendingRenames(&bytes);
    int found = 0, count = 0;

    for (const char *from = list; from && *from && from < list + bytes;) {
        const char *to = from + strlen(from) + 1;
        count++;
        /* A pair whose target is empty deletes its source: no file comes. */
        if (target && *to && lstrcmpiA(PlainPath(to), target) == 0) {
            found = SUCCEEDED(StringCchCopyA(source, chars, PlainPath(from)));
            break;
        }
        from = to + strlen(to) + 1;
    }
    if (list)
        FreeMemory(list);
    return target ? found : count;
}

int PendingRenameOnto(const char *target, char *source, size_t chars)
{
    return WalkPendingRenames(target, source, chars);
}

int PendingRenameCount(void)
{
    return WalkPendingRenames(NULL, NULL, 0);
}
