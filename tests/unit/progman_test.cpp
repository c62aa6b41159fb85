#include "tests/unit/harness.h"
#include "tests/unit/spooler_support.h"
#include "integration/integration.h"

DECLARE_IMPORT_SLOT(DdeInitializeA);
DECLARE_IMPORT_SLOT(DdeConnect);
DECLARE_IMPORT_SLOT(DdeUninitialize);

/* progman-recorder.exe as a child process: the "PROGMAN" service that logs
 * every execute command it receives. */
struct RecordingShell {
    TempDir dir;
    std::string log;
    PROCESS_INFORMATION process;

    RecordingShell() : log(dir.File("progman.log"))
    {
        ZeroMemory(&process, sizeof(process));
        STARTUPINFOA startup = { sizeof(startup) };
        std::string command = "\"" + BuildPath("tools/progman-recorder.exe") + "\" \"" + log + "\" 60000";
        if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
            ADD_FAILURE() << "cannot start the recorder: " << GetLastError();
            return;
        }
        for (DWORD waited = 0; !FileExists(log + ".ready") && waited < 15000; waited += 50)
            Sleep(50);
        EXPECT_TRUE(FileExists(log + ".ready")) << "the recorder did not get ready";
    }

    /* Stops the service and returns the commands it received, each as sent. */
    std::vector<std::string> Commands()
    {
        PostThreadMessageA(process.dwThreadId, WM_QUIT, 0, 0);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 15000));
        std::string bytes = ReadFileBytes(log), text;
        std::vector<std::string> commands;
        for (size_t at = 0; at + 4 <= bytes.size();) {
            size_t length = (BYTE)bytes[at] | (BYTE)bytes[at + 1] << 8 |
                            (BYTE)bytes[at + 2] << 16 | (size_t)(BYTE)bytes[at + 3] << 24;
            commands.push_back(bytes.substr(at + 4, length));
            at += 4 + length;
        }
        return commands;
    }

    ~RecordingShell()
    {
        if (!process.hProcess)
            return;
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
};

/* Each command as the shell must receive it: the text and its terminating zero. */
static std::string Sent(const std::string &text) { return text + '\0'; }

class ProgramGroup : public KxTest {};

TEST_F(ProgramGroup, Install_SendsTheGroupRemovesEarlierItemsAndAddsBothInOrder)
{
    RecordingShell shell;
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
    RecordingShell shell;
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
    RecordingShell shell;
    CreateProgramGroup(folder.c_str(), CompStatusDisplay);

    std::vector<std::string> commands = shell.Commands();
    ASSERT_EQ(6u, commands.size());
    EXPECT_EQ(Sent("[DeleteItem(KxConsole)]"), commands[4]);
    EXPECT_EQ(Sent("[AddItem(\"" + folder + "\\kxcons.exe\",KxConsole,,0)]"), commands[5]);
}

TEST_F(ProgramGroup, Uninstall_SendsOnlyDeleteGroup)
{
    RecordingShell shell;
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
