#include "run/run.h"
#include "spooler/spooler.h"
#include "integration/integration.h"
#include "change/change.h"
#include <strsafe.h>

#define JOURNAL_FOLDER_PREFIX "kxsetup-run-"
#define MARKER_VALUE "Journal"
#define FOLDER_ATTEMPTS 4

/* The marker names the journal folder of the run in progress. Its key is made
 * the administrators' own; the folder it names is judged before anything of
 * it is believed. */
static int WriteMarker(const char *folder)
{
    AdminSecurity security;
    HKEY key;
    LONG status;

    if (!BuildAdminSecurity(&security, KEY_ALL_ACCESS, KEY_READ))
        return 0;
    status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY, 0, NULL,
                             REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, &security.attributes, &key,
                             NULL);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, MARKER_VALUE, 0, REG_SZ, (const BYTE *)folder,
                                (DWORD)strlen(folder) + 1);
        RegCloseKey(key);
    }
    LogLine("run marker HKLM\\%s: %s", KX_RUN_MARKER_KEY, LogStatus((DWORD)status));
    return status == ERROR_SUCCESS;
}

/* The marker's folder; a value of another type reads as none. */
static LONG ReadMarker(char *folder, DWORD *bytes)
{
    HKEY key;
    DWORD type = 0;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY, 0, KEY_QUERY_VALUE, &key);

    if (status != ERROR_SUCCESS)
        return status;
    status = RegQueryValueExA(key, MARKER_VALUE, NULL, &type, (BYTE *)folder, bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type != REG_SZ ? ERROR_INVALID_DATA : status;
}

static void RemoveMarker(void)
{
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY);
    if (status != ERROR_FILE_NOT_FOUND)
        LogLine("run marker removed: %s", LogStatus((DWORD)status));
}

/* A folder of a random name in the Windows folder, made the administrators'
 * own: nobody can make it beforehand or guess it to take its place. */
int OpenRunJournal(void)
{
    AdminSecurity security;
    char windows[MAX_PATH], name[20], folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, ARRAYSIZE(windows));

    if (Planning())
        return BeginJournal(NULL);
    if (!length || length >= ARRAYSIZE(windows) ||
        !BuildAdminSecurity(&security, FILE_ALL_ACCESS, 0))
        return 0;
    if (windows[length - 1] == '\\')
        windows[length - 1] = '\0';
    for (int attempt = 0; attempt < FOLDER_ATTEMPTS; attempt++) {
        if (!RandomName(name, ARRAYSIZE(name)) ||
            FAILED(StringCchPrintfA(folder, ARRAYSIZE(folder), "%s\\" JOURNAL_FOLDER_PREFIX "%s",
                                    windows, name)))
            break;
        BOOL made = CreateDirectoryA(folder, &security.attributes);
        if (!made && GetLastError() == ERROR_ALREADY_EXISTS)
            continue;
        if (!made) {
            LogLine("journal folder %s: %s", folder, LogStatus(GetLastError()));
            return 0;
        }
        if (BeginJournal(folder) && WriteMarker(folder))
            return 1;
        /* Nothing is changed yet: what was made goes again. */
        EndJournal();
        RemoveMarker();
        return 0;
    }
    LogLine("journal folder: no name could be made");
    return 0;
}

void CloseRunJournal(int keep)
{
    if (keep)
        EndJournal();
    else
        RollBack();
    if (!Planning())
        RemoveMarker();
}

/* Only the folder is believed, not the marker: a journal is replayed from a
 * folder nobody but the administrators and the system may change. A journal
 * that cannot be read keeps the marker: the map of the backups it keeps is
 * not lost. */
int TakeBackInterrupted(char *journalFolder, size_t chars)
{
    char folder[MAX_PATH];
    const char *why = NULL;
    DWORD bytes = sizeof(folder) - 1;
    Replay replay = ReplayNone;

    ZeroMemory(folder, sizeof(folder));
    if (ReadMarker(folder, &bytes) != ERROR_SUCCESS)
        return 0;
    StringCchCopyA(journalFolder, chars, folder);
    if (JudgeFolderTrust(folder, NULL, &why) != FolderTrusted)
        LogLine("interrupted installation: %s is not undone: %s", folder,
                why ? why : "it is not the administrators' own");
    else {
        DefineRunUndo();
        replay = ReplayJournal(folder);
    }
    if (replay == ReplayUnread)
        return -1;
    if (!Planning())
        RemoveMarker();
    return replay == ReplayDone;
}

void DefineRunUndo(void)
{
    DefineFileUndo();
    DefineRegistryUndo();
    DefineProfileUndo();
    DefineSpoolerUndo();
}
