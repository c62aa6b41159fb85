#include "run/run.h"
#include "spooler/spooler.h"
#include "integration/integration.h"
#include "resources/resource.h"
#include "change/change.h"
#include <string.h>
#include <strsafe.h>

#define SETUP_INF_NAME "oemsetup.inf"
#define FALLBACK_DRIVER_SUBDIR "\\spool\\drivers\\w32x86"
#define DRIVER_VERSION_SUBDIR "\\2"
#define DRIVER_VERSION_DIRID 66000
#define STATUS_POLL_MS 100
#define STATUS_SEND_MS 5000
#define STATUS_WINDOWS_MAX 32

struct RunContext {
    HWND hostWindow;
    char moduleDirectory[TEXT_CHARS];
    char startedFrom[TEXT_CHARS]; /* the program's own folder, also when its files are staged */
    char systemDirectory[TEXT_CHARS];
    char driverVersionDirectory[TEXT_CHARS];
    char infPath[TEXT_CHARS];
    HINF inf;
    HSPFILEQ queue;
    QueueContext queueContext; /* SetupAPI's default context and the quiet flag */
    const RunMode *mode;
    HANDLE heldFolder;      /* an uninstalled folder others could swap, held (HoldFolder) */
    char earlierFolder[STATUSDIR_CHARS]; /* an earlier installation's other status folder */
    int journalOpen;        /* the run has its journal and marker */
    int exitCode;           /* the outcome, once a step has stopped the run */
    /* The box of a stop that the program itself tells, shown once the run's
     * changes are undone. */
    HWND stopOwner;
    const char *stopCaption;
    char stopText[TEXT_CHARS];
};

/* Every step answers 1 to go on, or 0 once it has stopped the run with this. */
static int StopRun(RunContext *run, int exitCode)
{
    run->exitCode = exitCode;
    return 0;
}

static int StopWithBox(RunContext *run, HWND owner, const char *text, const char *caption)
{
    run->stopOwner = owner;
    run->stopCaption = caption;
    StringCchCopyA(run->stopText, ARRAYSIZE(run->stopText), text);
    return StopRun(run, KX_EXIT_FAILED);
}

/* The status folder an uninstall found gone: the section's operations in it
 * are skipped. */
static char goneFolder[STATUSDIR_CHARS];

/* The uninstall section's file operations are described as SetupAPI comes to
 * each, and in a plan skipped. The section is applied with
 * SP_COPY_DELETESOURCE, so a copy it names takes its source away. (The
 * install's copies were described by the queue scan before their commit.) */
static UINT CALLBACK SectionCallback(PVOID context, UINT notification, UINT_PTR param1,
                                     UINT_PTR param2)
{
    const FILEPATHS_A *paths = (const FILEPATHS_A *)param1;
    int make = 1;

    if ((notification == SPFILENOTIFY_STARTDELETE || notification == SPFILENOTIFY_STARTRENAME ||
         notification == SPFILENOTIFY_STARTCOPY) &&
        goneFolder[0] &&
        (IsInsideFolder(paths->Target, goneFolder) ||
         (paths->Source && IsInsideFolder(paths->Source, goneFolder))))
        return FILEOP_SKIP;
    if (notification == SPFILENOTIFY_STARTDELETE)
        make = Act("delete %s", paths->Target);
    else if (notification == SPFILENOTIFY_STARTRENAME)
        make = Act("rename %s -> %s", paths->Source, paths->Target);
    else if (notification == SPFILENOTIFY_STARTCOPY)
        make = Act("move %s -> %s", paths->Source, paths->Target);
    return make ? QueueCallback(context, notification, param1, param2) : FILEOP_SKIP;
}

/* The one release point of the run: callback context, queue, INF, the
 * medium's protected copy, in this order. */
static void ReleaseRun(RunContext *run)
{
    if (run->queueContext.defaultContext) {
        SetupTermDefaultQueueCallback(run->queueContext.defaultContext);
        run->queueContext.defaultContext = NULL;
    }
    if (run->queue) {
        SetupCloseFileQueue(run->queue);
        run->queue = NULL;
    }
    if (run->inf != INVALID_HANDLE_VALUE) {
        SetupCloseInfFile(run->inf);
        run->inf = INVALID_HANDLE_VALUE;
    }
    UnstageMedium();
    if (run->heldFolder) {
        CloseHandle(run->heldFolder);
        run->heldFolder = NULL;
    }
}

