#include "tests/unit/harness.h"
#include "tests/unit/shell_support.h"
#include "tests/unit/trust_support.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "base/base.h"
#include <sddl.h>

DECLARE_IMPORT_SLOT(GetCommandLineA);
DECLARE_IMPORT_SLOT(GetVersionExA);
DECLARE_IMPORT_SLOT(OpenSCManagerA);
DECLARE_IMPORT_SLOT(LoadLibraryExA);
DECLARE_IMPORT_SLOT(GetProcAddress);
DECLARE_IMPORT_SLOT(CreateDirectoryA);
DECLARE_IMPORT_SLOT(ReportEventA);

static bool CommandLineSelectsUninstall(const char *commandLine)
{
    SetupOptions options;
    ParseCommandLine(commandLine, &options);
    return options.uninstall != 0;
}

TEST(ShellCommandLine, UninstallWordAnywhereInTheArgumentsCaseSensitive)
{
    EXPECT_TRUE(CommandLineSelectsUninstall("kxsetup.exe Uninstall"));
    EXPECT_TRUE(CommandLineSelectsUninstall("kxsetup.exe /Uninstall"));
    EXPECT_TRUE(CommandLineSelectsUninstall("kxsetup.exe Uninstaller"));
    EXPECT_TRUE(CommandLineSelectsUninstall("\"C:\\STATUS\\kxsetup.exe\" Uninstall"));
    EXPECT_TRUE(CommandLineSelectsUninstall("\"D:\\Uninstall files\\kxsetup.exe\"\tUninstall"));
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe uninstall"));
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe UNINSTALL"));
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe Uninstal"));
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe"));
    /* The program's own name, as Windows parses it, does not count. */
    EXPECT_FALSE(CommandLineSelectsUninstall("C:\\Uninstall\\kxsetup.exe"));
    EXPECT_FALSE(CommandLineSelectsUninstall("C:\\Uninstall\\kxsetup.exe /s"));
    EXPECT_FALSE(CommandLineSelectsUninstall("\"D:\\Uninstall files\\kxsetup.exe\""));
    EXPECT_FALSE(CommandLineSelectsUninstall("\"D:\\Uninstall files\\kxsetup.exe\" /s"));
    EXPECT_FALSE(CommandLineSelectsUninstall("\"D:\\Uninstall"));
    /* Nor does an option's value. */
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe /log=C:\\Uninstall\\k.log"));
    EXPECT_FALSE(CommandLineSelectsUninstall("kxsetup.exe \"-log=C:\\Uninstall files\\k.log\""));
    EXPECT_TRUE(CommandLineSelectsUninstall("kxsetup.exe /quiet /log=C:\\k.log Uninstall"));
}

/* Every argument is read, however long one before it is: /quiet and /plan
 * count wherever they stand, and the first fault is the one reported. */
TEST(ShellCommandLine, EveryArgumentIsReadAndTheFirstFaultIsTheReason)
{
    const std::string tooLong = "/" + std::string(319, 'x');
    struct Case { std::string line; int valid, quiet; const char *why; } cases[] = {
        { "kxsetup.exe /quiet /type=custom /models=1", 1, 1, "" },
        { "kxsetup.exe " + tooLong + " /quiet", 0, 1, "An argument is too long." },
        { "kxsetup.exe \"/log=C:\\" + std::string(330, 'l') + "\" /plan=C:\\p.txt", 0, 1,
          "An argument is too long." },
        { "kxsetup.exe /colour=blue " + tooLong + " /quiet", 0, 1, "Unknown option /colour." },
        { "kxsetup.exe /type=custom", 0, 0, "The installation choices apply with /quiet only." },
        { "kxsetup.exe /check /verify /quiet", 0, 1, "/check takes no other option but /quiet and /log." },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        SetupOptions options;
        EXPECT_EQ(c.valid, ParseCommandLine(c.line.c_str(), &options));
        EXPECT_EQ(c.quiet, options.quiet);
        EXPECT_STREQ(c.why, options.why);
    }
}

static const char *fakeCommandLine;
static LPSTR WINAPI FakeCommandLine(void) { return (LPSTR)fakeCommandLine; }

