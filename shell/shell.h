/* Application shell: entry, the command line and its quiet choices, host window,
 * environment check, and the installation run that drives every other
 * subsystem in order, with the file queue's answers it gives SetupAPI. */
#ifndef KX_SHELL_H
#define KX_SHELL_H

#include "rules/rules.h"

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
/* Everything a run keeps (the record, the options, the log's plan, the pages'
 * own data, the quiet answers) back as at process start, for a caller that
 * runs the setup more than once in one process. */
void ResetRun(void);

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


/* The command line: the uninstall word and the options of unattended
 * deployment (/quiet, /norestart, /log=FILE and the wizard's choices). Without
 * an option the program behaves exactly as the wizard-driven setup does. */


/* Exit codes of the command line itself, beside KX_EXIT_* of the run. */
#define KX_EXIT_BAD_LOG          1622
#define KX_EXIT_BAD_COMMAND_LINE 1639

#define OPTION_VALUE_CHARS 288
#define OPTION_WHY_CHARS 160

struct SetupOptions {
    int uninstall;          /* the word Uninstall stands in an argument */
    int quiet;              /* no window, no box, no restart prompt */
    int noRestart;          /* completed runs end with 3010, no prompt */
    int usage;              /* /? */
    int installType;        /* Express, Minimum, Custom or 0 (not given) */
    int statusDisplay;      /* -1 not given, 0 no, 1 yes */
    int defaultPrinter;     /* the first printer becomes the default printer */
    char logFile[OPTION_VALUE_CHARS];
    char planFile[OPTION_VALUE_CHARS];  /* describe the run there, change nothing */
    char models[OPTION_VALUE_CHARS];    /* numbers or names, comma-separated */
    char statusFolder[OPTION_VALUE_CHARS];
    char port[OPTION_VALUE_CHARS];
    char why[OPTION_WHY_CHARS];         /* what is wrong with an invalid line */
};

extern SetupOptions Options;

/* Fills `options` from a full command line (the program's own name first, as
 * GetCommandLineA gives it). 1 when the line is valid; 0 with `why` filled. */
int ParseCommandLine(const char *commandLine, SetupOptions *options);

/* The usage text that /? shows, at most USAGE_CHARS long with its zero. */
#define USAGE_CHARS 1024
extern const char UsageText[];

/* The wizard's choices of a quiet install, taken from the command line: the
 * installation type, the components, the port, the status display folder and
 * the space verdict, with the same checks the wizard's pages make. */


/* Fills what the wizard fills (installMode, selectedComponents, portName,
 * statusDirChoice, spaceShortfall). 1 when the run goes on; 0 when a choice is
 * refused, with the reason in the log and *exitCode set. */
int ApplyQuietChoices(SetupStateRecord *state, int *exitCode);

/* The file queue as the log sees it, and the answers of a quiet run: every
 * queued, copied and deleted file becomes a log line, and a quiet run answers
 * every question of SetupAPI itself instead of showing a dialog. */


/* Logs what a notification reports (a finished copy or deletion, an error), and
 * for a version check the `answer` the callback gave. */
void LogQueueNotification(UINT notification, UINT_PTR param1, UINT answer);
/* The answer of a quiet run: what can be done is done, a missing source or a
 * failed copy aborts the commit (it never waits for a disk), a file that
 * cannot be deleted is skipped, a newer file on the target is kept. */
UINT QuietQueueAnswer(UINT notification, UINT_PTR param1, UINT_PTR param2);
/* The action line of each queued copy (source, target, size), in queue order,
 * as SetupAPI itself will perform them; a source found only in its compressed
 * form (kxps.dl_ for kxps.dll) is named so. 1 when the copies are to be made,
 * 0 in a plan. `missing` counts the copies whose source is not there;
 * `kilobytes` is the sum of the sources' sizes, rounded up to whole KB (a
 * compressed source counts as it lies on the medium; NT 4's scan names no
 * source and counts nothing). */
int ActQueuedCopies(HSPFILEQ queue, int *missing, DWORD *kilobytes);
/* While an install run keeps its journal, the scan also records each target's
 * undo: an existing one is first copied aside into a backup folder of the
 * temporary folder (administrators and system only), an absent one is deleted
 * again. RemoveBackups removes that folder at the end of the run. */
void RemoveBackups(void);
/* A folder the run made, removed again on undo while it is empty. */
void JournalFolder(const char *path);
/* The action lines of the deletions and renames that a section queues (its
 * DelFiles and RenFiles lists), each in the folder SetupAPI takes for its list;
 * the queue has no scan for them. */
void ActSectionFiles(HINF inf, const char *section);
/* The action lines of the registry and INI changes that SetupAPI makes of a
 * section applied with these parts (SPINST_REGISTRY, SPINST_INIFILES), one per
 * line of the lists the section names; 1 when the section is to be applied.
 * Each registry line's old value (or missing key) goes to the journal. */
int ActSection(HINF inf, const char *section, UINT parts);

#endif
