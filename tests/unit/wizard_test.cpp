#include "tests/unit/wizard_support.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <shlobj.h>

static const DWORD AllComponents = 0x37;

/* ---- the frame and the ways through it ---- */

TEST_F(WizardTest, Wizard_ExpressPathOffersTheRightButtonsAndInstallsEverything)
{
    INT_PTR result = RunWizard({
        OnPage(PageWelcome, [](HWND) {}),
        ExpectButtons("Back off, Next on, Finish hidden"),
        Press(SheetNext),
        OnPage(PagePort, [](HWND page) {
            EXPECT_EQ("LPT1:", ItemText(page, IDC_PORT_COMBO)); /* the real spooler's list */
            EXPECT_EQ("Port ausw\xE4hlen", WindowText(GetParent(page))); /* the page's caption */
        }),
        ExpectButtons("Back on, Next on, Finish hidden"),
        Press(SheetNext),
        OnPage(PagePrinter, [](HWND page) {
            EXPECT_EQ(1, SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETCOUNT, 0, 0));
            char entry[64] = "";
            SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETTEXT, 0, (LPARAM)entry);
            EXPECT_STREQ("Kalyx Q70/Q90", entry);
            EXPECT_EQ(LB_ERR, SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETCURSEL, 0, 0));
        }),
        ExpectButtons("Back on, Next on, Finish hidden"),
        Press(SheetNext),
        OnPage(PageType, [](HWND page) {
            EXPECT_TRUE(IsChecked(page, Express));
            EXPECT_FALSE(IsChecked(page, Custom) || IsChecked(page, Minimum));
        }),
        ExpectButtons("Back on, Next hidden, Finish on"),
        Press(SheetFinish),
    });
    EXPECT_GT(result, 0);
    EXPECT_EQ(Express, SetupState.installMode);
    EXPECT_EQ(AllComponents, SetupState.selectedComponents);
    EXPECT_STREQ("LPT1:", SetupState.portName);
    EXPECT_EQ(0, SpaceVerdict(&SetupState));
}

TEST_F(WizardTest, Wizard_MinimumKeepsOnlyTheModelsOnOffer)
{
    const DWORD offered[] = { CompModel1 | CompModel3 | CompStatusDisplay | CompControlPanel,
                              CompStatusDisplay | CompControlPanel };
    const DWORD expected[] = { CompModel1 | CompModel3, 0 };
    for (int i = 0; i < 2; i++) {
        SetupState.availableComponents = offered[i];
        WizardScript script;
        WalkTo(script, PageType);
        script.push_back(OnPage(PageType, [](HWND page) { ClickButton(page, Minimum); }));
        script.push_back(ExpectButtons("Back on, Next hidden, Finish on"));
        script.push_back(Press(SheetFinish));
        EXPECT_GT(RunWizard(script), 0);
        EXPECT_EQ(Minimum, SetupState.installMode);
        EXPECT_EQ(expected[i], SetupState.selectedComponents);
    }
}

TEST_F(WizardTest, Wizard_CustomLeadsToComponentsAndBackRemembersTheType)
{
    WizardScript script;
    WalkTo(script, PageType);
    script.insert(script.end(), {
        OnPage(PageType, [](HWND page) { ClickButton(page, Custom); }),
        ExpectButtons("Back on, Next on, Finish hidden"),
        OnPage(PageType, [](HWND page) { ClickButton(page, Express); }),
        ExpectButtons("Back on, Next hidden, Finish on"),
        OnPage(PageType, [](HWND page) { ClickButton(page, Custom); }),
        Press(SheetNext),
        OnPage(PageComponents, [](HWND) {}),
        ExpectButtons("Back on, Next hidden, Finish on"),
        Press(SheetBack),
        OnPage(PageType, [](HWND page) {
            EXPECT_TRUE(IsChecked(page, Custom));
            EXPECT_FALSE(IsChecked(page, Express));
        }),
        ExpectButtons("Back on, Next on, Finish hidden"),
        Press(SheetNext),
        OnPage(PageComponents, [](HWND) {}),
        Press(SheetFinish),
    });
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ(Custom, SetupState.installMode);
    EXPECT_EQ(AllComponents, SetupState.selectedComponents);
}

