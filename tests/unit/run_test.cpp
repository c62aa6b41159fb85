#include "tests/unit/shell_support.h"
#include "tests/unit/trust_support.h"
#include "tests/unit/spooler_support.h"
#include "spooler/spooler.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "integration/integration.h"
#include "change/change.h"
#include <winspool.h>
#include <prsht.h>
#include <sddl.h>
#include <algorithm>
#include <memory>

DECLARE_IMPORT_SLOT(GetPrinterDriverDirectoryA);
DECLARE_IMPORT_SLOT(SetupInstallFilesFromInfSectionA);
DECLARE_IMPORT_SLOT(SetupInstallFromInfSectionA);
DECLARE_IMPORT_SLOT(SetupInitDefaultQueueCallbackEx);
DECLARE_IMPORT_SLOT(PropertySheetA);
DECLARE_IMPORT_SLOT(GetTickCount);
DECLARE_IMPORT_SLOT(AddPrinterDriverA);
DECLARE_IMPORT_SLOT(SetupDefaultQueueCallbackA);
DECLARE_IMPORT_SLOT(CreateDirectoryA);
DECLARE_IMPORT_SLOT(RegSetValueExA);
DECLARE_IMPORT_SLOT(DeletePrinterDriverA);
DECLARE_IMPORT_SLOT(SendMessageTimeoutA);
DECLARE_IMPORT_SLOT(RegSetKeySecurity);

static const char productKey[] = "Software\\VelbaPrinter\\VelbaProduct\\PrinterInfo";
static const char groupName[] = "Kalyx Q70/Q90 Tools";

static bool PrinterExists(const char *name)
{
    HANDLE printer;
    if (!OpenPrinterA((char *)name, &printer, NULL))
        return false;
    ClosePrinter(printer);
    return true;
}

static const char *const released[] = { "context", "queue", "inf" };
static const std::vector<std::string> allReleased(released, released + 3);

class InstallationRun : public KxTest {
protected:
    std::unique_ptr<InstallPrefix> prefix;
    std::unique_ptr<RunObserver> observer;
    HWND host;
    bool recordBefore;

    void SetUp() override
    {
        KxTest::SetUp();
        prefix.reset(new InstallPrefix);
        observer.reset(new RunObserver);
        host = CreateTestHost();
        recordBefore = KeyExists(HKEY_LOCAL_MACHINE, productKey);
    }
    void TearDown() override
    {
        DestroyWindow(host);
        observer.reset();
        prefix.reset();
        KxTest::TearDown();
    }
    /* A status display folder as an install run leaves it, and its record. */
    void SeedInstallation(DWORD components)
    {
        CreateDirectoryA(prefix->status.c_str(), NULL);
        const char *files[] = { "kxsetup.exe", "oemsetup.inf", "kxcons.exe", "kxcons.ini" };
        for (size_t i = 0; i < ARRAYSIZE(files); i++)
            CopyFileA(prefix->MediumFile(files[i]).c_str(), prefix->StatusFile(files[i]).c_str(), FALSE);
        SetupStateRecord record;
        ZeroMemory(&record, sizeof(record));
        lstrcpynA(record.statusDir, prefix->status.c_str(), sizeof(record.statusDir));
        record.statusDirId = 66010;
        record.selectedComponents = components;
        WriteInstallRecord(&record);
        SetupState.installMode = Uninstall;
    }
    bool SameAsMedium(const std::string &copy, const char *name)
    {
        return FileExists(copy) && ReadFileBytes(copy) == ReadFileBytes(prefix->MediumFile(name));
    }
};

TEST_F(InstallationRun, ExpressCopiesRegistersRecordsAndOffersRestart)
{
    prefix->ChooseStatusFolder();
    GroupRecorder group(prefix->temp);

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, DriveExpressRun(host));

    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxsetup.exe"), "kxsetup.exe"));
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("oemsetup.inf"), "oemsetup.inf"));
    EXPECT_TRUE(SameAsMedium(prefix->systemDir + "\\tremon.dll", "tremon.dll"));
    const char *modelFiles[] = { "kxpcl6.dll", "kxpcl6ui.dll", "q70pcl6.gpd", "kxpcl6.hlp",
                                 "kxpcl5e.dll", "kxpcl5ui.dll", "q70pcl5e.gpd", "kxpcl5e.hlp",
                                 "kxps.dll", "kxpsui.dll", "q70ps.ppd", "kxps.hlp" };
    for (size_t i = 0; i < ARRAYSIZE(modelFiles); i++)
        EXPECT_TRUE(SameAsMedium(prefix->driverDir + "\\" + modelFiles[i], modelFiles[i])) << modelFiles[i];
    /* the install sections (into the driver directory under Wine) and the status display */
    EXPECT_TRUE(FileExists(prefix->driverDir + "\\kxpcl6.ini"));
    EXPECT_TRUE(FileExists(prefix->driverDir + "\\kxps.ini"));
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxcons.exe"), "kxcons.exe"));
    EXPECT_EQ("1", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "ClassInstalled"));

    for (int i = 0; i < MODEL_SLOTS; i++)
        EXPECT_TRUE(PrinterExists(mediumModel[i])) << mediumModel[i];
    EXPECT_EQ(std::to_string(SetupState.selectedComponents),
              RegText(HKEY_LOCAL_MACHINE, productKey, "InstallSections"));
    EXPECT_EQ(0x17u, SetupState.selectedComponents & 0x17u);
    EXPECT_EQ(prefix->status + "=66010", RegText(HKEY_LOCAL_MACHINE, productKey, "StatusDisplayDir"));
    EXPECT_EQ("grpconv -o", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));

    std::vector<std::string> commands = group.Commands();
    ASSERT_EQ(7u, commands.size());
    EXPECT_EQ(std::string("[CreateGroup(") + groupName + ")]\\0", commands[0]);

    EXPECT_TRUE(RunObserver::Called("reboot"));
    EXPECT_EQ(host, RunObserver::rebootOwner);
    EXPECT_EQ(allReleased, RunObserver::Released());
}

TEST_F(InstallationRun, MissingSetupInformationEndsQuietlyWithoutChanges)
{
    DeleteFileA(prefix->MediumFile("oemsetup.inf").c_str());
    prefix->ChooseStatusFolder();

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    EXPECT_TRUE(ActivatedDialogs().empty());
    EXPECT_EQ(recordBefore, KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_FALSE(FileExists(prefix->status));
    EXPECT_TRUE(RunObserver::calls.empty());
}

static BOOL WINAPI NoDriverDirectory(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD)
{
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
}

TEST_F(InstallationRun, DriverDirectoryFallsBackToW32x86)
{
    FAKE_IMPORT(GetPrinterDriverDirectoryA, NoDriverDirectory);
    prefix->ChooseStatusFolder();

    DriveExpressRun(host);

    std::string fallback = prefix->systemDir + "\\spool\\drivers\\w32x86";
    EXPECT_EQ(fallback, SetupState.driverDirectory);
    EXPECT_TRUE(SameAsMedium(fallback + "\\kxpcl6.dll", "kxpcl6.dll"));
    EXPECT_TRUE(SameAsMedium(fallback + "\\kxps.hlp", "kxps.hlp"));
}

/* The record written before the verdict is taken back before the box. */
TEST_F(InstallationRun, ShortDriveStopsAfterTheRecordWithoutCopyingAndTakesTheRecordBack)
{
    prefix->ChooseStatusFolder();
    SetupState.spaceShortfall[0] = 'C';

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    ExpectOneBox("Install Error", "Dirve C: has no enough space!", MB_OK, NULL);
    EXPECT_EQ(recordBefore, KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxsetup.exe")));
    EXPECT_FALSE(RunObserver::Called("commit"));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    EXPECT_EQ(allReleased, RunObserver::Released());
}

static BOOL WINAPI StatusSectionFails(HINF inf, HINF layout, HSPFILEQ queue, PCSTR section,
                                      PCSTR source, UINT style)
{
    if (lstrcmpiA(section, "StatusDisplay") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return REAL(SetupInstallFilesFromInfSectionA)(inf, layout, queue, section, source, style);
}

/* The one box of a refused step: the system's text for access denied. */
static void ExpectAccessDeniedBox()
{
    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].caption);
    EXPECT_NE(std::string::npos, boxes[0].text.find("ccess")) << boxes[0].text;
    EXPECT_EQ((UINT)MB_ICONINFORMATION, boxes[0].style);
}

/* The sections before it were queued fine: still nothing is copied or registered. */
TEST_F(InstallationRun, FailingSectionQueueStopsBeforeCommitAndRegistration)
{
    FAKE_IMPORT(SetupInstallFilesFromInfSectionA, StatusSectionFails);
    prefix->ChooseStatusFolder();

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    ExpectAccessDeniedBox();
    EXPECT_FALSE(RunObserver::Called("commit"));
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxsetup.exe")));
    for (int i = 0; i < MODEL_SLOTS; i++)
        EXPECT_FALSE(PrinterExists(mediumModel[i]));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    EXPECT_EQ(allReleased, RunObserver::Released());
}

TEST_F(InstallationRun, FailedCommitStopsBeforeRegistration)
{
    RunObserver::commitFails = true;
    prefix->ChooseStatusFolder();

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    for (int i = 0; i < MODEL_SLOTS; i++)
        EXPECT_FALSE(PrinterExists(mediumModel[i]));
    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "ClassInstalled"));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    EXPECT_EQ(allReleased, RunObserver::Released());
}

/* The run's own journal folder is still made. */
static BOOL WINAPI FolderRefused(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    if (strstr(path, "\\kxsetup-run-"))
        return REAL(CreateDirectoryA)(path, security);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

/* The run makes the status folder itself (SetupAPI would make it open to
 * everybody): when it cannot, nothing is copied or registered, and the record
 * written before is taken back. */
TEST_F(InstallationRun, StatusFolderThatCannotBeMadeStopsBeforeCopying)
{
    FAKE_IMPORT(CreateDirectoryA, FolderRefused);
    prefix->ChooseStatusFolder();

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    ExpectAccessDeniedBox();
    EXPECT_FALSE(RunObserver::Called("commit"));
    EXPECT_FALSE(FileExists(prefix->status));
    EXPECT_EQ(recordBefore, KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_FALSE(FileExists(prefix->systemDir + "\\tremon.dll"));
    for (int i = 0; i < MODEL_SLOTS; i++)
        EXPECT_FALSE(PrinterExists(mediumModel[i]));
    EXPECT_EQ(allReleased, RunObserver::Released());
}

/* A status folder that somebody else made, or a record key that somebody else
 * owns (ordinary users may make keys under HKLM\Software on NT 4 and 2000),
 * is refused right before the run's first change: nothing is written. */
TEST_F(InstallationRun, FolderOrRecordKeyOthersControlStopsBeforeTheFirstChange)
{
    const std::string product = std::string("HKLM\\") + KX_PRODUCT_KEY;
    const struct { bool folder; std::string refusal; } cases[] = {
        { true, "The folder " + prefix->status + " cannot be used: it is owned by another user." },
        { false, "The registry key " + product + " cannot be used: it is owned by another user." },
    };
    CreateDirectoryA(prefix->status.c_str(), NULL);
    WriteMachineString(KX_PRODUCT_KEY, "InstallSections", "1");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusal);
        ZeroMemory(&SetupState, sizeof(SetupState));
        SetupState.instance = GetModuleHandleA(NULL);
        RunObserver::calls.clear();
        prefix->ChooseStatusFolder();
        FakeSecurity security;
        if (c.folder)
            FakeSecurity::Folder(prefix->status, "O:BUD:(A;;FA;;;BU)");
        else
            FakeSecurity::keys = "O:BU";

        EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

        ExpectOneBox("Install Error", c.refusal.c_str(), MB_OK, NULL);
        EXPECT_EQ("1", RegText(HKEY_LOCAL_MACHINE, productKey, "InstallSections"));
        EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, productKey, "StatusDisplayDir"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY));
        EXPECT_FALSE(FileExists(prefix->StatusFile("kxsetup.exe")));
        EXPECT_FALSE(FileExists(prefix->systemDir + "\\tremon.dll"));
        EXPECT_EQ(std::vector<std::string>(1, "inf"), RunObserver::Released());
    }
}

