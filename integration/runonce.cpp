#include "integration/integration.h"
#include "change/change.h"
#include <strsafe.h>

/* Both command lines are stored with their terminating zero. */
static const char wrapperCommand[] = "runonce";
static const char groupConverterCommand[] = "grpconv -o";

/* The system folder's copy, by its full path, started in the system folder:
 * by bare name, a runonce.exe in the current folder (the status folder, for a
 * run started from there) would be started instead, and runonce searches its
 * own current folder first for every entry it starts. */
static void StartRunOnceProcessor(void)
{
    char systemDirectory[TEXT_CHARS];
    char commandLine[TEXT_CHARS + 32];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    UINT length;

    length = GetSystemDirectoryA(systemDirectory, ARRAYSIZE(systemDirectory));
    if (length == 0 || length >= ARRAYSIZE(systemDirectory))
        return;
    if (FAILED(StringCchPrintfA(commandLine, ARRAYSIZE(commandLine), "\"%s\\runonce.exe\" -r",
                                systemDirectory)))
        return;
    if (!Act("start %s", commandLine))
        return;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    BOOL started = CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, systemDirectory,
                                  &startup, &process);
    ActDone(started, StatusOf(started));
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

static LONG SetCommand(HKEY runOnce, const char *name, const char *command, DWORD bytes)
{
    JournalValue(HKEY_LOCAL_MACHINE, "HKLM", KX_RUNONCE_KEY, name);
    if (!Act("registry set HKLM\\%s %s = REG_SZ \"%s\"", KX_RUNONCE_KEY, name, command))
        return ERROR_SUCCESS;
    LONG status = RegSetValueExA(runOnce, name, 0, REG_SZ, (const BYTE *)command, bytes);
    ActDone(status == ERROR_SUCCESS, (DWORD)status);
    return status;
}

LONG WriteRunOnceEntries(int startNow)
{
    HKEY runOnce, setup;
    LONG status, written;

    /* The list is opened, never created: a machine without it gets no entries
     * and no start of the processor. */
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, 0, KEY_ALL_ACCESS, &runOnce);
    if (status != ERROR_SUCCESS) {
        LogLine("registry open HKLM\\%s: %s", KX_RUNONCE_KEY, LogStatus((DWORD)status));
        return status;
    }

    if (RegOpenKeyExA(runOnce, "Setup", 0, KEY_READ, &setup) == ERROR_SUCCESS) {
        RegCloseKey(setup);
        status = SetCommand(runOnce, "Wrapper", wrapperCommand, sizeof(wrapperCommand));
    }
    written = SetCommand(runOnce, "GrpConv", groupConverterCommand, sizeof(groupConverterCommand));
    if (status == ERROR_SUCCESS)
        status = written;
    RegCloseKey(runOnce);

    if (startNow)
        StartRunOnceProcessor();
    return status;
}
