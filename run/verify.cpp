#include "run/run.h"
#include "spooler/spooler.h"
#include "integration/integration.h"
#include "change/change.h"
#include <string.h>
#include <strsafe.h>

struct Tally {
    int items;
    int drifts;
    int unchecked;               /* items the check could not judge */
    int pending;                 /* files a copy replaces at the restart */
    char first[TEXT_CHARS];      /* the first drift, as the summary names it */
    char firstError[TEXT_CHARS]; /* the first item that could not be judged */
};

/* Compared up to the shorter one's end: never past a terminator. */
static int Begins(const char *text, const char *start)
{
    while (*start && *text == *start)
        text++, start++;
    return !*start;
}

static void Report(void *context, const char *item, const char *name, const char *verdict)
{
    Tally *tally = (Tally *)context;
    char *first = NULL;

    tally->items++;
    LogLine("verify %s %s: %s", item, name, verdict);
    if (strcmp(verdict, "ok") == 0)
        return;
    if (strcmp(verdict, KX_VERDICT_PENDING) == 0)
        tally->pending++;
    else if (Begins(verdict, KX_VERDICT_UNCHECKED))
        first = tally->unchecked++ ? NULL : tally->firstError;
    else
        first = tally->drifts++ ? NULL : tally->first;
    if (first)
        StringCchPrintfA(first, TEXT_CHARS, "%s %s: %s", item, name, verdict);
}

/* The recorded digest ("sha256:<hex> <size>") against the file's now. */
int SameAsRecorded(const char *path, ALG_ID algorithm, const char *recorded, size_t length,
                          DWORD *code)
{
    char now[DIGEST_TEXT_CHARS];
    FileDigest digest;

    *code = DigestFile(path, algorithm, &digest);
    /* A system that lost the provider gives the size alone: no hash to compare. */
    if (*code == NO_ERROR && digest.algorithm != algorithm)
        *code = ERROR_NOT_SUPPORTED;
    return *code == NO_ERROR && FormatDigest(&digest, now, ARRAYSIZE(now)) &&
           strlen(now) == length &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, now, (int)length, recorded, (int)length) ==
               CSTR_EQUAL;
}

ALG_ID SplitLine(const char *line, const char **path)
{
    const char *at = line;
    for (int blanks = 0; *at && blanks < 2; at++)
        blanks += *at == ' ';
    *path = at;
    return Begins(line, "sha256:") ? CALG_SHA_256 : Begins(line, "sha1:") ? CALG_SHA1 : 0;
}

int RecordedFileIntact(const char *file)
{
    char *files = ReadRecordedFiles();
    int intact = 0;
    DWORD code;

    if (!files)
        return -1;
    for (const char *line = files; *line; line += strlen(line) + 1) {
        const char *path;
        ALG_ID algorithm = SplitLine(line, &path);
        if (lstrcmpiA(path, file) == 0) {
            intact = algorithm && SameAsRecorded(path, algorithm, line, (size_t)(path - line - 1), &code);
            break;
        }
    }
    FreeMemory(files);
    return intact;
}

/* Each line of the record: "<digest> <path>", the digest as FormatDigest
 * writes it, taken again with the algorithm the line names. A copy that
 * SetupAPI put off to the restart was recorded with the file that will
 * replace the target: until the restart has made the rename, that file is
 * what is compared. A line without a hash (the install could not take one)
 * and a file that cannot be read now are items the check cannot judge. */
static void VerifyFiles(const char *list, Tally *tally)
{
    char verdict[64], source[MAX_PATH];
    DWORD code = NO_ERROR, pendingCode;

    for (const char *line = list; *line; line += strlen(line) + 1) {
        const char *path;
        ALG_ID algorithm = SplitLine(line, &path);
        size_t length = (size_t)(path - line - 1);
        int same = algorithm && SameAsRecorded(path, algorithm, line, length, &code);
        if (same)
            StringCchCopyA(verdict, ARRAYSIZE(verdict), "ok");
        else if (!algorithm)
            StringCchCopyA(verdict, ARRAYSIZE(verdict),
                           KX_VERDICT_UNCHECKED " (no hash was recorded)");
        else if (PendingRenameOnto(path, source, ARRAYSIZE(source)) &&
                 SameAsRecorded(source, algorithm, line, length, &pendingCode))
            StringCchCopyA(verdict, ARRAYSIZE(verdict), KX_VERDICT_PENDING);
        else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            StringCchCopyA(verdict, ARRAYSIZE(verdict), "missing");
        else if (code != NO_ERROR)
            StringCchPrintfA(verdict, ARRAYSIZE(verdict), KX_VERDICT_UNCHECKED " (%s)",
                             LogStatus(code));
        else
            StringCchCopyA(verdict, ARRAYSIZE(verdict), "changed");
        Report(tally, "file", path, verdict);
    }
}

int VerifyInstallation(HWND owner, SetupStateRecord *state, const RunMode *mode)
{
    Tally tally;
    char text[TEXT_CHARS + 64];
    const char *why = NULL;
    int exitCode = KX_EXIT_OK;

    ZeroMemory(&tally, sizeof(tally));
    if (!ReadInstallation(state)) {
        LogLine("verify: no installation is recorded");
        StringCchCopyA(text, ARRAYSIZE(text), KX_TEXT_NOT_INSTALLED);
        exitCode = KX_EXIT_NOT_INSTALLED;
        goto done;
    }
    {
        int folder = JudgeFolderTrust(state->statusDir, NULL, &why);
        Report(&tally, "status folder", state->statusDir,
               folder == FolderTrusted   ? "ok"
               : folder == FolderMissing ? "missing"
                                         : "not the administrators' own");
    }
    if (char *files = ReadRecordedFiles()) {
        VerifyFiles(files, &tally);
        FreeMemory(files);
    } else
        LogLine("verify: the record keeps no hashes (an earlier release's): its files are checked "
                "by presence only");
    VerifySpooler(state, Report, &tally);
    VerifyUninstallEntry(state, Report, &tally);
    /* A drift is named before an item that could not be judged; files the
     * restart will replace leave an installation intact. */
    if (tally.drifts) {
        StringCchPrintfA(text, ARRAYSIZE(text), "The installation has changed (%d of %d items): %s",
                         tally.drifts, tally.items, tally.first);
        exitCode = KX_EXIT_FAILED;
    } else if (tally.unchecked) {
        StringCchPrintfA(text, ARRAYSIZE(text),
                         "The installation could not be checked (%d of %d items): %s",
                         tally.unchecked, tally.items, tally.firstError);
        exitCode = KX_EXIT_FAILED;
    } else if (tally.pending)
        StringCchPrintfA(text, ARRAYSIZE(text),
                         "The installation is intact (%d items); %d file(s) are replaced at the "
                         "restart.",
                         tally.items, tally.pending);
    else
        StringCchPrintfA(text, ARRAYSIZE(text), "The installation is intact (%d items).",
                         tally.items);
done:
    LogLine("verify: %s", text);
    if (!mode->quiet)
        KxMessageBox(owner, text, KX_CAPTION_INSTALLATION,
                     exitCode == KX_EXIT_OK ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING);
    return exitCode;
}