static BOOL WINAPI DriverRefused(LPSTR, DWORD, LPBYTE)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(InstallationRun, RefusedRegistrationShowsTheHostOwnedErrorAndSkipsTheTail)
{
    FAKE_IMPORT(AddPrinterDriverA, DriverRefused);
    prefix->ChooseStatusFolder();
    std::string runOnceBefore = RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv");

    EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));

    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ("Add printer or driver error!", boxes.back().text);
    EXPECT_EQ("Error", boxes.back().caption);
    EXPECT_EQ((UINT)MB_OK, boxes.back().style);
    EXPECT_EQ(host, boxes.back().owner);
    EXPECT_EQ(runOnceBefore, RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));
    EXPECT_FALSE(RunObserver::Called("reboot"));
}

static const char *refusedValue;
static LONG WINAPI RefuseOneValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                  const BYTE *data, DWORD size)
{
    if (name && lstrcmpA(name, refusedValue) == 0)
        return ERROR_ACCESS_DENIED;
    return REAL(RegSetValueExA)(key, name, reserved, type, data, size);
}

/* The record is written before the copies, the entry of the removable software
 * after them: either one refused fails the run with the box that says so. */
TEST_F(InstallationRun, UnwrittenRecordOrUninstallEntryFailsTheRun)
{
    const struct { const char *value, *text; bool copied; } cases[] = {
        { "StatusDisplayDir", "The installation record could not be written to the registry.", false },
        { "UninstallString", "The uninstall entry could not be written to the registry.", true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        ZeroMemory(&SetupState, sizeof(SetupState));
        SetupState.instance = GetModuleHandleA(NULL);
        RunObserver::calls.clear();
        prefix->ChooseStatusFolder();
        refusedValue = c.value;
        {
            FAKE_IMPORT(RegSetValueExA, RefuseOneValue);
            EXPECT_EQ(KX_EXIT_FAILED, DriveExpressRun(host));
        }
        ExpectOneBox("Install Error", c.text, MB_OK, NULL);
        EXPECT_EQ(c.copied, RunObserver::Called("commit"));
        for (int i = 0; i < MODEL_SLOTS; i++)
            EXPECT_FALSE(PrinterExists(mediumModel[i]));
        EXPECT_FALSE(RunObserver::Called("reboot"));
        EXPECT_EQ(c.copied ? allReleased : std::vector<std::string>(1, "inf"),
                  RunObserver::Released());
    }
}

/* No model and no tool offered, and a driver destination other than 66000:
 * the program, its setup information and the monitor are copied all the same. */
TEST_F(InstallationRun, NothingSelectedStillCopiesTheFixedFiles)
{
    prefix->temp.Write("medium\\oemsetup.inf",
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\n"
                       "[Manufacturer]\r\nKalyx\r\n[Kalyx]\r\n"
                       "[DestinationDirs]\r\nDefaultDestDir=11\r\n"
                       "[ClassInstall]\r\nAddReg=Reg\r\n"
                       "[Reg]\r\nHKLM,\"Software\\Kalyx\\Q70Q90\",ClassInstalled,,\"1\"\r\n");
    prefix->ChooseStatusFolder();

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, DriveExpressRun(host));

    EXPECT_EQ(0u, SetupState.selectedComponents & 0x17u);
    EXPECT_TRUE(RunObserver::Called("commit"));
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxsetup.exe"), "kxsetup.exe"));
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("oemsetup.inf"), "oemsetup.inf"));
    EXPECT_TRUE(SameAsMedium(prefix->systemDir + "\\tremon.dll", "tremon.dll"));
    EXPECT_EQ("1", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "ClassInstalled"));
}

static PVOID forwardedContext;
static UINT WINAPI RecordDefaultCallback(PVOID context, UINT, UINT_PTR, UINT_PTR)
{
    forwardedContext = context;
    return FILEOP_DOIT;
}

/* The callback gets the address of the run's context variable and hands the
 * context itself on; deletion errors never reach SetupAPI's dialogs. */
TEST(QueueCallback, SkipsDeleteErrorsAndForwardsTheRestWithTheContext)
{
    FAKE_IMPORT(SetupDefaultQueueCallbackA, RecordDefaultCallback);
    int dummy;
    QueueContext queueContext = { &dummy, 0, 0 };
    forwardedContext = NULL;

    EXPECT_EQ((UINT)FILEOP_SKIP, QueueCallback(&queueContext, SPFILENOTIFY_DELETEERROR, 0, 0));
    EXPECT_TRUE(forwardedContext == NULL);
    EXPECT_EQ((UINT)FILEOP_DOIT, QueueCallback(&queueContext, SPFILENOTIFY_STARTCOPY, 0, 0));
    EXPECT_EQ(queueContext.defaultContext, forwardedContext);
}

static INT_PTR WINAPI SheetNotCreated(LPCPROPSHEETHEADERA) { return -1; }

TEST_F(InstallationRun, WizardThatCannotBeCreatedFailsWithNothingWritten)
{
    FAKE_IMPORT(PropertySheetA, SheetNotCreated);
    EXPECT_EQ(KX_EXIT_FAILED, RunInstallation(host, &SetupState, OptionsMode()));
    EXPECT_EQ(recordBefore, KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_EQ(std::vector<std::string>(1, "inf"), RunObserver::Released());
}

TEST_F(InstallationRun, CancelledWizardEndsWithNothingWritten)
{
    int code = 0;
    DriveUi([&] { code = RunInstallation(host, &SetupState, OptionsMode()); },
            [](HWND sheet) {
                ClickButton(sheet, IDCANCEL);
                return false;
            });
    EXPECT_EQ(KX_EXIT_CANCELLED, code);
    EXPECT_EQ(recordBefore, KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    EXPECT_EQ(std::vector<std::string>(1, "inf"), RunObserver::Released());
}

TEST_F(InstallationRun, UninstallAnsweredNoChangesNothing)
{
    SeedInstallation(0x10);
    std::string runOnceBefore = RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv");
    QueueBoxAnswer(IDNO);

    EXPECT_EQ(KX_EXIT_CANCELLED, RunInstallation(host, &SetupState, OptionsMode()));

    ExpectOneBox("Installation", "Do you really want to uninstall?", MB_YESNO, NULL);
    EXPECT_TRUE(FileExists(prefix->StatusFile("kxcons.exe")));
    EXPECT_TRUE(FileExists(prefix->StatusFile("kxcons.ini")));
    EXPECT_EQ(runOnceBefore, RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    EXPECT_EQ(std::vector<std::string>(1, "inf"), RunObserver::Released());
}

static PVOID WINAPI NoQueueContext(HWND, HWND, UINT, DWORD, PVOID)
{
    return NULL;
}

TEST_F(InstallationRun, QueueSetupFailureStopsTheUninstall)
{
    SeedInstallation(0x10);
    FAKE_IMPORT(SetupInitDefaultQueueCallbackEx, NoQueueContext);

    EXPECT_EQ(KX_EXIT_FAILED, RunInstallation(host, &SetupState, OptionsMode()));

    TakeBoxes(); /* the confirmation */
    EXPECT_TRUE(FileExists(prefix->StatusFile("kxcons.ini")));
    EXPECT_FALSE(RunObserver::Called("reboot"));
    const char *const order[] = { "queue", "inf" };
    EXPECT_EQ(std::vector<std::string>(order, order + 2), RunObserver::Released());
}

/* What the uninstall section found when it ran. */
static int uninstallSections;
static UINT uninstallParts;
static bool statusWindowAtUninstall;
static DWORD fakeNow, clockAtUninstall; /* the clock as the tests' fakes keep it */
static BOOL WINAPI WatchUninstallSection(HWND owner, HINF inf, PCSTR section, UINT flags, HKEY key,
                                         PCSTR source, UINT copyFlags, PSP_FILE_CALLBACK_A callback,
                                         PVOID context, HDEVINFO devices, PSP_DEVINFO_DATA device)
{
    if (lstrcmpiA(section, "DefaultUninstall") == 0) {
        uninstallSections++;
        uninstallParts = flags;
        statusWindowAtUninstall = FindWindowA(NULL, KX_STATUS_WINDOW_TITLE) != NULL;
        clockAtUninstall = fakeNow;
    }
    return REAL(SetupInstallFromInfSectionA)(owner, inf, section, flags, key, source, copyFlags,
                                             callback, context, devices, device);
}

class UninstallRun : public InstallationRun {
protected:
    std::unique_ptr<ScopedImport> sectionPatch;
    std::string log;
    void SetUp() override
    {
        InstallationRun::SetUp();
        uninstallSections = 0;
        statusWindowAtUninstall = false;
        sectionPatch.reset(new ScopedImport(IMPORT_SLOT(SetupInstallFromInfSectionA),
                                            (void *)WatchUninstallSection));
        log = prefix->temp.File("kxcons.log");
        SeedInstallation(0x10);
    }
    void TearDown() override
    {
        sectionPatch.reset();
        InstallationRun::TearDown();
    }
    std::string ToolCommand(const char *options)
    {
        return prefix->MediumFile("kxcons.exe") + " --log=" + log + " --quit-after=60000 " + options;
    }
    size_t CloseRequests()
    {
        size_t count = 0;
        std::vector<std::string> lines = ReadLines(log);
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i].compare(0, 13, "close-request") == 0) {
                EXPECT_EQ("close-request 8735 7711", lines[i]);
                count++;
            }
        return count;
    }
};

TEST_F(UninstallRun, ClosesTheStatusToolOnceAndGoesOnWhenItIsGone)
{
    ChildProcess tool(ToolCommand("--linger=400"));
    ASSERT_TRUE(WaitForWindow(KX_STATUS_WINDOW_TITLE, 10000));
    GroupRecorder group(prefix->temp);
    RunObserver::rebootAnswer = SPFILEQ_REBOOT_IN_PROGRESS;

    EXPECT_EQ(KX_EXIT_OK, RunInstallation(host, &SetupState, OptionsMode()));

    ExpectOneBox("Installation", "Do you really want to uninstall?", MB_YESNO, NULL);
    EXPECT_EQ(1u, CloseRequests());
    EXPECT_EQ(1, uninstallSections);
    EXPECT_FALSE(statusWindowAtUninstall);
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxcons.exe")));
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxcons.ini")));
    std::vector<std::string> commands = group.Commands();
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(std::string("[DeleteGroup(") + groupName + ")]\\0", commands[0]);
    EXPECT_TRUE(RunObserver::Called("reboot"));
    EXPECT_EQ(allReleased, RunObserver::Released());
}

static int driverRemovals;
static BOOL WINAPI CountDriverRemoval(LPSTR, LPSTR, LPSTR)
{
    driverRemovals++;
    return FALSE;
}

/* No record, a relative folder, no components, an uninstalled record: after
 * the question the run stops as Windows Installer's does for an unknown
 * product, with nothing deleted, no start-up entries, no group, no restart. */
TEST_F(UninstallRun, WithoutAUsableRecordFailsBeforeDeletingAnything)
{
    const std::string folder = prefix->status + "=66010";
    /* The last: the record an uninstall leaves, holding nothing. */
    const struct { const char *folder, *sections, *held; } cases[] = {
        { NULL, NULL, NULL }, { "STATUS=66010", "23", NULL }, { folder.c_str(), "0", NULL },
        { folder.c_str(), "23", "0" },
    };
    std::string runOnceBefore = RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv");
    driverRemovals = 0;
    FAKE_IMPORT(DeletePrinterDriverA, CountDriverRemoval);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder ? c.folder : "no record");
        DeleteKeyTree(HKEY_LOCAL_MACHINE, productKey);
        if (c.folder) {
            WriteMachineString(KX_PRODUCT_KEY, "StatusDisplayDir", c.folder);
            WriteMachineString(KX_PRODUCT_KEY, "InstallSections", c.sections);
        }
        if (c.held)
            WriteMachineString(KX_PRODUCT_KEY, KX_INSTALLED_VALUE, c.held);
        SetupState.installMode = Uninstall;

        EXPECT_EQ(KX_EXIT_NOT_INSTALLED, RunInstallation(host, &SetupState, OptionsMode()));

        std::vector<RecordedBox> boxes = TakeBoxes();
        ASSERT_EQ(2u, boxes.size());
        EXPECT_EQ("Do you really want to uninstall?", boxes[0].text);
        EXPECT_EQ("No installation was found to uninstall.", boxes[1].text);
        EXPECT_EQ("Installation", boxes[1].caption);
        EXPECT_EQ((UINT)MB_OK, boxes[1].style);
        EXPECT_EQ(NULL, boxes[1].owner);
    }
    EXPECT_EQ(0, uninstallSections);
    EXPECT_EQ(0, driverRemovals);
    EXPECT_TRUE(FileExists(prefix->StatusFile("kxcons.ini")));
    EXPECT_EQ(runOnceBefore, RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));
    EXPECT_FALSE(RunObserver::Called("reboot"));
}

