#include "tests/unit/spooler_support.h"
#include "base/base.h"
#include "spooler/spooler.h"

DECLARE_IMPORT_SLOT(AddPrinterA);

static std::string SystemText(DWORD code)
{
    char *text = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, 0,
                   (char *)&text, 0, NULL);
    std::string result = text ? text : "";
    LocalFree(text);
    return result;
}

static bool Listed(const std::vector<std::string> &names, const char *name)
{
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == name)
            return true;
    return false;
}

class SpoolerRegistration : public KxTest {};

/* ---- against Wine's real spooler ---- */

TEST_F(SpoolerRegistration, AddMode_RegistersMonitorDriversAndPrintersOfSelectedSlots)
{
    SpoolerPrefix prefix;
    UseTestModels(&SetupState, CompModel1 | CompModel3, "LPT2:");
    ASSERT_FALSE(Listed(ListedMonitors(), KX_MONITOR_NAME));

    EXPECT_EQ(1, AddPrinters(&SetupState));

    EXPECT_TRUE(Listed(ListedMonitors(), KX_MONITOR_NAME));
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        SCOPED_TRACE(testModel[slot]);
        /* each build registers in the environment its spooler uses */
        std::string key = std::string("System\\CurrentControlSet\\Control\\Print\\Environments\\"
                                      KX_SPOOLER_ENVIRONMENT "\\Drivers\\Version-3\\") + testModel[slot];
        PrinterFacts printer;
        if (slot == 1) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key.c_str()));
            EXPECT_FALSE(ReadPrinter(testModel[slot], &printer));
            continue;
        }
        EXPECT_EQ(SetupState.driverFile[slot], RegText(HKEY_LOCAL_MACHINE, key, "Driver"));
        EXPECT_EQ(SetupState.dataFile[slot], RegText(HKEY_LOCAL_MACHINE, key, "Data File"));
        EXPECT_EQ(SetupState.configFile[slot], RegText(HKEY_LOCAL_MACHINE, key, "Configuration File"));
        EXPECT_EQ(SetupState.helpFile[slot], RegText(HKEY_LOCAL_MACHINE, key, "Help File"));
        EXPECT_EQ(DependentListOf(SetupState, slot),
                  RegText(HKEY_LOCAL_MACHINE, key, "Dependent Files", REG_MULTI_SZ));
        EXPECT_EQ(KX_MONITOR_NAME, RegText(HKEY_LOCAL_MACHINE, key, "Monitor"));

        ASSERT_TRUE(ReadPrinter(testModel[slot], &printer));
        EXPECT_EQ(testModel[slot], printer.name);
        EXPECT_EQ(testModel[slot], printer.driver);
        EXPECT_EQ(testModel[slot], printer.comment);
        EXPECT_EQ("LPT2:", printer.port);
        EXPECT_EQ("WinPrint", printer.processor);
        EXPECT_EQ("", printer.location);
        EXPECT_EQ((DWORD)PRINTER_ATTRIBUTE_DEFAULT, printer.attributes & PRINTER_ATTRIBUTE_DEFAULT);
        EXPECT_EQ(1u, printer.priority);
    }
}

TEST_F(SpoolerRegistration, RemoveMode_DeletesPrintersAndDriversOfRecordedModels)
{
    SpoolerPrefix prefix;
    UseTestModels(&SetupState, CompModel1 | CompModel3, "LPT1:");
    ASSERT_EQ(1, AddPrinters(&SetupState));

    /* slot 1 was never installed: its deletions fail quietly */
    SetupState.selectedComponents = CompModel1 | CompModel2 | CompModel3;
    RemovePrinters(&SetupState);

    PrinterFacts printer;
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        EXPECT_FALSE(ReadPrinter(testModel[slot], &printer)) << testModel[slot];
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DriverKey(testModel[slot]).c_str()));
    }
    EXPECT_TRUE(Listed(ListedMonitors(), KX_MONITOR_NAME)) << "the monitor stays";
}

static HANDLE WINAPI RefuseAddPrinter(LPSTR, DWORD, LPBYTE)
{
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return NULL;
}