static int ComposeFolders(RunContext *run, SetupStateRecord *state)
{
    DWORD length, needed = 0;
    char *lastSlash;

    length = GetModuleFileNameA(NULL, run->moduleDirectory, TEXT_CHARS);
    /* A path that filled the whole buffer was cut by the system: refused. */
    if (length == 0 || length >= TEXT_CHARS)
        return 0;
    lastSlash = strrchr(run->moduleDirectory, '\\');
    if (!lastSlash)
        return 0;
    lastSlash[1] = '\0';
    CopyMemory(run->startedFrom, run->moduleDirectory, sizeof(run->startedFrom));
    /* /verify changes nothing, and copies nothing either. */
    if (!run->mode->verify && !StageMedium(run->moduleDirectory, ARRAYSIZE(run->moduleDirectory)))
        return 0;

    length = GetSystemDirectoryA(run->systemDirectory, TEXT_CHARS);
    if (length == 0 || length >= TEXT_CHARS)
        return 0;

    /* After a failed query the buffer's content is undefined, so any failure
     * takes the fall-back, not only one that left the buffer empty. */
    state->driverDirectory[0] = '\0';
    if (!GetPrinterDriverDirectoryA(NULL, NULL, 1, (LPBYTE)state->driverDirectory,
                                    sizeof(state->driverDirectory), &needed)) {
        if (FAILED(StringCchPrintfA(state->driverDirectory, ARRAYSIZE(state->driverDirectory),
                                    "%s%s", run->systemDirectory, FALLBACK_DRIVER_SUBDIR)))
            return 0;
    }
    if (FAILED(StringCchPrintfA(run->driverVersionDirectory, ARRAYSIZE(run->driverVersionDirectory),
                                "%s%s", state->driverDirectory, DRIVER_VERSION_SUBDIR)))
        return 0;
    if (FAILED(
            StringCchCopyA(state->layoutPath, ARRAYSIZE(state->layoutPath), run->moduleDirectory)))
        return 0;
    if (FAILED(StringCchPrintfA(run->infPath, ARRAYSIZE(run->infPath), "%s%s",
                                run->moduleDirectory, SETUP_INF_NAME)))
        return 0;
    return 1;
}

/* A directory id that cannot be bound would send files to the wrong place: the
 * run stops rather than copy or delete there. */
static int BindDirectory(RunContext *run, DWORD id, const char *folder)
{
    DWORD code;

    if (SetupSetDirectoryIdA(run->inf, id, folder))
        return 1;
    code = GetLastError();
    KeepSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 0;
}

static int OpenQueue(RunContext *run)
{
    run->queue = SetupOpenFileQueue();
    if (!run->queue || run->queue == INVALID_HANDLE_VALUE) {
        run->queue = NULL;
        return 0;
    }
    /* SetupAPI's progress and error dialogs belong to the host window. */
    run->queueContext.defaultContext =
        SetupInitDefaultQueueCallbackEx(run->hostWindow, NULL, 0, 0, NULL);
    return run->queueContext.defaultContext != NULL;
}

/* Asks every window titled like the status display tool to close (another
 * program's window of that title, or one that never answers, must not take the
 * request from the tool) and waits, idle between looks, until none is left or
 * KX_STATUS_WAIT_MS have passed; the uninstall goes on either way. The requests
 * count towards that one bound: each waits STATUS_SEND_MS at most and never
 * past what is left of the bound. */