/* The uninstall reads the record and the folder only when nobody else
 * controls them; a recorded folder that is gone has no files of the
 * installation left, so the section's file operations are skipped. */
TEST_F(UninstallRun, FolderOrRecordOthersControlIsRefusedAndAGoneFolderSkipsTheFiles)
{
    const std::string product = std::string("HKLM\\") + KX_PRODUCT_KEY;
    const struct { bool folder; std::string refusal; } cases[] = {
        { true, "The folder " + prefix->status + " cannot be used: it is owned by another user." },
        { false, "The registry key " + product + " cannot be used: it is owned by another user." },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusal);
        FakeSecurity security;
        if (c.folder)
            FakeSecurity::Folder(prefix->status, "O:BUD:(A;;FA;;;WD)");
        else
            FakeSecurity::keys = "O:BU";
        SetupState.installMode = Uninstall;

        EXPECT_EQ(KX_EXIT_FAILED, RunInstallation(host, &SetupState, OptionsMode()));

        std::vector<RecordedBox> boxes = TakeBoxes();
        ASSERT_EQ(2u, boxes.size());
        EXPECT_EQ("Do you really want to uninstall?", boxes[0].text);
        EXPECT_EQ(c.refusal, boxes[1].text);
        EXPECT_EQ("Installation", boxes[1].caption);
    }
    EXPECT_EQ(0, uninstallSections);
    EXPECT_TRUE(FileExists(prefix->StatusFile("kxcons.ini")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_FALSE(RunObserver::Called("reboot"));

    /* A folder that is gone: the section's files in the driver folder are
     * deleted, none at the folder's path. */
    RemoveTree(prefix->status);
    const std::string modelIni = prefix->driverDir + "\\kxpcl6.ini";
    HANDLE ini = CreateFileA(modelIni.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, ini);
    CloseHandle(ini);
    ASSERT_TRUE(OpenLog(prefix->temp.File("gone.log").c_str()));
    SetupState.installMode = Uninstall;
    RunInstallation(host, &SetupState, OptionsMode());
    CloseLog();
    ExpectOneBox("Installation", "Do you really want to uninstall?", MB_YESNO, NULL);
    EXPECT_EQ(1, uninstallSections);
    EXPECT_NE(0u, uninstallParts & SPINST_FILES);
    EXPECT_FALSE(FileExists(modelIni));
    std::string said = ReadFileBytes(prefix->temp.File("gone.log"));
    EXPECT_NE(std::string::npos, said.find("> delete " + modelIni)) << said;
    EXPECT_EQ(std::string::npos, said.find("> delete " + prefix->status)) << said;
}

static std::vector<std::string> givenKeyOwners;
static LONG WINAPI KeepKeyEntries(HKEY, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor)
{
    char *text = NULL;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts, &text, NULL)) {
        givenKeyOwners.push_back(text);
        FakeSecurity::keys = text;
        LocalFree(text);
    }
    return ERROR_SUCCESS;
}

/* Whether the status folder could be renamed away while the uninstall
 * section ran. */
static DWORD renameDuringSection;
static std::string sectionFolder;
static BOOL WINAPI TryRenameDuringSection(HWND owner, HINF inf, PCSTR section, UINT flags, HKEY key,
                                          PCSTR source, UINT copyFlags, PSP_FILE_CALLBACK_A callback,
                                          PVOID context, HDEVINFO devices, PSP_DEVINFO_DATA device)
{
    std::string away = sectionFolder + ".away";
    renameDuringSection = MoveFileA(sectionFolder.c_str(), away.c_str()) ? NO_ERROR : GetLastError();
    if (renameDuringSection == NO_ERROR)
        MoveFileA(away.c_str(), sectionFolder.c_str());
    return WatchUninstallSection(owner, inf, section, flags, key, source, copyFlags, callback, context,
                                 devices, device);
}

/* An earlier release's installation, uninstalled from the medium: its record
 * key with NT 4's HKLM\Software entries is made the administrators' own
 * before it is read; its folder, with the entries XP's root hands down or
 * under a folder everybody may rename it out of (Windows 2000's root), is
 * not read from, only rid of the installation's files while it is held. */
TEST_F(UninstallRun, AnEarlierReleasesOpenKeyAndFolderAreUninstalledFromTheMedium)
{
    const std::string parent = prefix->status.substr(0, prefix->status.rfind('\\'));
    const struct { const char *system, *folder, *parent; } cases[] = {
        { "XP", "O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", NULL },
        { "2000", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", "O:BAD:(A;OICI;FA;;;WD)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.system);
        SeedInstallation(0x10);
        FakeSecurity security;
        FakeSecurity::Folder(prefix->status, c.folder);
        if (c.parent)
            FakeSecurity::Folder(parent, c.parent);
        FakeSecurity::keys = "O:BAD:(A;CI;KA;;;BA)(A;CI;DCLC;;;WD)";
        givenKeyOwners.clear();
        FAKE_IMPORT(RegSetKeySecurity, KeepKeyEntries);
        sectionFolder = prefix->status;
        renameDuringSection = NO_ERROR;
        FAKE_IMPORT(SetupInstallFromInfSectionA, TryRenameDuringSection);
        uninstallSections = 0;
        ASSERT_TRUE(OpenLog(prefix->temp.File("earlier.log").c_str()));

        EXPECT_EQ(KX_EXIT_RESTART_DECLINED, RunInstallation(host, &SetupState, OptionsMode()));

        CloseLog();
        ExpectOneBox("Installation", "Do you really want to uninstall?", MB_YESNO, NULL);
        ASSERT_LE(1u, givenKeyOwners.size());
        EXPECT_EQ("O:BAD:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)(A;OICI;KR;;;BU)", givenKeyOwners[0]);
        EXPECT_EQ(1, uninstallSections);
        EXPECT_NE((DWORD)NO_ERROR, renameDuringSection);
        EXPECT_FALSE(FileExists(prefix->StatusFile("kxcons.ini")));
        std::string said = ReadFileBytes(prefix->temp.File("earlier.log"));
        EXPECT_NE(std::string::npos, said.find("status folder " + prefix->status +
                                               " may be changed by other users: only its files are deleted"))
            << said;
        DeleteFileA(prefix->temp.File("earlier.log").c_str());
    }
}

/* Every look at the clock moves it on a second, so the 30-second limit comes
 * after about thirty polls. */
static DWORD WINAPI FastClock(void) { return fakeNow += 1000; }

static double Seconds(const FILETIME &time)
{
    return (((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime) / 1e7;
}

static double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

static double WallSeconds()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Seconds(now);
}

TEST_F(UninstallRun, GivesUpOnAToolThatNeverClosesWhileStayingIdle)
{
    ChildProcess tool(ToolCommand("--ignore-close"));
    ASSERT_TRUE(WaitForWindow(KX_STATUS_WINDOW_TITLE, 10000));
    fakeNow = 0;
    FAKE_IMPORT(GetTickCount, FastClock);

    double wallBefore = WallSeconds(), cpuBefore = CpuSeconds();
    int code = RunInstallation(host, &SetupState, OptionsMode());
    double wall = WallSeconds() - wallBefore, cpu = CpuSeconds() - cpuBefore;

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, code);
    TakeBoxes(); /* the confirmation */
    EXPECT_EQ(1u, CloseRequests());
    EXPECT_EQ(1, uninstallSections);
    EXPECT_TRUE(statusWindowAtUninstall);
    EXPECT_GE(clockAtUninstall, (DWORD)KX_STATUS_WAIT_MS);
    EXPECT_LT(clockAtUninstall, (DWORD)KX_STATUS_WAIT_MS + 5000);
    EXPECT_GT(wall, 2.0) << "the polls did not wait";
    EXPECT_LT(cpu, wall / 3) << "cpu " << cpu << " s in " << wall << " s";
}

TEST_F(UninstallRun, GoesOnPastAWindowOfTheToolsTitleThatNeverAnswers)
{
    HungWindow hung(KX_STATUS_WINDOW_TITLE);
    fakeNow = 0;
    FAKE_IMPORT(GetTickCount, FastClock);

    double wallBefore = WallSeconds();
    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, RunInstallation(host, &SetupState, OptionsMode()));
    double wall = WallSeconds() - wallBefore;

    TakeBoxes(); /* the confirmation */
    EXPECT_EQ(1, uninstallSections);
    EXPECT_LT(wall, 15.0) << "the close request waited for the window";
}

