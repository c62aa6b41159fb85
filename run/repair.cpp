#include "run/run.h"
#include "integration/integration.h"
#include <string.h>
#include <strsafe.h>

int ChooseRepair(HWND owner, SetupStateRecord *state, int *exitCode)
{
    if (!ReadInstallation(state)) {
        KxMessageBox(owner, KX_TEXT_NOT_INSTALLED, KX_CAPTION_INSTALLATION, MB_OK);
        *exitCode = KX_EXIT_NOT_INSTALLED;
        return 0;
    }
    StringCchCopyA(state->statusDirChoice, ARRAYSIZE(state->statusDirChoice), state->statusDir);
    return 1;
}

int RepairSourcesMatch(HWND owner, const char *medium, int *exitCode)
{
    char source[SOURCE_CHARS], text[TEXT_CHARS + SOURCE_CHARS];
    const char *why = "the record keeps no digests";
    char *files = ReadRecordedFiles();

    /* Only the files the installation recorded with their digests are put
     * back, and only from sources that are those files: the first that is
     * not stops the repair before its first change. */
    source[0] = '\0';
    if (files)
        why = NULL;
    for (const char *line = files; !why && *line; line += strlen(line) + 1) {
        const char *path;
        DWORD code;
        ALG_ID algorithm;
        if (RecordedSource(line, medium, &path, source) != 1)
            why = " is not on the medium";
        else if (!(algorithm = SplitLine(line, &path)) ||
                 !SameAsRecorded(source, algorithm, line, (size_t)(path - line - 1), &code))
            why = " is not the installed file";
    }
    FreeMemory(files);
    if (!why)
        return 1;
    StringCchPrintfA(text, ARRAYSIZE(text), "Nothing was repaired: %s%s.", source, why);
    KxMessageBox(owner, text, KX_CAPTION_INSTALL_ERROR, MB_OK | MB_ICONERROR);
    *exitCode = KX_EXIT_FAILED;
    return 0;
}
