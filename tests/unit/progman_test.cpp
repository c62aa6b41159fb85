#include "tests/unit/shell_support.h"
#include "integration/integration.h"
#include "base/base.h"
#include <algorithm>

DECLARE_IMPORT_SLOT(DdeInitializeA);
DECLARE_IMPORT_SLOT(DdeConnect);
DECLARE_IMPORT_SLOT(DdeUninitialize);
DECLARE_IMPORT_SLOT(GetTickCount);

/* Each command as the shell must receive it, as the recorder logs it: the text
 * and its terminating zero. */
static std::string Sent(const std::string &text) { return text + "\\0"; }

class ProgramGroup : public KxTest {
protected:
    TempDir temp;
};

TEST_F(ProgramGroup, Install_SendsTheGroupRemovesEarlierItemsAndAddsBothInOrder)
{
    GroupRecorder shell(temp);
    CreateProgramGroup("C:\\STATUS", CompStatusDisplay);

    std::vector<std::string> expected = {
        Sent("[CreateGroup(Kalyx Q70/Q90 Tools)]"),
        Sent("[DeleteItem(Uninstall Tool)]"),
        Sent("[DeleteItem(Status Display)]"),
        Sent("[DeleteItem(Uninstall)]"),
        Sent("[DeleteItem(KxConsole)]"),
        Sent("[AddItem(\"C:\\STATUS\\kxsetup.exe\" Uninstall,Uninstall,,0)]"),
        Sent("[AddItem(\"C:\\STATUS\\kxcons.exe\",KxConsole,,0)]"),
    };
    EXPECT_EQ(expected, shell.Commands());
}

TEST_F(ProgramGroup, Install_WithoutConsoleAtADriveRoot_SendsSixCommandsAndOneBackslash)
{
    GroupRecorder shell(temp);
    CreateProgramGroup("C:\\", 0);

    std::vector<std::string> expected = {
        Sent("[CreateGroup(Kalyx Q70/Q90 Tools)]"),
        Sent("[DeleteItem(Uninstall Tool)]"),
        Sent("[DeleteItem(Status Display)]"),
        Sent("[DeleteItem(Uninstall)]"),
        Sent("[DeleteItem(KxConsole)]"),
        Sent("[AddItem(\"C:\\kxsetup.exe\" Uninstall,Uninstall,,0)]"),
    };
    EXPECT_EQ(expected, shell.Commands());
}

TEST_F(ProgramGroup, Install_LeavesOutACommandThatDoesNotFitAndSendsTheRest)
{
    /* 215 characters: the uninstall item would need 264 bytes of its 256, the
     * console item 253 */
    std::string folder = "C:\\" + std::string(212, 'f');
    GroupRecorder shell(temp);
    CreateProgramGroup(folder.c_str(), CompStatusDisplay);

    std::vector<std::string> commands = shell.Commands();
    ASSERT_EQ(6u, commands.size());
    EXPECT_EQ(Sent("[DeleteItem(KxConsole)]"), commands[4]);
    EXPECT_EQ(Sent("[AddItem(\"" + folder + "\\kxcons.exe\",KxConsole,,0)]"), commands[5]);
}

TEST_F(ProgramGroup, Uninstall_SendsOnlyDeleteGroup)
{
    GroupRecorder shell(temp);
    DeleteProgramGroup();

    std::vector<std::string> expected = { Sent("[DeleteGroup(Kalyx Q70/Q90 Tools)]") };
    EXPECT_EQ(expected, shell.Commands());
}

static int uninitializations;
static BOOL WINAPI CountingUninitialize(DWORD instance)
{
    uninitializations++;
    return REAL(DdeUninitialize)(instance);
}

TEST_F(ProgramGroup, NoShell_ReturnsPromptlyQuietlyAndReleasesTheInstance)
{
    uninitializations = 0;
    FAKE_IMPORT(DdeUninitialize, CountingUninitialize);
    DWORD start = GetTickCount();

    CreateProgramGroup("C:\\STATUS", CompStatusDisplay);
    DeleteProgramGroup();

    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(2, uninitializations);
}

static UINT WINAPI FailingInitialize(LPDWORD instance, PFNCALLBACK, DWORD, DWORD)
{
    *instance = 0;
    return DMLERR_SYS_ERROR;
}

static int connections;
static HCONV WINAPI CountingConnect(DWORD, HSZ, HSZ, PCONVCONTEXT)
{
    connections++;
    return NULL;
}

TEST_F(ProgramGroup, InitializationFailure_ShowsTheOneBoxAndConnectsNowhere)
{
    connections = 0;
    FAKE_IMPORT(DdeInitializeA, FailingInitialize);
    FAKE_IMPORT(DdeConnect, CountingConnect);

    CreateProgramGroup("C:\\STATUS", 0);
    ExpectOneBox("Error", "DDEML Initialization Failure", MB_OK);
    DeleteProgramGroup();
    ExpectOneBox("Error", "DDEML Initialization Failure", MB_OK);
    EXPECT_EQ(0, connections);
}

/* A shell that never answers the connection: DdeConnect returns only when the
 * test lets it (or after 20 s, so that nothing is left hanging). */
static HANDLE connectRelease, conversationOver;
static volatile LONG connectReturned;
static HCONV WINAPI BlockingConnect(DWORD, HSZ, HSZ, PCONVCONTEXT)
{
    WaitForSingleObject(connectRelease, 20000);
    InterlockedExchange(&connectReturned, 1);
    return NULL;
}
static BOOL WINAPI SignallingUninitialize(DWORD instance)
{
    BOOL done = REAL(DdeUninitialize)(instance);
    SetEvent(conversationOver);
    return done;
}
/* Every look at the clock moves it on 20 s: the bound passes after a few looks. */
static DWORD clockNow;
static DWORD WINAPI LeapingClock(void) { return clockNow += 20000; }

TEST_F(ProgramGroup, AShellThatNeverAnswers_HoldsTheRunForOneBoundOnly)
{
    connectRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    conversationOver = CreateEventA(NULL, TRUE, FALSE, NULL);
    connectReturned = 0;
    std::string log = temp.File("run.log");
    ASSERT_TRUE(OpenLog(log.c_str()));
    {
        FAKE_IMPORT(DdeConnect, BlockingConnect);
        FAKE_IMPORT(DdeUninitialize, SignallingUninitialize);
        FAKE_IMPORT(GetTickCount, LeapingClock);

        CreateProgramGroup("C:\\STATUS", CompStatusDisplay);
        EXPECT_EQ(0, connectReturned) << "the run waited for the shell";

        /* the conversation ends by itself once the shell lets go */
        SetEvent(connectRelease);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(conversationOver, 20000));
    }
    CloseLog();
    CloseHandle(connectRelease);
    CloseHandle(conversationOver);

    std::vector<std::string> lines = ReadLines(log);
    const std::string given = "group: no answer within 60 s; the group was not created";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(given, lines[0].substr(lines[0].size() - std::min(lines[0].size(), given.size())));
}
