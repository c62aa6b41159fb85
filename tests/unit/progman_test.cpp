#include "tests/unit/shell_support.h"
#include "integration/integration.h"

DECLARE_IMPORT_SLOT(DdeInitializeA);
DECLARE_IMPORT_SLOT(DdeConnect);
DECLARE_IMPORT_SLOT(DdeUninitialize);

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
