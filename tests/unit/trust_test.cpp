#include "tests/unit/trust_support.h"
#include "rules/rules.h"
#include "run/run.h"
#include "shell/host.h"
#include "shell/entry.h"
#include "base/base.h"
#include <sddl.h>

DECLARE_IMPORT_SLOT(CreateDirectoryA);
DECLARE_IMPORT_SLOT(GetWindowsDirectoryA);
DECLARE_IMPORT_SLOT(SetFileSecurityA);

/* A status folder, the folder above it, a file in it and the volume root as
 * another user or a careless administrator may have left them, on a system
 * from Vista on (Wine's). Each case names whose descriptor it sets ("status",
 * "outer" above it, "file" in the status folder, or the volume root "root"),
 * the verdict, and the sentence's end, with <outer> and <file> for the paths. */
TEST(FolderTrust, EachEntryIsJudgedAsWhatItGrantsOnTheFolderAndWhatItHandsDown)
{
    const std::string me = RunningAccountSddl();
    const std::string installer =
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    struct Case {
        const char *folder;
        std::string sddl;
        int verdict;
        const char *refusal;
    };
    const Case cases[] = {
        { "status", "O:BUD:(A;;FA;;;SY)", FolderUntrusted, "it is owned by another user" },
        { "status", "O:WDD:(A;;FA;;;SY)", FolderUntrusted, "it is owned by another user" },
        /* from Vista on the running account has an unelevated half */
        { "status", "O:" + me + "D:(A;;FA;;;SY)", FolderUntrusted, "it is owned by another user" },
        { "status", "O:BAD:(A;;0x2;;;WD)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;0x4;;;AU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;DT;;;BU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;WD;;;BU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;GA;;;BU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;0x100;;;BU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;0x10;;;BU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BAD:(A;;FA;;;" + me + ")", FolderRepairable, "it may be changed by other users" },
        /* what the folder hands down to the files the run places there */
        { "status", "O:BAD:(A;OICIIO;0x1301bf;;;AU)", FolderRepairable, "it may be changed by other users" },
        { "status", "O:BA", FolderRepairable, "it may be changed by other users" }, /* no DACL */
        { "status", "link", FolderUntrusted, "it is a link to another place" },
        { "file", "O:BUD:(A;;FA;;;BU)", FolderUntrusted, "<file> is owned by another user" },
        { "file", "O:BAD:(A;;0x2;;;BU)", FolderRepairable, "<file> may be changed by other users" },
        { "outer", "O:BUD:(A;;FA;;;SY)", FolderUntrusted, "<outer> is owned by another user" },
        { "outer", "O:BAD:(A;;0x40;;;BU)", FolderUntrusted, "<outer> may be changed by other users" },
        { "outer", "O:BAD:(A;;SD;;;BU)", FolderUntrusted, "<outer> may be changed by other users" },
        { "root", "O:SYD:(A;;0x40;;;AU)", FolderUntrusted, "C:\\ may be changed by other users" },
        /* Taken: the trusted own it and hold every right; the others may only
         * read and run; a folder above may let others add files and folders
         * beside the path; CREATOR OWNER stands for the run; denials deny. */
        { "status", "O:" + installer + "D:(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)(D;;FA;;;WD)",
          FolderTrusted, "" },
        { "outer", "O:BAD:(A;;FA;;;BA)(A;;0x6;;;BU)(A;OICIIO;0x1301bf;;;BU)", FolderTrusted, "" },
        { "root", "O:SYD:(A;;FA;;;BA)(A;;0x4;;;AU)(A;OICIIO;0x1301bf;;;AU)(A;;0x1200a9;;;BU)",
          FolderTrusted, "" },
    };
    TempDir temp;
    const std::string outer = temp.File("outer"), status = temp.File("outer\\status");
    const std::string file = status + "\\kxsetup.exe";
    CreateDirectoryA(outer.c_str(), NULL);
    CreateDirectoryA(status.c_str(), NULL);
    temp.Write("outer\\status\\kxsetup.exe", "MZ");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " " + c.sddl);
        FakeSecurity security;
        std::string named = c.folder[0] == 's' ? status : c.folder[0] == 'o' ? outer
                          : c.folder[0] == 'f' ? file : "C:\\";
        if (c.sddl == "link")
            FakeSecurity::Link(named);
        else
            FakeSecurity::Folder(named, c.sddl);
        std::string refusal = c.refusal;
        if (refusal.compare(0, 7, "<outer>") == 0)
            refusal.replace(0, 7, outer);
        if (refusal.compare(0, 6, "<file>") == 0)
            refusal.replace(0, 6, file);
        const char *why = NULL;
        EXPECT_EQ(c.verdict, JudgeFolderTrust(status.c_str(), NULL, &why));
        if (!refusal.empty()) {
            EXPECT_EQ("The folder " + status + " cannot be used: " + refusal + ".",
                      std::string(why ? why : "(none)"));
        }
    }
}

