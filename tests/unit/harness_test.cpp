#include "tests/unit/harness.h"
#include "setupdata/setupdata.h"

DECLARE_IMPORT_SLOT(GetVersionExA);

static BOOL WINAPI FakeWin95(OSVERSIONINFOA *info)
{
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

static DWORD PlatformSeenByProgramCode()
{
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) ? info.dwPlatformId : 0;
}

TEST(Harness, ImportSwapLastsForTheScopeOnly)
{
    {
        FAKE_IMPORT(GetVersionExA, FakeWin95);
        EXPECT_EQ((DWORD)VER_PLATFORM_WIN32_WINDOWS, PlatformSeenByProgramCode());
    }
    EXPECT_EQ((DWORD)VER_PLATFORM_WIN32_NT, PlatformSeenByProgramCode());
}

class HarnessBoxes : public KxTest {};

TEST_F(HarnessBoxes, RecordsAndAnswersProgramBoxes)
{
    QueueBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, KxMessageBox(NULL, "Do it?", "Q", MB_YESNO));
    EXPECT_EQ(IDOK, KxMessageBox(NULL, "Done", "Info", MB_OK));
    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("Do it?", boxes[0].text);
    EXPECT_EQ((UINT)MB_YESNO, boxes[0].style);
    EXPECT_EQ("Info", boxes[1].caption);
}

TEST_F(HarnessBoxes, SystemErrorBoxShowsTheSystemText)
{
    ShowSystemError(ERROR_FILE_NOT_FOUND, "GetLastError");
    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].caption);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, boxes[0].style);
    EXPECT_TRUE(boxes[0].owner == NULL);
    EXPECT_NE(std::string::npos, boxes[0].text.find("not"));

    /* A text with an insert is shown as the system has it. */
    ShowSystemError(ERROR_BAD_EXE_FORMAT, "GetLastError");
    boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("%1"));
}

TEST_F(HarnessBoxes, SystemErrorBoxWithoutSystemTextNamesTheCode)
{
    ShowSystemError(0xE0000102, "GetLastError--Layout.inf");
    std::vector<RecordedBox> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("0xE0000102"));
}

TEST(LeadingNumber, ReadsTheLeadingDecimal)
{
    EXPECT_EQ(66000, LeadingNumber("66000"));
    EXPECT_EQ(24, LeadingNumber("24,Status"));
    EXPECT_EQ(10, LeadingNumber("  10,system32"));
    EXPECT_EQ(-5, LeadingNumber("-5"));
    EXPECT_EQ(0, LeadingNumber("Status"));
    EXPECT_EQ(0, LeadingNumber(""));
    EXPECT_EQ(LONG_MAX, LeadingNumber("2147483647"));
    EXPECT_EQ(LONG_MAX, LeadingNumber("99999999999999999999"));
    EXPECT_EQ(LONG_MIN, LeadingNumber("-2147483648"));
    EXPECT_EQ(LONG_MIN, LeadingNumber("-99999999999999999999,x"));
}

TEST(RegistrySnapshotHelper, RestoresWhatATestChanged)
{
    const char *path = "Software\\KxHarnessProbe";
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "v", 0, REG_SZ, (const BYTE *)"abc", 4);
    RegCloseKey(key);
    {
        RegistrySnapshot snap(HKEY_CURRENT_USER, path);
        DeleteKeyTree(HKEY_CURRENT_USER, path);
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KxHarnessProbe\\added", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
    }
    EXPECT_EQ("abc", RegText(HKEY_CURRENT_USER, path, "v"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\KxHarnessProbe\\added"));
    DeleteKeyTree(HKEY_CURRENT_USER, path);
}
