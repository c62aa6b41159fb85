/* Application shell: entry, host window, environment check and the installation
 * run that drives every other subsystem in order. */
#ifndef KX_SHELL_H
#define KX_SHELL_H

#include "setupdata/setupdata.h"

#define StartCommand 100

enum EnvironmentResult {
    EnvironmentOk = 0,
    EnvironmentNotNT = 1,
    EnvironmentNoRights = 2,
    Environment64Bit = 3
};

/* Process exit codes: the outcome of the run. RunInstallation decides it for a
 * run, the entry for a start that never reaches one; the host window carries it
 * out through WM_QUIT. */
#define KX_EXIT_OK              0
#define KX_EXIT_CANCELLED       1602
#define KX_EXIT_FAILED          1603
#define KX_EXIT_RESTART_DECLINED 3010

/* The status display tool: the run asks its window to close before uninstalling. */
#define KX_STATUS_WINDOW_TITLE  "Printer Status Display"
#define KX_STATUS_CLOSE_MESSAGE (WM_USER + 7711)
#define KX_STATUS_CLOSE_WPARAM  7711
#define KX_STATUS_WAIT_MS       30000

/* The start of WinMain, before anything loads a DLL: the DLL search leaves out
 * the program's and the current folder where the system allows it. */
void RestrictDllSearch(void);
/* The functions the program calls from comctl32, winspool and setupapi, taken
 * from the system folder's copies once the log is open; 0 after a box that
 * names the file that cannot be loaded (the program ends). */
int LoadSystemDlls(void);
int SystemDllsLoaded(void);

/* The whole program behind WinMain: registers the class, creates the host window,
 * settles the mode from GetCommandLineA and runs the message loop; returns the
 * process exit code. */
int RunSetupProgram(HINSTANCE instance, int showCommand);

ATOM RegisterHostClass(HINSTANCE instance);
int CreateHostWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/* GetMessageA loop over every window of the thread; returns WM_QUIT's wParam. */
int RunMessageLoop(void);
int CheckEnvironment(void);
void PumpMessages(void);

UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);
/* The status display folder before anything is copied into it: a missing one
 * (and every missing folder above it) is made so that only administrators and
 * the system may change it; one that exists is used only when nobody else
 * controls it (JudgeFolderTrust). 0 after its box when it cannot be made or
 * is refused. */
int CreateStatusFolder(const char *folder);
/* JudgeFolderTrust's verdict on the status folder; a refusal has shown its
 * box with `caption`. */
int CheckStatusFolder(const char *folder, const char *caption);
/* One installation or uninstall from the folders to the restart prompt; returns
 * the exit code of the run (KX_EXIT_*). */
int RunInstallation(HWND hostWindow, SetupStateRecord *state);

#endif