/* A window of the tool's title that is not the tool: it ignores the close request. */
struct Decoy {
    HWND window = CreateWindowExA(0, "STATIC", KX_STATUS_WINDOW_TITLE, WS_POPUP, 0, 0, 10, 10,
                                  NULL, NULL, GetModuleHandleA(NULL), NULL);
    ~Decoy() { DestroyWindow(window); }
};

TEST_F(UninstallRun, AsksEveryWindowOfTheToolsTitle_ADecoyDoesNotTakeTheRequest)
{
    ChildProcess tool(ToolCommand(""));
    ASSERT_TRUE(WaitForWindow(KX_STATUS_WINDOW_TITLE, 10000));
    Decoy decoy; /* the newer window, found first */
    fakeNow = 0;
    FAKE_IMPORT(GetTickCount, FastClock);

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, RunInstallation(host, &SetupState, OptionsMode()));

    TakeBoxes(); /* the confirmation */
    EXPECT_EQ(1u, CloseRequests());
    EXPECT_TRUE(tool.WaitExit(10000));
    EXPECT_EQ(1, uninstallSections);
}

/* Each window of the title takes the whole bound it is given and never answers. */
static std::vector<UINT> sendBounds;
static LRESULT WINAPI SendTimingOut(HWND, UINT message, WPARAM, LPARAM, UINT, UINT timeout,
                                    PDWORD_PTR)
{
    if (message == KX_STATUS_CLOSE_MESSAGE) {
        sendBounds.push_back(timeout);
        fakeNow += timeout;
    }
    SetLastError(ERROR_TIMEOUT);
    return 0;
}
TEST_F(UninstallRun, WindowsOfTheToolsTitleThatNeverAnswer_ShareOneBound)
{
    Decoy decoys[8];
    sendBounds.clear();
    fakeNow = 0;
    FAKE_IMPORT(GetTickCount, FastClock);
    FAKE_IMPORT(SendMessageTimeoutA, SendTimingOut);

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, RunInstallation(host, &SetupState, OptionsMode()));

    TakeBoxes(); /* the confirmation */
    EXPECT_EQ(1, uninstallSections);
    EXPECT_GT(sendBounds.size(), 1u) << "only one window was asked";
    UINT total = 0;
    for (UINT bound : sendBounds) {
        EXPECT_GT(bound, 0u);
        total += bound;
    }
    EXPECT_LE(total, (UINT)KX_STATUS_WAIT_MS);
}

/* The changes a log or plan describes, without their times. */
static std::vector<std::string> ActionLines(const std::string &log)
{
    const size_t mark = sizeof("2026-12-08 15:40:12.345 ") - 1;
    std::vector<std::string> lines = ReadLines(log), actions;
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i].compare(mark, 2, "> ") == 0)
            actions.push_back(lines[i].substr(mark + 2));
    return actions;
}

static bool Lists(const std::vector<std::string> &actions, const std::string &line)
{
    return std::find(actions.begin(), actions.end(), line) != actions.end();
}

static std::string IniText(const std::string &file)
{
    char text[32];
    GetPrivateProfileStringA("Printers", "Kalyx", "(missing)", text, sizeof(text), file.c_str());
    return text;
}

/* Each change the class section makes has its own action line, the registry
 * deletions and INI entries as well as the additions, so that a plan names
 * them all. */
TEST_F(InstallationRun, ClassSectionChangesAreDescribedOneByOne)
{
    const std::string head = "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\n"
                             "[Manufacturer]\r\nKalyx\r\n[Kalyx]\r\n"
                             "[DestinationDirs]\r\nDefaultDestDir=11\r\n";
    prefix->temp.Write("medium\\oemsetup.inf",
                       head + "[ClassInstall]\r\nAddReg=Reg\r\nDelReg=OldReg\r\nAddReg=Reg2\r\n"
                       "[Reg]\r\nHKLM,\"Software\\Kalyx\\Q70Q90\",ClassInstalled,,\"1\"\r\n"
                       "[Reg2]\r\nHKLM,\"Software\\Kalyx\\Q70Q90\",Second,,\"2\"\r\n"
                       "[OldReg]\r\nHKLM,\"Software\\Kalyx\\Q70Q90\",Obsolete\r\n");
    WriteMachineString("Software\\Kalyx\\Q70Q90", "Obsolete", "1");
    prefix->ChooseStatusFolder();
    ASSERT_TRUE(OpenLog(prefix->temp.File("run.log").c_str()));

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, DriveExpressRun(host));
    CloseLog();

    std::vector<std::string> actions = ActionLines(prefix->temp.File("run.log"));
    EXPECT_TRUE(Lists(actions, "registry add HKLM,Software\\Kalyx\\Q70Q90,ClassInstalled,,1 (section ClassInstall)"));
    /* a key given twice: SetupAPI applies the lists of both lines */
    EXPECT_TRUE(Lists(actions, "registry add HKLM,Software\\Kalyx\\Q70Q90,Second,,2 (section ClassInstall)"));
    EXPECT_EQ("2", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "Second"));
    EXPECT_TRUE(Lists(actions, "registry delete HKLM,Software\\Kalyx\\Q70Q90,Obsolete (section ClassInstall)"));
    EXPECT_EQ("1", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "ClassInstalled"));
    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "Obsolete"));
}

/* The uninstall section is applied without its registry entries, so none is
 * described; what it does with files and INI entries is, one line each. Its
 * copies take the source away (the section runs with SP_COPY_DELETESOURCE). */
TEST_F(UninstallRun, SectionChangesAreDescribedAsTheyAreMade)
{
    const std::string ini = prefix->temp.File("kx.ini");
    prefix->temp.Write("medium\\oemsetup.inf",
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\n"
                       "[Manufacturer]\r\nKalyx\r\n[Kalyx]\r\n"
                       "[DestinationDirs]\r\nDefaultDestDir=11\r\nStatus.Files=66010\r\n"
                       "Saved.Files=66010,Saved\r\n"
                       "[DefaultUninstall]\r\nDelFiles=Status.Files\r\nCopyFiles=Saved.Files\r\n"
                       "AddReg=Reg\r\nUpdateInis=Ini\r\n"
                       "[Status.Files]\r\nkxcons.ini\r\n[Saved.Files]\r\nkxcons.exe\r\n"
                       "[Reg]\r\nHKLM,\"Software\\Kalyx\\Q70Q90\",Uninstalled,,\"1\"\r\n"
                       "[Ini]\r\n\"" + ini + "\",Printers,,\"Kalyx=0\"\r\n");
    ASSERT_TRUE(OpenLog(prefix->temp.File("run.log").c_str()));

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, RunInstallation(host, &SetupState, OptionsMode()));
    CloseLog();

    ExpectOneBox("Installation", "Do you really want to uninstall?", MB_YESNO, NULL);
    const std::string saved = prefix->status + "\\Saved\\kxcons.exe";
    std::vector<std::string> actions = ActionLines(prefix->temp.File("run.log"));
    EXPECT_TRUE(Lists(actions, "delete " + prefix->StatusFile("kxcons.ini")));
    EXPECT_TRUE(Lists(actions, "move " + prefix->StatusFile("kxcons.exe") + " -> " + saved));
    EXPECT_TRUE(Lists(actions, "ini update " + ini + ",Printers,,Kalyx=0 (section DefaultUninstall)"));
    /* The outcome after the last file's line names the section, not that file. */
    std::vector<std::string> lines = ReadLines(prefix->temp.File("run.log"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
        return line.size() > 24 && line.substr(24) == "section DefaultUninstall: ok";
    }));
    for (size_t i = 0; i < actions.size(); i++)
        EXPECT_NE(0u, actions[i].find("registry add")) << actions[i];
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxcons.ini")));
    EXPECT_FALSE(FileExists(prefix->StatusFile("kxcons.exe")));
    EXPECT_TRUE(FileExists(saved));
    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, "Software\\Kalyx\\Q70Q90", "Uninstalled"));
    EXPECT_EQ("0", IniText(ini));
}

/* The deletions and renames an install section names are made by the commit,
 * for which SetupAPI offers no scan: they are described as they are queued. */
TEST_F(InstallationRun, InstallSectionDeletionsAndRenamesAreDescribed)
{
    prefix->temp.Write("medium\\oemsetup.inf",
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\n"
                       "[Manufacturer]\r\nKalyx\r\n[Kalyx]\r\n"
                       "[DestinationDirs]\r\nDefaultDestDir=11\r\nStatus.Files=66010\r\n"
                       "Old.Files=66010\r\nRenamed.Files=66010\r\n"
                       "[StatusDisplay]\r\nCopyFiles=Status.Files\r\nDelFiles=Old.Files\r\n"
                       "RenFiles=Renamed.Files\r\n"
                       "[Status.Files]\r\nkxcons.exe\r\n[Old.Files]\r\nold.ini\r\n"
                       "[Renamed.Files]\r\nnew.ini,before.ini\r\n");
    CreateDirectoryA(prefix->status.c_str(), NULL);
    prefix->temp.Write("status\\old.ini", "[old]\r\n");
    prefix->temp.Write("status\\before.ini", "[before]\r\n");
    prefix->ChooseStatusFolder();
    ASSERT_TRUE(OpenLog(prefix->temp.File("run.log").c_str()));

    EXPECT_EQ(KX_EXIT_RESTART_DECLINED, DriveExpressRun(host));
    CloseLog();

    std::vector<std::string> actions = ActionLines(prefix->temp.File("run.log"));
    EXPECT_TRUE(Lists(actions, "delete " + prefix->StatusFile("old.ini")));
    EXPECT_TRUE(Lists(actions, "rename " + prefix->StatusFile("before.ini") + " -> " +
                                   prefix->StatusFile("new.ini")));
    EXPECT_FALSE(FileExists(prefix->StatusFile("old.ini")));
    EXPECT_FALSE(FileExists(prefix->StatusFile("before.ini")));
    EXPECT_TRUE(FileExists(prefix->StatusFile("new.ini")));
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxcons.exe"), "kxcons.exe"));
}

/* ---- a plan changes nothing ---- */

DECLARE_IMPORT_SLOT(RegCreateKeyExA);
DECLARE_IMPORT_SLOT(RegDeleteKeyA);
DECLARE_IMPORT_SLOT(SetupCommitFileQueueA);
DECLARE_IMPORT_SLOT(AddMonitorA);
DECLARE_IMPORT_SLOT(AddPrinterA);
DECLARE_IMPORT_SLOT(DeletePrinter);
DECLARE_IMPORT_SLOT(WriteProfileStringA);
DECLARE_IMPORT_SLOT(DdeClientTransaction);
DECLARE_IMPORT_SLOT(CreateProcessA);
DECLARE_IMPORT_SLOT(SetupPromptReboot);
DECLARE_IMPORT_SLOT(DeleteMonitorA);
DECLARE_IMPORT_SLOT(RegDeleteValueA);
DECLARE_IMPORT_SLOT(CopyFileA);
DECLARE_IMPORT_SLOT(DeleteFileA);
DECLARE_IMPORT_SLOT(RemoveDirectoryA);

