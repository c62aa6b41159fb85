/* A do-nothing PJL language monitor: enough for the spooler to load it and keep
 * it in its monitor list. Ports open and close, nothing is ever printed. */
#include <windows.h>
#include <winsplp.h>

static BOOL WINAPI MonitorOpenPort(HANDLE monitor, LPWSTR name, PHANDLE port)
{
    *port = (HANDLE)1;
    return TRUE;
}

static BOOL WINAPI MonitorClosePort(HANDLE port)
{
    return TRUE;
}

static VOID WINAPI MonitorShutdown(HANDLE monitor)
{
}

static MONITOR2 monitor;

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI
    InitializePrintMonitor2(PMONITORINIT init, PHANDLE handle)
{
    monitor.cbSize = sizeof(monitor);
    monitor.pfnOpenPort = MonitorOpenPort;
    monitor.pfnClosePort = MonitorClosePort;
    monitor.pfnShutdown = MonitorShutdown;
    *handle = (HANDLE)&monitor;
    return &monitor;
}
