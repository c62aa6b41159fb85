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

/* A journal read back is input: the child's journal, torn or garbled, is
 * replayed without a crash; each step is either undone or named in the log
 * with why not, and only a file that is no journal keeps the marker. */
class DamagedJournal : public InterruptedRun {
protected:
    std::string folder, saved;
    size_t steps = 0;
    std::vector<size_t> ends; /* where each step ends in the file */
    void SetUp() override
    {
        InterruptedRun::SetUp();
        RunChild();
        ASSERT_FALSE(HasFatalFailure());
        folder = RunFolders()[0];
        saved = ReadFileBytes(folder + "\\journal");
        /* Keeps the folder standing whatever is undone. */
        WriteBytes(folder + "\\keep", "");
        for (size_t at = 4; at + 16 <= saved.size(); steps++) {
            DWORD sizes[2];
            memcpy(sizes, &saved[at + 4], sizeof(sizes));
            at += 16 + sizes[0] + sizes[1];
            ends.push_back(at);
        }
        ASSERT_EQ(3u, steps);
        ASSERT_EQ(saved.size(), ends.back());
    }
    static void WriteBytes(const std::string &path, const std::string &bytes)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD done = 0;
        WriteFile(file, bytes.data(), (DWORD)bytes.size(), &done, NULL);
        CloseHandle(file);
    }
    /* The machine as the child left it, the journal as `bytes`, then the next
     * start's take-back (or the journal's replay alone): its answer, and the
     * log's lines in `lines`. */
    std::vector<std::string> lines;
    int Replay(const std::string &bytes, bool start = true)
    {
        SetValue("later");
        dir.Write("replaced", "later");
        dir.Write("made", "later");
        WriteBytes(folder + "\\1", "earlier");
        WriteBytes(folder + "\\journal", bytes);
        HKEY key;
        RegCreateKeyA(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY, &key);
        RegSetValueExA(key, "Journal", 0, REG_SZ, (const BYTE *)folder.c_str(), (DWORD)folder.size() + 1);
        RegCloseKey(key);
        DeleteFileA(log.c_str());
        EXPECT_TRUE(OpenLog(log.c_str()));
        DefineRunUndo();
        int taken = start ? TakeBack() : ReplayJournal(folder.c_str()) == ReplayDone;
        CloseLog();
        lines = ReadLines(log);
        return taken;
    }
    size_t Count(const std::string &text)
    {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string &l) { return l.find(text) != std::string::npos; });
    }
};

TEST_F(DamagedJournal, CutAtEveryByteTheWholeStepsBeforeTheCutAreUndone)
{
    for (size_t cut = 0; cut <= saved.size(); cut++) {
        int taken = Replay(saved.substr(0, cut), cut < 8);
        size_t whole = std::count_if(ends.begin(), ends.end(), [&](size_t end) { return end <= cut; });
        if (cut < 4) {
            EXPECT_EQ(-1, taken) << cut;
            EXPECT_EQ(1u, Count("is not a journal of this program")) << cut;
            EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY)) << cut;
            continue;
        }
        ASSERT_EQ(1, taken) << cut;
        EXPECT_EQ(whole, UndoLines().size()) << cut;
        bool boundary = cut == 4 || std::count(ends.begin(), ends.end(), cut);
        EXPECT_EQ(boundary ? 0u : 1u, Count("journal step " + std::to_string(whole + 1) + " ")) << cut;
        EXPECT_EQ(whole ? "earlier" : "later", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value")) << cut;
        EXPECT_EQ(cut >= 8, KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY)) << cut;
    }
}

/* Every field, of the steps' heads and of their data, at 0 and at its
 * largest: nothing is undone but the journal's own steps, and a step that is
 * not undone is named (a step whose sizes no longer fit ends the list, and
 * what follows it may read as steps of garbage). */
TEST_F(DamagedJournal, EachFieldAtItsExtremesIsUndoneOrNamed)
{
    ASSERT_EQ(1, Replay(saved, false));
    std::vector<std::string> own;
    for (const std::string &line : UndoLines())
        own.push_back(line.substr(0, line.find(" / ")));
    ASSERT_EQ(steps, own.size());
    for (size_t at = 4; at + 4 <= saved.size(); at += 4)
        for (DWORD extreme : { 0u, 0xFFFFFFFFu }) {
            std::string bytes = saved;
            memcpy(&bytes[at], &extreme, 4);
            ASSERT_EQ(1, Replay(bytes, false)) << at;
            std::vector<std::string> undone = UndoLines();
            for (const std::string &line : undone) {
                EXPECT_EQ(1, std::count(own.begin(), own.end(), line.substr(0, line.find(" / ")))) << at << line;
            }
            if (undone.size() < steps) {
                EXPECT_LE(1u, Count("journal step ")) << at;
            }
        }
}

/* A file step's backup that points out of the journal's folder is not
 * copied over its target; the other steps are undone. */
TEST_F(DamagedJournal, ABackupOutsideTheFolderIsNotCopiedBack)
{
    std::string bytes = saved, own = folder + "\\1", outside = folder + "\\..\\1";
    size_t at = bytes.find(own);
    ASSERT_NE(std::string::npos, at);
    bytes.replace(at, outside.size() + 1, outside + '\0');
    dir.Write("outside", "planted");
    ASSERT_EQ(1, Replay(bytes));
    EXPECT_EQ(1u, Count("journal step 2 (kind 2) skipped: its backup is not one of the journal's folder"));
    EXPECT_EQ(2u, UndoLines().size());
    EXPECT_EQ("later", ReadFileBytes(dir.File("replaced")));
    EXPECT_EQ("earlier", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
    EXPECT_FALSE(FileExists(dir.File("made")));
}

/* A journal of the other pointer width, or one that is held open, is not
 * read: marker, journal and backups stay for the administrator, and nothing
 * is undone. */
TEST_F(DamagedJournal, AJournalThatCannotBeReadKeepsTheMarkerAndTheFolder)
{
    std::string bytes = saved;
    DWORD otherWidth = 0x314A584Bu + 12 - (DWORD)sizeof(void *);
    memcpy(&bytes[0], &otherWidth, 4);
    EXPECT_EQ(-1, Replay(bytes));
    EXPECT_EQ(1u, Count("(its build has pointers of another width)"));

    HANDLE held = CreateFileA((folder + "\\journal").c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    SetValue("later");
    ASSERT_TRUE(OpenLog(log.c_str()));
    EXPECT_EQ(-1, TakeBack());
    CloseLog();
    CloseHandle(held);
    EXPECT_NE(std::string::npos, ReadFileBytes(log).find("cannot be read: error 32"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, KX_RUN_MARKER_KEY));
    EXPECT_TRUE(FileExists(folder + "\\1"));
    EXPECT_TRUE(UndoLines().empty());
    EXPECT_EQ("later", RegText(HKEY_LOCAL_MACHINE, valueKey, "Value"));
}