/* Windows 8 honours conditional (callback) entries: one that lets others
 * write is judged as any other allowing entry. */
TEST(FolderTrust, CallbackEntriesAreJudgedLikeTheirPlainKind)
{
    TempDir temp;
    const std::string status = temp.File("status");
    CreateDirectoryA(status.c_str(), NULL);
    PSID users = NULL, admins = NULL;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
                                         0, 0, 0, 0, 0, 0, &users));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                         0, 0, 0, 0, 0, 0, &admins));
    DWORD acl[64];
    SECURITY_DESCRIPTOR descriptor;
    ACE_HEADER *ace = NULL;
    ASSERT_TRUE(InitializeAcl((PACL)acl, sizeof(acl), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce((PACL)acl, ACL_REVISION, FILE_WRITE_DATA, users));
    ASSERT_TRUE(GetAce((PACL)acl, 0, (void **)&ace));
    ace->AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, admins, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, (PACL)acl, FALSE));
    FakeSecurity security;
    FakeSecurity::FolderDescriptor(status, &descriptor);
    const char *why = NULL;

    EXPECT_EQ(FolderRepairable, JudgeFolderTrust(status.c_str(), NULL, &why));

    FreeSid(users);
    FreeSid(admins);
}

/* A folder not yet made is judged by the folders above it; a file in its
 * place, a drive's root or a network folder is refused; a volume without
 * permissions (FAT) is refused where the system folder keeps them, and has
 * nothing to judge where it keeps none either. */
TEST(FolderTrust, MissingFilesRootsSharesAndVolumesWithoutPermissions)
{
    TempDir temp;
    const std::string outer = temp.File("outer"), status = temp.File("outer\\status");
    FakeSecurity security;
    const char *why = NULL;
    size_t standing = 0;

    EXPECT_EQ(FolderMissing, JudgeFolderTrust(status.c_str(), &standing, &why));
    EXPECT_EQ(temp.path.size(), standing);
    FakeSecurity::Folder(temp.path, "O:BUD:(A;;FA;;;BU)");
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust(status.c_str(), NULL, &why));
    FakeSecurity::fatRoots = { "c:\\" };
    EXPECT_EQ(FolderMissing, JudgeFolderTrust(status.c_str(), NULL, &why));
    FakeSecurity::fatRoots = { "z:\\" };
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("Z:\\tmp", NULL, &why));
    EXPECT_STREQ("The folder Z:\\tmp cannot be used: it is on a drive that keeps no permissions.", why);
    FakeSecurity::fatRoots.clear();
    FakeSecurity::Folder(temp.path, "O:BAD:(A;;FA;;;BA)");

    temp.Write("outer", "a file");
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust(status.c_str(), NULL, &why));
    EXPECT_EQ("The folder " + status + " cannot be used: " + outer + " is not a folder.",
              std::string(why));
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("C:\\", NULL, &why));
    EXPECT_STREQ("The folder C:\\ cannot be used: it is the root of a drive.", why);
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("\\\\server\\share\\kx", NULL, &why));
    EXPECT_STREQ("The folder \\\\server\\share\\kx cannot be used: it is on a network share.", why);
}

/* The default permissions of the systems' drives (Microsoft's Q148437 and
 * Q244600 for NT 4 and 2000, the systems' own for XP on). */
static const std::string installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
static const std::string change = "0x1301bf", readRun = "0x1200a9";
/* NT 4: Everyone may change the root and the system folders. */
static const std::string nt4 = "O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;" + change +
                        ";;;WD)(A;OICI;FA;;;SY)";
/* 2000: Everyone full control of the root; the system folders for the
 * administrators, the system and Power Users. */
static const std::string w2kRoot = "O:BAD:(A;OICI;FA;;;WD)";
static const std::string w2kSystem = "O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;FA;;;SY)(A;OICI;" +
                              change + ";;;PU)(A;OICI;" + readRun + ";;;BU)(A;OICI;" + readRun + ";;;WD)";
