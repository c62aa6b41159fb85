#include "tests/unit/harness.h"
#include "integration/integration.h"
#include <sddl.h>
#include <string.h>

DECLARE_IMPORT_SLOT(RegQueryValueExA);
DECLARE_IMPORT_SLOT(RegCreateKeyExA);
DECLARE_IMPORT_SLOT(GetLocalTime);

static void WINAPI SpringDay(LPSYSTEMTIME now)
{
    ZeroMemory(now, sizeof(*now));
    now->wYear = 2026;
    now->wMonth = 3;
    now->wDay = 7;
}

static int queries;
static LONG WINAPI CountingRegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    queries++;
    return ERROR_INVALID_HANDLE;
}

class InstallRecord : public KxTest {
protected:
    RegistrySnapshot product{HKEY_LOCAL_MACHINE, "Software\\VelbaPrinter"};
    RegistrySnapshot uninstall{HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY};

    void SetUp() override
    {
        KxTest::SetUp();
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\VelbaPrinter");
        DeleteKeyTree(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY);
    }

    static void Install(DWORD components, const std::string &statusDir, DWORD statusDirId)
    {
        SetupState.selectedComponents = components;
        lstrcpynA(SetupState.statusDir, statusDir.c_str(), sizeof(SetupState.statusDir));
        SetupState.statusDirId = statusDirId;
        WriteInstallRecord(&SetupState);
        WriteUninstallEntry(&SetupState, 1);
    }

    static void SetRaw(const char *name, DWORD type, const void *data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, 0, NULL, 0,
                                                 KEY_ALL_ACCESS, NULL, &key, NULL));
        RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
        RegCloseKey(key);
    }
};

/* The record first, the entry of the removable software on its own: the
 * product, its version and publisher as inventory tools read them, the
 * commands, the folder, the day of the install and its size; numbers as
 * REG_DWORD. */
TEST_F(InstallRecord, WritesItsTextsWithoutTerminator)
{
    RegWriteRecorder recorder;
    FAKE_IMPORT(GetLocalTime, SpringDay);
    SetupState.selectedComponents = CompModel1 | CompModel2 | CompStatusDisplay;
    lstrcpyA(SetupState.statusDir, "C:\\STATUS");
    SetupState.statusDirId = 66010;
    lstrcpyA(SetupState.portName, "LPT2:");
    EXPECT_EQ(1, WriteInstallRecord(&SetupState));
    EXPECT_EQ(6u, recorder.writes.size());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY));
    EXPECT_EQ(1, WriteUninstallEntry(&SetupState, 4133));

    struct Value { const char *name; DWORD type; std::string bytes; } values[] = {
        {"InstallSections", REG_SZ, "19"},
        {"StatusDisplayDir", REG_SZ, "C:\\STATUS=66010"},
        {"ControlPanelDir", REG_SZ, "C:\\STATUS=66010"},
        {"InstalledComponents", REG_SZ, "19"},
        {"Version", REG_SZ, "1.0"},
        {"Port", REG_SZ, "LPT2:"},
        {"DisplayName", REG_SZ, "Velba Printer Version 1.0"},
        {"DisplayVersion", REG_SZ, "1.0"},
        {"Publisher", REG_SZ, "Velba"},
        {"VersionMajor", REG_DWORD, std::string("\1\0\0\0", 4)},
        {"VersionMinor", REG_DWORD, std::string("\0\0\0\0", 4)},
        {"UninstallString", REG_SZ, "\"C:\\STATUS\\kxsetup.exe\" Uninstall"},
        {"QuietUninstallString", REG_SZ, "\"C:\\STATUS\\kxsetup.exe\" Uninstall /quiet"},
        {"DisplayIcon", REG_SZ, "C:\\STATUS\\kxsetup.exe,0"},
        {"InstallLocation", REG_SZ, "C:\\STATUS"},
        {"InstallDate", REG_SZ, "20260307"},
        {"EstimatedSize", REG_DWORD, std::string("\x25\x10\0\0", 4)},
        {"NoModify", REG_DWORD, std::string("\1\0\0\0", 4)},
        {"NoRepair", REG_DWORD, std::string("\1\0\0\0", 4)},
        {"TypesSupported", REG_DWORD, std::string("\7\0\0\0", 4)},
    };
    ASSERT_EQ(ARRAYSIZE(values), recorder.writes.size());
    for (size_t i = 0; i < ARRAYSIZE(values); i++) {
        EXPECT_EQ(values[i].name, recorder.writes[i].name);
        EXPECT_EQ(values[i].type, recorder.writes[i].type) << values[i].name;
        EXPECT_EQ(values[i].bytes, recorder.writes[i].bytes)
            << values[i].name << ": the byte count is the text length";
        if (values[i].type == REG_SZ) {
            EXPECT_EQ(values[i].bytes, RegText(HKEY_LOCAL_MACHINE,
                                               i < 6 ? KX_PRODUCT_KEY : KX_UNINSTALL_KEY,
                                               values[i].name));
        }
    }
}