static BOOL WINAPI FakeWindows95(OSVERSIONINFOA *info)
{
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

static BOOL WINAPI FailingVersion(OSVERSIONINFOA *) { return FALSE; }

static DWORD versionInfoSize;
static BOOL WINAPI NtVersion(OSVERSIONINFOA *info)
{
    versionInfoSize = info->dwOSVersionInfoSize;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

static DWORD requestedAccess;
static SC_HANDLE WINAPI DeniedManager(LPCSTR, LPCSTR, DWORD access)
{
    requestedAccess = access;
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

class ShellEntry : public KxTest {
protected:
    void TearDown() override
    {
        HWND host = FindWindowA("SampleWClass", "Install");
        if (host)
            DestroyWindow(host);
        UnregisterClassA("SampleWClass", GetModuleHandleA(NULL));
        /* WM_QUIT of a run stays in the queue when nobody took it. */
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        }
        KxTest::TearDown();
    }
};

/* The whole entry with the uninstall word after a quoted program path, on a
 * system that is not NT: one box owned by the host window, no run, and a
 * failure exit code carried out through the message loop. */
TEST_F(ShellEntry, NotNtShowsOnlyItsBoxAndFails)
{
    fakeCommandLine = "\"C:\\STATUS\\kxsetup.exe\" Uninstall";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FakeWindows95);

    int code = RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL);

    EXPECT_EQ(KX_EXIT_FAILED, code);
    EXPECT_EQ(Uninstall, SetupState.installMode);
    HWND host = FindWindowA("SampleWClass", "Install");
    ASSERT_TRUE(host != NULL);
    ExpectOneBox("Error", "Current operation system is not Windows NT!", MB_OK, host);
}

struct Event {
    WORD type;
    DWORD id;
    std::string text;
};
static std::vector<Event> events;
static BOOL WINAPI RecordEvent(HANDLE, WORD type, WORD, DWORD id, PSID, WORD count, DWORD,
                               LPCSTR *strings, LPVOID)
{
    events.push_back({type, id, count == 1 ? strings[0] : "(not one string)"});
    return TRUE;
}

/* Wine keeps no event log: what reaches it is taken at the call. One event
 * per install, repair and uninstall, and per /verify that finds a change,
 * whatever the outcome; none for /? or a refused line. */
TEST_F(ShellEntry, EachRunEndsWithOneEventForMonitoring)
{
    const struct { const char *line; WORD type; DWORD id; const char *text; } runs[] = {
        {"/quiet /log=kx.log", EVENTLOG_ERROR_TYPE, 11708, "install failed, exit code 1603. Log: kx.log"},
        {"/repair /quiet", EVENTLOG_ERROR_TYPE, 11708, "repair failed, exit code 1603."},
        {"Uninstall /quiet", EVENTLOG_ERROR_TYPE, 11725, "uninstall failed, exit code 1603."},
        {"/verify /quiet", EVENTLOG_WARNING_TYPE, 1033, "verify failed, exit code 1603."},
        {"/? /quiet", 0, 0, NULL},
        {"/verify /repair /quiet", 0, 0, NULL},
    };
    FAKE_IMPORT(GetVersionExA, FakeWindows95);
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(ReportEventA, RecordEvent);
    for (const auto &run : runs) {
        std::string line = std::string("kxsetup.exe ") + run.line;
        events.clear();
        ResetRun();
        fakeCommandLine = line.c_str();
        RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL);
        DeleteFileA("kx.log");
        ASSERT_EQ(run.text ? 1u : 0u, events.size()) << line;
        if (!run.text)
            continue;
        EXPECT_EQ(run.type, events[0].type) << line;
        EXPECT_EQ(run.id, events[0].id) << line;
        EXPECT_EQ(std::string("Velba Printer 1.0: ") + run.text, events[0].text);
    }
}

static int loadCalls;
static HMODULE WINAPI CountedFailingLoad(LPCSTR, HANDLE, DWORD)
{
    loadCalls++;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
}

/* The system is looked at before its DLLs: a system that is not NT and lacks
 * them hears only that it is not NT. */
TEST_F(ShellEntry, NotNtIsToldBeforeAnySystemDllIsLoaded)
{
    fakeCommandLine = "\"C:\\medium\\kxsetup.exe\"";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FakeWindows95);
    {
        FAKE_IMPORT(LoadLibraryExA, CountedFailingLoad);
        EXPECT_EQ(0, LoadSystemDlls());
        TakeBoxes();
        loadCalls = 0;

        EXPECT_EQ(KX_EXIT_FAILED, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));

        EXPECT_EQ(0, loadCalls);
        std::vector<RecordedBox> boxes = TakeBoxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Current operation system is not Windows NT!", boxes[0].text);
    }
    EXPECT_EQ(1, LoadSystemDlls());
}