TEST_F(WizardTest, Wizard_CancelOnAnyPageReturnsZeroAndResetsOnlyWhatShownPagesOwn)
{
    for (int last = PageWelcome; last <= PageComponents; last++) {
        SCOPED_TRACE(last);
        lstrcpyA(SetupState.portName, "BEFORE");
        SetupState.installMode = Minimum;
        SetupState.selectedComponents = 0x99;
        lstrcpyA(SetupState.statusDir, "X:\\KEEP");
        WizardScript script;
        WalkTo(script, last);
        script.push_back(OnPage(last, [](HWND) {}));
        script.push_back(Press(SheetCancel));
        EXPECT_EQ(0, RunWizard(script));
        EXPECT_STREQ(last >= PagePort ? "" : "BEFORE", SetupState.portName);
        EXPECT_EQ(last >= PageType ? 0 : Minimum, SetupState.installMode);
        EXPECT_EQ(last == PageComponents ? AllComponents : 0x99u, SetupState.selectedComponents);
        EXPECT_STREQ("X:\\KEEP", SetupState.statusDir);
        EXPECT_EQ(0, SpaceVerdict(&SetupState));
    }
}

/* ---- the port page ---- */

TEST_F(WizardTest, PortPage_ListsInSpoolerOrderAndPreselectsOnlyExactLpt1)
{
    FakePorts ports({ "FILE:", "LPT1:", "lpt1:", "COM1:", "LPT1:" });
    WizardScript script;
    WalkTo(script, PagePort);
    script.insert(script.end(), {
        OnPage(PagePort, [](HWND page) {
            std::vector<std::string> expected = { "FILE:", "LPT1:", "lpt1:", "COM1:", "LPT1:" };
            EXPECT_EQ(expected, ComboEntries(page, IDC_PORT_COMBO));
            EXPECT_EQ(4, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 3, 0);
            SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_PORT_COMBO, CBN_SELCHANGE), 0);
        }),
        Press(SheetNext),
        OnPage(PagePrinter, [](HWND) { EXPECT_STREQ("COM1:", SetupState.portName); }),
        Press(SheetBack),
        /* Next with nothing selected keeps the port of the earlier Next. */
        OnPage(PagePort, [](HWND page) {
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, (WPARAM)-1, 0);
        }),
        Press(SheetNext),
        OnPage(PagePrinter, [](HWND) { EXPECT_STREQ("COM1:", SetupState.portName); }),
        Press(SheetCancel),
    });
    EXPECT_EQ(0, RunWizard(script));
    EXPECT_STREQ("", SetupState.portName);

    FakePorts lowerOnly({ "lpt1:", "COM1:" });
    script.clear();
    WalkTo(script, PagePort);
    script.push_back(OnPage(PagePort, [](HWND page) {
        EXPECT_EQ(CB_ERR, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));
    }));
    script.push_back(Press(SheetNext));
    script.push_back(OnPage(PagePrinter, [](HWND) { EXPECT_STREQ("", SetupState.portName); }));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
}

TEST_F(WizardTest, PortPage_ListsEveryPortWhenTheFirstBufferIsTooSmall)
{
    static const char *portsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
    RegistrySnapshot saved(HKEY_LOCAL_MACHINE, portsKey);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, portsKey, 0, KEY_SET_VALUE, &key));
    char name[32];
    for (int i = 1; i <= 500; i++) {
        wsprintfA(name, "KXPORT%04d:", i);
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)"", 1);
    }
    RegCloseKey(key);

    WizardScript script;
    WalkTo(script, PagePort);
    script.push_back(OnPage(PagePort, [](HWND page) {
        std::vector<std::string> entries = ComboEntries(page, IDC_PORT_COMBO);
        int ours = 0;
        for (size_t i = 0; i < entries.size(); i++)
            ours += entries[i].compare(0, 6, "KXPORT") == 0;
        EXPECT_EQ(500, ours);
        EXPECT_NE(CB_ERR, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_FINDSTRINGEXACT,
                                              (WPARAM)-1, (LPARAM) "KXPORT0500:"));
        EXPECT_STREQ("LPT1:", ItemText(page, IDC_PORT_COMBO).c_str());
    }));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
}

