#include "shell/shell.h"
#include "unattended/log.h"
#include <string.h>
#include <strsafe.h>

#define FOLDER_ACES 3

/* Administrators and the system may change the folder; users may only read and
 * run what is in it, so that nobody else can put a program or a DLL there for
 * the administrator's next run (the uninstall starts from this folder). */
static const DWORD aceMasks[FOLDER_ACES] = {
    FILE_ALL_ACCESS, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
};

typedef BOOL(WINAPI *SetDescriptorControlProc)(PSECURITY_DESCRIPTOR descriptor,
                                               SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                               SECURITY_DESCRIPTOR_CONTROL bitsToSet);

struct FolderSecurity {
    PSID sids[FOLDER_ACES];
    DWORD acl[64];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};

static int BuildFolderSecurity(FolderSecurity *security)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PACL acl = (PACL)security->acl;
    SetDescriptorControlProc setControl;
    void *ace;
    int i;

    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &security->sids[0]) ||
        !AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID,
                                  0, 0, 0, 0, 0, 0, 0, &security->sids[1]) ||
        !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &security->sids[2]))
        return 0;
    if (!InitializeAcl(acl, sizeof(security->acl), ACL_REVISION))
        return 0;
    for (i = 0; i < FOLDER_ACES; i++) {
        if (!AddAccessAllowedAce(acl, ACL_REVISION, aceMasks[i], security->sids[i]) ||
            !GetAce(acl, i, &ace))
            return 0;
        /* Set afterwards: AddAccessAllowedAceEx, which takes them, came after NT 4. */
        ((ACE_HEADER *)ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (!InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE))
        return 0;
    /* Nothing is taken over from the folder above (which may let everybody
     * write). NT 4 lacks the call, and there a given DACL is never merged with
     * inherited entries in the first place. */
    setControl = (SetDescriptorControlProc)(void *)GetProcAddress(
        GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl");
    if (setControl && !setControl(&security->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return 0;
    security->attributes.nLength = sizeof(security->attributes);
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return 1;
}

static void ReleaseFolderSecurity(FolderSecurity *security)
{
    int i;

    for (i = 0; i < FOLDER_ACES; i++)
        if (security->sids[i])
            FreeSid(security->sids[i]);
}

static int IsFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static int MakeFolder(const char *path, SECURITY_ATTRIBUTES *attributes)
{
    DWORD code;
    BOOL made;

    if (!Act("folder create %s (administrators and system only)", path))
        return 1;
    made = CreateDirectoryA(path, attributes);
    code = made ? 0 : GetLastError();
    /* A file system without security refuses the descriptor: such a folder is
     * open to everybody whatever the program asks for. */
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_SECURITY_DESCR) {
        made = CreateDirectoryA(path, NULL);
        code = made ? 0 : GetLastError();
    }
    ActDone(made, code);
    SetLastError(code);
    return made;
}

/* The part of a path that is never created: "C:\", "\\server\share\" or "\". */
static size_t RootLength(const char *path)
{
    const char *share;

    if (path[0] && path[1] == ':')
        return path[2] == '\\' ? 3 : 2;
    if (path[0] == '\\' && path[1] == '\\') {
        share = strchr(path + 2, '\\');
        if (share)
            share = strchr(share + 1, '\\');
        return share ? (size_t)(share - path) + 1 : strlen(path);
    }
    return path[0] == '\\' ? 1 : 0;
}

int CreateStatusFolder(const char *folder)
{
    FolderSecurity security;
    char path[STATUSDIR_CHARS];
    char *cut, kept;
    int made = 0;
    DWORD code;

    if (IsFolder(folder))
        return 1;
    ZeroMemory(&security, sizeof(security));
    if (SUCCEEDED(StringCchCopyA(path, ARRAYSIZE(path), folder)) && BuildFolderSecurity(&security)) {
        /* Each missing folder on the way down, the status folder last. */
        for (cut = path + RootLength(path);; cut++) {
            if (*cut != '\\' && *cut != '\0')
                continue;
            kept = *cut;
            *cut = '\0';
            if (!IsFolder(path) && !MakeFolder(path, &security.attributes))
                break;
            *cut = kept;
            if (!kept) {
                made = 1;
                break;
            }
        }
    }
    code = GetLastError();
    ReleaseFolderSecurity(&security);
    if (!made)
        ShowSystemError(code, "GetLastError");
    return made;
}