TEST_F(InstallRecord, SecondInstallAccumulatesComponentsHoldsItsOwnAndDriveRootKeepsItsBackslash)
{
    Install(CompModel1 | CompModel2 | CompStatusDisplay, "C:\\STATUS", 66010);
    Install(CompModel3, "C:\\", 66011);
    EXPECT_EQ("23", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, "InstallSections"));
    EXPECT_EQ("4", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, "InstalledComponents"));
    EXPECT_EQ("C:\\=66011", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, "StatusDisplayDir"));
    EXPECT_EQ("\"C:\\\\kxsetup.exe\" Uninstall",
              RegText(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, "UninstallString"));
}

TEST_F(InstallRecord, UninstallReadsBackFolderIdAndComponentsAndKeepsTheRecord)
{
    /* A folder may itself hold "="; the id after the last one never does. */
    Install(CompModel1 | CompModel3 | CompStatusDisplay, "C:\\Tools=Status", 66010);
    ZeroMemory(&SetupState, sizeof(SetupState));

    ReadInstallRecord(&SetupState);

    EXPECT_STREQ("C:\\Tools=Status", SetupState.statusDir);
    EXPECT_EQ(66010u, SetupState.statusDirId);
    EXPECT_EQ(21u, SetupState.selectedComponents);
    for (const char *name : {"InstallSections", "StatusDisplayDir", "ControlPanelDir"})
        EXPECT_NE("(missing)", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, name)) << name;
    for (const char *name : {"DisplayName", "UninstallString"})
        EXPECT_NE("(missing)", RegText(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, name)) << name;
}

TEST_F(InstallRecord, MissingRecordOrFolderWithoutIdGivesEmptyFolderAndIdZero)
{
    for (int withValue = 0; withValue < 2; withValue++) {
        if (withValue)
            SetRaw("StatusDisplayDir", REG_SZ, "C:\\STATUS", 10);
        lstrcpynA(SetupState.statusDir, "stale", sizeof(SetupState.statusDir));
        SetupState.statusDirId = 7;
        SetupState.selectedComponents = 7;
        ReadInstallRecord(&SetupState);
        EXPECT_STREQ("", SetupState.statusDir);
        EXPECT_EQ(0u, SetupState.statusDirId);
        EXPECT_EQ(0u, SetupState.selectedComponents);
    }
}

