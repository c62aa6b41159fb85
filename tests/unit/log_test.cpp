#include "tests/unit/harness.h"
#include "shell/shell.h"
#include "base/base.h"

DECLARE_IMPORT_SLOT(CreateFileA);
DECLARE_IMPORT_SLOT(GetFileInformationByHandle);
DECLARE_IMPORT_SLOT(GetCommandLineA);

static std::vector<std::pair<DWORD, DWORD>> opened; /* disposition, flags */
static HANDLE WINAPI RecordOpen(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model)
{
    opened.push_back(std::make_pair(disposition, flags));
    return REAL(CreateFileA)(path, access, share, security, disposition, flags, model);
}

static BOOL WINAPI ReparsePoint(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    BOOL got = REAL(GetFileInformationByHandle)(file, information);
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return got;
}

static const char *commandLine;
static LPSTR WINAPI FakeCommandLine(void) { return (LPSTR)commandLine; }

/* The log and the plan are written only into a plain disk file with one name,
 * opened as itself; a plan's file is emptied only after that check. */
class OutputFile : public KxTest {};

TEST_F(OutputFile, OnlyAPlainDiskFileWithOneName)
{
    TempDir temp;
    temp.Write("other.txt", "someone else's");
    ASSERT_TRUE(CreateHardLinkA(temp.File("link.txt").c_str(), temp.File("other.txt").c_str(), NULL));

    EXPECT_FALSE(OpenPlan(temp.File("link.txt").c_str()));
    EXPECT_STREQ("it has more than one name", OutputRefusal());
    EXPECT_FALSE(Planning());
    EXPECT_FALSE(OpenLog(temp.File("link.txt").c_str()));
    EXPECT_EQ("someone else's", ReadFileBytes(temp.File("other.txt")));

    EXPECT_FALSE(OpenLog("NUL"));
    EXPECT_STREQ("it is not a file on a disk", OutputRefusal());
    EXPECT_FALSE(LogIsOpen());
    {
        FAKE_IMPORT(GetFileInformationByHandle, ReparsePoint);
        EXPECT_FALSE(OpenLog(temp.File("run.log").c_str()));
        EXPECT_STREQ("it is a link to another place", OutputRefusal());
    }
    EXPECT_FALSE(OpenLog(temp.File("missing\\run.log").c_str()));
    EXPECT_STREQ("", OutputRefusal());

    temp.Write("plan.txt", "an older plan");
    opened.clear();
    {
        FAKE_IMPORT(CreateFileA, RecordOpen);
        EXPECT_TRUE(OpenLog(temp.File("run.log").c_str()));
        EXPECT_TRUE(OpenPlan(temp.File("plan.txt").c_str()));
    }
    CloseLog();
    EXPECT_EQ("", ReadFileBytes(temp.File("plan.txt")));
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT |
                        SECURITY_IDENTIFICATION;
    const std::vector<std::pair<DWORD, DWORD>> expected = { { OPEN_ALWAYS, flags }, { OPEN_ALWAYS, flags } };
    EXPECT_EQ(expected, opened);

    /* The refusal is told with its reason, and the run ends before it starts. */
    commandLine = "kxsetup.exe /log=NUL";
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);
    EXPECT_EQ(KX_EXIT_BAD_LOG, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    ExpectOneBox("kxsetup", "The file NUL is not used: it is not a file on a disk.", MB_OK | MB_ICONERROR);
}
