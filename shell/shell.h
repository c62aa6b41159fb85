/* Application shell: entry, host window, environment check and the installation
 * run that drives every other subsystem in order. */
#ifndef KX_SHELL_H
#define KX_SHELL_H

#include "setupdata/setupdata.h"

#define StartCommand 100

enum EnvironmentResult {
    EnvironmentOk = 0,
    EnvironmentNotNT = 1,
    EnvironmentNoRights = 2
};

/* Process exit codes: the outcome of the run, decided in one place. */
#define KX_EXIT_OK              0
#define KX_EXIT_CANCELLED       1602
#define KX_EXIT_FAILED          1603
#define KX_EXIT_RESTART_DECLINED 3010

ATOM RegisterHostClass(HINSTANCE instance);
int CreateHostWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int CheckEnvironment(void);
void PumpMessages(void);

UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);
int RunInstallation(HWND hostWindow, SetupStateRecord *state);

#endif
