#include "tests/unit/harness.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "base/base.h"

/* Windows asks for the medium (SPFILENOTIFY_NEEDMEDIA) and about newer files on
 * the target, which Wine never does: a quiet run must answer both itself, and
 * never with anything that waits for a person. */
TEST(QuietQueue, AnswersEveryQuestionWithoutAPerson)
{
    TempDir medium;
    medium.Write("kxpcl6.dll", "driver");
    SOURCE_MEDIA_A present = {};
    present.SourcePath = medium.path.c_str();
    present.SourceFile = "kxpcl6.dll";
    SOURCE_MEDIA_A missing = present;
    missing.SourceFile = "kxps.dll";
    std::string target = medium.path + "\\copy.dll";
    FILEPATHS_A failed = {};
    failed.Source = present.SourceFile;
    failed.Target = target.c_str();
    failed.Win32Error = ERROR_ACCESS_DENIED;

    EXPECT_EQ((UINT)TRUE, QuietQueueAnswer(SPFILENOTIFY_STARTQUEUE, 0, 0));
    EXPECT_EQ((UINT)FILEOP_DOIT, QuietQueueAnswer(SPFILENOTIFY_STARTCOPY, (UINT_PTR)&failed, 0));
    EXPECT_EQ((UINT)FILEOP_DOIT, QuietQueueAnswer(SPFILENOTIFY_NEEDMEDIA, (UINT_PTR)&present, 0));

    SetLastError(0);
    EXPECT_EQ((UINT)FILEOP_ABORT, QuietQueueAnswer(SPFILENOTIFY_NEEDMEDIA, (UINT_PTR)&missing, 0));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ((UINT)FILEOP_ABORT, QuietQueueAnswer(SPFILENOTIFY_COPYERROR, (UINT_PTR)&failed, 0));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ((UINT)FILEOP_SKIP, QuietQueueAnswer(SPFILENOTIFY_DELETEERROR, (UINT_PTR)&failed, 0));
    /* A newer file on the target is kept, as a person would be advised to. */
    EXPECT_EQ((UINT)FALSE, QuietQueueAnswer(SPFILENOTIFY_STARTCOPY | SPFILENOTIFY_TARGETNEWER,
                                            (UINT_PTR)&failed, 0));
}

/* The version question is answered by a person (SetupAPI's dialog) or by the
 * quiet answer: the log tells which way it went. */
TEST(QueueLog, VersionCheckTellsTheAnswerGiven)
{
    TempDir dir;
    FILEPATHS_A paths = {};
    paths.Source = "C:\\medium\\kxps.dll";
    paths.Target = "C:\\drivers\\kxps.dll";

    ASSERT_TRUE(OpenLog(dir.File("run.log").c_str()));
    LogQueueNotification(SPFILENOTIFY_TARGETNEWER, (UINT_PTR)&paths, TRUE);
    LogQueueNotification(SPFILENOTIFY_ENDCOPY, (UINT_PTR)&paths, 0);
    LogQueueNotification(SPFILENOTIFY_TARGETNEWER, (UINT_PTR)&paths, FALSE);
    /* SetupAPI ends the copy it skipped as if it had made it */
    LogQueueNotification(SPFILENOTIFY_ENDCOPY, (UINT_PTR)&paths, 0);
    CloseLog();

    std::string log = ReadFileBytes(dir.File("run.log"));
    size_t replaced = log.find("copy replaces newer target C:\\drivers\\kxps.dll\r\n");
    size_t kept = log.find("copy kept newer target C:\\drivers\\kxps.dll\r\n");
    EXPECT_NE(std::string::npos, replaced);
    EXPECT_NE(std::string::npos, kept);
    EXPECT_LT(replaced, kept);
    size_t copied = log.find("copied C:\\medium\\kxps.dll -> C:\\drivers\\kxps.dll\r\n");
    EXPECT_LT(copied, kept);
    EXPECT_EQ(std::string::npos, log.find("copied", copied + 1)) << log;
}

/* SetupAPI on Windows finds a source in its compressed form (the last
 * character turned into '_' or '$') and expands it; a quiet run that asks for
 * the disk must find it the same way instead of ending the run. */
TEST(QuietQueue, FindsACompressedSourceAsWindowsDoes)
{
    TempDir medium;
    medium.Write("kxps.dl_", "SZDD");
    medium.Write("kxpsui.dl$", "SZDD");
    medium.Write("q70ps.pp$", "SZDD");
    SOURCE_MEDIA_A media = {};
    media.SourcePath = medium.path.c_str();
    struct Case { const char *asked; UINT answer; } cases[] = {
        {"kxps.dll", FILEOP_DOIT}, {"kxpsui.dll", FILEOP_DOIT}, {"kxps.dl_", FILEOP_DOIT},
        /* a name that ends in '_' has no compressed form of its own */
        {"q70ps.pp_", FILEOP_ABORT}, {"kxps.hlp", FILEOP_ABORT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.asked);
        media.SourceFile = c.asked;
        EXPECT_EQ(c.answer, QuietQueueAnswer(SPFILENOTIFY_NEEDMEDIA, (UINT_PTR)&media, 0));
    }
}

/* A medium that SetupAPI asks for again though its file is there (its tag
 * file missing) gets one retry, then the commit is aborted; the next commit
 * starts afresh. */
TEST(QuietQueue, GivesUpOnAMediumAskedForAgain)
{
    TempDir medium;
    medium.Write("kxpcl6.dll", "driver");
    SOURCE_MEDIA_A media = {};
    media.SourcePath = medium.path.c_str();
    media.SourceFile = "kxpcl6.dll";
    for (int commit = 0; commit < 2; commit++) {
        SCOPED_TRACE(commit);
        EXPECT_EQ((UINT)TRUE, QuietQueueAnswer(SPFILENOTIFY_STARTQUEUE, 0, 0));
        EXPECT_EQ((UINT)FILEOP_DOIT, QuietQueueAnswer(SPFILENOTIFY_NEEDMEDIA, (UINT_PTR)&media, 0));
        SetLastError(0);
        EXPECT_EQ((UINT)FILEOP_ABORT, QuietQueueAnswer(SPFILENOTIFY_NEEDMEDIA, (UINT_PTR)&media, 0));
        EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    }
}
