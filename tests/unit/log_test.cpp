#include "tests/unit/harness.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "change/change.h"
#include "tests/unit/trust_support.h"
#include <sddl.h>

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

static std::vector<std::string> FileLines(const std::string &file)
{
    std::string bytes = ReadFileBytes(file);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(bytes.substr(at, end - at));
    return lines;
}

/* A log line: the local time as yyyy-mm-dd hh:mm:ss.mmm, the text with every
 * control character a blank, cut to fit 2 KB with its line end. Act marks its
 * line and leaves the last error as it found it, for the change after it. */
TEST_F(OutputFile, LinesAreTimedCutAndOneLineEach)
{
    TempDir temp;
    struct Case { std::string text, line; } cases[] = {
        { "plain", "plain" },
        { "two\r\nlines\tand\x01", "two  lines and " },
        { std::string(3000, 'x'), std::string(2048 - 3 - 24, 'x') },
    };
    ASSERT_TRUE(OpenLog(temp.File("run.log").c_str()));
    for (const Case &c : cases)
        LogLine("%s", c.text.c_str());
    SetLastError(1234);
    EXPECT_EQ(1, Act("make %d", 1));
    EXPECT_EQ(1234u, GetLastError());
    CloseLog();
    ASSERT_TRUE(OpenPlan(temp.File("plan.txt").c_str()));
    SetLastError(5678);
    EXPECT_EQ(0, Act("make %d", 2));
    EXPECT_EQ(5678u, GetLastError());
    ResetRun();

    std::vector<std::string> lines = FileLines(temp.File("run.log"));
    lines.push_back(FileLines(temp.File("plan.txt")).at(0));
    std::vector<std::string> want;
    for (const Case &c : cases)
        want.push_back(c.line);
    want.push_back("> make 1");
    want.push_back("> make 2");
    ASSERT_EQ(want.size(), lines.size());
    const std::string shape = "dddd-dd-dd dd:dd:dd.ddd ";
    for (size_t i = 0; i < lines.size(); i++) {
        ASSERT_LE(shape.size(), lines[i].size());
        for (size_t k = 0; k < shape.size(); k++)
            EXPECT_EQ(shape[k] == 'd' ? 'd' : shape[k], isdigit((unsigned char)lines[i][k]) ? 'd' : lines[i][k])
                << lines[i];
        EXPECT_EQ(want[i], lines[i].substr(shape.size()));
    }
}

/* A plan stays a plan after its file is closed (the exit code is decided from
 * it); the reset between two runs in one process forgets it, the options and
 * the quiet answers with the record. */
TEST_F(OutputFile, ResetRunForgetsThePlanTheOptionsAndTheQuietAnswers)
{
    TempDir temp;
    ASSERT_TRUE(OpenPlan(temp.File("plan.txt").c_str()));
    CloseLog();
    EXPECT_TRUE(Planning());
    Options.quiet = 1;
    SetQuietAnswers(1);
    SetupState.statusDirChoice[0] = 'D';
    SetupState.inputPath[0] = 'E';

    ResetRun();
    EXPECT_FALSE(Planning());
    EXPECT_EQ(0, Options.quiet);
    EXPECT_EQ('\0', SetupState.statusDirChoice[0]);
    EXPECT_EQ('\0', SetupState.inputPath[0]);
    KxMessageBox(NULL, "shown", "kxsetup", MB_OK);
    ExpectOneBox("kxsetup", "shown", MB_OK);
}

static std::string madeWith;
static HANDLE WINAPI RecordSecurity(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE model)
{
    char *text = NULL;
    if (security && ConvertSecurityDescriptorToStringSecurityDescriptorA(
                        security->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, NULL)) {
        madeWith = text;
        LocalFree(text);
    }
    return REAL(CreateFileA)(path, access, share, security, disposition, flags, model);
}

/* Another account could read a log it owns, or edit the plan the
 * administrator reviews: such a file is refused; a new one is made for the
 * administrators. */
TEST_F(OutputFile, OneAnotherAccountOwnsIsRefusedAndANewOneIsTheAdministrators)
{
    TempDir temp;
    temp.Write("owned.log", "");
    const std::string owned = temp.File("owned.log");
    FakeSecurity security;
    FakeSecurity::Folder(owned, "O:BUD:(A;;FA;;;BU)");
    std::string line = "kxsetup.exe /log=" + owned;
    commandLine = line.c_str();
    FAKE_IMPORT(GetCommandLineA, FakeCommandLine);

    EXPECT_EQ(KX_EXIT_BAD_LOG, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    ExpectOneBox("kxsetup", ("The file " + owned + " is not used: it is owned by another user.").c_str(),
                 MB_OK | MB_ICONERROR);

    ResetRun();
    FAKE_IMPORT(CreateFileA, RecordSecurity);
    madeWith.clear();
    line = "kxsetup.exe /log=" + temp.File("new.log") + " /no-such-option";
    commandLine = line.c_str();
    EXPECT_EQ(KX_EXIT_BAD_COMMAND_LINE, RunSetupProgram(GetModuleHandleA(NULL), SW_SHOWNORMAL));
    TakeBoxes();
    EXPECT_EQ("D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FR;;;BU)", madeWith);
}