static void CloseStatusDisplay(void)
{
    HWND windows[STATUS_WINDOWS_MAX];
    int count = 0;
    DWORD started, left;
    DWORD_PTR answer;

    /* Listed before any is asked: a window that closes on the request would cut
     * the walk through the rest short. FindWindowExA compares titles without
     * sending a message, so a hung window cannot hold the listing. */
    for (HWND window = NULL; count < STATUS_WINDOWS_MAX &&
                             (window = FindWindowExA(NULL, window, NULL, KX_STATUS_WINDOW_TITLE));)
        windows[count++] = window;
    if (!count)
        return;
    if (!Act("status display tool: close request to \"%s\"", KX_STATUS_WINDOW_TITLE))
        return;
    started = GetTickCount();
    for (int i = 0; i < count; i++) {
        DWORD spent = GetTickCount() - started;
        if (spent >= KX_STATUS_WAIT_MS)
            break;
        left = KX_STATUS_WAIT_MS - spent;
        SendMessageTimeoutA(windows[i], KX_STATUS_CLOSE_MESSAGE, KX_STATUS_CLOSE_WPARAM, 0,
                            SMTO_ABORTIFHUNG, left < STATUS_SEND_MS ? left : STATUS_SEND_MS,
                            &answer);
    }
    for (;;) {
        PumpMessages();
        if (!FindWindowExA(NULL, NULL, NULL, KX_STATUS_WINDOW_TITLE)) {
            LogLine("status display tool: closed");
            return;
        }
        if (GetTickCount() - started >= KX_STATUS_WAIT_MS) {
            LogLine("status display tool: still open after %d ms; going on", KX_STATUS_WAIT_MS);
            return;
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, STATUS_POLL_MS, QS_ALLINPUT);
    }
}

static int QueueCopy(RunContext *run, const char *file, const char *target,
                     const char *targetName, DWORD style)
{
    DWORD code;

    /* A model without this file (the setup information names none) has nothing
     * to copy; queueing an empty name would make the commit look for it. */
    if (!file[0])
        return 1;
    if (SetupQueueCopyA(run->queue, run->moduleDirectory, NULL, file, NULL, NULL,
                        target, targetName, style))
        return 1;
    code = GetLastError();
    KeepSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 0;
}

/* The setup program, its setup information and the language monitor, then the
 * four files of each selected model in slot order. SP_COPY_FORCE_IN_USE would
 * put every existing target off to the restart; SetupAPI defers what is
 * really in use by itself, and says so (SPFILENOTIFY_FILEOPDELAYED). */
static int QueueFixedCopies(RunContext *run, SetupStateRecord *state)
{
    int i;

    if (!QueueCopy(run, "kxsetup.exe", state->statusDir, NULL, SP_COPY_NEWER) ||
        !QueueCopy(run, SETUP_INF_NAME, state->statusDir, NULL, SP_COPY_NEWER) ||
        !QueueCopy(run, "tremon.dll", run->systemDirectory, "tremon.dll", 0))
        return 0;
    for (i = 0; i < MODEL_SLOTS; i++) {
        if (!(state->selectedComponents & (1u << i)))
            continue;
        if (!QueueCopy(run, state->driverFile[i], state->driverDirectory, NULL, 0) ||
            !QueueCopy(run, state->configFile[i], state->driverDirectory, NULL, 0) ||
            !QueueCopy(run, state->dataFile[i], state->driverDirectory, NULL, 0) ||
            !QueueCopy(run, state->helpFile[i], state->driverDirectory, NULL, 0))
            return 0;
    }
    return 1;
}

static int QueueSection(RunContext *run, const char *section)
{
    DWORD code;

    if (SetupInstallFilesFromInfSectionA(run->inf, NULL, run->queue, section,
                                         run->moduleDirectory, SP_COPY_NEWER)) {
        if (ActSectionFiles(run->inf, section))
            return 1;
    }
    code = GetLastError();
    KeepSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 0;
}

static int QueueSections(RunContext *run, SetupStateRecord *state)
{
    int i;

    for (i = 0; i < MODEL_SLOTS; i++)
        if ((state->selectedComponents & (1u << i)) && !QueueSection(run, state->installSection[i]))
            return 0;
    if ((state->selectedComponents & CompStatusDisplay) && !QueueSection(run, "StatusDisplay"))
        return 0;
    return 1;
}

/* The wizard, or in a quiet run the command line's choices, as the entry handed them. */
static int ChooseInstallation(RunContext *run, SetupStateRecord *state)
{
    return run->mode->choose(run->hostWindow, state, &run->exitCode);
}

#define KX_TEXT_TAKEN_BACK "An interrupted installation was found and taken back."
#define KX_TEXT_UNREAD_JOURNAL                                                                   \
    "An interrupted installation was found, but its journal in %s cannot be read: nothing was " \
    "changed, and the journal and its backups are kept there."

