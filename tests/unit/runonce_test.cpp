#include "tests/unit/harness.h"
#include "integration/integration.h"
#include "change/change.h"

DECLARE_IMPORT_SLOT(CreateProcessA);

/* Per start: the command line, the current folder and the show command. */
struct Start {
    std::string commandLine, folder;
    WORD show;
};
static std::vector<Start> started;
static bool grpConvPresentAtStart;

static BOOL WINAPI RecordingCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                          LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR folder,
                                          LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process)
{
    started.push_back({ std::string(application ? "(application given) " : "") + commandLine,
                        folder ? folder : "(inherited)",
                        (WORD)((startup->dwFlags & STARTF_USESHOWWINDOW) ? startup->wShowWindow : 0xFFFF) });
    grpConvPresentAtStart = RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv") != "(missing)";
    process->hProcess = CreateEventA(NULL, FALSE, FALSE, NULL);
    process->hThread = CreateEventA(NULL, FALSE, FALSE, NULL);
    return TRUE;
}

class RunOnceEntries : public KxTest {
protected:
    RegistrySnapshot runOnce{HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY};
    std::string setupPath = std::string(KX_RUNONCE_KEY) + "\\Setup";

    void SetUp() override
    {
        KxTest::SetUp();
        started.clear();
        ASSERT_TRUE(runOnce.existed) << "a fresh prefix has the RunOnce key";
        DeleteKeyTree(HKEY_LOCAL_MACHINE, setupPath.c_str());
    }
};

TEST_F(RunOnceEntries, WithSetupSubkey_WritesWrapperAndGrpConvWithTheirZeros)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, setupPath.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, 0, KEY_SET_VALUE, &key));
    RegSetValueExA(key, "GrpConv", 0, REG_SZ, (const BYTE *)"old value", 10);
    RegCloseKey(key);
    FAKE_IMPORT(CreateProcessA, RecordingCreateProcess);
    RegWriteRecorder recorder;

    EXPECT_EQ(ERROR_SUCCESS, WriteRunOnceEntries(0));

    /* The registry would add a missing zero itself, so the counts passed are
     * what shows that the zero is included. */
    ASSERT_EQ(2u, recorder.writes.size());
    EXPECT_EQ("Wrapper", recorder.writes[0].name);
    EXPECT_EQ(std::string("runonce", 8), recorder.writes[0].bytes);
    EXPECT_EQ("GrpConv", recorder.writes[1].name);
    EXPECT_EQ(std::string("grpconv -o", 11), recorder.writes[1].bytes);
    EXPECT_EQ("runonce", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "Wrapper"));
    EXPECT_EQ("grpconv -o", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));
    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, setupPath, "Wrapper"));
    EXPECT_TRUE(started.empty()) << "startNow 0 starts nothing";
}

TEST_F(RunOnceEntries, WithoutSetupSubkey_WritesGrpConvThenStartsProcessor)
{
    FAKE_IMPORT(CreateProcessA, RecordingCreateProcess);
    grpConvPresentAtStart = false;

    EXPECT_EQ(ERROR_SUCCESS, WriteRunOnceEntries(1));

    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "Wrapper"));
    EXPECT_EQ("grpconv -o", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv"));
    ASSERT_EQ(1u, started.size());
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    /* Started in the system folder: runonce looks for what it starts in its
     * current folder before the system folder. */
    EXPECT_EQ("\"" + std::string(system) + "\\runonce.exe\" -r", started[0].commandLine);
    EXPECT_EQ(std::string(system), started[0].folder);
    EXPECT_EQ(SW_SHOWNORMAL, started[0].show);
    EXPECT_TRUE(grpConvPresentAtStart);
}

TEST_F(RunOnceEntries, MissingKey_IsNotCreatedAndNothingStarts)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY);
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY));
    FAKE_IMPORT(CreateProcessA, RecordingCreateProcess);
    RegWriteRecorder recorder;

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, WriteRunOnceEntries(1));

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY));
    EXPECT_TRUE(recorder.writes.empty());
    EXPECT_TRUE(started.empty());
}

/* An earlier value comes back with its own data; one that was not there goes. */
TEST_F(RunOnceEntries, TheJournalPutsEarlierValuesBackAndDeletesNewOnes)
{
    FAKE_IMPORT(CreateProcessA, RecordingCreateProcess);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, 0, KEY_ALL_ACCESS, &key));
    RegSetValueExA(key, "GrpConv", 0, REG_EXPAND_SZ, (const BYTE *)"earlier", 8);
    RegDeleteValueA(key, "Wrapper");
    RegCloseKey(key);
    RegCreateKeyA(HKEY_LOCAL_MACHINE, setupPath.c_str(), &key);
    RegCloseKey(key);

    BeginJournal(NULL);
    WriteRunOnceEntries(0);
    ASSERT_EQ("runonce", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "Wrapper"));
    RollBack();

    EXPECT_EQ(std::string("earlier", 8), RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "GrpConv", REG_EXPAND_SZ));
    EXPECT_EQ("(missing)", RegText(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, "Wrapper"));
}