static std::vector<std::string> forbiddenCalls;
struct ChangeImport {
    const char *name;
    void **slot;
};
static const ChangeImport changeImports[] = {
#define CHANGE(name) { #name, IMPORT_SLOT(name) }
    CHANGE(RegCreateKeyExA),      CHANGE(RegSetValueExA),      CHANGE(RegDeleteKeyA),
    CHANGE(CreateDirectoryA),     CHANGE(SetupCommitFileQueueA), CHANGE(AddMonitorA),
    CHANGE(AddPrinterDriverA),    CHANGE(DeletePrinterDriverA), CHANGE(AddPrinterA),
    CHANGE(DeletePrinter),        CHANGE(WriteProfileStringA), CHANGE(DdeClientTransaction),
    CHANGE(CreateProcessA),       CHANGE(SetupPromptReboot),   CHANGE(DeleteMonitorA),
    CHANGE(RegDeleteValueA),      CHANGE(CopyFileA),           CHANGE(DeleteFileA),
    CHANGE(RemoveDirectoryA),
#undef CHANGE
};

/* Takes the place of any of them: on x86_64 the caller cleans up its own
 * arguments, so one body without parameters stands in for every signature. */
template <int N>
static ULONG_PTR WINAPI ForbiddenChange()
{
    forbiddenCalls.push_back(changeImports[N].name);
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

template <int... N>
static void ForbidChanges(std::vector<std::unique_ptr<ScopedImport>> &patches,
                          std::integer_sequence<int, N...>)
{
    (patches.emplace_back(new ScopedImport(changeImports[N].slot, (void *)ForbiddenChange<N>)), ...);
}

/* Every import that changes the machine fails the test when a plan calls it:
 * a change site that forgets Act is caught here, whatever it changes. */
TEST_F(UninstallRun, APlanCallsNothingThatChangesTheMachine)
{
    std::vector<std::unique_ptr<ScopedImport>> patches;
    ASSERT_TRUE(OpenPlan(prefix->temp.File("plan.txt").c_str()));
    prefix->ChooseStatusFolder();
    Options.quiet = Options.defaultPrinter = 1;
    SetQuietAnswers(1);
    forbiddenCalls.clear();
    ForbidChanges(patches, std::make_integer_sequence<int, ARRAYSIZE(changeImports)>());

    SetupState.installMode = Express;
    EXPECT_EQ(KX_EXIT_OK, RunInstallation(host, &SetupState, OptionsMode()));
    SetupState.installMode = Uninstall;
    EXPECT_EQ(KX_EXIT_OK, RunInstallation(host, &SetupState, OptionsMode()));
    /* A plan that stops lists what the run would undo, and undoes nothing. */
    MoveFileA(prefix->MediumFile("kxps.hlp").c_str(), prefix->temp.File("kxps.hlp").c_str());
    SetupState.installMode = Express;
    EXPECT_EQ(KX_EXIT_FAILED, RunInstallation(host, &SetupState, OptionsMode()));
    patches.clear();
    ResetRun();

    EXPECT_EQ(std::vector<std::string>(), forbiddenCalls);
    EXPECT_LT(20u, ActionLines(prefix->temp.File("plan.txt")).size());
    std::vector<std::string> lines = ReadLines(prefix->temp.File("plan.txt"));
    const size_t mark = sizeof("2026-12-08 15:40:12.345 ") - 1;
    size_t first = lines.size();
    for (size_t i = 0; i < lines.size() && first == lines.size(); i++)
        if (lines[i].compare(mark, 2, "< ") == 0)
            first = i;
    ASSERT_LT(first + 10, lines.size());
    EXPECT_EQ("< registry restore HKLM\\" + std::string(productKey) + "\\ InstallSections",
              lines.back().substr(mark));
    for (size_t i = first; i < lines.size(); i++)
        EXPECT_EQ("< ", lines[i].substr(mark, 2)) << lines[i];
}

/* ---- a stop after the first change takes every change back ---- */

/* What a failed run must leave as it found it: the record and entry values,
 * the class section's value, every file the run copies (size and a checksum),
 * the printers with their comments, the drivers and the monitor. */
static std::vector<std::string> MachineView(const InstallPrefix &prefix)
{
    std::vector<std::string> view;
    const char *const keys[] = { "Software\\VelbaPrinter", productKey, KX_UNINSTALL_KEY,
                                 "Software\\Kalyx", "Software\\Kalyx\\Q70Q90" };
    for (const char *key : keys)
        view.push_back(std::string(key) + (KeyExists(HKEY_LOCAL_MACHINE, key) ? " is there" : " is not"));
    const char *const values[][2] = { { productKey, "InstallSections" },
                                      { productKey, "StatusDisplayDir" },
                                      { productKey, "ControlPanelDir" },
                                      { KX_UNINSTALL_KEY, "UninstallString" },
                                      { "Software\\Kalyx\\Q70Q90", "ClassInstalled" } };
    for (const auto &value : values)
        view.push_back(std::string(value[1]) + " = " + RegText(HKEY_LOCAL_MACHINE, value[0], value[1]));
    std::vector<std::string> files = { prefix.status, prefix.systemDir + "\\tremon.dll" };
    const char *const statusFiles[] = { "kxsetup.exe", "oemsetup.inf", "kxcons.exe", "kxcons.ini" };
    for (const char *name : statusFiles)
        files.push_back(prefix.StatusFile(name));
    const char *const modelFiles[] = { "kxpcl6.dll", "kxpcl6ui.dll", "q70pcl6.gpd", "kxpcl6.hlp",
                                       "kxps.dll", "kxpsui.dll", "q70ps.ppd", "kxps.hlp",
                                       "kxpcl6.ini", "kxps.ini" };
    for (const char *name : modelFiles)
        files.push_back(prefix.driverDir + "\\" + name);
    for (const std::string &file : files) {
        std::string bytes = ReadFileBytes(file);
        unsigned sum = 2166136261u;
        for (unsigned char c : bytes)
            sum = (sum ^ c) * 16777619u;
        view.push_back(file + (FileExists(file) ? " " + std::to_string(bytes.size()) + " bytes, sum " +
                                                      std::to_string(sum)
                                                : " is not there"));
    }
    for (int i = 0; i < MODEL_SLOTS; i++) {
        PrinterFacts facts;
        view.push_back(std::string("printer ") + mediumModel[i] +
                       (ReadPrinter(mediumModel[i], &facts) ? " comment " + facts.comment : " is not there"));
        view.push_back(std::string("driver ") + mediumModel[i] +
                       (KeyExists(HKEY_LOCAL_MACHINE, DriverKey(mediumModel[i]).c_str()) ? " is there" : " is not"));
    }
    std::vector<std::string> monitors = ListedMonitors();
    view.push_back(std::string("monitor ") +
                   (std::find(monitors.begin(), monitors.end(), KX_MONITOR_NAME) != monitors.end() ? "is there" : "is not"));
    return view;
}

static HANDLE WINAPI RefuseSecondPrinter(LPSTR server, DWORD level, LPBYTE record)
{
    if (lstrcmpA(((PRINTER_INFO_2A *)record)->pPrinterName, mediumModel[1]) == 0) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return NULL;
    }
    return REAL(AddPrinterA)(server, level, record);
}

static LONG WINAPI RefuseUninstallString(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                         const BYTE *data, DWORD size)
{
    if (name && lstrcmpA(name, "UninstallString") == 0)
        return ERROR_ACCESS_DENIED;
    return REAL(RegSetValueExA)(key, name, reserved, type, data, size);
}

class FailedRun : public InstallationRun {
protected:
    std::string log;
    void SetUp() override
    {
        InstallationRun::SetUp();
        Quiet();
        log = prefix->temp.File("run.log");
    }
    /* A prefix as at the start of a test, and a quiet run's options. */
    void Fresh()
    {
        prefix.reset();
        observer.reset();
        ResetRun();
        SetupState.instance = GetModuleHandleA(NULL);
        prefix.reset(new InstallPrefix);
        observer.reset(new RunObserver);
        Quiet();
        log = prefix->temp.File("run.log");
    }
    void Quiet()
    {
        prefix->ChooseStatusFolder();
        Options.quiet = Options.noRestart = 1;
        SetQuietAnswers(1);
    }
    int QuietExpress()
    {
        SetupState.installMode = Express;
        int exitCode = RunInstallation(host, &SetupState, OptionsMode());
        CloseLog();
        TakeBoxes();
        return exitCode;
    }
    /* A complete installation, then changed so that a restore shows: a file,
     * a record value, the class section's value and a printer's comment that
     * the next run would replace. */
    void InstallEarlier()
    {
        ASSERT_EQ(KX_EXIT_OK, QuietExpress());
        ResetRun();
        SetupState.instance = GetModuleHandleA(NULL);
        Quiet();
        prefix->temp.Write("earlier", "an earlier release");
        CopyFileA(prefix->temp.File("earlier").c_str(), prefix->StatusFile("kxsetup.exe").c_str(), FALSE);
        CopyFileA(prefix->temp.File("earlier").c_str(), (prefix->driverDir + "\\kxps.dll").c_str(), FALSE);
        WriteMachineString(productKey, "InstallSections", "1");
        WriteMachineString("Software\\Kalyx\\Q70Q90", "ClassInstalled", "0");
        HANDLE printer;
        PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
        ASSERT_TRUE(OpenPrinterA((char *)mediumModel[0], &printer, &access));
        DWORD needed = 0;
        GetPrinterA(printer, 2, NULL, 0, &needed);
        std::vector<BYTE> record(needed);
        ASSERT_TRUE(GetPrinterA(printer, 2, record.data(), needed, &needed));
        ((PRINTER_INFO_2A *)record.data())->pComment = (char *)"earlier";
        EXPECT_TRUE(SetPrinterA(printer, 2, record.data(), 0));
        ClosePrinter(printer);
        /* Wine's spooler runs in this process: the monitor goes, so that its
         * DLL is not held open for the next run's copy. */
        EXPECT_TRUE(DeleteMonitorA(NULL, (char *)KX_SPOOLER_ENVIRONMENT, (char *)KX_MONITOR_NAME));
    }
    /* /verify of the installation: its exit code and the items not ok. */
    std::pair<int, std::vector<std::string>> Verify()
    {
        ResetRun();
        SetupState.instance = GetModuleHandleA(NULL);
        Quiet();
        Options.verify = 1;
        EXPECT_TRUE(OpenLog(log.c_str()));
        SetupState.installMode = Express;
        int exitCode = RunInstallation(host, &SetupState, OptionsMode());
        CloseLog();
        std::vector<std::string> drifts;
        for (const std::string &line : ReadLines(log))
            if (line.find(" verify ") != std::string::npos && line.compare(line.size() - 4, 4, ": ok") != 0)
                drifts.push_back(line.substr(line.find(" verify ") + 8));
        DeleteFileA(log.c_str());
        return std::make_pair(exitCode, drifts);
    }
    std::vector<std::string> UndoLines()
    {
        std::vector<std::string> lines = ReadLines(log), undo;
        for (size_t i = 0; i + 1 < lines.size(); i++)
            if (lines[i].find(" < ") != std::string::npos)
                undo.push_back(lines[i].substr(lines[i].find(" < ") + 3) + " /" +
                               (lines[i + 1].size() > 4 && lines[i + 1].compare(lines[i + 1].size() - 4, 4, "  ok") == 0
                                    ? std::string(" ok") : lines[i + 1]));
        return undo;
    }
};

