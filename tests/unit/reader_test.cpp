#include "tests/unit/harness.h"
#include "setupdata/setupdata.h"
#include "change/change.h"
#include <string.h>

DECLARE_IMPORT_SLOT(SetupOpenAppendInfFileA);

static std::vector<std::string> appended;
static BOOL WINAPI RecordingAppend(PCSTR fileName, HINF, PUINT)
{
    appended.push_back(fileName);
    return TRUE;
}

class SetupInformation : public KxTest {
protected:
    TempDir dir;
    HINF inf = INVALID_HANDLE_VALUE;
    std::string folder;

    void TearDown() override
    {
        Close();
        KxTest::TearDown();
    }

    void Close()
    {
        if (inf != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(inf);
        inf = INVALID_HANDLE_VALUE;
    }

    /* Writes and opens oemsetup.inf as the run does, with the folder in layoutPath. */
    void Open(const std::string &text)
    {
        Close();
        ZeroMemory(&SetupState, sizeof(SetupState));
        ZeroMemory(SetupState.installSection, sizeof(SetupState.installSection));
        dir.Write("oemsetup.inf", text);
        folder = dir.path + "\\";
        lstrcpynA(SetupState.layoutPath, folder.c_str(), sizeof(SetupState.layoutPath));
        inf = SetupOpenInfFileA(dir.File("oemsetup.inf").c_str(), NULL, INF_STYLE_WIN4, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    }

    void Read(const std::string &text)
    {
        Open(text);
        EXPECT_EQ(1, ReadSetupInformation(inf, &SetupState));
    }

    /* Slot i as Medium() describes it, or all empty. */
    static void ExpectSlot(int i, bool filled)
    {
        std::string n = std::to_string(i + 1);
        auto want = [&](const std::string &text) { return filled ? text : std::string(); };
        EXPECT_EQ(want("Kalyx Model " + n), SetupState.modelName[i]);
        EXPECT_EQ(want("M" + n), SetupState.installSection[i]);
        EXPECT_EQ(want("m" + n + "data.dll"), SetupState.dataFile[i]);
        EXPECT_EQ(want("m" + n + "drv.dll"), SetupState.driverFile[i]);
        EXPECT_EQ(want("m" + n + "ui.dll"), SetupState.configFile[i]);
        EXPECT_EQ(want("m" + n + "ui.hlp"), SetupState.helpFile[i]);
    }
};

TEST_F(SetupInformation, OfferedComponentsFollowModelLinesAndToolSections)
{
    const std::string status = "[StatusDisplay]\r\nCopyFiles = Status.Files\r\n";
    const std::string panel = "[ControlPanel]\r\nCopyFiles = Panel.Files\r\n";
    struct Case { int models; std::string tools; DWORD offered; } cases[] = {
        {1, "", 0x01}, {2, "", 0x03}, {3, "", 0x07}, {3, status + panel, 0x37},
        {0, status, 0x10},  /* manufacturer without its model section */
        {-1, status, 0x10}, /* no manufacturer section */
        {4, panel, 0x20},   /* more models than slots: none is offered */
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.models);
        Read(Medium(c.models, c.tools));
        EXPECT_EQ(c.offered, SetupState.availableComponents);
        EXPECT_STREQ(c.models >= 0 ? "Kalyx" : "", SetupState.manufacturer);
        for (int i = 0; i < MODEL_SLOTS; i++)
            ExpectSlot(i, i < c.models && c.models <= MODEL_SLOTS);
    }
}

TEST_F(SetupInformation, DirectoryIdsComeFromTheLeadingNumber)
{
    struct Case { const char *lines; DWORD driverDirId, statusDirId; } cases[] = {
        {"[StatusDisplay]\r\nCopyFiles = Status.Files\r\n"
         "[DestinationDirs]\r\nDefaultDestDir = 10,system32\r\nStatus.Files = 24,Status\r\n", 10, 24},
        {"[StatusDisplay]\r\nCopyFiles = Status.Files\r\n"
         "[DestinationDirs]\r\nDefaultDestDir = 66000\r\nOther.Files = 24\r\n", 66000, 0},
        {"[StatusDisplay]\r\nDelFiles = Status.Files\r\n[DestinationDirs]\r\nStatus.Files = 24\r\n", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        Open(Medium(1, c.lines));
        SetupState.driverDirId = SetupState.statusDirId = 5;
        ReadSetupInformation(inf, &SetupState);
        EXPECT_EQ(c.driverDirId, SetupState.driverDirId);
        EXPECT_EQ(c.statusDirId, SetupState.statusDirId);
    }
}

TEST_F(SetupInformation, LongestFieldsAreReadAndAbsentOnesStayEmpty)
{
    std::string text = Medium(2);
    const std::string longestName = std::string(95, 'N'), longestFile = std::string(27, 'c') + ".dll";
    text.replace(text.find("Kalyx Model 1"), 13, longestName);
    text.replace(text.find("m1drv.dll"), 9, longestFile);
    text.erase(text.find("DataSection = M2.Data\r\n"), strlen("DataSection = M2.Data\r\n"));
    Read(text);

    EXPECT_EQ(longestName, SetupState.modelName[0]);
    EXPECT_EQ(longestFile, SetupState.driverFile[0]);
    EXPECT_STREQ("m1ui.hlp", SetupState.helpFile[0]);
    EXPECT_STREQ("m2data.dll", SetupState.dataFile[1]);
    EXPECT_STREQ("", SetupState.driverFile[1]);
    EXPECT_STREQ("", SetupState.configFile[1]);
    EXPECT_STREQ("", SetupState.helpFile[1]);
}

/* A field that cannot be read whole, or a file name that could lead a copy out
 * of its folder, refuses the whole file with one box naming the line. */
TEST_F(SetupInformation, FieldsThatDoNotFitAndNamesThatAreNotPlainRefuseTheFile)
{
    struct Case { const char *from; std::string to; const char *box; } cases[] = {
        {"Kalyx Model 1", "Kalyx Model 1 with a name that is far too long for the ninety-five characters that it may have, and more",
         "section [Kalyx], line 1: the model name does not fit 95 characters."},
        {"= M2", "= M2,with an install section text that is far too long for the ninety-five characters it may have, and more",
         "section [Kalyx], line 2: the install section name does not fit 95 characters."},
        {"m1data.dll", "a-data-file-of-32-characters.dll",
         "section [Kalyx], line 1: the DataFile value does not fit 31 characters."},
        {"m2drv.dll", "..\\evil.dll",
         "section [Kalyx], line 2: the file name \"..\\evil.dll\" is not a plain file name."},
        {"m1ui.dll", "C:ui.dll", "section [Kalyx], line 1: the file name \"C:ui.dll\" is not a plain file name."},
        {"m2ui.hlp", "..", "section [Kalyx], line 2: the file name \"..\" is not a plain file name."},
        {"layout.inf", "../layout.inf",
         "section [Version], line LayoutFile: the file name \"../layout.inf\" is not a plain file name."},
        {"Kalyx Model 1", "\\\\server\\Model 1",
         "section [Kalyx], line 1: the model name \"\\\\server\\Model 1\" holds a backslash or a comma."},
        {"Kalyx Model 2", "Kalyx, Model 2",
         "section [Kalyx], line 2: the model name \"Kalyx, Model 2\" holds a backslash or a comma."},
        {"M2.Data\r\n", "M2.Data" + std::string(89, 'd') + "\r\n",
         "section [Kalyx], line 2: the DataSection value does not fit 95 characters."},
        {"Kalyx\r\n[Kalyx]", "Kalyx" + std::string(91, 'k') + "\r\n[Kalyx]",
         "section [Manufacturer], line 1: the manufacturer does not fit 95 characters."},
        /* the lists whose every line a log or plan describes */
        {"[M1]\r\n", ("[Old.Files]\r\nold.ini\r\n" + std::string(260, 'o') + ".ini\r\n[M1]\r\nDelFiles = Old.Files\r\n"),
         "section [Old.Files], line 2: the line does not fit 259 characters."},
        {"[M1]\r\n", ("[DefaultUninstall]\r\nUpdateInis = Ini, " + std::string(96, 'i') + "\r\n[Ini]\r\nkx.ini,Printers,,\"Kalyx=0\"\r\n[M1]\r\n"),
         "section [DefaultUninstall], line UpdateInis: a list name does not fit 95 characters."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.to);
        std::string text = Medium(2);
        text.replace(text.find(c.from), strlen(c.from), c.to);
        Open(text);
        EXPECT_EQ(0, ReadSetupInformation(inf, &SetupState));
        ExpectOneBox("Install Error", (std::string("oemsetup.inf, ") + c.box).c_str(), MB_OK);
    }
}

TEST_F(SetupInformation, ModelSectionThatContinuesInTheLayoutFileFillsEverySlot)
{
    std::string text = Medium(3);
    const size_t from = text.find("\"Kalyx Model 2\""), to = text.find("[M1]");
    dir.Write("layout.inf", "[Version]\r\nSignature=\"$Chicago$\"\r\n[Kalyx]\r\n" + text.substr(from, to - from));
    text.erase(from, to - from);
    Read(text);

    EXPECT_EQ(0x07u, SetupState.availableComponents);
    for (int i = 0; i < MODEL_SLOTS; i++)
        ExpectSlot(i, true);
}

TEST_F(SetupInformation, LayoutFileIsAppendedAndItsSectionsBecomeVisible)
{
    dir.Write("layout.inf", "[Version]\r\nSignature=\"$Chicago$\"\r\n[SourceDisksNames]\r\n1 = \"Disk 1\",,,\r\n"
                            "[SourceDisksFiles]\r\nm1drv.dll = 1\r\nm1ui.dll = 1\r\nm1ui.hlp = 1\r\n");
    std::string text = Medium(1);
    text.replace(0, strlen(versionSection), "[VERSION]\r\nSignature=\"$Chicago$\"\r\nlayoutfile = layout.inf\r\n");
    Open(text);
    ASSERT_EQ(-1, SetupGetLineCountA(inf, "SourceDisksFiles"));

    ReadSetupInformation(inf, &SetupState);

    EXPECT_EQ(folder + "layout.inf", SetupState.layoutPath);
    EXPECT_EQ(3, SetupGetLineCountA(inf, "SourceDisksFiles"));
}

TEST_F(SetupInformation, MissingLayoutFileShowsOneBoxAndReadingGoesOn)
{
    std::string text = Medium(1);
    text.replace(0, strlen(versionSection), "[Version]\r\nSignature=\"$Chicago$\"\r\n");
    Read(text);

    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError--Layout.inf", boxes[0].caption);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, boxes[0].style);
    EXPECT_TRUE(boxes[0].owner == NULL);
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_EQ(folder, SetupState.layoutPath);
    ExpectSlot(0, true);
}

TEST_F(SetupInformation, LayoutPathThatDoesNotFitIsRefusedWhole)
{
    Open(Medium(1));
    appended.clear();
    FAKE_IMPORT(SetupOpenAppendInfFileA, RecordingAppend);

    /* With "layout.inf" (10 characters): 287 characters fit the buffer, 288 do not. */
    for (int length : {277, 278}) {
        const std::string given = "C:\\" + std::string(length - 4, 'd') + "\\";
        lstrcpynA(SetupState.layoutPath, given.c_str(), sizeof(SetupState.layoutPath));
        appended.clear();
        ReadSetupInformation(inf, &SetupState);
        if (length == 277) {
            EXPECT_EQ(given + "layout.inf", SetupState.layoutPath);
            ASSERT_EQ(1u, appended.size());
            EXPECT_EQ(given + "layout.inf", appended[0]);
        } else {
            EXPECT_EQ(given, SetupState.layoutPath);
            EXPECT_TRUE(appended.empty());
        }
    }
}

/* A file name reaches a file of that name in its folder and nothing else: no
 * device, no name that Windows would shorten, no wildcard or control character. */
TEST_F(SetupInformation, FileNamesThatAreNotPlainAreRefusedAndPlainOnesTaken)
{
    struct Case { const char *name; bool plain; } cases[] = {
        {"CON", false}, {"con.dll", false}, {"Prn.hlp", false}, {"aux", false}, {"NUL .txt", false},
        {"COM1", false}, {"com9.dll", false}, {"LPT1.hlp", false}, {"lPt9", false},
        {"COM\xB9.dll", false}, {"lpt\xB2", false}, {"LPT\xB3.x", false},
        {"CONIN$", false}, {"conout$.dll", false}, {"CLOCK$.hlp", false},
        {"...", false}, {". .", false}, {"kx.dll.", false}, {"kx.dll ", false},
        {"a*b.dll", false}, {"a?.dll", false}, {"a<b.dll", false}, {"a>b.dll", false},
        {"a|b.dll", false}, {"a\"b.dll", false}, {"a\tb.dll", false},
        {"COM10.dll", true}, {"LPT0.dll", true}, {"com.dll", true}, {"console.dll", true},
        {"nul1.dll", true}, {"kxps.dl_", true}, {"a b.dll", true}, {".hidden", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string quoted = "\"";
        for (const char *p = c.name; *p; p++)
            quoted += *p == '"' ? std::string("\"\"") : std::string(1, *p);
        std::string text = Medium(1);
        text.replace(text.find("m1drv.dll"), 9, quoted + "\"");
        Open(text);
        EXPECT_EQ(c.plain ? 1 : 0, ReadSetupInformation(inf, &SetupState));
        if (c.plain) {
            EXPECT_STREQ(c.name, SetupState.driverFile[0]);
        } else {
            ExpectOneBox("Install Error", (std::string("oemsetup.inf, section [Kalyx], line 1: the file name \"") +
                                           c.name + "\" is not a plain file name.").c_str(), MB_OK);
        }
    }
}

/* The medium's digest list: "name size sha256" read from the right (a name
 * may hold blanks), the hash in lower case only; every other line is named
 * as not one, and a path outside the medium is never looked up. */
TEST_F(KxTest, DigestListGivesTheRecordsFormOfEachWellFormedLine)
{
    TempDir medium, other;
    const std::string hash(64, 'c'), folder = medium.path + "\\";
    medium.Write(KX_DIGEST_LIST, "kxps.dll 12 " + hash + "\r\nname with blanks.hlp 7 " + hash +
                                     "\nupper.dll 3 " + std::string(64, 'C') +
                                     "\n\nshort.dll 3 abcd\nnosize.dll " + hash + "\n");
    ASSERT_EQ(0, LoadDigestList((other.path + "\\").c_str()));
    ASSERT_EQ(1, LoadDigestList(folder.c_str()));
    char digest[DIGEST_TEXT_CHARS];
    ASSERT_EQ(1, ListedDigest((folder + "KXPS.DLL").c_str(), digest));
    EXPECT_STREQ(("sha256:" + hash + " 12").c_str(), digest);
    ASSERT_EQ(1, ListedDigest((folder + "name with blanks.hlp").c_str(), digest));
    EXPECT_STREQ(("sha256:" + hash + " 7").c_str(), digest);
    EXPECT_EQ(0, ListedDigest((folder + "upper.dll").c_str(), digest));
    EXPECT_EQ(0, ListedDigest((other.path + "\\kxps.dll").c_str(), digest));

    std::vector<std::string> lines;
    EachListedFile([](void *context, const char *name, const char *digest) {
        ((std::vector<std::string> *)context)->push_back(std::string(name) + (digest ? ": ok" : ": refused"));
    }, &lines);
    const std::vector<std::string> expected = { "kxps.dll: ok", "name with blanks.hlp: ok",
                                                "upper.dll 3 " + std::string(64, 'C') + ": refused",
                                                "short.dll 3 abcd: refused", "nosize.dll " + hash + ": refused" };
    EXPECT_EQ(expected, lines);
}