/* XP: users may add folders to the root and files to its folders. */
static const std::string xpRoot = "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)(A;OICI;" +
                           readRun + ";;;BU)(A;CI;0x4;;;BU)(A;CIIO;0x2;;;BU)(A;;" + readRun + ";;;WD)";
static const std::string xpSystem = "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)(A;OICI;" +
                             change + ";;;PU)(A;OICI;" + readRun + ";;;BU)";
/* 7 to 11, and a data volume of Vista on: authenticated users may
 * modify what is made below the root and add folders to the root. */
static const std::string vistaRoot = "O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;" + readRun +
                              ";;;BU)(A;OICIIO;" + change + ";;;AU)(A;;0x4;;;AU)";
static const std::string vistaSystem = "O:" + installer + "D:(A;;FA;;;" + installer + ")(A;CIIO;GA;;;" +
                                installer + ")(A;;" + change + ";;;SY)(A;OICIIO;GA;;;SY)(A;;" +
                                change + ";;;BA)(A;OICIIO;GA;;;BA)(A;;" + readRun +
                                ";;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
/* An earlier release's C:\STATUS: the root's inheritable entries, now its own. */
static const std::string nt4Earlier = nt4;
static const std::string w2kEarlier = "O:BAD:(A;OICIID;FA;;;WD)";
static const std::string xpEarlier = "O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;" + readRun +
                              ";;;BU)(A;CIID;0x4;;;BU)(A;CIID;0x2;;;BU)";
static const std::string vistaEarlier = "O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;" + readRun +
                                 ";;;BU)(A;OICIID;" + change + ";;;AU)";

/* The default permissions of each system's system drive (Microsoft's
 * Q148437 and Q244600 for NT 4 and 2000, the systems' own for XP on) and a
 * data volume formatted by Vista or later, and four places on them: the
 * default status folder of an Express install, a folder below Program Files,
 * the data volume's root and its STATUS folder, and a C:\STATUS made by an
 * earlier release, which took over the root's inheritable entries. */
TEST(FolderTrust, DefaultPermissionsOfEachSystem)
{
    char windowsBuffer[MAX_PATH], systemBuffer[MAX_PATH];
    GetWindowsDirectoryA(windowsBuffer, MAX_PATH);
    GetSystemDirectoryA(systemBuffer, MAX_PATH);
    const std::string windows = windowsBuffer, system = systemBuffer;
    struct System {
        const char *name;
        DWORD major;
        std::string root, system, earlier;
    };
    const System systems[] = {
        { "NT 4", 4, nt4, nt4, nt4Earlier },
        { "2000", 5, w2kRoot, w2kSystem, w2kEarlier },
        { "XP", 5, xpRoot, xpSystem, xpEarlier },
        { "7 to 11", 10, vistaRoot, vistaSystem, vistaEarlier },
    };
    /* Per system: the default status folder, then the verdicts of the four
     * places and the refusal's end ("" when taken). */
    struct Row {
        std::string folder;
        int express, programFiles, earlier;
        const char *programFilesWhy, *earlierWhy;
    };
    const std::string status = "C:\\STATUS", below = windows + "\\STATUS";
    const Row rows[] = {
        /* no boundary: the system folder is everybody's, one log line */
        { status, FolderMissing, FolderMissing, FolderTrusted, "", "" },
        /* the root lets everybody rename C:\STATUS away: the default goes
         * below the Windows folder, a folder elsewhere is refused */
        { below, FolderMissing, FolderUntrusted, FolderUntrusted, "C:\\ may be changed by other users",
          "C:\\ may be changed by other users" },
        { status, FolderMissing, FolderMissing, FolderRepairable, "", "it may be changed by other users" },
        { status, FolderMissing, FolderMissing, FolderRepairable, "", "it may be changed by other users" },
    };
    const std::string programFiles = "C:\\Program Files\\Velba Printer";
    TempDir log;
    for (size_t i = 0; i < ARRAYSIZE(systems); i++) {
        const System &s = systems[i];
        const Row &r = rows[i];
        SCOPED_TRACE(s.name);
        RemoveTree(status);
        RemoveTree(below);
        RemoveTree(programFiles);
        FakeSecurity security;
        FakeSecurity::majorVersion = s.major;
        FakeSecurity::Folder("C:\\", s.root);
        FakeSecurity::Folder(windows, s.system);
        FakeSecurity::Folder(system, s.system);
        FakeSecurity::Folder("C:\\Program Files", s.system);
        ASSERT_TRUE(OpenLog(log.File("trust.log").c_str()));
        const char *why = NULL;
        char folder[MAX_PATH];

        DefaultStatusFolder('C', folder, sizeof(folder));
        EXPECT_EQ(r.folder, folder);
        EXPECT_EQ(r.express, JudgeFolderTrust(folder, NULL, &why));
        EXPECT_EQ(r.programFiles, JudgeFolderTrust(programFiles.c_str(), NULL, &why));
        if (r.programFilesWhy[0]) {
            EXPECT_EQ("The folder " + programFiles + " cannot be used: " + r.programFilesWhy + ".",
                      std::string(why ? why : "(none)"));
        }
        EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("C:\\", NULL, &why));

        ASSERT_TRUE(CreateDirectoryA(status.c_str(), NULL));
        FakeSecurity::Folder(status, s.earlier);
        EXPECT_EQ(r.earlier, JudgeFolderTrust(status.c_str(), NULL, &why));
        if (r.earlierWhy[0]) {
            EXPECT_EQ("The folder " + status + " cannot be used: " + r.earlierWhy + ".",
                      std::string(why ? why : "(none)"));
        }
        CloseLog();
        std::string said = ReadFileBytes(log.File("trust.log"));
        EXPECT_EQ(i == 0, said.find("no folder is protected better than it") != std::string::npos) << said;
        DeleteFileA(log.File("trust.log").c_str());
    }
    RemoveTree(status);

    /* A data volume formatted by Vista or later has the root entries of 7 to
     * 11 without the system folder, which the judgement of C: above covers;
     * its root is never a status folder. */
    {
        FakeSecurity security;
        FakeSecurity::majorVersion = 10;
        FakeSecurity::Folder(system, vistaSystem);
        FakeSecurity::Folder("Z:\\", vistaRoot);
        const char *why = NULL;
        EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("Z:\\", NULL, &why));
        EXPECT_STREQ("The folder Z:\\ cannot be used: it is the root of a drive.", why);
    }
}