TEST_F(SpoolerRegistration, AddPrinterRefused_ShowsBoxStopsAndKeepsTheDriver)
{
    SpoolerPrefix prefix;
    UseTestModels(&SetupState, CompModel1 | CompModel2, "LPT1:");
    {
        FAKE_IMPORT(AddPrinterA, RefuseAddPrinter);
        EXPECT_EQ(0, AddPrinters(&SetupState));
    }
    ExpectOneBox("Add Printer error", SystemText(ERROR_INVALID_PRINTER_NAME).c_str(),
                 MB_ICONINFORMATION);
    EXPECT_EQ(KX_MONITOR_NAME, RegText(HKEY_LOCAL_MACHINE, DriverKey(testModel[0]), "Monitor"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DriverKey(testModel[1]).c_str()));
}

/* ---- against the recording fake ---- */

TEST_F(SpoolerRegistration, ExistingPrinter_IsReplacedAfterTheNewDriverOnTheNewPort)
{
    FakeSpooler spooler;
    spooler.monitors = { KX_MONITOR_NAME };
    spooler.existing = { testModel[0] };
    UseTestModels(&SetupState, CompModel1, "LPT3:");

    EXPECT_EQ(1, AddPrinters(&SetupState));

    std::string m = testModel[0];
    std::vector<std::string> expected = { "EnumMonitors",      "DeleteDriver " + m,
                                          "AddDriver " + m,    "Open " + m,
                                          "DeletePrinter " + m, "Close " + m,
                                          "AddPrinter " + m,   "Close " + m };
    EXPECT_EQ(expected, spooler.calls);
    EXPECT_EQ(std::vector<std::string>{ "LPT3:" }, spooler.printerPorts);
    EXPECT_EQ(std::vector<DWORD>{ PRINTER_ALL_ACCESS }, spooler.openAccess);
}

