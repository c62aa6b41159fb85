#include "tests/unit/trust_support.h"
#include "rules/rules.h"

/* A status folder and the folders above it as another user or a careless
 * administrator may have left them. Each case names the folder whose
 * descriptor it sets ("status", "outer" above it, or the volume root "root")
 * and the sentence of the refusal, with <status> and <outer> for the paths
 * ("" when the folder is taken). */
TEST(FolderTrust, OnlyFoldersThatNobodyElseControlsAreTaken)
{
    const std::string me = RunningAccountSddl();
    const std::string installer =
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    struct Case {
        const char *folder;
        std::string sddl;
        const char *refusal;
    };
    const Case cases[] = {
        { "status", "O:BUD:(A;;FA;;;SY)", "it is owned by another user" },
        { "status", "O:WDD:(A;;FA;;;SY)", "it is owned by another user" },
        { "status", "O:" + me + "D:(A;;0x2;;;WD)", "it may be changed by other users" },
        { "status", "O:BAD:(A;;0x4;;;AU)", "it may be changed by other users" },
        { "status", "O:BAD:(A;;DT;;;BU)", "it may be changed by other users" },
        { "status", "O:BAD:(A;;WD;;;BU)", "it may be changed by other users" },
        { "status", "O:BAD:(A;;GA;;;BU)", "it may be changed by other users" },
        { "status", "O:BA", "it may be changed by other users" }, /* no DACL: open to all */
        { "status", "link", "it is a link to another place" },
        { "outer", "O:BUD:(A;;FA;;;SY)", "<outer> is owned by another user" },
        { "root", "O:SYD:(A;;0x40;;;AU)", "C:\\ may be changed by other users" },
        /* Taken: the trusted own it and hold every right; the others may only
         * read and run, or hold rights only for what is made inside; users may
         * add folders to the root. */
        { "status", "O:" + installer + "D:(A;;FA;;;BA)(A;;FA;;;" + me +
                    ")(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)(A;OICIIO;GA;;;WD)(D;;FA;;;WD)", "" },
        { "status", "O:" + me + "D:(A;;FA;;;SY)", "" },
        { "root", "O:SYD:(A;;FA;;;BA)(A;;0x4;;;AU)(A;;0x1200a9;;;BU)", "" },
    };
    TempDir temp;
    const std::string outer = temp.File("outer"), status = temp.File("outer\\status");
    CreateDirectoryA(outer.c_str(), NULL);
    CreateDirectoryA(status.c_str(), NULL);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " " + c.sddl);
        FakeSecurity security;
        std::string named = c.folder[0] == 's' ? status : c.folder[0] == 'o' ? outer : "C:\\";
        if (c.sddl == "link")
            FakeSecurity::Link(named);
        else
            FakeSecurity::Folder(named, c.sddl);
        std::string refusal = c.refusal;
        if (refusal.compare(0, 7, "<outer>") == 0)
            refusal.replace(0, 7, outer);
        const char *why = NULL;
        int verdict = JudgeFolderTrust(status.c_str(), NULL, &why);
        if (refusal.empty()) {
            EXPECT_EQ(FolderTrusted, verdict);
        } else {
            EXPECT_EQ(FolderUntrusted, verdict);
            EXPECT_EQ("The folder " + status + " cannot be used: " + refusal + ".",
                      std::string(why ? why : "(none)"));
        }
    }
}

/* A folder not yet made is judged by the folders above it; a file in its
 * place, or a network folder, is refused; a volume without permissions (FAT)
 * has nothing to judge. */
TEST(FolderTrust, MissingFilesSharesAndVolumesWithoutPermissions)
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
    FakeSecurity::volumeFlags = FILE_CASE_PRESERVED_NAMES;
    EXPECT_EQ(FolderMissing, JudgeFolderTrust(status.c_str(), NULL, &why));

    temp.Write("outer", "a file");
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust(status.c_str(), NULL, &why));
    EXPECT_EQ("The folder " + status + " cannot be used: " + outer + " is not a folder.",
              std::string(why));
    EXPECT_EQ(FolderUntrusted, JudgeFolderTrust("\\\\server\\share\\kx", NULL, &why));
    EXPECT_STREQ("The folder \\\\server\\share\\kx cannot be used: it is on a network share.", why);
}