/* What the machine's file system keeps of a folder the run makes: the
 * descriptor given, with the owner the system would pick when it names
 * none (on XP the administrator who made it). */
static std::string makerOwner;
static BOOL WINAPI KeepMadeFolder(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    BOOL made = REAL(CreateDirectoryA)(path, attributes);
    PSECURITY_DESCRIPTOR given = attributes ? attributes->lpSecurityDescriptor : NULL;
    PSID owner = NULL;
    BOOL defaulted;
    char *text = NULL;
    if (made && given && ConvertSecurityDescriptorToStringSecurityDescriptorA(
                             given, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                             &text, NULL)) {
        GetSecurityDescriptorOwner(given, &owner, &defaulted);
        FakeSecurity::Folder(path, (owner ? "" : "O:" + makerOwner) + text);
        LocalFree(text);
    }
    return made;
}

/* Entries the run gives an existing folder, as the file system keeps them. */
static BOOL WINAPI KeepGivenEntries(LPCSTR path, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR given)
{
    char *text = NULL;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(given, SDDL_REVISION_1, parts, &text, NULL))
        return FALSE;
    FakeSecurity::Folder(path, text);
    LocalFree(text);
    return TRUE;
}

static std::string fakeWindows;
static UINT WINAPI FakeWindowsFolder(LPSTR buffer, UINT chars)
{
    lstrcpynA(buffer, fakeWindows.c_str(), (int)chars);
    return (UINT)fakeWindows.size();
}

/* Whole machines, each with its system's default permissions, as the run
 * meets them in one process: the system check, the Express default status
 * folder, its making, and the judgements after it of the same process and of
 * another administrator or SYSTEM (an uninstall, /verify, a deployment
 * tool): each passes where the system lets the package's drivers in. */
class WholeMachines : public KxTest {};

