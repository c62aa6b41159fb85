/* Helpers for whole installation runs in-process:
 *  - InstallPrefix: a copy of the sample medium under %TEMP% that the run takes
 *    for its own folder, a status display folder, and the undoing of everything
 *    a run leaves in the prefix (files, registry, spooler records);
 *  - RunObserver: records the release of the callback context, the queue and
 *    the setup information, and the restart prompt;
 *  - DriveExpressRun: runs RunInstallation through the wizard with Express. */
#ifndef KX_SHELL_SUPPORT_H
#define KX_SHELL_SUPPORT_H

#include "tests/unit/harness.h"
#include "setupdata/setupdata.h"
#include "run/run.h"
#include <memory>
#include <string>
#include <vector>

extern const char *const mediumModel[MODEL_SLOTS];

/* The files of a folder when it was taken; new files (and the folder, when it
 * did not exist) are removed on destruction. */
struct FolderSnapshot {
    std::string folder;
    std::vector<std::string> names;
    bool existed;
    explicit FolderSnapshot(const std::string &folder);
    ~FolderSnapshot();
};

struct InstallPrefix {
    TempDir temp;
    std::string medium;       /* the run's own folder (no trailing backslash) */
    std::string status;       /* the status display folder, not created */
    std::string systemDir, driverDir;
    std::vector<std::unique_ptr<FolderSnapshot>> folders;
    std::vector<std::unique_ptr<RegistrySnapshot>> keys;
    std::unique_ptr<ScopedImport> modulePatch;
    InstallPrefix();
    ~InstallPrefix();
    /* statusDirChoice = the status folder, as the components page would leave it. */
    void ChooseStatusFolder() const;
    std::string MediumFile(const char *name) const { return medium + "\\" + name; }
    /* The program started as `program` (the medium's kxsetup.exe until then). */
    void StartAs(const std::string &program) const;
    std::string StatusFile(const char *name) const { return status + "\\" + name; }
};

struct RunObserver {
    static std::vector<std::string> calls; /* "context", "queue", "inf", "commit", "reboot" */
    static int rebootAnswer;
    static bool commitFails;   /* the commit reports ERROR_CANCELLED without copying */
    static HWND rebootOwner;
    std::vector<std::unique_ptr<ScopedImport>> patches;
    RunObserver();
    ~RunObserver();
    static std::vector<std::string> Released();
    static bool Called(const char *name);
};

/* A top-level window that stands in for the host window (it has no start command). */
HWND CreateTestHost();

/* RunInstallation through the wizard (Next to the installation type page, then
 * Finish with Express preselected) and the default printer dialog answered with
 * `defaultPrinterButton` (IDCANCEL or 1025); returns the run's exit code. */
int DriveExpressRun(HWND host, int defaultPrinterButton = IDCANCEL);

/* A program of the build started in the test prefix; ended (if still running)
 * on destruction. */
struct ChildProcess {
    PROCESS_INFORMATION info;
    explicit ChildProcess(const std::string &commandLine);
    ~ChildProcess();
    bool WaitExit(DWORD ms);
};
/* progman-recorder of the build as the shell's Program Manager service. */
struct GroupRecorder {
    std::string log;
    std::unique_ptr<ChildProcess> process;
    explicit GroupRecorder(const TempDir &temp);
    /* Ends the recorder and returns every command it received as it logs them:
     * zero bytes as \0, so a command sent with its terminating zero ends in \0. */
    std::vector<std::string> Commands();
};
bool WaitForWindow(const char *title, DWORD ms);
std::vector<std::string> ReadLines(const std::string &path);

/* The mode the entry would hand a run of the options as the test set them. */
const RunMode *OptionsMode();

#endif