/* Each stop from a fresh machine and over an earlier installation of the same
 * models (whose files, values, drivers and printers are put back, not deleted):
 * the machine is as before, every undo line says ok, and the code is the stop's.
 * The backup folder is gone. */
TEST_F(FailedRun, EachStopAfterTheFirstChangeLeavesTheMachineAsBefore)
{
    enum Stop { MissingFile, SecondPrinterRefused, EntryRefused, CommitCancelled };
    const char *const names[] = { "missing file", "second printer refused", "entry refused",
                                  "commit cancelled" };
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    const std::string journals = std::string(windows) + "\\kxsetup-run-*";

    for (int earlier = 0; earlier < 2; earlier++)
        for (int stop = MissingFile; stop <= CommitCancelled; stop++) {
            SCOPED_TRACE(std::string(names[stop]) + (earlier ? ", over an earlier installation" : ""));
            Fresh();
            std::string medium = prefix->MediumFile("kxps.hlp"), aside = prefix->temp.File("kxps.hlp");
            if (earlier)
                InstallEarlier();
            std::vector<std::string> before = MachineView(*prefix);
            ASSERT_TRUE(OpenLog(log.c_str()));
            if (stop == MissingFile)
                MoveFileA(medium.c_str(), aside.c_str());
            RunObserver::commitFails = stop == CommitCancelled;
            int exitCode;
            {
                std::unique_ptr<ScopedImport> refusal;
                if (stop == SecondPrinterRefused)
                    refusal.reset(new ScopedImport(IMPORT_SLOT(AddPrinterA), (void *)RefuseSecondPrinter));
                if (stop == EntryRefused)
                    refusal.reset(new ScopedImport(IMPORT_SLOT(RegSetValueExA), (void *)RefuseUninstallString));
                exitCode = QuietExpress();
            }
            if (stop == MissingFile)
                MoveFileA(aside.c_str(), medium.c_str());

            EXPECT_EQ(KX_EXIT_FAILED, exitCode);
            EXPECT_EQ(before, MachineView(*prefix));
            std::vector<std::string> undo = UndoLines();
            EXPECT_LT(5u, undo.size());
            if (stop == SecondPrinterRefused) {
                EXPECT_TRUE(std::find(undo.begin(), undo.end(),
                                      std::string(earlier ? "spooler add printer \"" : "spooler delete printer \"") +
                                          mediumModel[0] + (earlier ? "\" back / ok" : "\" / ok")) != undo.end());
            }
            /* The registry still refuses the entry's value: that one undo fails
             * (the value was never changed), the others run all the same. */
            std::vector<std::string> failed;
            for (const std::string &line : undo)
                if (line.find(" / ok") == std::string::npos)
                    failed.push_back(line.substr(0, line.find(" /")) + line.substr(line.rfind("  ")));
            EXPECT_EQ(stop == EntryRefused && earlier
                          ? std::vector<std::string>(1, std::string("registry restore HKLM\\") + KX_UNINSTALL_KEY +
                                                            " UninstallString  failed, error 5")
                          : std::vector<std::string>(),
                      failed);
            WIN32_FIND_DATAA found;
            HANDLE journal = FindFirstFileA(journals.c_str(), &found);
            EXPECT_EQ(INVALID_HANDLE_VALUE, journal) << "journal and backups are gone";
            if (journal != INVALID_HANDLE_VALUE)
                FindClose(journal);
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY));
            EXPECT_FALSE(RunObserver::Called("reboot"));
        }
}

/* A plan makes no key, so every value of the record finds them missing: each
 * is listed once, deepest first, after the values (the plan stops at the file
 * missing on the medium). */
TEST_F(FailedRun, APlanThatStopsListsItsUndoLinesOnce)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\VelbaPrinter");
    ASSERT_TRUE(OpenPlan(log.c_str()));
    DeleteFileA(prefix->MediumFile("kxps.hlp").c_str());

    EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());

    const size_t mark = sizeof("2026-12-08 15:40:12.345 ") - 1;
    std::vector<std::string> undo;
    for (const std::string &line : ReadLines(log))
        if (line.compare(mark, 2, "< ") == 0 && line.find("VelbaPrinter") != std::string::npos)
            undo.push_back(line.substr(mark));
    const std::string key = "< registry delete HKLM\\Software\\VelbaPrinter";
    const std::vector<std::string> expected = {
        key + "\\VelbaProduct\\PrinterInfo\\ Port",
        key + "\\VelbaProduct\\PrinterInfo\\ Version",
        key + "\\VelbaProduct\\PrinterInfo\\ InstalledComponents",
        key + "\\VelbaProduct\\PrinterInfo\\ ControlPanelDir",
        key + "\\VelbaProduct\\PrinterInfo\\ StatusDisplayDir",
        key + "\\VelbaProduct\\PrinterInfo\\ InstallSections",
        key + "\\VelbaProduct\\PrinterInfo", key + "\\VelbaProduct", key,
    };
    EXPECT_EQ(expected, undo);
}

/* Over an earlier installation, a backup that cannot be made stops the run
 * before its copies: the earlier files stay as they were. */
DECLARE_IMPORT_SLOT(CopyFileA);
static BOOL WINAPI BackupRefused(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    if (strstr(to, "\\kxsetup-run-")) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return REAL(CopyFileA)(from, to, failIfExists);
}

TEST_F(FailedRun, AnEarlierFileThatCannotBeBackedUpStopsTheRunBeforeItsCopies)
{
    InstallEarlier();
    std::vector<std::string> before = MachineView(*prefix);
    ASSERT_TRUE(OpenLog(log.c_str()));
    RunObserver::calls.clear();
    {
        FAKE_IMPORT(CopyFileA, BackupRefused);
        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
    }
    EXPECT_FALSE(RunObserver::Called("commit"));
    EXPECT_EQ("an earlier release", ReadFileBytes(prefix->StatusFile("kxsetup.exe")));
    EXPECT_EQ(before, MachineView(*prefix));
}

/* The commit makes a section's missing destination folders: they go again. */
TEST_F(FailedRun, FoldersTheCommitMadeAreRemoved)
{
    std::string inf = ReadFileBytes(prefix->MediumFile("oemsetup.inf"));
    size_t at = inf.find("Status.Files = 66010");
    ASSERT_NE(std::string::npos, at);
    inf.insert(at + sizeof("Status.Files = 66010") - 1, ",tool\\bin");
    prefix->temp.Write("medium\\oemsetup.inf", inf);
    ASSERT_TRUE(OpenLog(log.c_str()));
    {
        FAKE_IMPORT(AddPrinterA, RefuseSecondPrinter);
        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
    }
    std::vector<std::string> undo = UndoLines();
    EXPECT_TRUE(std::find(undo.begin(), undo.end(),
                          "folder remove " + prefix->status + "\\tool\\bin / ok") != undo.end());
    EXPECT_FALSE(FileExists(prefix->status));
}

/* What the run gave the folders, files and keys it made the administrators'
 * own, and then what the undo gave back, as the fake security then reports it. */
DECLARE_IMPORT_SLOT(SetFileSecurityA);
static std::vector<std::string> givenEntries;
static std::string DaclText(PSECURITY_DESCRIPTOR descriptor)
{
    char *text = NULL;
    std::string dacl;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, NULL)) {
        dacl = text;
        LocalFree(text);
    }
    return dacl;
}
static BOOL WINAPI GiveFileEntries(LPCSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor)
{
    givenEntries.push_back(std::string(path) + " " + DaclText(descriptor));
    FakeSecurity::Folder(path, "O:BA" + DaclText(descriptor));
    return TRUE;
}
static LONG WINAPI GiveKeyEntries(HKEY, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor)
{
    givenEntries.push_back("key " + DaclText(descriptor));
    FakeSecurity::keys = "O:BA" + DaclText(descriptor);
    return ERROR_SUCCESS;
}

/* An earlier release's status folder and its record key took over entries
 * that let others change them (the root's on XP, HKLM\\Software's on NT 4):
 * each is made the administrators' own before the first copy and value; a
 * file in the folder, which another account could have written, is taken
 * away instead. A run that stops puts all of it back. */
TEST_F(FailedRun, OpenFolderFilesAndKeyOfAnEarlierReleaseAreProtectedAndPutBack)
{
    ASSERT_TRUE(CreateDirectoryA(prefix->status.c_str(), NULL));
    prefix->temp.Write("status\\kxsetup.exe", "an earlier release");
    WriteMachineString(productKey, "InstallSections", "1");
    const std::string folderEntries = "D:(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)";
    const std::string fileEntries = "D:(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)";
    const std::string keyEntries = "D:(A;CI;KA;;;BA)(A;CI;DCLC;;;WD)";
    FakeSecurity security;
    FakeSecurity::Folder(prefix->status, "O:BA" + folderEntries);
    FakeSecurity::Folder(prefix->StatusFile("kxsetup.exe"), "O:BA" + fileEntries);
    FakeSecurity::keys = "O:BA" + keyEntries;
    givenEntries.clear();
    FAKE_IMPORT(SetFileSecurityA, GiveFileEntries);
    FAKE_IMPORT(RegSetKeySecurity, GiveKeyEntries);
    FAKE_IMPORT(AddPrinterA, RefuseSecondPrinter);
    ASSERT_TRUE(OpenLog(log.c_str()));

    EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());

    const std::string admins = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    const std::string keyAdmins = "D:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)(A;OICI;KR;;;BU)";
    const std::string file = prefix->StatusFile("kxsetup.exe");
    ASSERT_EQ(4u, givenEntries.size());
    EXPECT_EQ("key " + keyAdmins, givenEntries[0]);
    EXPECT_EQ(prefix->status + " " + admins, givenEntries[1]);
    EXPECT_EQ(prefix->status + " " + folderEntries, givenEntries[2]);
    EXPECT_EQ("key " + keyEntries, givenEntries[3]);
    EXPECT_NE(std::string::npos,
              ReadFileBytes(log).find("> delete " + file + ": another account could have written it"));
    EXPECT_EQ("an earlier release", ReadFileBytes(file));
    std::vector<std::string> undo = UndoLines();
    for (const std::string &line :
         { "restore " + file + " / ok", "permissions of " + prefix->status + " back / ok",
           std::string("registry permissions of HKLM\\") + KX_PRODUCT_KEY + " back / ok" })
        EXPECT_TRUE(std::find(undo.begin(), undo.end(), line) != undo.end())
            << line << "\n" << ::testing::PrintToString(undo);
}

/* A medium that others may change (unpacked into a user's temporary folder):
 * the run reads and copies a copy only administrators may change, and
 * removes it at its end. */