TEST_F(InstallRecord, ReadGivesTheStoredTextOrEmptyAndNeverOverruns)
{
    char buffer[TEXT_CHARS + 16];

    /* No key (0): nothing is queried through a handle that was never opened. */
    memset(buffer, 'Z', sizeof(buffer));
    queries = 0;
    {
        FAKE_IMPORT(RegQueryValueExA, CountingRegQueryValueExA);
        EXPECT_EQ(0, ReadMachineString(KX_PRODUCT_KEY, "InstallSections", buffer));
    }
    EXPECT_EQ(0, queries);
    EXPECT_STREQ("", buffer);

    SetRaw("Short", REG_SZ, "abcX", 3); /* stored without a zero after it */
    std::string longest(258, 'p'), tooLong(300, 'q');
    SetRaw("Longest", REG_SZ, longest.c_str(), (DWORD)longest.size());
    SetRaw("TooLong", REG_SZ, tooLong.c_str(), (DWORD)tooLong.size() + 1);
    DWORD number = 19;
    SetRaw("Number", REG_DWORD, &number, sizeof(number));
    SetRaw("Binary", REG_BINARY, "19", 2);
    SetRaw("Expand", REG_EXPAND_SZ, "19", 3);
    struct Case { const char *name; std::string text; } cases[] = {
        {"Short", "abc"}, {"Longest", longest}, {"TooLong", ""}, {"Number", ""},
        {"Binary", ""}, {"Expand", ""}, {"Absent", ""},
    };
    for (const Case &c : cases) {
        memset(buffer, 'Z', sizeof(buffer));
        EXPECT_EQ(1, ReadMachineString(KX_PRODUCT_KEY, c.name, buffer));
        EXPECT_EQ(c.text, std::string(buffer)) << c.name;
        EXPECT_EQ(std::string(16, 'Z'), std::string(buffer + TEXT_CHARS, 16)) << c.name;
    }
}

TEST_F(InstallRecord, OverlongFolderTextsAreNotWrittenCutShort)
{
    Install(CompModel1, "C:\\STATUS", 66010);

    /* 256 characters fit the record's folder but neither "=66010" after them
     * nor the uninstall command fit in 259 characters. */
    RegWriteRecorder recorder;
    Install(CompModel2, "C:\\" + std::string(253, 'f'), 66010);

    EXPECT_EQ(nullptr, recorder.Find("StatusDisplayDir"));
    EXPECT_EQ(nullptr, recorder.Find("ControlPanelDir"));
    EXPECT_EQ(nullptr, recorder.Find("UninstallString"));
    EXPECT_EQ("3", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, "InstallSections"));
    EXPECT_EQ("C:\\STATUS=66010", RegText(HKEY_LOCAL_MACHINE, KX_PRODUCT_KEY, "StatusDisplayDir"));
    EXPECT_EQ("\"C:\\STATUS\\kxsetup.exe\" Uninstall",
              RegText(HKEY_LOCAL_MACHINE, KX_UNINSTALL_KEY, "UninstallString"));
}

/* Per key the program opened or made: its path and the DACL it asked for. */
static std::vector<std::string> keysMade;
static LONG WINAPI RecordKeySecurity(HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass,
                                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES attributes,
                                     PHKEY key, LPDWORD disposition)
{
    char *text = NULL;
    std::string made = path;
    if (attributes && ConvertSecurityDescriptorToStringSecurityDescriptorA(
                          attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                          DACL_SECURITY_INFORMATION, &text, NULL)) {
        made += " " + std::string(text);
        LocalFree(text);
    }
    keysMade.push_back(made);
    return REAL(RegCreateKeyExA)(root, path, reserved, keyClass, options, access, attributes, key,
                                 disposition);
}

/* Ordinary users may make keys under HKLM\Software on NT 4 and 2000: the
 * program's keys let only administrators and the system change them. */
TEST_F(InstallRecord, KeysAreMadeForAdministratorsAndSystemWithUsersReading)
{
    keysMade.clear();
    {
        FAKE_IMPORT(RegCreateKeyExA, RecordKeySecurity);
        Install(CompModel1, "C:\\STATUS", 66010);
    }
    ASSERT_FALSE(keysMade.empty());
    for (const std::string &made : keysMade)
        EXPECT_NE(std::string::npos,
                  made.find(" D:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)(A;OICI;KR;;;BU)"))
            << made;
}
