#include "shell/shell.h"
#include <string.h>

int CommandLineSelectsUninstall(const char *commandLine)
{
    return commandLine && strstr(commandLine, "Uninstall") != NULL;
}

int RunSetupProgram(HINSTANCE instance, int showCommand)
{
    SetupState.instance = instance;
    if (!RegisterHostClass(instance))
        return KX_EXIT_FAILED;
    /* The window posts its start command while it is created; the mode below is
     * settled before the loop dispatches that command. */
    if (!CreateHostWindow(instance, showCommand))
        return KX_EXIT_FAILED;
    if (CommandLineSelectsUninstall(GetCommandLineA()))
        SetupState.installMode = Uninstall;
    return RunMessageLoop();
}