TEST_F(WizardTest, PortPage_EnumerationFailureShowsBothBoxesAndLeavesTheListEmpty)
{
    FakePorts failing({}, 1234);
    WizardScript script;
    WalkTo(script, PagePort);
    script.push_back(OnPage(PagePort, [](HWND page) {
        EXPECT_EQ(0, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCOUNT, 0, 0));
    }));
    script.push_back(Press(SheetNext));
    script.push_back(OnPage(PagePrinter, [](HWND) {}));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
    std::vector<DWORD> sizes = { 30000, 1234 };
    EXPECT_EQ(sizes, FakePorts::bufferSizes);
    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("EnumPorts() function fail !!", boxes[0].text);
    EXPECT_EQ(" dwNeeded = 1234   ,   dwReturned = 0 \n", boxes[1].text);
    for (size_t i = 0; i < boxes.size(); i++) {
        EXPECT_EQ("Lumaprint setup warring !", boxes[i].caption);
        EXPECT_EQ((UINT)MB_OK, boxes[i].style);
        EXPECT_EQ(NULL, boxes[i].owner);
    }
}

TEST_F(WizardTest, PortPage_BrowseAddsANetworkPrinterOnceAndSelectsMatchingEntries)
{
    FakePorts ports({ "LPT1:", "LPT2:", "COM1:" });
    FakeShell shell("\\\\SERVER\\Q70");
    WizardScript script;
    WalkTo(script, PagePort);
    script.insert(script.end(), {
        OnPage(PagePort, [](HWND page) {
            ClickButton(page, IDC_PORT_BROWSE);
            EXPECT_EQ(CSIDL_NETWORK, FakeShell::rootFolder);
            EXPECT_EQ("Please select the network printer that you want to add.", FakeShell::title);
            EXPECT_EQ((UINT)BIF_BROWSEFORPRINTER, FakeShell::flags);
            EXPECT_EQ(0, FakeShell::outstanding);
            std::vector<std::string> expected = { "LPT1:", "LPT2:", "COM1:", "\\\\SERVER\\Q70" };
            EXPECT_EQ(expected, ComboEntries(page, IDC_PORT_COMBO));
            EXPECT_EQ(3, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));

            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 0, 0);
            ClickButton(page, IDC_PORT_BROWSE);
            EXPECT_EQ(4, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCOUNT, 0, 0));
            EXPECT_EQ(3, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));

            /* The beginning of an entry, in other case, selects the first such entry. */
            FakeShell::path = "lpt";
            ClickButton(page, IDC_PORT_BROWSE);
            EXPECT_EQ(4, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCOUNT, 0, 0));
            EXPECT_EQ(0, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));

            /* A cancelled browse selects the earlier result again. */
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 2, 0);
            FakeShell::cancel = true;
            ClickButton(page, IDC_PORT_BROWSE);
            EXPECT_EQ(0, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));
            EXPECT_EQ(0, FakeShell::outstanding);

            /* A shared printer has no file-system path: its parsing name is added. */
            FakeShell::cancel = false;
            FakeShell::path.clear();
            FakeShell::parsingName = L"\\\\server\\printer";
            ClickButton(page, IDC_PORT_BROWSE);
            expected.push_back("\\\\server\\printer");
            EXPECT_EQ(expected, ComboEntries(page, IDC_PORT_COMBO));
            EXPECT_EQ(4, SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0));
            EXPECT_EQ(0, FakeShell::outstanding);
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 3, 0);
        }),
        Press(SheetNext),
        OnPage(PagePrinter, [](HWND) {}),
        Press(SheetCancel),
    });
    EXPECT_EQ(0, RunWizard(script));
    EXPECT_STREQ("", SetupState.portName); /* emptied by the cancel */
}

TEST_F(WizardTest, PortPage_LongPortNamesAreListedWholeAndNeverOverrunPortName)
{
    const std::string longName = std::string(299, 'P') + ":";
    const std::string tooLong = std::string(PORT_CHARS + 20, 'Q') + ":";
    FakePorts ports({ "LPT1:", longName, tooLong });
    WizardScript script;
    WalkTo(script, PagePort);
    script.insert(script.end(), {
        OnPage(PagePort, [=](HWND page) {
            std::vector<std::string> expected = { "LPT1:", longName, tooLong };
            EXPECT_EQ(expected, ComboEntries(page, IDC_PORT_COMBO));
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 1, 0);
        }),
        Press(SheetNext),
        OnPage(PagePrinter, [=](HWND) { EXPECT_EQ(longName, SetupState.portName); }),
        Press(SheetBack),
        OnPage(PagePort, [](HWND page) {
            SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, 2, 0);
        }),
        Press(SheetNext),
        OnPage(PagePrinter, [=](HWND) { EXPECT_EQ(longName, SetupState.portName); }),
        Press(SheetCancel),
    });
    EXPECT_EQ(0, RunWizard(script));
}

