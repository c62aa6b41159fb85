#include "tests/unit/harness.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"

DECLARE_IMPORT_SLOT(EnumPortsA);

static BOOL WINAPI NoPortList(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    *needed = 0;
    *returned = 0;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}

/* A quiet install on a system whose printer drivers live on drive D:. */
class QuietChoices : public KxTest {
protected:
    void SetUp() override
    {
        KxTest::SetUp();
        ZeroMemory(&Options, sizeof(Options));
        Options.quiet = 1;
        SetQuietAnswers(1);
        Options.statusDisplay = -1;
        SetupState.availableComponents = CompModel1 | CompStatusDisplay;
        lstrcpynA(SetupState.driverDirectory, "d:\\WINNT\\system32\\spool\\drivers\\w32x86", sizeof(SetupState.driverDirectory));
    }
    void TearDown() override
    {
        ZeroMemory(&Options, sizeof(Options));
        KxTest::TearDown();
    }
};

/* Without /statusdir a custom install takes the folder the components page
 * offers first; the other types leave the choice to the run's default. */
TEST_F(QuietChoices, CustomWithoutStatusDirTakesTheDriversDrive)
{
    struct Case { int type; const char *folder; } cases[] = {
        { Custom, "D:\\STATUS" }, { Express, "" }, { Minimum, "" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        SetupState.statusDirChoice[0] = '\0';
        Options.installType = c.type;
        int exitCode = 0;
        EXPECT_EQ(1, ChooseQuietly(NULL, &SetupState, &exitCode));
        EXPECT_STREQ(c.folder, SetupState.statusDirChoice);
    }
}

TEST_F(QuietChoices, PortListThatCannotBeReadIsAFailureNotABadCommandLine)
{
    FAKE_IMPORT(EnumPortsA, NoPortList);
    int exitCode = 0;

    EXPECT_EQ(0, ChooseQuietly(NULL, &SetupState, &exitCode));
    EXPECT_EQ(KX_EXIT_FAILED, exitCode);
}

/* The choices a quiet install takes from the command line, against a medium
 * read as the run reads it. */
TEST_F(QuietChoices, TypeModelsAndStatusDisplayTable)
{
    const std::string tools = "[StatusDisplay]\r\nCopyFiles = S\r\n[ControlPanel]\r\nCopyFiles = P\r\n";
    struct Case {
        int models; bool tools; int type; const char *list; int status;
        int result, exitCode; DWORD selected;
    } cases[] = {
        { 3, true, 0, "", -1, 1, 0, 0x37 },
        { 3, true, Minimum, "", -1, 1, 0, 0x07 },
        { 3, true, Custom, "", -1, 1, 0, 0x37 },
        { 3, true, Custom, " 2 ,Kalyx Model 3,", -1, 1, 0, 0x36 },
        { 3, true, Custom, "kalyx model 1", 0, 1, 0, 0x21 },
        { 2, true, Custom, "3", -1, 0, KX_EXIT_BAD_COMMAND_LINE, 0 },
        { 1, false, Custom, "", 1, 0, KX_EXIT_BAD_COMMAND_LINE, 0x01 },
        { 1, false, Custom, "", -1, 1, 0, 0x01 },
    };
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.models) + " models, " + c.list);
        dir.Write("oemsetup.inf", Medium(c.models, c.tools ? tools : ""));
        HINF inf = SetupOpenInfFileA(dir.File("oemsetup.inf").c_str(), NULL, INF_STYLE_WIN4, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, inf);
        SetupState.availableComponents = SetupState.selectedComponents = 0;
        lstrcpynA(SetupState.layoutPath, (dir.path + "\\").c_str(), sizeof(SetupState.layoutPath));
        EXPECT_EQ(1, ReadSetupInformation(inf, &SetupState));
        SetupCloseInfFile(inf);
        Options.installType = c.type;
        lstrcpynA(Options.models, c.list, sizeof(Options.models));
        Options.statusDisplay = c.status;
        int exitCode = 0;
        EXPECT_EQ(c.result, ChooseQuietly(NULL, &SetupState, &exitCode));
        EXPECT_EQ(c.exitCode, exitCode);
        if (c.result || c.selected) {
            EXPECT_EQ(c.selected, SetupState.selectedComponents);
        }
    }
}