/* A second start while a run is in progress (a deployment tool's retry)
 * ends at once with 1618 and one box (a log line when quiet); a plan, which
 * changes nothing, still runs. Once the first run has ended the next one is
 * free to start. */
TEST_F(ShellEntry, ASecondStartWhileARunIsInProgressEndsWith1618)
{
    FakeSecurity security; /* the first run's lock is the administrators' own */
    HANDLE first = CreateMutexA(NULL, TRUE, "Global\\KxSetupRun");
    ASSERT_TRUE(first != NULL);
    TempDir temp;
    std::string line = "\"C:\\medium\\kxsetup.exe\" /quiet /log=" + temp.File("run.log");
    fakeCommandLine = line.c_str();
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FakeWindows95);

    EXPECT_EQ(1618, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    std::string log = ReadFileBytes(temp.File("run.log"));
    EXPECT_NE(std::string::npos, log.find("box \"kxsetup\" \"Another installation is in progress. Start "
                                          "the setup again when it has ended.\": OK (quiet)"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("not Windows NT")) << "the run must not have started";

    ResetRun();
    line = "\"C:\\medium\\kxsetup.exe\" /plan=" + temp.File("plan.txt");
    fakeCommandLine = line.c_str();
    EXPECT_EQ(KX_EXIT_FAILED, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));

    CloseHandle(first);
    ResetRun();
    line = "\"C:\\medium\\kxsetup.exe\" /quiet /log=" + temp.File("next.log");
    fakeCommandLine = line.c_str();
    EXPECT_NE(1618, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    EXPECT_EQ(std::string::npos, ReadFileBytes(temp.File("next.log")).find("Another installation"));
}

/* A user who makes the lock's name first (its owner is not the
 * administrators') stops no install: the run goes on, and says so. */
DECLARE_IMPORT_SLOT(GetKernelObjectSecurity);
static decltype(&GetKernelObjectSecurity) filesSecurity;
static BOOL WINAPI OwnedByUsers(HANDLE handle, SECURITY_INFORMATION information,
                                PSECURITY_DESCRIPTOR buffer, DWORD bytes, LPDWORD needed)
{
    if (GetFileType(handle) != FILE_TYPE_UNKNOWN)
        return filesSecurity(handle, information, buffer, bytes, needed);
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ULONG size = 0;
    ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BUD:(A;;GA;;;WD)", SDDL_REVISION_1,
                                                         &descriptor, &size);
    *needed = size;
    memcpy(buffer, descriptor, bytes < size ? bytes : size);
    LocalFree(descriptor);
    return bytes >= size;
}

TEST_F(ShellEntry, ALockNameHeldByAUserDoesNotStopTheRun)
{
    FakeSecurity security;
    filesSecurity = reinterpret_cast<decltype(filesSecurity)>(*IMPORT_SLOT(GetKernelObjectSecurity));
    FAKE_IMPORT(GetKernelObjectSecurity, OwnedByUsers);
    HANDLE squatted = CreateMutexA(NULL, TRUE, "Global\\KxSetupRun");
    TempDir temp;
    std::string line = "\"C:\\medium\\kxsetup.exe\" /quiet /log=" + temp.File("run.log");
    fakeCommandLine = line.c_str();
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FakeWindows95);

    EXPECT_EQ(KX_EXIT_FAILED, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    std::string log = ReadFileBytes(temp.File("run.log"));
    EXPECT_NE(std::string::npos, log.find("run lock: the name is held by another account (it is owned "
                                          "by another user): going on")) << log;
    EXPECT_NE(std::string::npos, log.find("not Windows NT")) << "the run went on";
    CloseHandle(squatted);
}

TEST_F(ShellEntry, NoServiceManagerAccessShowsOnlyItsBoxAndFails)
{
    fakeCommandLine = "\"D:\\Uninstall files\\kxsetup.exe\" uninstall";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FailingVersion); /* taken as NT: the rights test decides */
    FAKE_IMPORT(OpenSCManagerA, DeniedManager);

    int code = RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL);

    EXPECT_EQ(KX_EXIT_FAILED, code);
    EXPECT_EQ(0, SetupState.installMode);
    EXPECT_EQ((DWORD)SC_MANAGER_ALL_ACCESS, requestedAccess);
    ExpectOneBox("Error", "Have not the right to add printer!", MB_OK,
                 FindWindowA("SampleWClass", "Install"));
}