/* ---- the components page ---- */

/* The six texts of columns 2 and 3: head, needed and free of each. */
static std::string Columns23(HWND page)
{
    return ItemText(page, IDC_COL2_HEAD) + "|" + ItemText(page, IDC_COL2_NEED) + "|" +
           ItemText(page, IDC_COL2_FREE) + "|" + ItemText(page, IDC_COL3_HEAD) + "|" +
           ItemText(page, IDC_COL3_NEED) + "|" + ItemText(page, IDC_COL3_FREE);
}

TEST_F(WizardTest, ComponentsPage_StartsFromTheOfferedComponents)
{
    SetupState.availableComponents = CompModel1 | CompModel3;
    lstrcpyA(SetupState.driverDirectory, "c:\\windows\\system32\\spool\\drivers\\x64");
    WizardScript script;
    WalkTo(script, PageComponents);
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_TRUE(IsChecked(page, IDC_MODEL1) && IsEnabled(page, IDC_MODEL1));
        EXPECT_TRUE(!IsChecked(page, IDC_MODEL2) && !IsEnabled(page, IDC_MODEL2));
        EXPECT_TRUE(IsChecked(page, IDC_MODEL3) && IsEnabled(page, IDC_MODEL3));
        EXPECT_TRUE(!IsChecked(page, IDC_STATUS) && !IsEnabled(page, IDC_STATUS));
        EXPECT_FALSE(IsEnabled(page, IDC_STATUS_CHANGE));
        EXPECT_EQ("C:\\STATUS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("Drive c:", ItemText(page, IDC_COL1_HEAD));
        EXPECT_EQ("4662000 bytes", ItemText(page, IDC_COL1_NEED));
        EXPECT_EQ("100000000 bytes", ItemText(page, IDC_COL1_FREE));
        EXPECT_EQ("|||||", Columns23(page));
    }));
    script.push_back(Press(SheetFinish));
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ((DWORD)(CompModel1 | CompModel3), SetupState.selectedComponents);
    EXPECT_STREQ("C:\\STATUS", SetupState.statusDirChoice);
    EXPECT_EQ(0, SpaceVerdict(&SetupState));
}

TEST_F(WizardTest, ComponentsPage_ClicksChangeTheSelectionTheColumnsAndTheChangeButton)
{
    WizardScript script;
    WalkTo(script, PageComponents);
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("11824000 bytes", ItemText(page, IDC_COL1_NEED));
        ClickButton(page, IDC_STATUS);
        EXPECT_FALSE(IsEnabled(page, IDC_STATUS_CHANGE));
        EXPECT_EQ("8412000 bytes", ItemText(page, IDC_COL1_NEED));
        EXPECT_EQ(AllComponents & ~CompStatusDisplay, SetupState.selectedComponents);
        ClickButton(page, IDC_STATUS);
        EXPECT_TRUE(IsEnabled(page, IDC_STATUS_CHANGE));
        EXPECT_EQ("11824000 bytes", ItemText(page, IDC_COL1_NEED));
        ClickButton(page, IDC_MODEL1);
        EXPECT_EQ("9593000 bytes", ItemText(page, IDC_COL1_NEED));
    }));
    script.push_back(Press(SheetFinish));
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ(AllComponents & ~CompModel1, SetupState.selectedComponents);
}

