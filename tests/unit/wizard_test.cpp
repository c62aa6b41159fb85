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
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back off, Next on, Finish hidden", WizardButtons(sheet));
            ClickButton(sheet, SheetNext);
            return true;
        },
        OnPage(PagePort, [](HWND page) {
            EXPECT_EQ("LPT1:", ItemText(page, IDC_PORT_COMBO)); /* the real spooler's list */
        }),
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next on, Finish hidden", WizardButtons(sheet));
            ClickButton(sheet, SheetNext);
            return true;
        },
        OnPage(PagePrinter, [](HWND page) {
            EXPECT_EQ(1, SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETCOUNT, 0, 0));
            char entry[64] = "";
            SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETTEXT, 0, (LPARAM)entry);
            EXPECT_STREQ("Kalyx Q70/Q90", entry);
            EXPECT_EQ(LB_ERR, SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_GETCURSEL, 0, 0));
        }),
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next on, Finish hidden", WizardButtons(sheet));
            ClickButton(sheet, SheetNext);
            return true;
        },
        OnPage(PageType, [](HWND page) {
            EXPECT_TRUE(IsChecked(page, Express));
            EXPECT_FALSE(IsChecked(page, Custom) || IsChecked(page, Minimum));
        }),
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next hidden, Finish on", WizardButtons(sheet));
            ClickButton(sheet, SheetFinish);
            return true;
        },
    });
    EXPECT_GT(result, 0);
    EXPECT_EQ(Express, SetupState.installMode);
    EXPECT_EQ(AllComponents, SetupState.selectedComponents);
    EXPECT_STREQ("LPT1:", SetupState.portName);
    EXPECT_EQ(0, SpaceVerdict());
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
        script.push_back([](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next hidden, Finish on", WizardButtons(sheet));
            return true;
        });
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
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next on, Finish hidden", WizardButtons(sheet));
            HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
            ClickButton(page, Express);
            return true;
        },
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next hidden, Finish on", WizardButtons(sheet));
            HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
            ClickButton(page, Custom);
            return true;
        },
        Press(SheetNext),
        OnPage(PageComponents, [](HWND) {}),
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next hidden, Finish on", WizardButtons(sheet));
            ClickButton(sheet, SheetBack);
            return true;
        },
        OnPage(PageType, [](HWND page) {
            EXPECT_TRUE(IsChecked(page, Custom));
            EXPECT_FALSE(IsChecked(page, Express));
        }),
        [](HWND sheet, HWND) {
            EXPECT_EQ("Back on, Next on, Finish hidden", WizardButtons(sheet));
            ClickButton(sheet, SheetNext);
            return true;
        },
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
        EXPECT_EQ(0, SpaceVerdict());
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