/* The packager checks a medium as any user and on any system: neither the
 * rights nor the version are asked, and the check names what it finds (here
 * a folder without oemsetup.inf) in its one box. */
TEST_F(ShellEntry, CheckRunsWithoutRightsOnAnySystem)
{
    fakeCommandLine = "kxsetup.exe /check";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetVersionExA, FakeWindows95);
    FAKE_IMPORT(OpenSCManagerA, DeniedManager);
    requestedAccess = 0;

    EXPECT_EQ(KX_EXIT_FAILED, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    EXPECT_EQ(0u, requestedAccess);
    ExpectOneBox("Installation",
                 "The medium has 1 fault(s) in 1 items; the first: setup information oemsetup.inf: "
                 "missing or unreadable",
                 MB_OK | MB_ICONWARNING, FindWindowA("SampleWClass", "Install"));
}

static HANDLE askedProcess;
static BOOL WINAPI Wow64Process(HANDLE process, PBOOL wow64)
{
    askedProcess = process;
    *wow64 = TRUE;
    return TRUE;
}
static FARPROC WINAPI OfferWow64(HMODULE module, LPCSTR name)
{
    if (lstrcmpA(name, "IsWow64Process") == 0)
        return (FARPROC)(void *)Wow64Process;
    return REAL(GetProcAddress)(module, name);
}

/* A 32-bit build on a 64-bit Windows: its drivers are of no use there, so the
 * check stops it before the run, which would otherwise copy and record first. */
TEST_F(ShellEntry, Wow64ShowsOnlyItsBoxAndFails)
{
    fakeCommandLine = "kxsetup.exe";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    FAKE_IMPORT(GetProcAddress, OfferWow64);
    askedProcess = NULL;

    int code = RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL);

    EXPECT_EQ(KX_EXIT_FAILED, code);
    EXPECT_EQ(GetCurrentProcess(), askedProcess);
    ExpectOneBox("Error",
                 "The printer drivers of this package are for 32-bit Windows; this is a 64-bit Windows.",
                 MB_OK, FindWindowA("SampleWClass", "Install"));
}

TEST(ShellEnvironment, PassesOnNtWithFullServiceManagerAccess)
{
    FAKE_IMPORT(GetVersionExA, NtVersion);
    EXPECT_EQ(EnvironmentOk, CheckEnvironment());
    EXPECT_EQ(148u, versionInfoSize);
}

static const char printerPolicy[] = "Software\\Policies\\Microsoft\\Windows NT\\Printers";

/* The package's version-2 (kernel-mode) drivers: NT 4 and 2000 take them; XP
 * too unless the policy "Disallow installation of printers using kernel-mode
 * drivers" is set; Server 2003 only where that policy is disabled; Vista and
 * later never. */
TEST(ShellEnvironment, KernelModeDriversWhereTheSystemAndItsPolicyTakeThem)
{
    struct Case { DWORD major, minor; int policy; int result; } cases[] = {
        { 4, 0, -1, EnvironmentOk }, { 5, 0, -1, EnvironmentOk }, { 5, 0, 1, EnvironmentKernelDrivers },
        { 5, 1, -1, EnvironmentOk }, { 5, 1, 0, EnvironmentOk }, { 5, 1, 1, EnvironmentKernelDrivers },
        { 5, 2, -1, EnvironmentKernelDrivers }, { 5, 2, 0, EnvironmentOk },
        { 6, 0, -1, EnvironmentKernelDrivers }, { 6, 1, 0, EnvironmentKernelDrivers },
        { 10, 0, -1, EnvironmentKernelDrivers },
    };
    RegistrySnapshot policy(HKEY_LOCAL_MACHINE, printerPolicy);
    FakeSecurity system;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + " policy " +
                     std::to_string(c.policy));
        FakeSecurity::majorVersion = c.major;
        FakeSecurity::minorVersion = c.minor;
        DeleteKeyTree(HKEY_LOCAL_MACHINE, printerPolicy);
        HKEY key;
        if (c.policy >= 0) {
            DWORD value = (DWORD)c.policy;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, printerPolicy, &key));
            RegSetValueExA(key, "KMPrintersAreBlocked", 0, REG_DWORD, (BYTE *)&value, sizeof(value));
            RegCloseKey(key);
        }
        EXPECT_EQ(c.result, CheckEnvironment());
    }
}