TEST_F(WholeMachines, ExpressInstallAndTheJudgementsAfterIt)
{
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, MAX_PATH);
    const std::string system = buffer;
    GetWindowsDirectoryA(buffer, MAX_PATH);
    const std::string windows = buffer;
    /* Windows 2000 on D: beside a C: every user may change (Z: is Wine's D:). */
    const std::string elsewhere = "Z:\\tmp\\kx-winnt-" + std::to_string(GetCurrentProcessId());
    const std::string admin = "S-1-5-21-1-2-3-1001", trusted = "O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    struct Machine {
        const char *name;
        DWORD major, minor;
        std::string root, system;
        bool fat;
        std::string windows, folder, logged;
        int environment;
        std::string earlier;
    };
    const Machine machines[] = {
        { "NT 4 on NTFS", 4, 0, nt4, nt4, false, windows, "C:\\STATUS",
          "no folder is protected better than it", EnvironmentOk, nt4Earlier },
        /* the system's one log line was the first row's */
        { "NT 4 on FAT", 4, 0, trusted, trusted, true, windows, "C:\\STATUS", "", EnvironmentOk, trusted },
        { "2000 on C:", 5, 0, w2kRoot, w2kSystem, false, windows, windows + "\\STATUS",
          "default status folder: " + windows + "\\STATUS, since C:\\ may be changed by other users",
          EnvironmentOk, w2kEarlier },
        { "2000 on D:", 5, 0, w2kRoot, w2kSystem, false, elsewhere, elsewhere + "\\STATUS",
          "default status folder: " + elsewhere + "\\STATUS, since C:\\ may be changed by other users",
          EnvironmentOk, w2kEarlier },
        { "XP", 5, 1, xpRoot, xpSystem, false, windows, "C:\\STATUS", "", EnvironmentOk, xpEarlier },
        { "Server 2003", 5, 2, xpRoot, xpSystem, false, windows, "C:\\STATUS", "", EnvironmentKernelDrivers,
          xpEarlier },
        { "7", 6, 1, vistaRoot, vistaSystem, false, windows, "C:\\STATUS", "", EnvironmentKernelDrivers,
          vistaEarlier },
        { "10", 10, 0, vistaRoot, vistaSystem, false, windows, "C:\\STATUS", "", EnvironmentKernelDrivers,
          vistaEarlier },
    };
    RegistrySnapshot policy(HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\Windows NT\\Printers");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\Windows NT\\Printers");
    CreateDirectoryA(elsewhere.c_str(), NULL);
    TempDir log;
    for (const Machine &m : machines) {
        SCOPED_TRACE(m.name);
        RemoveTree(m.folder);
        FakeSecurity security;
        FakeSecurity::majorVersion = m.major;
        FakeSecurity::minorVersion = m.minor;
        FakeSecurity::Folder("C:\\", m.root);
        FakeSecurity::Folder(windows, m.system);
        FakeSecurity::Folder(system, m.system);
        if (m.fat)
            FakeSecurity::fatRoots = { "c:\\" };
        makerOwner = m.major == 5 && m.minor == 1 ? admin : "BA";
        fakeWindows = m.windows;
        FAKE_IMPORT(GetWindowsDirectoryA, FakeWindowsFolder);
        FAKE_IMPORT(CreateDirectoryA, KeepMadeFolder);
        FAKE_IMPORT(SetFileSecurityA, KeepGivenEntries);
        ASSERT_TRUE(OpenLog(log.File("machine.log").c_str()));
        char folder[MAX_PATH];
        const char *why = NULL;

        /* an earlier release's installation in C:\STATUS, with the entries
         * the system's root handed down */
        const std::string earlier = "C:\\STATUS";
        RemoveTree(earlier);
        ASSERT_TRUE(CreateDirectoryA(earlier.c_str(), NULL));
        FakeSecurity::Folder(earlier, m.earlier);

        EXPECT_EQ(m.environment, CheckEnvironment());
        DefaultStatusFolder('C', folder, sizeof(folder));
        EXPECT_EQ(m.folder, folder);
        EXPECT_EQ(1, CreateStatusFolder(folder));
        /* a later judgement of the process, as another account (on XP the
         * maker is not the account the tests run as) */
        EXPECT_EQ(FolderTrusted, JudgeFolderTrust(folder, NULL, &why)) << (why ? why : "");
        /* the earlier folder, where the upgrade went elsewhere, can still be
         * emptied by the upgrade and the uninstall, which hold it */
        EXPECT_NE(FolderUntrusted, JudgeHeldFolder(earlier.c_str(), &why)) << (why ? why : "");
        RemoveTree(earlier);

        CloseLog();
        std::string said = ReadFileBytes(log.File("machine.log"));
        if (!m.logged.empty()) {
            EXPECT_NE(std::string::npos, said.find(m.logged)) << said;
        }
        DeleteFileA(log.File("machine.log").c_str());
        RemoveTree(m.folder);
    }
    RemoveTree(elsewhere);
}
