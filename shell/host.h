/* The host window that owns the run, its message loop, and the system check
 * of its start command. */
#ifndef KX_SHELL_HOST_H
#define KX_SHELL_HOST_H

#include "run/run.h"

#define StartCommand 100

enum EnvironmentResult {
    EnvironmentOk = 0,
    EnvironmentNotNT = 1,
    EnvironmentNoRights = 2,
    Environment64Bit = 3,
    EnvironmentKernelDrivers = 4 /* this Windows does not accept the package's drivers */
};

ATOM RegisterHostClass(HINSTANCE instance);
/* The window runs the setup in `mode` (kept until the run ends) from its
 * start command. */
int CreateHostWindow(HINSTANCE instance, int showCommand, const RunMode *mode);
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/* GetMessageA loop over every window of the thread; returns WM_QUIT's wParam. */
int RunMessageLoop(void);
int CheckEnvironment(void);

#endif