/* The host window is shown minimised whatever the show command, posts its
 * start command at creation, and after that first change nothing moves,
 * sizes, restores or hides it. */
TEST_F(ShellEntry, HostWindowStaysMinimisedAndPostsTheStartCommand)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    ASSERT_NE(0, RegisterHostClass(instance));
    ASSERT_EQ(1, CreateHostWindow(instance, SW_SHOWMAXIMIZED, OptionsMode()));
    HWND host = FindWindowA("SampleWClass", "Install");
    ASSERT_TRUE(host != NULL);

    MSG start;
    ASSERT_TRUE(PeekMessageA(&start, host, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ((WPARAM)StartCommand, start.wParam);
    EXPECT_EQ(0, start.lParam);
    EXPECT_FALSE(PeekMessageA(&start, host, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));

    EXPECT_TRUE(IsWindowVisible(host));
    EXPECT_TRUE(IsIconic(host));
    RECT before, after;
    GetWindowRect(host, &before);

    SetWindowPos(host, NULL, 10, 10, 500, 400, SWP_NOZORDER | SWP_SHOWWINDOW);
    ShowWindow(host, SW_RESTORE);
    ShowWindow(host, SW_SHOWMAXIMIZED);
    MoveWindow(host, 50, 60, 300, 200, TRUE);
    SetWindowPos(host, NULL, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);

    GetWindowRect(host, &after);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
    EXPECT_EQ(before.right, after.right);
    EXPECT_EQ(before.bottom, after.bottom);
    EXPECT_TRUE(IsWindowVisible(host));
    EXPECT_TRUE(IsIconic(host));
}

/* Each path, with its flags when they are not the search that starts in the
 * DLL's own folder; setupapi fails to load. */
static std::vector<std::string> loaded;
static HMODULE WINAPI RecordLoadWithoutSetupapi(LPCSTR path, HANDLE, DWORD flags)
{
    loaded.push_back(path);
    if (flags != LOAD_WITH_ALTERED_SEARCH_PATH)
        loaded.back() += " flags " + std::to_string(flags);
    if (strstr(path, "setupapi")) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return GetModuleHandleA("comctl32.dll");
}

static std::vector<std::string> searchCalls;
static BOOL WINAPI RecordDefaultDirectories(DWORD flags)
{
    searchCalls.push_back("SetDefaultDllDirectories " + std::to_string(flags));
    return TRUE;
}
static BOOL WINAPI RecordDllDirectory(LPCSTR folder)
{
    searchCalls.push_back(std::string("SetDllDirectoryA '") + folder + "'");
    return TRUE;
}
static bool systemOffersSearchCalls;
static FARPROC WINAPI SearchCallsOnly(HMODULE, LPCSTR name)
{
    if (!systemOffersSearchCalls)
        return NULL;
    if (lstrcmpA(name, "SetDefaultDllDirectories") == 0)
        return (FARPROC)(void *)RecordDefaultDirectories;
    if (lstrcmpA(name, "SetDllDirectoryA") == 0)
        return (FARPROC)(void *)RecordDllDirectory;
    return NULL;
}

/* comctl32 (for the wizard), winspool and setupapi only from the system
 * folder, by full path, the DLLs they import looked for there first, and no
 * program without all of them: a box and a log line name the missing
 * file. DLLs loaded by name later come from the system folder where the
 * system can be told so (NT 4 cannot). */
class SystemDlls : public KxTest {};

TEST_F(SystemDlls, LoadedByFullPathAndSearchRestricted)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    TempDir temp;
    ASSERT_TRUE(OpenLog(temp.File("run.log").c_str()));
    loaded.clear();
    {
        FAKE_IMPORT(LoadLibraryExA, RecordLoadWithoutSetupapi);
        EXPECT_EQ(0, LoadSystemDlls());
        ExpectOneBox("kxsetup", ("The system file " + std::string(system) + "\\setupapi.dll could not be loaded.").c_str(),
                     MB_OK | MB_ICONERROR);
        /* A quiet run shows no wizard and has no use for comctl32. */
        Options.quiet = 1;
        EXPECT_EQ(0, LoadSystemDlls());
        TakeBoxes();
    }
    CloseLog();
    const std::vector<std::string> paths = { std::string(system) + "\\comctl32.dll",
                                             std::string(system) + "\\winspool.drv",
                                             std::string(system) + "\\setupapi.dll",
                                             std::string(system) + "\\winspool.drv",
                                             std::string(system) + "\\setupapi.dll" };
    EXPECT_EQ(paths, loaded);
    EXPECT_NE(std::string::npos, ReadFileBytes(temp.File("run.log")).find("system file " + paths[2] + " not loaded, error 126"));

    FAKE_IMPORT(GetProcAddress, SearchCallsOnly);
    searchCalls.clear();
    systemOffersSearchCalls = true;
    RestrictDllSearch();
    const std::vector<std::string> calls = { "SetDefaultDllDirectories 2048", "SetDllDirectoryA ''" };
    EXPECT_EQ(calls, searchCalls);
    searchCalls.clear();
    systemOffersSearchCalls = false;
    RestrictDllSearch();
    EXPECT_TRUE(searchCalls.empty());
}