TEST_F(FailedRun, AMediumOthersMayChangeIsCopiedFromAProtectedCopy)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string copy = std::string(windows) + "\\kxsetup-medium-";
    FakeSecurity security;
    FakeSecurity::Folder(prefix->medium, "O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)");
    /* a copy that is not what the medium's list names is not taken */
    const std::string list = prefix->MediumFile(KX_DIGEST_LIST), kept = ReadFileBytes(list);
    std::string text;
    for (const std::string &line : ReadLines(list))
        text += (line.rfind("tremon.dll ", 0) == 0 ? line.substr(0, line.size() - 64) + std::string(64, 'a')
                                                    : line) + "\r\n";
    prefix->temp.Write("medium\\" KX_DIGEST_LIST, text);
    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
    EXPECT_NE(std::string::npos,
              ReadFileBytes(log).find("The medium's file tremon.dll is not the one its list names."));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
    prefix->temp.Write("medium\\" KX_DIGEST_LIST, kept);
    ResetRun();
    SetupState.instance = GetModuleHandleA(NULL);
    Quiet();
    ASSERT_TRUE(OpenLog(log.c_str()));

    EXPECT_EQ(KX_EXIT_OK, QuietExpress());

    std::string said = ReadFileBytes(log);
    EXPECT_NE(std::string::npos, said.find("copied " + copy)) << said;
    EXPECT_EQ(std::string::npos, said.find("copied " + prefix->medium)) << said;
    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxsetup.exe"), "kxsetup.exe"));
    WIN32_FIND_DATAA found;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((copy + "*").c_str(), &found));
}

/* Every box of a stop, the spooler's system error among them, comes after the
 * undo, so that the person who reads it finds the machine as before. */
TEST_F(FailedRun, TheBoxesOfAStopComeAfterItsUndo)
{
    ASSERT_TRUE(OpenLog(log.c_str()));
    FAKE_IMPORT(AddPrinterA, RefuseSecondPrinter);
    EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());

    const size_t mark = sizeof("2026-12-08 15:40:12.345 ") - 1;
    size_t lastUndo = 0, firstBox = 0, number = 0, boxes = 0;
    for (const std::string &line : ReadLines(log)) {
        number++;
        if (line.compare(mark, 2, "< ") == 0)
            lastUndo = number;
        if (line.compare(mark, 4, "box ") == 0 && !boxes++)
            firstBox = number;
    }
    EXPECT_EQ(2u, boxes);
    EXPECT_NE(0u, lastUndo);
    EXPECT_GT(firstBox, lastUndo);
}

/* What /verify reports of an installation it did not make itself: a changed
 * entry value and a changed file are named; a record without hashes (an
 * earlier release's) is checked by presence, and says so. */
TEST_F(FailedRun, VerifyNamesWhatChangedAndChecksAnOldRecordByPresence)
{
    ASSERT_EQ(KX_EXIT_OK, QuietExpress());
    EXPECT_EQ(std::make_pair(KX_EXIT_OK, std::vector<std::string>()), Verify());

    WriteMachineString(KX_UNINSTALL_KEY, "Publisher", "Someone");
    prefix->temp.Write("other", "other bytes");
    CopyFileA(prefix->temp.File("other").c_str(), prefix->StatusFile("kxcons.ini").c_str(), FALSE);
    const std::vector<std::string> changed = {
        "file " + prefix->StatusFile("kxcons.ini") + ": changed",
        "uninstall entry value Publisher: changed",
    };
    EXPECT_EQ(std::make_pair(KX_EXIT_FAILED, changed), Verify());

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, productKey, 0, KEY_SET_VALUE, &key));
    RegDeleteValueA(key, "Files");
    RegCloseKey(key);
    EXPECT_EQ(std::make_pair(KX_EXIT_FAILED, std::vector<std::string>(1, changed[1])), Verify())
        << "without hashes the changed file is not seen; its presence is";
    DeleteKeyTree(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY);
    EXPECT_EQ(KX_EXIT_NOT_INSTALLED, Verify().first);
    TakeBoxes();
}

/* The record takes a copied file's digest from the medium's list when the
 * size matches (a list that lies about kxps.ini shows it was not hashed),
 * and hashes what the list lacks or sizes otherwise; a medium without the
 * list is hashed throughout. */
TEST_F(FailedRun, RecordTakesTheMediumsListedDigestsWhereTheSizeMatches)
{
    const std::string list = prefix->MediumFile(KX_DIGEST_LIST), lie(64, 'a');
    std::string text, kept;
    for (const std::string &line : ReadLines(list))
        if (line.rfind("kxps.ini ", 0) == 0)
            text += line.substr(0, line.size() - 64) + lie + "\r\n";
        else if (line.rfind("kxcons.ini ", 0) == 0)
            text += "kxcons.ini 1 " + line.substr(line.size() - 64) + "\r\n";
        else if (line.rfind("kxpsui.dll ", 0) != 0)
            text += line + "\r\n";
    prefix->temp.Write("medium\\" KX_DIGEST_LIST, text);
    auto recorded = [&](const std::string &target) {
        const std::string files = RegText(HKEY_LOCAL_MACHINE, productKey, "Files", REG_MULTI_SZ);
        for (size_t at = 0, end; (end = files.find('\0', at)) != std::string::npos; at = end + 1)
            if (files.compare(end - target.size(), target.size(), target) == 0)
                return files.substr(at, end - target.size() - 1 - at);
        return std::string("(none)");
    };
    auto hashed = [](const std::string &path) {
        FileDigest digest;
        char text[DIGEST_TEXT_CHARS] = "";
        EXPECT_EQ(NO_ERROR, DigestFile(path.c_str(), 0, &digest));
        FormatDigest(&digest, text, sizeof(text));
        return std::string(text);
    };
    const std::string ini = prefix->driverDir + "\\kxps.ini";
    const std::string others[] = { prefix->driverDir + "\\kxpsui.dll", prefix->StatusFile("kxcons.ini") };

    ASSERT_EQ(KX_EXIT_OK, QuietExpress());
    EXPECT_EQ("sha256:" + lie + " " + std::to_string(ReadFileBytes(ini).size()), recorded(ini));
    for (const std::string &file : others)
        EXPECT_EQ(hashed(file), recorded(file)) << file;

    Fresh();
    DeleteFileA(prefix->MediumFile(KX_DIGEST_LIST).c_str());
    ASSERT_EQ(KX_EXIT_OK, QuietExpress());
    EXPECT_EQ(hashed(ini), recorded(ini));
}

/* A key tree as the tests compare it: each key's path, then its values'
 * names, types and bytes, subkeys after values. */
static std::string TreeText(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(missing)";
    std::string text = "[" + path + "]\n";
    char name[256];
    BYTE data[256];
    for (DWORD i = 0, chars = sizeof(name), type, bytes = sizeof(data);
         RegEnumValueA(key, i, name, &chars, NULL, &type, data, &bytes) == ERROR_SUCCESS;
         i++, chars = sizeof(name), bytes = sizeof(data))
        text += std::string(name) + " " + std::to_string(type) + " " + std::string((char *)data, bytes) + "\n";
    for (DWORD i = 0, chars = sizeof(name); RegEnumKeyExA(key, i, name, &chars, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         i++, chars = sizeof(name))
        text += TreeText(root, path + "\\" + name);
    RegCloseKey(key);
    return text;
}

/* kxmapped.ini as the system maps win.ini: its section Q70Q90 lives in a
 * key of the user's, for as long as the test lasts. */
struct MapIniFile {
    static constexpr const char *mapping = "Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\kxmapped.ini";
    static constexpr const char *target = "Software\\KxTest\\Mapped";
    MapIniFile()
    {
        HKEY key;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, mapping, &key) == ERROR_SUCCESS) {
            const char data[] = "USR:Software\\KxTest\\Mapped";
            RegSetValueExA(key, "Q70Q90", 0, REG_SZ, (const BYTE *)data, sizeof(data));
            RegCloseKey(key);
        }
    }
    ~MapIniFile()
    {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, mapping);
        DeleteKeyTree(HKEY_CURRENT_USER, target);
    }
};

/* The class section's INI files and the key tree its DelReg takes, over what
 * an earlier release left: a stop after the section puts the tree back with
 * every type, value and subkey, restores an INI file that was there and
 * deletes one that was not (a bare name lands in the Windows folder), and
 * puts back the section of a file the system keeps in the registry. */
TEST_F(FailedRun, TheClassSectionsIniFilesAndDeletedKeyTreeAreTakenBack)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    const std::string bare = std::string(windows) + "\\kxtest.ini", kept = prefix->temp.File("kept.ini");
    prefix->temp.Write("kept.ini", "[Q70Q90]\r\nInstalled=earlier\r\n");
    const std::string tree = "Software\\KxTest\\Tree";
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\KxTest");
    HKEY key, sub;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, tree.c_str(), &key));
    const DWORD dword = 600;
    RegSetValueExA(key, "Resolution", 0, REG_DWORD, (const BYTE *)&dword, sizeof(dword));
    RegSetValueExA(key, "Ports", 0, REG_MULTI_SZ, (const BYTE *)"LPT1:\0LPT2:\0", 13);
    RegSetValueExA(key, "", 0, REG_BINARY, (const BYTE *)"\x01\x00\x02", 3);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "Deeper\\Deepest", &sub));
    RegSetValueExA(sub, "Name", 0, REG_EXPAND_SZ, (const BYTE *)"%WINDIR%", 9);
    RegCloseKey(sub);
    RegCloseKey(key);
    const std::string treeBefore = TreeText(HKEY_LOCAL_MACHINE, tree);
    /* A file the system keeps in the registry: the section's earlier entry
     * comes back, the added one goes, and the file is never written. */
    MapIniFile mapped;
    ASSERT_TRUE(WritePrivateProfileStringA("Q70Q90", "Installed", "earlier", "kxmapped.ini"));
    ASSERT_EQ("earlier", RegText(HKEY_CURRENT_USER, MapIniFile::target, "Installed", REG_SZ));
    std::string inf = ReadFileBytes(prefix->MediumFile("oemsetup.inf"));
    size_t at = inf.find("[ClassInstall]\n");
    ASSERT_NE(std::string::npos, at);
    inf.insert(at + sizeof("[ClassInstall]\n") - 1, "UpdateInis = T.Inis\nUpdateIniFields = T.Fields\nDelReg = T.Del\n");
    inf += "[T.Inis]\nkxtest.ini, Q70Q90, , \"Installed=1\"\n\"" + kept + "\", Q70Q90, , \"Installed=1\"\n"
           "kxmapped.ini, Q70Q90, \"Installed=earlier\", \"Installed=1\"\nkxmapped.ini, Q70Q90, , \"Added=1\"\n"
           "[T.Fields]\n\"" + kept + "\", Q70Q90, Installed, , 1\n"
           "[T.Del]\nHKLM,\"" + tree + "\",\"\"\n"; /* an empty value name takes the key too */
    prefix->temp.Write("medium\\oemsetup.inf", inf);
    ASSERT_TRUE(OpenLog(log.c_str()));
    {
        FAKE_IMPORT(AddPrinterA, RefuseSecondPrinter);
        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
    }

    std::vector<std::string> undo = UndoLines();
    for (const std::string &line : { "delete " + bare + " / ok", "restore " + kept + " / ok",
                                     std::string("profile restore [Q70Q90] of kxmapped.ini / ok"),
                                     "registry restore HKLM\\" + tree + " with its values and subkeys / ok" })
        EXPECT_TRUE(std::find(undo.begin(), undo.end(), line) != undo.end()) << line << "\n" << ::testing::PrintToString(undo);
    EXPECT_FALSE(FileExists(bare));
    EXPECT_EQ("[Q70Q90]\r\nInstalled=earlier\r\n", ReadFileBytes(kept));
    EXPECT_EQ(treeBefore, TreeText(HKEY_LOCAL_MACHINE, tree));
    EXPECT_EQ("earlier", RegText(HKEY_CURRENT_USER, MapIniFile::target, "Installed", REG_SZ));
    EXPECT_EQ("(missing)", RegText(HKEY_CURRENT_USER, MapIniFile::target, "Added"));
    EXPECT_FALSE(FileExists(std::string(windows) + "\\kxmapped.ini"));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\KxTest");
}

