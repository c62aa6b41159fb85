/* The whole program behind WinMain. */
#ifndef KX_SHELL_ENTRY_H
#define KX_SHELL_ENTRY_H

#include "shell/options.h"
#include "run/run.h"

/* Registers the class, creates the host window, settles the mode from
 * GetCommandLineA and runs the message loop; returns the process exit code. */
int RunSetupProgram(HINSTANCE instance, int showCommand);
/* The mode and the choice step of a run of these options. */
void RunModeOf(const SetupOptions *options, RunMode *mode);
/* Everything a run keeps (the record, the options, the log's plan, the pages'
 * own data, the quiet answers) back as at process start, for a caller that
 * runs the setup more than once in one process. */
void ResetRun(void);

#endif