/* Before the run's first change: what an interrupted run left is undone
 * first, so that this run starts from the machine as it was. A plan lists
 * that undo and ends there: what the run does next depends on the machine
 * as the undo leaves it, which a plan does not make. 0 when the run ends. */
static int TakeBack(RunContext *run)
{
    char folder[MAX_PATH];
    int taken = TakeBackInterrupted(folder, ARRAYSIZE(folder));

    if (taken < 0) {
        char text[TEXT_CHARS];
        StringCchPrintfA(text, ARRAYSIZE(text), KX_TEXT_UNREAD_JOURNAL, folder);
        return StopWithBox(run, NULL, text, KX_CAPTION_INSTALL_ERROR);
    }
    if (!taken)
        return 1;
    if (Planning()) {
        LogLine("plan: ends after the undo of the interrupted installation");
        return StopRun(run, KX_EXIT_FAILED);
    }
    KxMessageBox(run->hostWindow, KX_TEXT_TAKEN_BACK, KX_CAPTION_INSTALLATION,
                 MB_OK | MB_ICONINFORMATION);
    return 1;
}

/* The status folder the record names, when it is not this run's: an upgrade
 * moves the installation (Windows 2000's C:\STATUS, which others may rename
 * away, to the Windows folder). */
static void EarlierFolder(RunContext *run, const SetupStateRecord *state)
{
    char text[TEXT_CHARS];

    ReadMachineString(KX_PRODUCT_KEY, "StatusDisplayDir", text);
    char *equals = strrchr(text, '=');
    if (equals)
        *equals = '\0';
    if (equals && IsFullFolder(text) && lstrcmpiA(text, state->statusDir) != 0)
        StringCchCopyA(run->earlierFolder, ARRAYSIZE(run->earlierFolder), text);
}

/* Written before any file is copied; a run that stops later takes it back with
 * the rest of its changes. */
static int RecordInstallation(RunContext *run, SetupStateRecord *state)
{
    if (!TakeBack(run))
        return 0;
    if (!state->statusDir[0]) {
        if (!state->statusDirChoice[0])
            DefaultStatusFolder(KX_DEFAULT_STATUS_DRIVE, state->statusDir, ARRAYSIZE(state->statusDir));
        else if (FAILED(StringCchCopyA(state->statusDir, ARRAYSIZE(state->statusDir),
                                       state->statusDirChoice)))
            return StopRun(run, KX_EXIT_FAILED);
    }
    /* Judged again right before the first change: since it was chosen the
     * folder may have been made by somebody else. */
    if (CheckStatusFolder(state->statusDir, KX_CAPTION_INSTALL_ERROR) == FolderUntrusted ||
        !RecordKeysTrusted(KX_CAPTION_INSTALL_ERROR, 1))
        return StopRun(run, KX_EXIT_FAILED);
    EarlierFolder(run, state);
    if (!(run->journalOpen = OpenRunJournal()))
        return StopWithBox(run, NULL, "The undo journal could not be made: nothing was changed.",
                           KX_CAPTION_INSTALL_ERROR);
    if (!WriteInstallRecord(state))
        return StopWithBox(run, NULL,
                           "The installation record could not be written to the registry.",
                           KX_CAPTION_INSTALL_ERROR);
    if (state->statusDirId && !BindDirectory(run, state->statusDirId, state->statusDir))
        return StopRun(run, KX_EXIT_FAILED);
    return 1;
}

static int StopOnShortDrive(RunContext *run, const SetupStateRecord *state)
{
    char text[64];
    int verdict = SpaceVerdict(state);

    if (!verdict)
        return 1;
    StringCchPrintfA(text, ARRAYSIZE(text), KX_TEXT_NO_SPACE, (char)(verdict & 0xFF));
    return StopWithBox(run, NULL, text, KX_CAPTION_INSTALL_ERROR);
}

/* The queued copies land; only then is the package listed among the removable
 * software, since the entry starts the program just copied. */
