#include "shell/shell.h"

int CheckEnvironment(void)
{
    OSVERSIONINFOA version;
    SC_HANDLE manager;

    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    /* A failing version query is taken as NT: the rights test below still runs. */
    if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return EnvironmentNotNT;
    /* Full access to the service control manager stands for the right to add printers. */
    manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return EnvironmentNoRights;
    CloseServiceHandle(manager);
    return EnvironmentOk;
}
