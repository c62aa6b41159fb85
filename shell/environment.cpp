#include "shell/host.h"

typedef BOOL(WINAPI *IsWow64ProcessProc)(HANDLE process, PBOOL wow64);

/* The package's drivers are for 32-bit Windows: on a 64-bit Windows this
 * 32-bit program runs under WoW64, and the spooler refuses its printers only
 * after the files and records are in place. Systems before XP lack the call;
 * a 64-bit build of the program always hears FALSE. */
static int RunsUnderWow64(void)
{
    IsWow64ProcessProc isWow64Process = (IsWow64ProcessProc)(void *)
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;

    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

int CheckEnvironment(void)
{
    OSVERSIONINFOA version;
    SC_HANDLE manager;

    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    /* A failing version query is taken as NT: the rights test below still runs. */
    if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return EnvironmentNotNT;
    if (RunsUnderWow64())
        return Environment64Bit;
    /* Full access to the service control manager stands for the right to add printers. */
    manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return EnvironmentNoRights;
    CloseServiceHandle(manager);
    return EnvironmentOk;
}