static int CopyFiles(RunContext *run, SetupStateRecord *state)
{
    int missing;
    DWORD installedKb, unkept;

    if (!CreateStatusFolder(state->statusDir))
        return StopRun(run, KX_EXIT_FAILED);
    /* The queue's own view of its copies describes them. A plan stops there;
     * with a file missing on the medium it ends as the quiet commit would, at
     * that file instead of asking for a disk. SetupAPI's default callback has
     * shown the user what went wrong; a quiet run's callback has logged it. */
    char monitorDll[TEXT_CHARS + 16];
    int replacesMonitor =
        SUCCEEDED(StringCchPrintfA(monitorDll, ARRAYSIZE(monitorDll), "%s\\tremon.dll",
                                   run->systemDirectory)) &&
        GetFileAttributesA(monitorDll) != INVALID_FILE_ATTRIBUTES;
    /* The spooler loads the DLL as it adds the monitor: a stop puts the
     * earlier DLL back first, so its undo comes after the DLL's. */
    if (replacesMonitor)
        JournalMonitorBack();
    int copying = ActQueuedCopies(run->queue, &missing, &unkept, &installedKb);
    if (!unkept && !missing && replacesMonitor)
        FreeMonitor();
    if (unkept) {
        LogLine("copy stopped: an earlier file could not be backed up");
        KeepSystemError(unkept, KX_CAPTION_INSTALL_ERROR);
        return StopRun(run, KX_EXIT_FAILED);
    }
    if (!copying) {
        if (missing) {
            LogLine("copy stopped: %d source file(s) missing", missing);
            return StopRun(run, KX_EXIT_FAILED);
        }
    } else {
        BOOL committed =
            SetupCommitFileQueueA(run->hostWindow, run->queue, QueueCallback, &run->queueContext);
        DWORD code = StatusOf(committed);
        if (!committed) {
            LogLine("copy stopped: %s", LogStatus(code));
            return StopRun(run, KX_EXIT_FAILED);
        }
    }
    if (!RemoveDroppedFiles(QueuedTargets(), run->moduleDirectory))
        return StopRun(run, KX_EXIT_FAILED);
    if (!RecordFiles(QueuedTargets(), ListedDigestOfCopy))
        return StopWithBox(run, NULL,
                           "The installation record could not be written to the registry.",
                           KX_CAPTION_INSTALL_ERROR);
    if (!WriteUninstallEntry(state, installedKb))
        return StopWithBox(run, NULL, "The uninstall entry could not be written to the registry.",
                           KX_CAPTION_INSTALL_ERROR);
    return 1;
}

static int RunClassInstall(RunContext *run)
{
    const UINT parts = SPINST_INIFILES | SPINST_REGISTRY;
    int applying = ActSection(run->inf, "ClassInstall", parts);

    if (applying < 0)
        return StopRun(run, KX_EXIT_FAILED);
    if (!applying)
        return 1;
    BOOL done = SetupInstallFromInfSectionA(run->hostWindow, run->inf, "ClassInstall", parts,
                                            NULL, NULL, 0, NULL, NULL, NULL, NULL);
    DWORD code = StatusOf(done);

    ActDone(done, code);
    if (!done)
        ShowSystemError(code, KX_CAPTION_SYSTEM_ERROR);
    return 1;
}

static int InstallFiles(RunContext *run, SetupStateRecord *state)
{
    if (!InstalledVersionAllows(run->hostWindow, &run->exitCode) ||
        !ChooseInstallation(run, state) ||
        (run->mode->repair &&
         !RepairSourcesMatch(run->hostWindow, run->moduleDirectory, &run->exitCode)) ||
        !RecordInstallation(run, state))
        return 0;
    if (!OpenQueue(run))
        return StopRun(run, KX_EXIT_FAILED);
    if (!StopOnShortDrive(run, state))
        return 0;
    if (!QueueFixedCopies(run, state) || !QueueSections(run, state))
        return StopRun(run, KX_EXIT_FAILED);
    if (!CopyFiles(run, state))
        return 0;
    if (run->earlierFolder[0] &&
        !RemoveEarlierFiles(run->earlierFolder, state->statusDir, QueuedTargets()))
        return StopRun(run, KX_EXIT_FAILED);
    return RunClassInstall(run);
}

