#include "tests/unit/harness.h"
#include "tests/unit/shell_support.h"
#include "run/run.h"
#include "integration/integration.h"
#include "change/change.h"
#include <algorithm>

/* An install that is killed halfway: a child process of this test program
 * journals and makes three changes (a value, a replaced file, a new file),
 * then ends itself the hard way. The next start takes them back. */
static const char valueKey[] = "Software\\KxTest\\Interrupted";
static const char childFilter[] = "InterruptedChild.DISABLED_ChangesThreeThingsAndDies";

static void SetValue(const char *text)
{
    HKEY key;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, valueKey, &key);
    RegSetValueExA(key, "Value", 0, REG_SZ, (const BYTE *)text, lstrlenA(text) + 1);
    RegCloseKey(key);
}

TEST(InterruptedChild, DISABLED_ChangesThreeThingsAndDies)
{
    char folder[MAX_PATH];
    ASSERT_TRUE(GetEnvironmentVariableA("KX_CHILD_FOLDER", folder, sizeof(folder)));
    std::string replaced = std::string(folder) + "\\replaced", made = std::string(folder) + "\\made";
    ASSERT_TRUE(OpenRunJournal());
    ASSERT_TRUE(JournalValue(HKEY_LOCAL_MACHINE, "HKLM", valueKey, "Value"));
    Act("registry set");
    SetValue("later");
    ASSERT_TRUE(JournalTarget(replaced.c_str()));
    ASSERT_TRUE(JournalTarget(made.c_str()));
    Act("copies");
    TempDir scratch;
    scratch.Write("x", "later");
    CopyFileA(scratch.File("x").c_str(), replaced.c_str(), FALSE);
    CopyFileA(scratch.File("x").c_str(), made.c_str(), FALSE);
    TerminateProcess(GetCurrentProcess(), 9);
}

class InterruptedRun : public KxTest {
protected:
    TempDir dir;
    std::string log = dir.File("next.log");
    void SetUp() override
    {
        KxTest::SetUp();
        SetValue("earlier");
        dir.Write("replaced", "earlier");
    }
    void TearDown() override
    {
        ResetLog();
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\KxTest");
        DeleteKeyTree(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY);
        for (const std::string &folder : RunFolders())
            RemoveTree(folder);
        KxTest::TearDown();
    }
    static std::vector<std::string> RunFolders()
    {
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof(windows));
        std::vector<std::string> found;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((std::string(windows) + "\\kxsetup-run-*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do
                found.push_back(std::string(windows) + "\\" + data.cFileName);
            while (FindNextFileA(search, &data));
            FindClose(search);
        }
        return found;
    }
    void RunChild()
    {
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof(self));
        std::string command = std::string("\"") + self + "\" --gtest_also_run_disabled_tests --gtest_filter=" + childFilter;
        SetEnvironmentVariableA("KX_CHILD_FOLDER", dir.path.c_str());
        STARTUPINFOA start = {};
        start.cb = sizeof(start);
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &start, &process));
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        ASSERT_EQ(9u, code) << "the child did not get to its end";
        ASSERT_EQ(1u, RunFolders().size());
        ASSERT_EQ("later", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    }
    static int TakeBack()
    {
        char folder[MAX_PATH];
        return TakeBackInterrupted(folder, sizeof(folder));
    }
    /* The undo lines of the log with their outcome: "restore X / ok". */
    std::vector<std::string> UndoLines()
    {
        const size_t mark = sizeof("2026-12-08 15:40:12.345 ") - 1;
        std::vector<std::string> undo;
        for (const std::string &line : ReadLines(log)) {
            std::string text = line.size() > mark ? line.substr(mark) : "";
            if (text.compare(0, 2, "< ") == 0)
                undo.push_back(text.substr(2));
            else if (!undo.empty() && (text.compare(0, 4, "  ok") == 0 || text.compare(0, 8, "  failed") == 0))
                undo.back() += " /" + text.substr(1);
        }
        return undo;
    }
};

TEST_F(InterruptedRun, TheNextStartUndoesWhatAKilledRunJournaledLastFirst)
{
    RunChild();
    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(1, TakeBack());
    CloseLog();

    const std::vector<std::string> expected = {
        "delete " + dir.File("made") + " / ok",
        "restore " + dir.File("replaced") + " / ok",
        std::string("registry restore HKLM\\") + valueKey + " Value / ok",
    };
    EXPECT_EQ(expected, UndoLines());
    EXPECT_EQ("earlier", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    EXPECT_EQ("earlier", ReadFileBytes(dir.File("replaced")));
    EXPECT_FALSE(FileExists(dir.File("made")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY));
    EXPECT_TRUE(RunFolders().empty());
    EXPECT_EQ(0, TakeBack()) << "taken back once";
}

/* A backup whose bytes differ from the ones recorded is not copied back: that
 * step fails and keeps the backup, the others are undone. */
TEST_F(InterruptedRun, ATamperedBackupIsNotRestored)
{
    RunChild();
    std::string backup = RunFolders()[0] + "\\1";
    ASSERT_EQ("earlier", ReadFileBytes(backup));
    TempDir other;
    other.Write("1", "EARLIER");
    ASSERT_TRUE(CopyFileA(other.File("1").c_str(), backup.c_str(), FALSE));
    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(1, TakeBack());
    CloseLog();

    std::vector<std::string> undo = UndoLines();
    ASSERT_EQ(3u, undo.size());
    EXPECT_EQ("restore " + dir.File("replaced") + " / failed, error 23", undo[1]);
    EXPECT_EQ("later", ReadFileBytes(dir.File("replaced")));
    EXPECT_EQ("earlier", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    EXPECT_TRUE(FileExists(backup)) << "kept where the log names it";
    std::vector<std::string> lines = ReadLines(log);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &l) {
        return l.find("backup kept: " + backup) != std::string::npos;
    }));
}

