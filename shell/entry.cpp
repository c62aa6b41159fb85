#include "shell/shell.h"
#include <string.h>

/* The program's own name is skipped as Windows parses it, so that a medium in
 * a folder such as D:\Uninstall files still installs. */
int CommandLineSelectsUninstall(const char *commandLine)
{
    const char *arguments = commandLine;

    if (!arguments)
        return 0;
    if (*arguments == '"') {
        arguments = strchr(arguments + 1, '"');
        if (!arguments)
            return 0;
    } else {
        arguments += strcspn(arguments, " \t");
    }
    return strstr(arguments, "Uninstall") != NULL;
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