static int UninstallFiles(RunContext *run, SetupStateRecord *state)
{
    if (KxMessageBox(NULL, KX_TEXT_CONFIRM_UNINSTALL, KX_CAPTION_INSTALLATION, MB_YESNO) != IDYES)
        return StopRun(run, KX_EXIT_CANCELLED);
    if (!TakeBack(run))
        return 0;
    /* An earlier release's record key that others may change is made the
     * administrators' own before it is read. */
    if (!RecordKeysTrusted(KX_CAPTION_INSTALLATION, 1))
        return StopRun(run, KX_EXIT_FAILED);
    if (!ProtectRecordKeys()) {
        KxMessageBox(NULL, "The installation record could not be protected from other users.",
                     KX_CAPTION_INSTALLATION, MB_OK);
        return StopRun(run, KX_EXIT_FAILED);
    }
    ReadInstallRecord(state);
    /* Without a recorded full folder and components the uninstall section would
     * delete relative to wherever the process stands, for an installation that
     * is not there: the run stops before anything is deleted. An uninstall
     * before it left the record, holding nothing. */
    DWORD held = 1;
    ReadInstalledComponents(&held);
    if (!IsFullFolder(state->statusDir) || !state->selectedComponents || !held) {
        KxMessageBox(NULL, "No installation was found to uninstall.", KX_CAPTION_INSTALLATION,
                     MB_OK);
        return StopRun(run, KX_EXIT_NOT_INSTALLED);
    }
    LogLine("record: status folder %s, components %lu", state->statusDir,
            (unsigned long)state->selectedComponents);
    /* Nothing is read from or deleted in a folder that others control. An
     * earlier release's folder that others may only change (it took over its
     * root's entries) or rename away (Windows 2000's open root) is not read
     * from: started from the medium, the uninstall reads the medium's setup
     * information and, holding the folder so that nobody can put his own in
     * its place meanwhile, only deletes the installation's files there. */
    const char *why = NULL;
    int folder = JudgeFolderTrust(state->statusDir, NULL, &why);
    if (folder != FolderTrusted && folder != FolderMissing &&
        !IsInsideFolder(run->startedFrom, state->statusDir) &&
        (run->heldFolder = HoldFolder(state->statusDir)) != NULL &&
        JudgeHeldFolder(state->statusDir, &why) != FolderUntrusted) {
        LogLine("status folder %s may be changed by other users: only its files are deleted",
                state->statusDir);
        folder = FolderTrusted;
    }
    if (folder == FolderUntrusted || folder == FolderRepairable) {
        KxMessageBox(NULL, why, KX_CAPTION_INSTALLATION, MB_OK);
        return StopRun(run, KX_EXIT_FAILED);
    }
    /* Started from the status folder, the uninstall follows the setup
     * information there only as the record keeps it. */
    if (folder == FolderTrusted && IsInsideFolder(run->startedFrom, state->statusDir) &&
        !RecordedFileIntact(run->infPath)) {
        KxMessageBox(NULL, "The setup information of the status folder is not the recorded one: "
                           "start the uninstall from the medium.", KX_CAPTION_INSTALLATION, MB_OK);
        return StopRun(run, KX_EXIT_FAILED);
    }
    if (state->statusDirId && !BindDirectory(run, state->statusDirId, state->statusDir))
        return StopRun(run, KX_EXIT_FAILED);

    if (!OpenQueue(run))
        return StopRun(run, KX_EXIT_FAILED);

    CloseStatusDisplay();
    /* The section's files are deleted from the status display folder; what is
     * in use or gone is skipped. Its registry entries are not applied. A plan
     * leaves the INI entries alone. A folder that is gone takes its files with
     * it: whatever stands at that path later is not the installation's, and
     * only the section's files elsewhere (the models' in the driver folder)
     * are deleted. */
    UINT parts = SPINST_FILES;
    goneFolder[0] = '\0';
    if (folder == FolderMissing) {
        LogLine("status folder %s is gone: the uninstall section's files in it are skipped",
                state->statusDir);
        StringCchCopyA(goneFolder, ARRAYSIZE(goneFolder), state->statusDir);
    }
    if (ActSection(run->inf, "DefaultUninstall", SPINST_INIFILES) > 0)
        parts |= SPINST_INIFILES;
    BOOL done = SetupInstallFromInfSectionA(run->hostWindow, run->inf, "DefaultUninstall", parts,
                                            NULL, state->statusDir, SP_COPY_DELETESOURCE,
                                            SectionCallback, &run->queueContext, NULL, NULL);
    /* Its outcome follows the last file's line: it names the section. */
    if (!Planning())
        LogLine("section DefaultUninstall: %s", LogStatus(StatusOf(done)));
    return 1;
}

