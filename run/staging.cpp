#include "run/run.h"
#include "base/base.h"
#include "change/change.h"
#include <string.h>
#include <strsafe.h>

/* The protected copy of a medium that others may change, while the run lasts. */
static char staged[MAX_PATH];

/* Every plain file of `from` into `to`; 0 at the first that fails. */
static int CopyFolderFiles(const char *from, const char *to)
{
    WIN32_FIND_DATAA found;
    char pattern[MAX_PATH], source[MAX_PATH], target[MAX_PATH];
    HANDLE search;
    int copied = 1;

    if (FAILED(StringCchPrintfA(pattern, ARRAYSIZE(pattern), "%s*", from)))
        return 0;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        copied = SUCCEEDED(StringCchPrintfA(source, ARRAYSIZE(source), "%s%s", from, found.cFileName)) &&
                 SUCCEEDED(StringCchPrintfA(target, ARRAYSIZE(target), "%s\\%s", to, found.cFileName)) &&
                 CopyFileA(source, target, TRUE);
    } while (copied && FindNextFileA(search, &found));
    FindClose(search);
    return copied;
}

/* A listed file of the protected copy whose digest is not the list's: the
 * first one's name goes to `context` (MAX_PATH). A system without SHA-256
 * (before XP SP3) compares nothing; /check names a listed file that is not
 * there. */
static void CheckStagedFile(void *context, const char *name, const char *listed)
{
    char *differs = (char *)context, path[MAX_PATH], now[DIGEST_TEXT_CHARS];
    FileDigest digest;

    if (differs[0] || !listed ||
        FAILED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%s", staged, name)) ||
        DigestFile(path, CALG_SHA_256, &digest) != NO_ERROR || digest.algorithm != CALG_SHA_256)
        return;
    if (!FormatDigest(&digest, now, ARRAYSIZE(now)) || strcmp(now, listed) != 0)
        StringCchCopyA(differs, MAX_PATH, name);
}

int StageMedium(char *medium, size_t chars)
{
    char folder[MAX_PATH], windows[MAX_PATH];
    const char *why = NULL;
    AdminSecurity security;
    size_t length;
    BOOL made;

    staged[0] = '\0';
    if (FAILED(StringCchCopyA(folder, ARRAYSIZE(folder), medium)) ||
        (length = strlen(folder)) < 4)
        return 1;
    folder[length - 1] = '\0';
    if (JudgeFolderTrust(folder, NULL, &why) == FolderTrusted)
        return 1;
    /* Others may swap a file of the medium (a package manager unpacks it into
     * the user's temporary folder) while the run copies it, and the spooler
     * would load a swapped monitor as SYSTEM: the run reads and copies a copy
     * only administrators may change. */
    LogLine("medium %s may be changed by other users: a protected copy is used", folder);
    UINT windowsLength = GetWindowsDirectoryA(windows, ARRAYSIZE(windows));
    if (windowsLength == 0 || windowsLength >= ARRAYSIZE(windows) ||
        FAILED(StringCchPrintfA(staged, ARRAYSIZE(staged), "%s\\kxsetup-medium-%lu-%lu", windows,
                                (unsigned long)GetCurrentProcessId(), (unsigned long)GetTickCount())) ||
        !BuildAdminSecurity(&security, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) {
        staged[0] = '\0';
        return 0;
    }
    if (!Act("copy the medium %s to %s (administrators and system only)", folder, staged)) {
        staged[0] = '\0';
        return 1;
    }
    made = CreateDirectoryA(staged, &security.attributes);
    if (!made) {
        ActDone(FALSE, GetLastError());
        staged[0] = '\0';
        return 0;
    }
    made = CopyFolderFiles(medium, staged);
    ActDone(made, StatusOf(made));
    if (!made || FAILED(StringCchPrintfA(medium, chars, "%s\\", staged))) {
        UnstageMedium();
        return 0;
    }
    /* What was copied is what the medium's own list names, where it has one. */
    char differs[MAX_PATH] = "", text[MAX_PATH + 96];
    if (LoadDigestList(medium))
        EachListedFile(CheckStagedFile, differs);
    if (differs[0]) {
        StringCchPrintfA(text, ARRAYSIZE(text),
                         "The medium's file %s is not the one its list names.",
                         differs);
        KeepBox(text, KX_CAPTION_INSTALL_ERROR);
        UnstageMedium();
        return 0;
    }
    return 1;
}

void UnstageMedium(void)
{
    char pattern[MAX_PATH], path[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;

    if (!staged[0])
        return;
    if (SUCCEEDED(StringCchPrintfA(pattern, ARRAYSIZE(pattern), "%s\\*", staged)) &&
        (search = FindFirstFileA(pattern, &found)) != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                SUCCEEDED(StringCchPrintfA(path, ARRAYSIZE(path), "%s\\%s", staged, found.cFileName)))
                DeleteFileA(path);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    LogLine("protected copy of the medium %s removed: %s", staged,
            LogStatus(StatusOf(RemoveDirectoryA(staged))));
    staged[0] = '\0';
}
