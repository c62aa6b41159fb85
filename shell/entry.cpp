#include "shell/shell.h"
#include "unattended/options.h"
#include "unattended/log.h"
#include <strsafe.h>

#define PROGRAM_CAPTION "kxsetup"

/* A faulty command line is told with the usage; /? shows the usage alone. In a
 * quiet run both become log lines. */
static int ShowUsage(const char *why)
{
    char text[USAGE_CHARS + OPTION_WHY_CHARS + 4];

    StringCchPrintfA(text, ARRAYSIZE(text), "%s%s%s", why, why[0] ? "\n\n" : "", UsageText);
    KxMessageBox(NULL, text, PROGRAM_CAPTION, why[0] ? MB_OK | MB_ICONERROR : MB_OK);
    return why[0] ? KX_EXIT_BAD_COMMAND_LINE : KX_EXIT_OK;
}

static int StartRun(HINSTANCE instance, int showCommand, int validLine)
{
    if (!validLine)
        return ShowUsage(Options.why);
    if (Options.usage)
        return ShowUsage("");
    if (Options.uninstall)
        SetupState.installMode = Uninstall;
    LogLine("mode: %s%s%s", Options.uninstall ? "uninstall" : "install",
            Options.quiet ? ", quiet" : "", Options.noRestart ? ", no restart" : "");
    if (!RegisterHostClass(instance))
        return KX_EXIT_FAILED;
    /* The window posts its start command while it is created; the mode above is
     * settled before the loop dispatches that command. */
    if (!CreateHostWindow(instance, showCommand))
        return KX_EXIT_FAILED;
    return RunMessageLoop();
}

int RunSetupProgram(HINSTANCE instance, int showCommand)
{
    const char *commandLine = GetCommandLineA();
    int validLine = ParseCommandLine(commandLine, &Options);
    int exitCode;

    SetupState.instance = instance;
    if (Options.logFile[0] && !OpenLog(Options.logFile)) {
        char text[OPTION_VALUE_CHARS + 64];
        StringCchPrintfA(text, ARRAYSIZE(text), "The log file %s could not be opened.",
                         Options.logFile);
        KxMessageBox(NULL, text, PROGRAM_CAPTION, MB_OK | MB_ICONERROR);
        return KX_EXIT_BAD_LOG;
    }
    LogLine("kxsetup started: %s", commandLine);
    exitCode = StartRun(instance, showCommand, validLine);
    LogLine("exit %d", exitCode);
    CloseLog();
    return exitCode;
}