/* The directory ids bound as an install binds them (the status folder's to
 * the default one), so that the check finds the same destinations. */
static int CheckRun(RunContext *run, SetupStateRecord *state, int infRead)
{
    char statusFolder[STATUSDIR_CHARS];

    if (state->driverDirId == DRIVER_VERSION_DIRID)
        SetupSetDirectoryIdA(run->inf, DRIVER_VERSION_DIRID, run->driverVersionDirectory);
    DefaultStatusFolder(KX_DEFAULT_STATUS_DRIVE, statusFolder, ARRAYSIZE(statusFolder));
    if (state->statusDirId)
        SetupSetDirectoryIdA(run->inf, state->statusDirId, statusFolder);
    return CheckMedium(run->hostWindow, run->inf, state, run->moduleDirectory, infRead, run->mode);
}

/* Everything the run does with the setup information file and the file queue;
 * 1 when the run goes on to the spooler and the tail. */
/* Not inlined: its buffers and those of the steps it calls would otherwise
 * share one frame with the run's context, past the page a frame may reach
 * without a stack probe. */
static __attribute__((noinline)) int RunFileSteps(RunContext *run, SetupStateRecord *state,
                                                  int uninstalling)
{
    if (!ComposeFolders(run, state))
        return StopRun(run, KX_EXIT_FAILED);
    LoadDigestList(run->moduleDirectory);
    run->inf = SetupOpenInfFileA(run->infPath, NULL, INF_STYLE_WIN4, NULL);
    if (run->inf == INVALID_HANDLE_VALUE) {
        LogLine("setup information %s: %s", run->infPath, LogStatus(GetLastError()));
        return StopRun(run, run->mode->check ? CheckMedium(run->hostWindow, run->inf, state,
                                                           run->moduleDirectory, 0, run->mode)
                                             : KX_EXIT_FAILED);
    }
    int read = ReadSetupInformation(run->inf, state);
    if (run->mode->check)
        return StopRun(run, CheckRun(run, state, read));
    if (!read)
        return StopRun(run, KX_EXIT_FAILED);
    /* The setup information names the models whose drivers and printers
     * /verify looks for; nothing else of the run is made. */
    if (run->mode->verify)
        return StopRun(run, VerifyInstallation(run->hostWindow, state, run->mode));
    if (!uninstalling && !UndoableSection(run->inf, "ClassInstall", run->stopText)) {
        run->stopCaption = KX_CAPTION_INSTALL_ERROR;
        return StopRun(run, KX_EXIT_FAILED);
    }
    if (state->driverDirId == DRIVER_VERSION_DIRID &&
        !BindDirectory(run, DRIVER_VERSION_DIRID, run->driverVersionDirectory))
        return StopRun(run, KX_EXIT_FAILED);

    if (uninstalling)
        return UninstallFiles(run, state);
    return InstallFiles(run, state);
}

/* SetupPromptReboot without a queue always asks. Only a restart that is under
 * way completes the run cleanly; a declined or failed prompt (-1) leaves a
 * restart pending. */
static int RestartOutcome(int promptResult)
{
    if (promptResult != -1 && (promptResult & SPFILEQ_REBOOT_IN_PROGRESS))
        return KX_EXIT_OK;
    return KX_EXIT_RESTART_DECLINED;
}

/* The quiet run takes /defaultprinter for the dialog's answer. */
static void OfferDefaultPrinter(HWND hostWindow, SetupStateRecord *state, const RunMode *mode)
{
    /* A repair keeps the default printer as it is. */
    if (mode->repair)
        return;
    if (mode->quiet ? mode->defaultPrinter
                      : DialogBoxParamA(state->instance, MAKEINTRESOURCEA(IDD_DEFAULTPRINTER),
                                        hostWindow, DefaultPrinterDialogProc, 0) == IDC_SET_DEFAULT)
        SetDefaultPrinter(state);
}

