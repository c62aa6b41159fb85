#include "run/run.h"
#include "integration/integration.h"
#include "change/change.h"
#include <string.h>
#include <strsafe.h>

/* Each recorded file's source on the medium, by its name: there, not only in
 * a compressed form (whose digest is not the expanded file's), and the file
 * whose digest the record keeps. Every fault is logged; the first one is
 * kept for the box. The number of faults. */
static int CheckSources(const char *files, const char *medium, char *first, size_t chars)
{
    char source[2 * MAX_PATH], found[2 * MAX_PATH];
    int faults = 0;

    for (const char *line = files; *line; line += strlen(line) + 1) {
        const char *path;
        ALG_ID algorithm = SplitLine(line, &path);
        const char *name = strrchr(path, '\\');
        const char *why = NULL;
        DWORD code = NO_ERROR;
        if (!name || FAILED(StringCchPrintfA(source, ARRAYSIZE(source), "%s%s", medium, name + 1)))
            why = "is no file of the record";
        else if (FindSource(source, found, ARRAYSIZE(found)) != 1)
            why = "is not on the medium";
        else if (!algorithm)
            why = "has no recorded digest";
        else if (!SameAsRecorded(source, algorithm, line, (size_t)(path - line - 1), &code))
            why = code == NO_ERROR ? "on the medium is not the installed file" : "cannot be read";
        if (!why)
            continue;
        LogLine("repair: %s %s", source, why);
        if (!faults++)
            StringCchPrintfA(first, chars, "%s %s", source, why);
    }
    return faults;
}

int ChooseRepair(HWND owner, SetupStateRecord *state, int *exitCode)
{
    char text[TEXT_CHARS];
    HKEY key;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        KxMessageBox(owner, "No installation was found to repair.", KX_CAPTION_INSTALLATION, MB_OK);
        *exitCode = KX_EXIT_NOT_INSTALLED;
        return 0;
    }
    RegCloseKey(key);
    /* What the last installation holds, where it put it, and on which port. */
    ReadInstallRecord(state);
    ReadInstalledComponents(&state->selectedComponents);
    StringCchCopyA(state->statusDirChoice, ARRAYSIZE(state->statusDirChoice), state->statusDir);
    ReadMachineString(KX_PRODUCT_KEY, KX_PORT_VALUE, text);
    StringCchCopyA(state->portName, ARRAYSIZE(state->portName), text[0] ? text : "LPT1:");
    LogLine("repair: status folder %s, components %lu, port %s", state->statusDir,
            (unsigned long)state->selectedComponents, state->portName);
    return 1;
}

int RepairSourcesMatch(HWND owner, const char *medium, int *exitCode)
{
    char text[TEXT_CHARS + 64], first[TEXT_CHARS + 32];
    /* Only the files the installation recorded with their digests are put
     * back, and only from sources that are those files. */
    char *files = ReadRecordedFiles();
    int faults = files ? CheckSources(files, medium, first, ARRAYSIZE(first)) : -1;
    FreeMemory(files);
    if (!faults)
        return 1;
    if (faults < 0)
        StringCchCopyA(text, ARRAYSIZE(text),
                       "The installation keeps no digests of its files (an earlier release made "
                       "it): install it again instead.");
    else
        StringCchPrintfA(text, ARRAYSIZE(text),
                         "Nothing was repaired: %d file(s) of the installation cannot be taken "
                         "from this medium; the first: %s",
                         faults, first);
    KxMessageBox(owner, text, KX_CAPTION_INSTALL_ERROR, MB_OK | MB_ICONERROR);
    *exitCode = KX_EXIT_FAILED;
    return 0;
}