/* What the journal cannot keep stops the install before its first change,
 * with a box that names it: a key tree over the bound (it stays as it was),
 * and a section over the bound of an INI file the system keeps in the
 * registry. */
TEST_F(FailedRun, WhatTheJournalCannotKeepStopsTheRunBeforeItsFirstChange)
{
    const char *tree = "Software\\KxTest\\Large";
    MapIniFile mapped;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, tree, &key));
    std::string bytes(KX_KEY_TREE_BYTES, 'x');
    RegSetValueExA(key, "Data", 0, REG_BINARY, (const BYTE *)bytes.data(), (DWORD)bytes.size());
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, MapIniFile::target, &key));
    for (unsigned i = 0; i * 40 <= KX_INI_SECTION_BYTES; i++)
        RegSetValueExA(key, ("Entry" + std::to_string(i)).c_str(), 0, REG_SZ, (const BYTE *)bytes.data(), 32);
    RegCloseKey(key);
    const std::string cases[][2] = {
        { std::string("DelReg = T.L\n[T.L]\nHKLM,\"") + tree + "\"\n",
          std::string("The registry key HKLM\\") + tree + " is too large to be kept for the undo: nothing was changed." },
        { "UpdateInis = T.L\n[T.L]\n\"C:\\some\\kxmapped.ini\", Q70Q90, , \"Installed=1\"\n",
          "The section [Q70Q90] of C:\\some\\kxmapped.ini is too large to be kept for the undo: nothing was changed." },
    };
    const std::string medium = ReadFileBytes(prefix->MediumFile("oemsetup.inf"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        std::string inf = medium;
        inf.insert(inf.find("[ClassInstall]\n") + sizeof("[ClassInstall]\n") - 1, c[0].substr(0, c[0].find('\n') + 1));
        prefix->temp.Write("medium\\oemsetup.inf", inf + c[0].substr(c[0].find('\n') + 1));
        ASSERT_TRUE(OpenLog(log.c_str()));

        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());

        std::vector<std::string> lines = ReadLines(log);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &line) {
            return line.find("box \"Install Error\" \"" + c[1] + "\"") != std::string::npos;
        }));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
        EXPECT_FALSE(RunObserver::Called("commit"));
        DeleteFileA(log.c_str());
    }
    EXPECT_EQ(bytes, RegText(HKEY_LOCAL_MACHINE, tree, "Data", REG_BINARY));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\KxTest");
}

/* Over an installation the spooler holds the monitor's DLL: the monitor goes
 * before the copy and comes again; a run that stops puts the earlier DLL back
 * first, then the monitor that loads it. */
TEST_F(FailedRun, TheMonitorGoesBeforeItsDllIsReplacedAndAStopPutsItBack)
{
    ASSERT_EQ(KX_EXIT_OK, QuietExpress());
    ResetRun();
    SetupState.instance = GetModuleHandleA(NULL);
    Quiet();
    ASSERT_TRUE(OpenLog(log.c_str()));
    {
        FAKE_IMPORT(AddPrinterA, RefuseSecondPrinter);
        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
    }
    std::vector<std::string> actions = ActionLines(log), undo = UndoLines();
    const std::string monitor = std::string("\"") + KX_MONITOR_NAME + "\"";
    EXPECT_TRUE(Lists(actions, "spooler delete monitor " + monitor + " (its DLL is replaced)"));
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    auto dll = std::find(undo.begin(), undo.end(), "restore " + std::string(system) + "\\tremon.dll / ok");
    EXPECT_NE(undo.end(), dll) << ::testing::PrintToString(undo);
    EXPECT_NE(undo.end(), std::find(dll, undo.end(), "spooler add monitor " + monitor + " back / ok"));
    BYTE list[4096];
    DWORD needed = 0, count = 0;
    ASSERT_TRUE(EnumMonitorsA(NULL, 1, list, sizeof(list), &needed, &count));
    bool listed = false;
    for (DWORD i = 0; i < count; i++)
        listed |= lstrcmpA(((MONITOR_INFO_1A *)list)[i].pName, KX_MONITOR_NAME) == 0;
    EXPECT_TRUE(listed);
}

/* SetupAPI's way with a target in use, after the real commit: the new file
 * lies beside the target, which keeps earlier bytes, and the session manager
 * renames it over the target at the next start. */
static const char sessionKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
static std::string deferred, earlier;
static BOOL WINAPI CommitDeferringOne(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_A callback, PVOID context)
{
    BOOL done = REAL(SetupCommitFileQueueA)(owner, queue, callback, context);
    std::string temp = deferred + ".new", pending = "\\??\\" + temp + '\0' + "!\\??\\" + deferred + '\0' + '\0';
    MoveFileExA(deferred.c_str(), temp.c_str(), MOVEFILE_REPLACE_EXISTING);
    CopyFileA(earlier.c_str(), deferred.c_str(), FALSE);
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, sessionKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, (const BYTE *)pending.data(),
                   (DWORD)pending.size());
    RegCloseKey(key);
    FILEPATHS_A paths = { deferred.c_str(), temp.c_str(), 0, 0 };
    callback(context, SPFILENOTIFY_FILEOPDELAYED, (UINT_PTR)&paths, 0);
    return done;
}
struct PendingRenamesGone {
    ~PendingRenamesGone()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "PendingFileRenameOperations");
            RegCloseKey(key);
        }
    }
};

/* A quiet run ends with 3010 only for a copy put off to the restart; /verify
 * calls that file pending until the restart has replaced it, and a file it
 * cannot read is an item it could not check, never ok. */
TEST_F(FailedRun, ACopyPutOffToTheRestartIsDueAndPendingUntilTheRestartMadeIt)
{
    PendingRenamesGone cleanup;
    deferred = prefix->driverDir + "\\kxps.dll";
    prefix->temp.Write("earlier", "an earlier release");
    earlier = prefix->temp.File("earlier");
    {
        FAKE_IMPORT(SetupCommitFileQueueA, CommitDeferringOne);
        EXPECT_EQ(KX_EXIT_RESTART_DECLINED, QuietExpress());
    }
    const std::vector<std::string> pending = { "file " + deferred + ": pending restart" };
    EXPECT_EQ(std::make_pair(KX_EXIT_OK, pending), Verify());

    ASSERT_TRUE(MoveFileExA((deferred + ".new").c_str(), deferred.c_str(), MOVEFILE_REPLACE_EXISTING));
    { PendingRenamesGone restarted; }
    EXPECT_EQ(std::make_pair(KX_EXIT_OK, std::vector<std::string>()), Verify());

    HANDLE held = CreateFileA(deferred.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    const std::vector<std::string> unchecked = { "file " + deferred + ": not checked (error 32)" };
    EXPECT_EQ(std::make_pair(KX_EXIT_FAILED, unchecked), Verify());
    CloseHandle(held);
    TakeBoxes();
}

/* An install over an earlier installation recorded in another folder (an
 * earlier release's C:\STATUS under Windows 2000's open root, while this one
 * goes below the Windows folder) takes the earlier copies of its files away
 * with the run, and the emptied folder once the run is kept; a stop puts
 * them back. */
TEST_F(FailedRun, AnUpgradeIntoAnotherFolderTakesTheEarlierOneAway)
{
    const std::string earlier = prefix->status + "-earlier";
    CreateDirectoryA(earlier.c_str(), NULL);
    for (const char *name : { "kxsetup.exe", "oemsetup.inf" })
        CopyFileA(prefix->MediumFile(name).c_str(), (earlier + "\\" + name).c_str(), FALSE);
    WriteMachineString(KX_PRODUCT_KEY, "StatusDisplayDir", (earlier + "=66010").c_str());
    WriteMachineString(KX_PRODUCT_KEY, "InstallSections", "23");
    {
        FAKE_IMPORT(AddPrinterDriverA, DriverRefused);
        EXPECT_EQ(KX_EXIT_FAILED, QuietExpress());
        TakeBoxes();
    }
    EXPECT_TRUE(SameAsMedium(earlier + "\\kxsetup.exe", "kxsetup.exe"));
    EXPECT_TRUE(SameAsMedium(earlier + "\\oemsetup.inf", "oemsetup.inf"));

    ResetRun();
    SetupState.instance = GetModuleHandleA(NULL);
    Quiet();
    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(KX_EXIT_OK, QuietExpress());
    CloseLog();

    EXPECT_TRUE(SameAsMedium(prefix->StatusFile("kxsetup.exe"), "kxsetup.exe"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(earlier.c_str()));
    EXPECT_EQ(prefix->status + "=66010", RegText(HKEY_LOCAL_MACHINE, productKey, "StatusDisplayDir"));
    std::string said = ReadFileBytes(log);
    EXPECT_NE(std::string::npos, said.find("> delete " + earlier + "\\kxsetup.exe: the earlier installation's")) << said;
    EXPECT_NE(std::string::npos, said.find("> folder remove " + earlier)) << said;
    RemoveTree(earlier);
}

/* Started from the status folder, the uninstall follows its setup
 * information only as the record keeps it (the uninstall scenario starts
 * one there that does). */
TEST_F(FailedRun, TheStatusFoldersSetupInformationIsFollowedOnlyAsRecorded)
{
    ASSERT_EQ(KX_EXIT_OK, QuietExpress());
    ResetRun();
    SetupState.instance = GetModuleHandleA(NULL);
    Quiet();
    prefix->StartAs(prefix->StatusFile("kxsetup.exe"));
    const std::string inf = prefix->StatusFile("oemsetup.inf"), kept = ReadFileBytes(inf);
    prefix->temp.Write("inf", kept + "\r\n; changed\r\n");
    ASSERT_TRUE(CopyFileA(prefix->temp.File("inf").c_str(), inf.c_str(), FALSE));
    SetupState.installMode = Uninstall;

    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(KX_EXIT_FAILED, RunInstallation(host, &SetupState, OptionsMode()));
    CloseLog();
    EXPECT_NE(std::string::npos,
              ReadFileBytes(log).find("box \"Installation\" \"The setup information of the status "
                                      "folder is not the recorded one: start the uninstall from "
                                      "the medium.\""));
    EXPECT_TRUE(FileExists(prefix->driverDir + "\\kxpcl6.ini"));
}