/* Without the offer the exit code tells a deployment tool whether a restart
 * is due: a copy SetupAPI put off to it, or a rename the system is to make
 * at its next start that was not waiting when the run began. */
static int OfferRestart(HWND hostWindow, const RunMode *mode, int restartDue)
{
    int answer;

    if (mode->noRestart) {
        LogLine(restartDue ? "restart: due; left to the administrator (/norestart)"
                           : "restart: not needed");
        return restartDue ? KX_EXIT_RESTART_DECLINED : KX_EXIT_OK;
    }
    if (!Act("restart: asked"))
        return restartDue ? KX_EXIT_RESTART_DECLINED : KX_EXIT_OK;
    answer = SetupPromptReboot(NULL, hostWindow, FALSE);
    LogLine("  answered %d", answer);
    return RestartOutcome(answer);
}

/* The default printer offer, the start-up entries and the program group of
 * an installation, then the restart offer. */
static void InstallTail(HWND hostWindow, SetupStateRecord *state, const RunMode *mode)
{
    OfferDefaultPrinter(hostWindow, state, mode);
    WriteRunOnceEntries(1);
    CreateProgramGroup(state->statusDir, (int)(state->selectedComponents & CompStatusDisplay));
}

static void UninstallTail(SetupStateRecord *state)
{
    RemovePrinters(state);
    WriteRunOnceEntries(1);
    DeleteProgramGroup();
    RecordUninstalled();
    DeleteMachineKey(KX_UNINSTALL_KEY);
    DeleteMachineKey(KX_EVENT_KEY);
}

int RunInstallation(HWND hostWindow, SetupStateRecord *state, const RunMode *mode)
{
    RunContext run;
    int goesOn;
    int uninstalling = state->installMode == Uninstall;

    ZeroMemory(&run, sizeof(run));
    run.hostWindow = hostWindow;
    run.inf = INVALID_HANDLE_VALUE;
    run.exitCode = KX_EXIT_FAILED;
    run.mode = mode;
    run.queueContext.quiet = mode->quiet;
    DeferStopBoxes(1);
    DefineRunUndo();
    int pendingBefore = PendingRenameCount();

    /* An install that stops after its first change takes every change back. */
    goesOn = RunFileSteps(&run, state, uninstalling);
    ReleaseRun(&run);
    KeepPlacedPrinters(mode->repair || Upgrading());
    if (goesOn && !uninstalling && !AddPrinters(state))
        goesOn = StopWithBox(&run, hostWindow, KX_TEXT_ADD_FAILED, KX_CAPTION_ERROR);
    char kept[TEXT_CHARS];
    kept[0] = '\0';
    if (!goesOn && run.journalOpen) {
        StringCchPrintfA(kept, ARRAYSIZE(kept),
                         "Some earlier files could not be put back. They are kept in %s.",
                         JournalFolderPath());
        CloseRunJournal(0);
    }
    if (!goesOn)
        ShowKeptBox();
    DeferStopBoxes(0);
    if (!goesOn) {
        if (run.stopCaption)
            KxMessageBox(run.stopOwner, run.stopText, run.stopCaption, MB_OK);
        if (KeptBackups())
            KxMessageBox(NULL, kept, KX_CAPTION_INSTALL_ERROR, MB_OK);
        return run.exitCode;
    }
    if (uninstalling)
        UninstallTail(state);
    else
        InstallTail(hostWindow, state, mode);
    /* The run makes no more changes: the restart question, which may end the
     * session, finds no journal left to take the install back. */
    if (run.journalOpen)
        CloseRunJournal(1);
    if (run.earlierFolder[0])
        RemoveEarlierFolder(run.earlierFolder);
    /* A repair ends with what /verify finds after it. */
    int verified = mode->repair && !Planning() ? VerifyInstallation(hostWindow, state, mode) : KX_EXIT_OK;
    int exitCode = OfferRestart(hostWindow, mode,
                                run.queueContext.deferred || PendingRenameCount() > pendingBefore);
    return verified == KX_EXIT_OK ? exitCode : KX_EXIT_FAILED;
}