TEST_F(WizardTest, ComponentsPage_FolderChoicesMoveToolsBetweenColumns)
{
    WizardScript script;
    WalkTo(script, PageComponents);
    EnterPath(script, IDC_STATUS_CHANGE, "E:\\TOOLS");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("E:\\TOOLS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("Drive C:", ItemText(page, IDC_COL1_HEAD));
        EXPECT_EQ("8412000 bytes", ItemText(page, IDC_COL1_NEED));
        EXPECT_EQ("Drive E:|3412000 bytes|50000000 bytes|||", Columns23(page));
    }));
    /* The control panel's button is hidden, but its command still moves the panel. */
    EnterPath(script, IDC_PANEL_CHANGE, "E:\\CTRL");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("Drive E:|5283000 bytes|50000000 bytes|||", Columns23(page));
    }));
    EnterPath(script, IDC_PANEL_CHANGE, "F:\\CTRL");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("E:\\TOOLS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("Drive E:|3412000 bytes|50000000 bytes|Drive F:|1871000 bytes|0 bytes",
                  Columns23(page));
        ClickButton(page, IDC_STATUS);
        EXPECT_EQ("Drive F:|1871000 bytes|0 bytes|||", Columns23(page));
        ClickButton(page, IDC_STATUS);
    }));
    /* Cancel and an empty entry (even after a longer one) leave the choice. */
    EnterPath(script, IDC_STATUS_CHANGE, "X:\\NOT", IDCANCEL);
    EnterPath(script, IDC_STATUS_CHANGE, "");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("E:\\TOOLS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("Drive E:|3412000 bytes|50000000 bytes|Drive F:|1871000 bytes|0 bytes",
                  Columns23(page));
    }));
    /* Relative entries are taken from the start directory. */
    EnterPath(script, IDC_STATUS_CHANGE, "TOOLS");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("D:\\SETUP\\TOOLS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("Drive D:|3412000 bytes|0 bytes|Drive F:|1871000 bytes|0 bytes",
                  Columns23(page));
    }));
    script.push_back(Press(SheetFinish));
    EXPECT_GT(RunWizard(script), 0);
    /* Drive D cannot be queried: 0 bytes free, so it is short. */
    EXPECT_EQ((DWORD)'D', SetupState.spaceShortfall[1]);
    EXPECT_EQ((DWORD)'F', SetupState.spaceShortfall[2]);
    EXPECT_EQ('D', SpaceVerdict(&SetupState));
}

/* One step after an entry: the page's box (or none) and the folder shown. */
static WizardStep ExpectChoice(const std::string &refusal, const std::string &folder)
{
    return OnPage(PageComponents, [=](HWND page) {
        if (refusal.empty())
            EXPECT_TRUE(TakeBoxes().empty()) << folder;
        else
            ExpectOneBox("Input Path", refusal.c_str(), MB_OK, page);
        EXPECT_EQ(folder, ItemText(page, IDC_STATUS_DIR));
    });
}

/* Every later step builds texts from the folder (the record, the uninstall
 * command, the group's item in its 256-byte command): the longest folder they
 * all hold is 207 characters. */
TEST_F(WizardTest, ComponentsPage_TakesOnlyFullFoldersThatEveryLaterStepHolds)
{
    const std::string longest = "C:\\" + std::string(204, 'L');
    const std::string tooLong = "The folder name is too long: at most 207 characters.";
    const std::string notFull = "The folder must be a full path such as C:\\STATUS.";
    WizardScript script;
    WalkTo(script, PageComponents);
    EnterPath(script, IDC_STATUS_CHANGE, longest + "L");
    script.push_back(ExpectChoice(tooLong, "C:\\STATUS"));
    EnterPath(script, IDC_STATUS_CHANGE, longest);
    script.push_back(ExpectChoice("", longest));
    EnterPath(script, IDC_STATUS_CHANGE, "..\\TOOLS\\.\\NEW\\..\\KX");
    script.push_back(ExpectChoice("", "D:\\TOOLS\\KX"));
    EnterPath(script, IDC_STATUS_CHANGE, "E:\\TO*LS");
    script.push_back(ExpectChoice(
        "The folder name may not contain \" < > | * ? or control characters.", "D:\\TOOLS\\KX"));
    EnterPath(script, IDC_STATUS_CHANGE, "E:TOOLS");
    script.push_back(ExpectChoice(notFull, "D:\\TOOLS\\KX"));
    EnterPath(script, IDC_STATUS_CHANGE, "\\\\SERVER");
    script.push_back(ExpectChoice(notFull, "D:\\TOOLS\\KX"));
    /* A share is outside what the administrator controls. */
    EnterPath(script, IDC_STATUS_CHANGE, "\\\\SERVER\\TOOLS\\KX");
    script.push_back(ExpectChoice(
        "The folder \\\\SERVER\\TOOLS\\KX cannot be used: it is on a network share.",
        "D:\\TOOLS\\KX"));
    /* A relative name that is long only once it is below the start folder. */
    EnterPath(script, IDC_STATUS_CHANGE, std::string(200, 'R'));
    script.push_back(ExpectChoice(tooLong, "D:\\TOOLS\\KX"));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
}

