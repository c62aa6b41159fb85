#include "tests/unit/harness.h"
#include "tests/unit/spooler_support.h"
#include "spooler/spooler.h"
#include "resources/resource.h"
#include "change/change.h"

DECLARE_IMPORT_SLOT(SendNotifyMessageA);

struct Broadcast { HWND to; UINT message; WPARAM wParam; LPARAM lParam; };
static std::vector<Broadcast> broadcasts;

static BOOL WINAPI RecordingNotify(HWND to, UINT message, WPARAM wParam, LPARAM lParam)
{
    broadcasts.push_back({ to, message, wParam, lParam });
    return TRUE;
}

static std::string DeviceLine()
{
    char line[2048];
    GetProfileStringA("windows", "device", "(none)", line, sizeof(line));
    return line;
}

class DefaultPrinter : public KxTest {
protected:
    RegistrySnapshot profile{ HKEY_CURRENT_USER,
                              "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows" };
    void SetUp() override
    {
        KxTest::SetUp();
        broadcasts.clear();
        WriteProfileStringA("windows", "device", "Before,winspool,LPT9:");
    }
};

TEST_F(DefaultPrinter, FirstSelectedModelBecomesTheDefaultAndTheChangeIsBroadcast)
{
    UseTestModels(&SetupState, CompModel2 | CompModel3, "LPT1:");
    {
        FAKE_IMPORT(SendNotifyMessageA, RecordingNotify);
        SetDefaultPrinter(&SetupState);
    }
    EXPECT_EQ("Kalyx Q90 PostScript,Kalyx Q90 PostScript,LPT1:", DeviceLine());
    ASSERT_EQ(1u, broadcasts.size());
    EXPECT_EQ(HWND_BROADCAST, broadcasts[0].to);
    EXPECT_EQ((UINT)WM_WININICHANGE, broadcasts[0].message);
    EXPECT_EQ(0u, broadcasts[0].wParam);
    EXPECT_EQ(0, broadcasts[0].lParam);
}

TEST_F(DefaultPrinter, AWindowThatNeverAnswers_DoesNotHoldTheChange)
{
    HungWindow hung("Never answers");
    UseTestModels(&SetupState, CompModel1, "LPT1:");

    DWORD started = GetTickCount();
    SetDefaultPrinter(&SetupState);

    EXPECT_LT(GetTickCount() - started, 15000u);
    EXPECT_EQ("Kalyx Q70 PCL 6,Kalyx Q70 PCL 6,LPT1:", DeviceLine());
}

TEST_F(DefaultPrinter, ModelNameWithSlashAndLpt1_GivesTheDocumentedLine)
{
    UseTestModels(&SetupState, CompModel1 | CompStatusDisplay, "LPT1:");
    lstrcpyA(SetupState.modelName[0], "Kalyx Q70/Q90 PCL 6");
    SetDefaultPrinter(&SetupState);
    EXPECT_EQ("Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:", DeviceLine());
}

TEST_F(DefaultPrinter, NoModelSelected_WritesAndBroadcastsNothing)
{
    UseTestModels(&SetupState, CompStatusDisplay, "LPT1:");
    {
        FAKE_IMPORT(SendNotifyMessageA, RecordingNotify);
        SetDefaultPrinter(&SetupState);
    }
    EXPECT_EQ("Before,winspool,LPT9:", DeviceLine());
    EXPECT_TRUE(broadcasts.empty());
}

TEST_F(DefaultPrinter, LongestPossibleLineIsWrittenWhole)
{
    UseTestModels(&SetupState, CompModel3, "");
    std::string model(NAME_CHARS - 1, 'M'), port(PORT_CHARS - 1, 'P');
    lstrcpyA(SetupState.modelName[2], model.c_str());
    lstrcpyA(SetupState.portName, port.c_str());
    SetDefaultPrinter(&SetupState);
    EXPECT_EQ(model + "," + model + "," + port, DeviceLine());
}

/* ---- the dialog ---- */

static INT_PTR RunDialog(const std::function<void(HWND)> &answer)
{
    INT_PTR result = -1;
    DriveUi([&] {
        result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_DEFAULTPRINTER),
                                 NULL, DefaultPrinterDialogProc, 0);
    }, [&](HWND dialog) {
        answer(dialog);
        return false;
    });
    return result;
}

static void Key(HWND dialog, WPARAM key)
{
    PostMessageA(dialog, WM_KEYDOWN, key, 0);
}

TEST_F(DefaultPrinter, Dialog_SetDefaultAndEnterGive1025_NoEscapeAndCloseBoxGive2)
{
    EXPECT_EQ(IDC_SET_DEFAULT, RunDialog([](HWND d) { ClickButton(d, IDC_SET_DEFAULT); }));
    EXPECT_EQ(IDC_SET_DEFAULT, RunDialog([](HWND d) { Key(d, VK_RETURN); }));
    EXPECT_EQ(IDCANCEL, RunDialog([](HWND d) { ClickButton(d, IDCANCEL); }));
    EXPECT_EQ(IDCANCEL, RunDialog([](HWND d) { Key(d, VK_ESCAPE); }));
    EXPECT_EQ(IDCANCEL, RunDialog([](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }));
    EXPECT_EQ("Before,winspool,LPT9:", DeviceLine()) << "the dialog itself sets nothing";
}

/* Nothing stops a run after this step today; the journal takes it back all the same. */
TEST_F(DefaultPrinter, TheJournalPutsTheEarlierLineBack)
{
    UseTestModels(&SetupState, CompModel1, "LPT1:");
    FAKE_IMPORT(SendNotifyMessageA, RecordingNotify);
    BeginJournal(NULL);
    SetDefaultPrinter(&SetupState);
    ASSERT_EQ("Kalyx Q70 PCL 6,Kalyx Q70 PCL 6,LPT1:", DeviceLine());
    RollBack();
    EXPECT_EQ("Before,winspool,LPT9:", DeviceLine());
}
