#include "run/run.h"
#include "integration/integration.h"
#include "change/change.h"
#include "kxversion.h"
#include <string.h>
#include <strsafe.h>

/* The version this run upgrades from; "" when it installs over none or the same. */
static char upgradedFrom[TEXT_CHARS];

/* Number by number, a missing one counting as 0 (1.0 is 1.0.0): below 0
 * when `a` is the older. */
static int CompareVersions(const char *a, const char *b)
{
    for (;;) {
        long x = LeadingNumber(a), y = LeadingNumber(b);
        if (x != y)
            return x < y ? -1 : 1;
        a = strchr(a, '.');
        b = strchr(b, '.');
        if (!a && !b)
            return 0;
        a = a ? a + 1 : "0";
        b = b ? b + 1 : "0";
    }
}

int InstalledVersionAllows(HWND owner, int *exitCode)
{
    char installed[TEXT_CHARS], text[2 * TEXT_CHARS];
    HKEY key;

    upgradedFrom[0] = '\0';
    /* Installed is what the list of removable software lists; an uninstall
     * takes the entry away and keeps the record. A record of a release that
     * kept no version has the entry's. */
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 1;
    RegCloseKey(key);
    ReadMachineString(KX_PRODUCT_KEY, KX_VERSION_VALUE, installed);
    if (!installed[0])
        ReadMachineString(KX_UNINSTALL_KEY, "DisplayVersion", installed);
    if (!installed[0])
        return 1;
    int order = CompareVersions(installed, KX_VERSION_TEXT);
    if (order < 0) {
        LogLine("upgrade from %s to %s", installed, KX_VERSION_TEXT);
        StringCchCopyA(upgradedFrom, ARRAYSIZE(upgradedFrom), installed);
    }
    if (order <= 0)
        return 1;
    StringCchPrintfA(text, ARRAYSIZE(text),
                     "Velba Printer %s is installed, which is newer than this setup's version %s: "
                     "nothing was changed.",
                     installed, KX_VERSION_TEXT);
    KxMessageBox(owner, text, KX_CAPTION_INSTALLATION, MB_OK | MB_ICONERROR);
    *exitCode = KX_EXIT_NEWER_INSTALLED;
    return 0;
}

int Upgrading(void)
{
    return upgradedFrom[0] != '\0';
}

int RemoveDroppedFiles(const char *copied, const char *medium)
{
    char source[2 * MAX_PATH], found[2 * MAX_PATH];
    int kept = 1;
    char *files = upgradedFrom[0] ? ReadRecordedFiles() : NULL;

    if (!files)
        return 1;
    /* A file still on the medium belongs to a choice this run did not make
     * (another model): kept, as an install of the same version keeps it. */
    for (const char *line = files; *line && kept; line += lstrlenA(line) + 1) {
        const char *path = strchr(line, ' ');
        path = path ? strchr(path + 1, ' ') : NULL;
        const char *name = path ? strrchr(path, '\\') : NULL;
        if (!name || GetFileAttributesA(++path) == INVALID_FILE_ATTRIBUTES ||
            FAILED(StringCchPrintfA(source, ARRAYSIZE(source), "%s%s", medium, name + 1)) ||
            FindSource(source, found, ARRAYSIZE(found)))
            continue;
        int listed = 0;
        for (const char *t = copied; *t && !listed; t += lstrlenA(t) + 1)
            listed = lstrcmpiA(t, path) == 0;
        if (listed)
            continue;
        if (!JournalTarget(path))
            kept = 0;
        else if (Act("delete %s: version %s no longer installs it", path, KX_VERSION_TEXT)) {
            BOOL deleted = DeleteFileA(path);
            ActDone(deleted, deleted ? NO_ERROR : GetLastError());
        }
    }
    HeapFree(GetProcessHeap(), 0, files);
    return kept;
}
