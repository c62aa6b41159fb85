#include "tests/unit/shell_support.h"
#include "tests/unit/spooler_support.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "spooler/spooler.h"
#include "resources/resource.h"
#include <winspool.h>
#include <commctrl.h>
#include <algorithm>

const char *const mediumModel[MODEL_SLOTS] = { "Kalyx Q70/Q90 PCL 6", "Kalyx Q70/Q90 PCL 5e",
                                               "Kalyx Q70/Q90 PS" };

/* ---- folders ---- */

static std::vector<std::string> ListFiles(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

FolderSnapshot::FolderSnapshot(const std::string &f)
    : folder(f), names(ListFiles(f)), existed(FileExists(f))
{
}

FolderSnapshot::~FolderSnapshot()
{
    std::vector<std::string> now = ListFiles(folder);
    for (size_t i = 0; i < now.size(); i++)
        if (std::find(names.begin(), names.end(), now[i]) == names.end()) {
            std::string path = folder + "\\" + now[i];
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path.c_str()))
                ADD_FAILURE() << "could not remove " << path << ": " << GetLastError();
        }
    if (!existed)
        RemoveDirectoryA(folder.c_str());
}

/* ---- the prefix of one run ---- */

DECLARE_IMPORT_SLOT(GetModuleFileNameA);
static std::string moduleFile;

static DWORD WINAPI MediumModuleFileName(HMODULE module, LPSTR buffer, DWORD size)
{
    if (module)
        return REAL(GetModuleFileNameA)(module, buffer, size);
    lstrcpynA(buffer, moduleFile.c_str(), (int)size);
    return (DWORD)std::min<size_t>(moduleFile.size(), size);
}


InstallPrefix::InstallPrefix()
{
    medium = temp.path + "\\medium";
    status = temp.path + "\\status";
    CreateDirectoryA(medium.c_str(), NULL);
    std::string built = BuildPath("medium");
    std::vector<std::string> files = ListFiles(built);
    EXPECT_TRUE(std::find(files.begin(), files.end(), "kxsetup.exe") != files.end())
        << "the sample medium is not built at " << built;
    for (size_t i = 0; i < files.size(); i++)
        CopyFileA((built + "\\" + files[i]).c_str(), MediumFile(files[i].c_str()).c_str(), FALSE);

    char buffer[MAX_PATH];
    DWORD needed;
    GetSystemDirectoryA(buffer, sizeof(buffer));
    systemDir = buffer;
    GetPrinterDriverDirectoryA(NULL, NULL, 1, (BYTE *)buffer, sizeof(buffer), &needed);
    driverDir = buffer;
    const std::string spoolDrivers = systemDir + "\\spool\\drivers";
    const std::string watched[] = { systemDir, driverDir, driverDir + "\\2", driverDir + "\\3",
                                    spoolDrivers + "\\w32x86", spoolDrivers + "\\w32x86\\2",
                                    spoolDrivers + "\\w32x86\\3" };
    for (size_t i = 0; i < ARRAYSIZE(watched); i++)
        folders.emplace_back(new FolderSnapshot(watched[i]));

    const struct { HKEY root; const char *path; } saved[] = {
        { HKEY_LOCAL_MACHINE, "Software\\VelbaPrinter" },
        { HKEY_LOCAL_MACHINE, "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelbaProduct" },
        { HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce" },
        { HKEY_LOCAL_MACHINE, "Software\\Kalyx" },
        { HKEY_LOCAL_MACHINE, printKey },
        { HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices" },
        { HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts" },
        { HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows" },
    };
    for (size_t i = 0; i < ARRAYSIZE(saved); i++)
        keys.emplace_back(new RegistrySnapshot(saved[i].root, saved[i].path));

    for (int i = 0; i < MODEL_SLOTS; i++)
        SeedDatatype(mediumModel[i]);

    moduleFile = MediumFile("kxsetup.exe");
    modulePatch.reset(new ScopedImport(IMPORT_SLOT(GetModuleFileNameA),
                                       reinterpret_cast<void *>(MediumModuleFileName)));
}

void InstallPrefix::StartAs(const std::string &program) const { moduleFile = program; }

InstallPrefix::~InstallPrefix()
{
    modulePatch.reset();
    RemoveFromSpooler(mediumModel);
    while (!folders.empty()) /* subfolders before their parents */
        folders.pop_back();
    keys.clear();
}

void InstallPrefix::ChooseStatusFolder() const
{
    lstrcpynA(SetupState.statusDirChoice, status.c_str(), sizeof(SetupState.statusDirChoice));
}

/* ---- release order and restart prompt ---- */

std::vector<std::string> RunObserver::calls;
int RunObserver::rebootAnswer;
bool RunObserver::commitFails;
HWND RunObserver::rebootOwner;

DECLARE_IMPORT_SLOT(SetupTermDefaultQueueCallback);
DECLARE_IMPORT_SLOT(SetupCloseFileQueue);
DECLARE_IMPORT_SLOT(SetupCloseInfFile);
DECLARE_IMPORT_SLOT(SetupCommitFileQueueA);
DECLARE_IMPORT_SLOT(SetupPromptReboot);

static void WINAPI RecordTerm(PVOID context)
{
    RunObserver::calls.push_back("context");
    REAL(SetupTermDefaultQueueCallback)(context);
}

static BOOL WINAPI RecordCloseQueue(HSPFILEQ queue)
{
    RunObserver::calls.push_back("queue");
    return REAL(SetupCloseFileQueue)(queue);
}

static void WINAPI RecordCloseInf(HINF inf)
{
    RunObserver::calls.push_back("inf");
    REAL(SetupCloseInfFile)(inf);
}

static BOOL WINAPI RecordCommit(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_A callback, PVOID context)
{
    RunObserver::calls.push_back("commit");
    if (RunObserver::commitFails) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    return REAL(SetupCommitFileQueueA)(owner, queue, callback, context);
}

static INT WINAPI RecordReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    RunObserver::calls.push_back(queue == NULL && !scanOnly ? "reboot" : "reboot with odd arguments");
    RunObserver::rebootOwner = owner;
    return RunObserver::rebootAnswer;
}

RunObserver::RunObserver()
{
    calls.clear();
    rebootAnswer = 0; /* what Wine's SetupPromptReboot answers */
    commitFails = false;
    rebootOwner = NULL;
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SetupTermDefaultQueueCallback), (void *)RecordTerm));
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SetupCloseFileQueue), (void *)RecordCloseQueue));
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SetupCloseInfFile), (void *)RecordCloseInf));
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SetupCommitFileQueueA), (void *)RecordCommit));
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SetupPromptReboot), (void *)RecordReboot));
}