/* The system may give the driver and start folders in lower case, while the
 * Input Path field upper-cases what is typed: a drive is one column either way. */
TEST_F(WizardTest, ComponentsPage_DriveLettersShareAColumnInEitherCase)
{
    lstrcpyA(SetupState.driverDirectory, "c:\\windows\\system32\\spool\\drivers\\x64");
    lstrcpyA(SetupState.startDirectory, "d:\\setup");
    WizardScript script;
    WalkTo(script, PageComponents);
    EnterPath(script, IDC_STATUS_CHANGE, "C:\\TOOLS");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("11824000 bytes", ItemText(page, IDC_COL1_NEED));
        EXPECT_EQ("|||||", Columns23(page));
    }));
    EnterPath(script, IDC_STATUS_CHANGE, "TOOLS");
    EnterPath(script, IDC_PANEL_CHANGE, "D:\\CTRL");
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("d:\\setup\\TOOLS", ItemText(page, IDC_STATUS_DIR));
        EXPECT_EQ("6541000 bytes", ItemText(page, IDC_COL1_NEED));
        EXPECT_EQ("Drive d:|5283000 bytes|0 bytes|||", Columns23(page));
    }));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
}

TEST_F(WizardTest, ComponentsPage_FinishWantsMoreThan1024BytesBeyondTheNeedOnEachDrive)
{
    struct Case { ULONGLONG cExtra, eExtra; DWORD c, e; int verdict; };
    const Case cases[] = {
        { 1024, 1025, 'C', 0, 'C' },
        { 1025, 1024, 0, 'E', 'E' },
        { 1024, 1024, 'C', 'E', 'C' },
        { 1025, 1025, 0, 0, 0 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.verdict);
        FakeDisks::freeBytes['C'] = 8412000 + c.cExtra;
        FakeDisks::freeBytes['E'] = 3412000 + c.eExtra;
        WizardScript script;
        WalkTo(script, PageComponents);
        EnterPath(script, IDC_STATUS_CHANGE, "E:\\TOOLS");
        script.push_back(OnPage(PageComponents, [](HWND) {}));
        script.push_back(Press(SheetFinish));
        EXPECT_GT(RunWizard(script), 0);
        EXPECT_EQ(c.c, SetupState.spaceShortfall[0]);
        EXPECT_EQ(c.e, SetupState.spaceShortfall[1]);
        EXPECT_EQ(0u, SetupState.spaceShortfall[2]);
        EXPECT_EQ(c.verdict, SpaceVerdict(&SetupState));
    }
}

TEST_F(WizardTest, ComponentsPage_FreeSpaceOf4GiBAndMoreIsCappedNotWrapped)
{
    const ULONGLONG fiveGiB = 5ull << 30;
    FakeDisks::freeBytes['C'] = fiveGiB;
    EXPECT_EQ(4294967295u, FreeSpaceOnDrive('C'));
    EXPECT_EQ(0u, FreeSpaceOnDrive('Q'));
    disks.reset(); /* restore the real imports before faking again */
    disks.reset(new FakeDisks(false)); /* no GetDiskFreeSpaceExA: the cluster count */
    EXPECT_EQ(4294967295u, FreeSpaceOnDrive('C'));
    FakeDisks::freeBytes['C'] = 3ull << 30;
    EXPECT_EQ(3221225472u, FreeSpaceOnDrive('C'));
    EXPECT_EQ(0u, FreeSpaceOnDrive('Q'));

    FakeDisks::freeBytes['C'] = fiveGiB;
    WizardScript script;
    WalkTo(script, PageComponents);
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("4294967295 bytes", ItemText(page, IDC_COL1_FREE));
    }));
    script.push_back(Press(SheetFinish));
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ(0, SpaceVerdict(&SetupState));
}

