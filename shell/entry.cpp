#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "wizard/wizard.h"
#include "integration/integration.h"
#include "change/change.h"
#include "kxversion.h"
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

/* The plan or the log the command line names; 0 when it cannot be opened. */
static int OpenOutputFile(void)
{
    const char *file = Options.planFile[0] ? Options.planFile : Options.logFile;
    char text[OPTION_VALUE_CHARS + 96];
    /* Kept by the log for as long as it is open. */
    static AdminSecurity security;
    static OutputTrust trust;

    if (!file[0])
        return 1;
    trust.made = &security.attributes;
    trust.judge = JudgeFileOwner;
    if (BuildAdminSecurity(&security, FILE_ALL_ACCESS, FILE_GENERIC_READ))
        SetOutputTrust(&trust);
    if (Options.planFile[0] ? OpenPlan(file) : OpenLog(file))
        return 1;
    if (OutputRefusal()[0])
        StringCchPrintfA(text, ARRAYSIZE(text), "The file %s is not used: %s.", file, OutputRefusal());
    else
        StringCchPrintfA(text, ARRAYSIZE(text), "The file %s could not be opened.", file);
    KxMessageBox(NULL, text, PROGRAM_CAPTION, MB_OK | MB_ICONERROR);
    return 0;
}

/* One run at a time: a second start while one is in progress (a deployment
 * tool's retry) would interleave its changes and their undo with the first
 * one's. The mutex is the whole system's where the system has sessions, and
 * is held until the run has ended. It is the administrators' own, as every
 * run of the program is an administrator's: a name that somebody else holds
 * is no run's, and must not stop every install. */
static HANDLE runLock;

static int TakeRunLock(void)
{
    AdminSecurity security;
    SECURITY_ATTRIBUTES *made =
        BuildAdminSecurity(&security, MUTEX_ALL_ACCESS, SYNCHRONIZE) ? &security.attributes : NULL;

    runLock = CreateMutexA(made, FALSE, "Global\\KxSetupRun");
    DWORD code = GetLastError();
    /* NT 4 without Terminal Server knows no Global\ prefix. */
    if (!runLock && code != ERROR_ACCESS_DENIED) {
        runLock = CreateMutexA(made, FALSE, "KxSetupRun");
        code = GetLastError();
    }
    if (runLock && code != ERROR_ALREADY_EXISTS)
        return 1;
    const char *why = runLock ? JudgeFileOwner(runLock) : "it cannot be opened";
    if (why)
        LogLine("run lock: the name is held by another account (%s): going on", why);
    return why != NULL;
}

static const char *ModeName(void)
{
    return Options.check    ? "check"
           : Options.verify ? "verify"
           : Options.repair ? "repair"
           : Options.uninstall ? "uninstall"
                               : "install";
}

static int StartRun(HINSTANCE instance, int showCommand, int validLine)
{
    if (!validLine)
        return ShowUsage(Options.why);
    if (Options.usage)
        return ShowUsage("");
    /* The box is the log's line too. */
    if (!Planning() && !Options.verify && !Options.check && !TakeRunLock()) {
        KxMessageBox(NULL, "Another installation is in progress. Start the setup again when it has ended.",
                     PROGRAM_CAPTION, MB_OK | MB_ICONERROR);
        return KX_EXIT_ANOTHER_RUN;
    }
    if (Options.uninstall)
        SetupState.installMode = Uninstall;
    LogLine("mode: %s%s%s%s", ModeName(), Options.quiet ? ", quiet" : "", Options.noRestart ? ", no restart" : "",
            Planning() ? ", plan only" : "");
    if (!RegisterHostClass(instance))
        return KX_EXIT_FAILED;
    /* The window posts its start command while it is created; the mode above is
     * settled before the loop dispatches that command. */
    /* Kept by the host window for its run. */
    static RunMode mode;
    RunModeOf(&Options, &mode);
    if (!CreateHostWindow(instance, showCommand, &mode))
        return KX_EXIT_FAILED;
    return RunMessageLoop();
}

void RunModeOf(const SetupOptions *options, RunMode *mode)
{
    mode->quiet = options->quiet;
    mode->noRestart = options->noRestart;
    mode->defaultPrinter = options->defaultPrinter;
    mode->verify = options->verify;
    mode->check = options->check;
    mode->repair = options->repair;
    mode->choose = options->repair ? ChooseRepair : options->quiet ? ChooseQuietly : ChooseInWizard;
}

void ResetRun(void)
{
    ResetSetupState();
    ZeroMemory(&Options, sizeof(Options));
    SetQuietAnswers(0);
    ResetLog();
    EndJournal();
    ResetFileUndo();
    ForgetRecordSeries();
    ForgetQueuedTargets();
    ResetWizard();
}

/* One event for monitoring at the end of each install, repair and uninstall,
 * and of each /verify that finds a change: what ran, its outcome and exit
 * code, and the log. A plan, /check and /? change nothing and tell nothing. */
static void ReportRun(int exitCode)
{
    char text[OPTION_VALUE_CHARS + 64];
    int done = exitCode == KX_EXIT_OK || exitCode == KX_EXIT_RESTART_DECLINED;
    /* Windows Installer numbers a removal's events 17 above an install's. */
    DWORD id = Options.verify ? KX_EVENT_CHANGED
                              : (done ? KX_EVENT_COMPLETED : KX_EVENT_FAILED) +
                                    (Options.uninstall ? KX_EVENT_REMOVED - KX_EVENT_COMPLETED : 0);

    if (Planning() || Options.check || Options.usage || (Options.verify && exitCode != KX_EXIT_FAILED))
        return;
    StringCchPrintfA(text, ARRAYSIZE(text), "Velba Printer " KX_VERSION_TEXT ": %s %s, exit code %d.%s%s",
                     ModeName(), done ? "completed" : "failed", exitCode,
                     Options.logFile[0] ? " Log: " : "", Options.logFile);
    ReportRunEvent(done ? EVENTLOG_INFORMATION_TYPE
                   : Options.verify ? EVENTLOG_WARNING_TYPE
                                    : EVENTLOG_ERROR_TYPE,
                   id, text);
}

int RunSetupProgram(HINSTANCE instance, int showCommand)
{
    const char *commandLine = GetCommandLineA();
    int validLine = ParseCommandLine(commandLine, &Options);
    int exitCode;

    SetQuietAnswers(Options.quiet);
    SetupState.instance = instance;
    if (!OpenOutputFile())
        return KX_EXIT_BAD_LOG;
    LogLine("kxsetup started: %s", commandLine);
    exitCode = StartRun(instance, showCommand, validLine);
    if (runLock) {
        CloseHandle(runLock);
        runLock = NULL;
    }
    LogLine("exit %d", exitCode);
    CloseLog();
    if (validLine)
        ReportRun(exitCode);
    /* A plan's own outcome: the run it describes would complete, or not. */
    if (Planning() && exitCode != KX_EXIT_BAD_COMMAND_LINE)
        return exitCode == KX_EXIT_OK || exitCode == KX_EXIT_RESTART_DECLINED ? KX_EXIT_OK
                                                                               : KX_EXIT_FAILED;
    return exitCode;
}
