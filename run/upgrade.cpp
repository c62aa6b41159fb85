#include "run/run.h"
#include "integration/integration.h"
#include "change/change.h"
#include "kxversion.h"
#include <string.h>
#include <strsafe.h>

/* 1 while the run installs over an older version. */
static int upgrading;

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

    /* Installed is what the list of removable software lists, with the
     * version it shows (every release wrote it; the record keeps it too, but
     * an earlier release's record does not): an uninstall takes the entry
     * away and keeps the record. */
    if (!ReadMachineString(KX_UNINSTALL_KEY, "DisplayVersion", installed))
        return 1;
    int order = installed[0] ? CompareVersions(installed, KX_VERSION_TEXT) : 0;
    upgrading = order < 0;
    if (upgrading)
        LogLine("upgrade from %s to %s", installed, KX_VERSION_TEXT);
    if (order <= 0)
        return 1;
    StringCchPrintfA(text, ARRAYSIZE(text),
                     "Velba Printer %s is installed, newer than %s: nothing was changed.",
                     installed, KX_VERSION_TEXT);
    KxMessageBox(owner, text, KX_CAPTION_INSTALLATION, MB_OK | MB_ICONERROR);
    *exitCode = KX_EXIT_NEWER_INSTALLED;
    return 0;
}

int Upgrading(void)
{
    return upgrading;
}

int RecordedSource(const char *line, const char *medium, const char **path, char *source)
{
    char found[SOURCE_CHARS];
    SplitLine(line, path);
    const char *name = strrchr(*path, '\\');
    return name && SUCCEEDED(StringCchPrintfA(source, SOURCE_CHARS, "%s%s", medium, name + 1))
               ? FindSource(source, found, SOURCE_CHARS)
               : -1;
}

int RemoveDroppedFiles(const char *copied, const char *medium)
{
    char source[SOURCE_CHARS];
    int kept = 1;
    char *files = upgrading ? ReadRecordedFiles() : NULL;

    /* A file still on the medium belongs to a choice this run did not make
     * (another model): kept, as an install of the same version keeps it. */
    for (const char *line = files; kept && line && *line; line += strlen(line) + 1) {
        const char *path, *copy = copied;
        int onMedium = RecordedSource(line, medium, &path, source);
        while (*copy && lstrcmpiA(copy, path) != 0)
            copy += strlen(copy) + 1;
        if (!onMedium && !*copy && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            kept = DeleteJournaled(path, "not in this version") >= 0;
    }
    FreeMemory(files);
    return kept;
}