TEST_F(WizardTest, ComponentsPage_BackAndNextAgainKeepsBoxesAndSelectionInAgreement)
{
    WizardScript script;
    WalkTo(script, PageComponents);
    script.insert(script.end(), {
        OnPage(PageComponents, [](HWND page) {
            ClickButton(page, IDC_MODEL3);
            ClickButton(page, IDC_STATUS);
        }),
        Press(SheetBack),
        OnPage(PageType, [](HWND) {}),
        Press(SheetNext),
        OnPage(PageComponents, [](HWND page) {
            EXPECT_FALSE(IsChecked(page, IDC_MODEL3) || IsChecked(page, IDC_STATUS));
            EXPECT_FALSE(IsEnabled(page, IDC_STATUS_CHANGE));
            EXPECT_EQ("5981000 bytes", ItemText(page, IDC_COL1_NEED));
            EXPECT_EQ(AllComponents & ~(CompModel3 | CompStatusDisplay),
                      SetupState.selectedComponents);
            ClickButton(page, IDC_MODEL3);
        }),
        Press(SheetFinish),
    });
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ(AllComponents & ~CompStatusDisplay, SetupState.selectedComponents);
}

TEST_F(WizardTest, ComponentsPage_VisitedThenFinishedWithExpressLeavesNoShortfall)
{
    FakeDisks::freeBytes['C'] = 1000;
    WizardScript script;
    WalkTo(script, PageComponents);
    script.insert(script.end(), {
        OnPage(PageComponents, [](HWND page) {
            EXPECT_EQ("1000 bytes", ItemText(page, IDC_COL1_FREE));
            ClickButton(page, IDC_MODEL1);
        }),
        Press(SheetBack),
        OnPage(PageType, [](HWND page) { ClickButton(page, Express); }),
        Press(SheetFinish),
    });
    EXPECT_GT(RunWizard(script), 0);
    EXPECT_EQ(0, SpaceVerdict(&SetupState));
    EXPECT_EQ(AllComponents, SetupState.selectedComponents);
}

TEST_F(WizardTest, InputPathDialog_SearchFillsTheFieldTypingStopsAt207AndOkReadsAtMost259)
{
    FakeShell shell("F:\\PICKED");
    WizardScript script;
    WalkTo(script, PageComponents);
    script.push_back(OnPage(PageComponents, [](HWND page) { PostClick(page, IDC_STATUS_CHANGE); }));
    script.push_back(InDialog([](HWND dialog) {
        EXPECT_EQ("", ItemText(dialog, IDC_INPUT_PATH));
        EXPECT_EQ(207, SendDlgItemMessageA(dialog, IDC_INPUT_PATH, EM_GETLIMITTEXT, 0, 0));
        ClickButton(dialog, IDC_INPUT_BROWSE);
        EXPECT_EQ(CSIDL_DESKTOP, FakeShell::rootFolder);
        EXPECT_EQ("Input Path", FakeShell::title);
        EXPECT_EQ((UINT)BIF_RETURNONLYFSDIRS, FakeShell::flags);
        EXPECT_EQ("F:\\PICKED", ItemText(dialog, IDC_INPUT_PATH));
        FakeShell::cancel = true;
        ClickButton(dialog, IDC_INPUT_BROWSE);
        EXPECT_STREQ("", SetupState.inputPath);
        EXPECT_EQ("F:\\PICKED", ItemText(dialog, IDC_INPUT_PATH));
        EXPECT_EQ(0, FakeShell::outstanding);
        ClickButton(dialog, IDOK);
    }));
    script.push_back(OnPage(PageComponents, [](HWND page) {
        EXPECT_EQ("F:\\PICKED", ItemText(page, IDC_STATUS_DIR));
    }));
    /* Read whole, so that it is refused rather than taken cut short. */
    EnterPath(script, IDC_STATUS_CHANGE, std::string(300, 'A'));
    script.push_back(OnPage(PageComponents, [](HWND page) {
        ExpectOneBox("Input Path", "The folder name is too long: at most 207 characters.", MB_OK,
                     page);
    }));
    script.push_back(Press(SheetCancel));
    EXPECT_EQ(0, RunWizard(script));
    EXPECT_EQ(259, lstrlenA(SetupState.inputPath));
    EXPECT_STREQ("F:\\PICKED", SetupState.statusDirChoice);
}