RunObserver::~RunObserver() { patches.clear(); }

std::vector<std::string> RunObserver::Released()
{
    std::vector<std::string> released;
    for (size_t i = 0; i < calls.size(); i++)
        if (calls[i] == "context" || calls[i] == "queue" || calls[i] == "inf")
            released.push_back(calls[i]);
    return released;
}

bool RunObserver::Called(const char *name)
{
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

/* ---- host window and the wizard ---- */

HWND CreateTestHost()
{
    return CreateWindowExA(0, "STATIC", "Install", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                           NULL, GetModuleHandleA(NULL), NULL);
}

static bool Clickable(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

int DriveExpressRun(HWND host, int defaultPrinterButton)
{
    int code = -1;
    DriveUi([&] { code = RunInstallation(host, &SetupState, OptionsMode()); },
            [&](HWND top) {
                bool sheet = GetDlgItem(top, 12324) != NULL;
                if (!sheet) {
                    if (GetDlgItem(top, IDC_SET_DEFAULT)) {
                        ClickButton(top, defaultPrinterButton);
                        return false;
                    }
                    return true;
                }
                HWND page = (HWND)SendMessageA(top, PSM_GETCURRENTPAGEHWND, 0, 0);
                /* The installation type page posts its buttons; wait for Finish there
                 * rather than press a Next that is about to go. */
                if (page && GetDlgItem(page, IDC_TYPE_MINIMUM)) {
                    if (Clickable(top, 12325))
                        ClickButton(top, 12325);
                } else if (Clickable(top, 12324)) {
                    ClickButton(top, 12324);
                }
                return true;
            },
            30000);
    return code;
}

/* ---- other processes ---- */

ChildProcess::ChildProcess(const std::string &commandLine)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    ZeroMemory(&info, sizeof(info));
    std::string line = commandLine;
    EXPECT_TRUE(CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        << "could not start " << commandLine << ": " << GetLastError();
}

ChildProcess::~ChildProcess()
{
    if (!info.hProcess)
        return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

bool ChildProcess::WaitExit(DWORD ms)
{
    return info.hProcess && WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0;
}

GroupRecorder::GroupRecorder(const TempDir &temp) : log(temp.File("progman.log"))
{
    process.reset(new ChildProcess("\"" + BuildPath("tools/progman-recorder.exe") + "\" \"" + log +
                                   "\" 60000"));
    DWORD start = GetTickCount();
    while (!FileExists(log + ".ready") && GetTickCount() - start < 15000)
        Sleep(20);
    EXPECT_TRUE(FileExists(log + ".ready")) << "progman-recorder did not start";
}

std::vector<std::string> GroupRecorder::Commands()
{
    PostThreadMessageA(process->info.dwThreadId, WM_QUIT, 0, 0);
    EXPECT_TRUE(process->WaitExit(10000));
    return ReadLines(log);
}

bool WaitForWindow(const char *title, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!FindWindowA(NULL, title)) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::string content = ReadFileBytes(path), line;
    for (size_t i = 0; i < content.size(); i++) {
        if (content[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (content[i] != '\r') {
            line += content[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

const RunMode *OptionsMode()
{
    static RunMode mode;
    RunModeOf(&Options, &mode);
    return &mode;
}
