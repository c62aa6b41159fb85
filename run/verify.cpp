#include "run/run.h"
#include "spooler/spooler.h"
#include "integration/integration.h"
#include "base/base.h"
#include <string.h>
#include <strsafe.h>

struct Tally {
    int items;
    int drifts;
    char first[TEXT_CHARS]; /* the first drift, as the summary names it */
};

static void Report(void *context, const char *item, const char *name, const char *verdict)
{
    Tally *tally = (Tally *)context;

    tally->items++;
    LogLine("verify %s %s: %s", item, name, verdict);
    if (lstrcmpA(verdict, "ok") != 0 && !tally->drifts++)
        StringCchPrintfA(tally->first, ARRAYSIZE(tally->first), "%s %s: %s", item, name, verdict);
}

/* Each line of the record: "<digest> <path>", the digest as FormatDigest
 * writes it, taken again with the algorithm the line names. */
static void VerifyFiles(const char *list, Tally *tally)
{
    char now[DIGEST_TEXT_CHARS];
    FileDigest digest;

    for (const char *line = list; *line; line += lstrlenA(line) + 1) {
        const char *path = line;
        for (int blanks = 0; *path && blanks < 2; path++)
            blanks += *path == ' ';
        ALG_ID algorithm = memcmp(line, "sha256:", 7) == 0 ? CALG_SHA_256
                           : memcmp(line, "sha1:", 5) == 0   ? CALG_SHA1
                                                             : 0;
        DWORD code = DigestFile(path, algorithm, &digest);
        size_t length = (size_t)(path - line - 1);
        Report(tally, "file", path,
               code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "missing"
               : code == NO_ERROR && FormatDigest(&digest, now, ARRAYSIZE(now)) &&
                       lstrlenA(now) == (int)length &&
                       CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, now, (int)length, line,
                                      (int)length) == CSTR_EQUAL
                   ? "ok"
                   : "changed");
    }
}

int VerifyInstallation(HWND owner, SetupStateRecord *state, const RunMode *mode)
{
    Tally tally;
    char text[TEXT_CHARS + 64];
    const char *why = NULL;
    HKEY key;
    int exitCode = KX_EXIT_OK;

    ZeroMemory(&tally, sizeof(tally));
    /* The entry in the list of removable software is what deployment tools
     * take for "installed"; an uninstall removes it, the record stays. */
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        LogLine("verify: no installation is recorded");
        StringCchCopyA(text, ARRAYSIZE(text), "No installation was found.");
        exitCode = KX_EXIT_NOT_INSTALLED;
        goto done;
    }
    RegCloseKey(key);
    ReadInstallRecord(state);
    {
        int folder = JudgeFolderTrust(state->statusDir, NULL, &why);
        Report(&tally, "status folder", state->statusDir,
               folder == FolderTrusted   ? "ok"
               : folder == FolderMissing ? "missing"
                                         : "not the administrators' own");
    }
    if (char *files = ReadRecordedFiles()) {
        VerifyFiles(files, &tally);
        HeapFree(GetProcessHeap(), 0, files);
    } else
        LogLine("verify: the record keeps no hashes (an earlier release installed it): its files "
                "are checked by presence only, through the drivers");
    VerifySpooler(state, Report, &tally);
    VerifyUninstallEntry(state, Report, &tally);
    if (tally.drifts) {
        StringCchPrintfA(text, ARRAYSIZE(text), "The installation has changed (%d of %d items): %s",
                         tally.drifts, tally.items, tally.first);
        exitCode = KX_EXIT_FAILED;
    } else
        StringCchPrintfA(text, ARRAYSIZE(text), "The installation is intact (%d items).",
                         tally.items);
done:
    LogLine("verify: %s", text);
    if (!mode->quiet)
        KxMessageBox(owner, text, KX_CAPTION_INSTALLATION,
                     exitCode == KX_EXIT_OK ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING);
    return exitCode;
}