TEST_F(SpoolerRegistration, MonitorStep_AddsTheMonitorUnlessTheSmallListNamesIt)
{
    struct Case {
        const char *what;
        std::vector<std::string> listed;
        size_t additions;
        const char *outcome;    /* the log line after the addition's */
    } cases[] = {
        { "listed first", { KX_MONITOR_NAME, "Local Port" }, 0, "" },
        { "listed later", { "Local Port", KX_MONITOR_NAME }, 0, "" },
        { "not listed", { "Local Port" }, 1, "  ok" },
        /* listed, but the list needs more than 80 bytes in either build (its
         * records are pointers): added again, its refusal (3006) is no failure */
        { "list too long", { "Local Port", "Standard TCP/IP Port", "USB Monitor", KX_MONITOR_NAME }, 1,
          "  already present" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeSpooler spooler;
        spooler.monitors = c.listed;
        UseTestModels(&SetupState, CompModel1 | CompModel3, "LPT1:");
        TempDir dir;
        ASSERT_TRUE(OpenLog(dir.File("run.log").c_str()));

        EXPECT_EQ(1, AddPrinters(&SetupState));

        CloseLog();
        std::string log = ReadFileBytes(dir.File("run.log"));
        size_t added = log.find("spooler add monitor");
        EXPECT_EQ(c.additions != 0, added != std::string::npos);
        if (added != std::string::npos) {
            const size_t time = sizeof("2026-12-08 15:40:12.345 ") - 1;
            size_t next = log.find("\r\n", added) + 2;
            EXPECT_EQ(c.outcome, log.substr(next + time, log.find("\r\n", next) - next - time));
        }

        EXPECT_EQ(1u, spooler.enumLevel);
        EXPECT_EQ(80u, spooler.enumBytes);
        EXPECT_EQ(c.additions, spooler.Count("AddMonitor"));
        if (c.additions) {
            std::vector<std::string> record = { KX_MONITOR_NAME, KX_SPOOLER_ENVIRONMENT, "tremon.dll" };
            EXPECT_EQ(record, spooler.addedMonitor);
        }
        std::vector<std::string> monitors(2, KX_MONITOR_NAME);
        EXPECT_EQ(monitors, spooler.driverMonitors);
    }
}

TEST_F(SpoolerRegistration, DriverRefused_ShowsOneBoxAndLeavesLaterSlotsAlone)
{
    FakeSpooler spooler;
    spooler.monitors = { KX_MONITOR_NAME };
    spooler.existing = { testModel[0] };
    spooler.refuseDriver = { testModel[0] };
    UseTestModels(&SetupState, CompModel1 | CompModel2 | CompModel3, "LPT1:");

    EXPECT_EQ(0, AddPrinters(&SetupState));

    ExpectOneBox("Add Driver error", SystemText(ERROR_ACCESS_DENIED).c_str(), MB_ICONINFORMATION);
    std::string m = testModel[0];
    std::vector<std::string> expected = { "EnumMonitors", "DeleteDriver " + m, "AddDriver " + m };
    EXPECT_EQ(expected, spooler.calls) << "the old printer stays, nothing else is touched";
}

TEST_F(SpoolerRegistration, DeleteRefused_ShowsBoxClosesAndStillAddsThePrinter)
{
    FakeSpooler spooler;
    spooler.monitors = { KX_MONITOR_NAME };
    spooler.existing = { testModel[1] };
    spooler.refuseDelete = { testModel[1] };
    UseTestModels(&SetupState, CompModel2, "LPT1:");

    EXPECT_EQ(1, AddPrinters(&SetupState));

    ExpectOneBox("GetLastError--Delete Printer", SystemText(ERROR_ACCESS_DENIED).c_str(),
                 MB_ICONINFORMATION);
    std::string m = testModel[1];
    std::vector<std::string> tail(spooler.calls.end() - 4, spooler.calls.end());
    std::vector<std::string> expected = { "DeletePrinter " + m, "Close " + m, "AddPrinter " + m,
                                          "Close " + m };
    EXPECT_EQ(expected, tail);
}

TEST_F(SpoolerRegistration, RemoveMode_OnlyDeletesAndSucceedsWhateverFails)
{
    FakeSpooler spooler;
    spooler.existing = { testModel[0], testModel[1] };
    spooler.refuseDriverRemoval = { testModel[0] };
    spooler.refuseDelete = { testModel[1] };
    UseTestModels(&SetupState, CompModel1 | CompModel2 | CompModel3 | CompStatusDisplay, "LPT1:");

    RemovePrinters(&SetupState);

    ExpectOneBox("GetLastError--Delete Printer", SystemText(ERROR_ACCESS_DENIED).c_str(),
                 MB_ICONINFORMATION);
    std::string m0 = testModel[0], m1 = testModel[1], m2 = testModel[2];
    std::vector<std::string> expected = {
        "Open " + m0, "DeletePrinter " + m0, "Close " + m0, "DeleteDriver " + m0,
        "Open " + m1, "DeletePrinter " + m1, "Close " + m1, "DeleteDriver " + m1,
        "Open " + m2, "DeleteDriver " + m2,
    };
    EXPECT_EQ(expected, spooler.calls);
}

TEST_F(SpoolerRegistration, RemoveMode_LeavesNoDriverWhereTheSpoolerKeepsDriversInUse)
{
    FakeSpooler spooler;
    spooler.existing = { testModel[0], testModel[1], testModel[2] };
    spooler.drivers = spooler.existing;
    UseTestModels(&SetupState, CompModel1 | CompModel2 | CompModel3, "LPT1:");

    RemovePrinters(&SetupState);

    EXPECT_TRUE(spooler.existing.empty());
    EXPECT_EQ(std::set<std::string>(), spooler.drivers);
}

TEST_F(SpoolerRegistration, NoModelSelected_OnlyTheMonitorStepRuns)
{
    FakeSpooler spooler;
    UseTestModels(&SetupState, CompStatusDisplay | CompControlPanel, "LPT1:");

    EXPECT_EQ(1, AddPrinters(&SetupState));

    std::vector<std::string> expected = { "EnumMonitors", "AddMonitor" };
    EXPECT_EQ(expected, spooler.calls);
}

/* Wine's spooler refuses a driver that is not there without an error of its
 * own: the log names no error left over from an earlier call. */
TEST_F(SpoolerRegistration, DriverRemoval_ALogOfAMissingDriverNamesNoStaleError)
{
    FakeSpooler spooler;
    spooler.monitors = { KX_MONITOR_NAME };
    spooler.drivers = { testModel[2] };
    UseTestModels(&SetupState, CompModel1 | CompModel3, "LPT1:");
    TempDir dir;
    ASSERT_TRUE(OpenLog(dir.File("run.log").c_str()));

    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(1, AddPrinters(&SetupState));

    CloseLog();
    std::string log = ReadFileBytes(dir.File("run.log"));
    const size_t time = sizeof("2026-12-08 15:40:12.345 ") - 1;
    for (int slot : { 0, 2 }) {
        std::string line = std::string("spooler delete driver \"") + testModel[slot] + "\"\r\n";
        size_t at = log.find(line);
        ASSERT_NE(std::string::npos, at) << line;
        size_t next = at + line.size() + time;
        EXPECT_EQ(slot == 0 ? "  not installed" : "  ok", log.substr(next, log.find("\r\n", next) - next));
    }
    EXPECT_EQ(std::string::npos, log.find("error 183"));
}
