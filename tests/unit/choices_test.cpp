#include "tests/unit/harness.h"
#include "shell/shell.h"

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
        EXPECT_EQ(1, ApplyQuietChoices(&SetupState, &exitCode));
        EXPECT_STREQ(c.folder, SetupState.statusDirChoice);
    }
}

TEST_F(QuietChoices, PortListThatCannotBeReadIsAFailureNotABadCommandLine)
{
    FAKE_IMPORT(EnumPortsA, NoPortList);
    int exitCode = 0;

    EXPECT_EQ(0, ApplyQuietChoices(&SetupState, &exitCode));
    EXPECT_EQ(KX_EXIT_FAILED, exitCode);
}