static std::string SidText(PSID sid)
{
    std::string text = "S-1-" + std::to_string(GetSidIdentifierAuthority(sid)->Value[5]);
    for (UCHAR i = 0; i < *GetSidSubAuthorityCount(sid); i++)
        text += "-" + std::to_string(*GetSidSubAuthority(sid, i));
    return text;
}

/* Per call: the folder, then the descriptor's protection and each entry as
 * type, inherit flags, access mask and SID. */
static std::vector<std::string> madeFolders;
static BOOL WINAPI RecordMakeFolder(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    std::string made = path;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    BOOL present = FALSE, defaulted;
    PACL acl = NULL;
    if (!attributes || !attributes->lpSecurityDescriptor ||
        !GetSecurityDescriptorControl(attributes->lpSecurityDescriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted) ||
        !present || !acl) {
        madeFolders.push_back(made + " without a DACL");
    } else {
        made += (control & SE_DACL_PROTECTED) ? " protected" : " inheriting";
        for (WORD i = 0; i < acl->AceCount; i++) {
            ACCESS_ALLOWED_ACE *ace;
            GetAce(acl, i, (void **)&ace);
            char entry[64];
            wsprintfA(entry, " %u/%u/%lx/", ace->Header.AceType, ace->Header.AceFlags, ace->Mask);
            made += entry + SidText(&ace->SidStart);
        }
        madeFolders.push_back(made);
    }
    return REAL(CreateDirectoryA)(path, NULL);
}

/* A missing status folder and the missing folder above it are made so that
 * only administrators and the system may change them and users may read and
 * run (0x1200a9), for everything below them too (flags 3), and nothing is
 * taken over from the folder above. A folder that exists is used as it is. */
class StatusFolder : public KxTest {};

TEST_F(StatusFolder, MissingFoldersAreMadeForAdministratorsOnly)
{
    TempDir temp;
    std::string outer = temp.File("outer"), status = temp.File("outer\\status");
    madeFolders.clear();
    {
        FAKE_IMPORT(CreateDirectoryA, RecordMakeFolder);
        EXPECT_EQ(1, CreateStatusFolder(status.c_str()));
        EXPECT_EQ(1, CreateStatusFolder(status.c_str()));
    }
    const std::string entries =
        " protected 0/3/1f01ff/S-1-5-32-544 0/3/1f01ff/S-1-5-18 0/3/1200a9/S-1-5-32-545";
    const std::vector<std::string> made = { outer + entries, status + entries };
    EXPECT_EQ(made, madeFolders);
    EXPECT_TRUE(GetFileAttributesA(status.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

/* Somebody else makes the folder between the program's look and its own
 * CreateDirectoryA: the folder that now stands is judged, and taken only when
 * nobody else controls it. */
static BOOL WINAPI MadeByAnotherFirst(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    REAL(CreateDirectoryA)(path, NULL);
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

TEST_F(StatusFolder, OneMadeMeanwhileIsTakenOnlyWhenNobodyElseControlsIt)
{
    TempDir temp;
    const std::string status = temp.File("status");
    FAKE_IMPORT(CreateDirectoryA, MadeByAnotherFirst);
    EXPECT_EQ(1, CreateStatusFolder(status.c_str()));
    EXPECT_TRUE(TakeBoxes().empty());

    RemoveDirectoryA(status.c_str());
    FakeSecurity security;
    FakeSecurity::Folder(status, "O:BUD:(A;;FA;;;BU)");
    EXPECT_EQ(0, CreateStatusFolder(status.c_str()));
    ExpectOneBox("Install Error",
                 ("The folder " + status + " cannot be used: it is owned by another user.").c_str(),
                 MB_OK);
}
