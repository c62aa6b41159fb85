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

/* The package's drivers are version-2 drivers, NT 4's kernel-mode ones.
 * From Vista on the spooler refuses every kernel-mode driver
 * (ERROR_KM_DRIVER_BLOCKED) and no setting lets one in. On 2000, XP and
 * Server 2003 the policy "Disallow installation of printers using kernel-mode
 * drivers" decides where it is set; where it is not, Server 2003 (5.2; the
 * 64-bit XP of the same number is refused as 64-bit before) blocks them and
 * the others take them. NT 4 knows no other kind. Refused here, the run
 * never copies what the spooler would refuse only at its end. */
static int KernelDriversRefused(const OSVERSIONINFOA *version)
{
    DWORD blocked = 0, type = 0, bytes = sizeof(blocked);
    HKEY policy;
    LONG status;

    if (version->dwMajorVersion >= 6)
        return 1;
    if (version->dwMajorVersion < 5)
        return 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\Windows NT\\Printers", 0,
                      KEY_QUERY_VALUE, &policy) != ERROR_SUCCESS)
        return version->dwMinorVersion >= 2;
    status = RegQueryValueExA(policy, "KMPrintersAreBlocked", NULL, &type, (BYTE *)&blocked, &bytes);
    RegCloseKey(policy);
    if (status != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof(blocked))
        return version->dwMinorVersion >= 2;
    return blocked != 0;
}

int CheckEnvironment(void)
{
    OSVERSIONINFOA version;
    SC_HANDLE manager;

    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    /* A failing version query is taken as NT: the rights test below still runs. */
    BOOL known = GetVersionExA(&version);
    if (known && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return EnvironmentNotNT;
    if (RunsUnderWow64())
        return Environment64Bit;
    if (known && KernelDriversRefused(&version))
        return EnvironmentKernelDrivers;
    /* Full access to the service control manager stands for the right to add printers. */
    manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return EnvironmentNoRights;
    CloseServiceHandle(manager);
    return EnvironmentOk;
}