/* A plan lists the undo and leaves journal, marker and changes as they are;
 * a marker that names no folder of the administrators' own is not followed. */
TEST_F(InterruptedRun, APlanListsTheUndoAndAStrangeFolderIsNotFollowed)
{
    RunChild();
    ASSERT_TRUE(OpenPlan(log.c_str()));
    EXPECT_EQ(1, TakeBack());
    ResetLog();
    EXPECT_EQ(3u, UndoLines().size());
    EXPECT_EQ("later", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    EXPECT_EQ(1u, RunFolders().size());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY));

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY, 0, KEY_SET_VALUE, &key));
    RegSetValueExA(key, "Journal", 0, REG_SZ, (const BYTE *)"journal", 8);
    RegCloseKey(key);
    EXPECT_EQ(0, TakeBack());
    EXPECT_EQ("later", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY));
}

/* SetupAPI put a copy off to the restart: the run counts it (a restart is
 * due), the undo takes its rename and its temporary file away, and leaves
 * the renames of others. */
TEST(DeferredCopy, TheUndoRemovesItsRenameAndTemporaryFile)
{
    const char *sessionKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    TempDir dir;
    dir.Write("temp1", "new");
    std::string target = dir.File("kxps.dll");
    std::string pending = "\\??\\" + dir.File("other") + '\0' + '\0' + "\\??\\" + dir.File("temp1") + '\0' +
                          "!\\??\\" + target + '\0' + '\0';
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionKey, 0, KEY_ALL_ACCESS, &key));
    RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, (const BYTE *)pending.data(),
                   (DWORD)pending.size());
    QueueContext context = { NULL, 1, 0 };
    FILEPATHS_A paths = { target.c_str(), dir.File("temp1").c_str(), 0, 0 };
    BeginJournal(NULL);
    QueueCallback(&context, SPFILENOTIFY_FILEOPDELAYED, (UINT_PTR)&paths, 0);
    EXPECT_EQ(1, context.deferred);
    RollBack();

    std::string kept = "\\??\\" + dir.File("other") + '\0' + '\0';
    EXPECT_EQ(kept + '\0', RegText(HKEY_LOCAL_MACHINE, sessionKey, "PendingFileRenameOperations", REG_MULTI_SZ));
    EXPECT_FALSE(FileExists(dir.File("temp1")));
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
}

/* A folder somebody made beforehand under the name the random source gives
 * first is not taken: the journal goes to a folder of another name. */
DECLARE_IMPORT_SLOT(CryptGenRandom);
static int randomCalls;
static BOOL WINAPI SameRandomFirst(HCRYPTPROV provider, DWORD bytes, BYTE *buffer)
{
    if (randomCalls++ == 0) {
        memset(buffer, 0x11, bytes);
        return TRUE;
    }
    return REAL(CryptGenRandom)(provider, bytes, buffer);
}

TEST_F(InterruptedRun, AFolderMadeBeforehandUnderTheNameIsNotTaken)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    std::string planted = std::string(windows) + "\\kxsetup-run-1111111111111111";
    ASSERT_TRUE(CreateDirectoryA(planted.c_str(), NULL));
    randomCalls = 0;
    {
        FAKE_IMPORT(CryptGenRandom, SameRandomFirst);
        ASSERT_TRUE(OpenRunJournal());
    }
    std::string folder = JournalFolderPath();
    EXPECT_NE(planted, folder);
    EXPECT_TRUE(FileExists(folder + "\\journal"));
    CloseRunJournal(1);
    EXPECT_FALSE(FileExists(folder));
    EXPECT_TRUE(FileExists(planted)) << "somebody else's folder is left alone";
    RemoveDirectoryA(planted.c_str());
}

/* A replaced file of the same size and time as the earlier one (a medium
 * whose files all carry one time) is put back: only the hash says a target
 * is unchanged. */
TEST(FileUndo, ASameSizeSameTimeReplacementIsPutBack)
{
    TempDir dir;
    dir.Write("target", "earlier");
    dir.Write("later", "LATER!!");
    std::string target = dir.File("target"), journal = dir.File("journal");
    ASSERT_TRUE(CreateDirectoryA(journal.c_str(), NULL));
    WIN32_FILE_ATTRIBUTE_DATA before;
    ASSERT_TRUE(GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &before));
    DefineFileUndo();
    ASSERT_TRUE(BeginJournal(journal.c_str()));
    ASSERT_TRUE(JournalTarget(target.c_str()));
    ASSERT_TRUE(CopyFileA(dir.File("later").c_str(), target.c_str(), FALSE));
    HANDLE file = CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFileTime(file, NULL, NULL, &before.ftLastWriteTime);
    CloseHandle(file);

    RollBack();

    EXPECT_EQ("earlier", ReadFileBytes(target));
    EXPECT_FALSE(FileExists(journal)) << "the backup went with its folder";
}
