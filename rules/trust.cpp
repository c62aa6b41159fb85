#include "rules/rules.h"
#include <strsafe.h>

/* A SID of up to six sub-authorities, laid out as the system lays one out. */
struct KnownSid {
    BYTE revision;
    BYTE count;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD sub[6];
};

#define NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
static const KnownSid administrators = {1, 2, NT_AUTHORITY, {32, 544}};
static const KnownSid localSystem = {1, 1, NT_AUTHORITY, {18}};
static const KnownSid users = {1, 2, NT_AUTHORITY, {32, 545}};
static const KnownSid trustedInstaller = {
    1, 6, NT_AUTHORITY, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}};

/* What lets somebody else put a file in a folder, take one away, or give
 * himself those rights (the generic rights map onto them). */
#define CONTROL_RIGHTS                                                                    \
    (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | FILE_DELETE_CHILD | WRITE_DAC |        \
     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL)

static const char onShare[] = "is on a network share";
static const char aLink[] = "is a link to another place";
static const char notFolder[] = "is not a folder";
static const char ownedByOther[] = "is owned by another user";
static const char openToOthers[] = "may be changed by other users";
static const char unreadable[] = "cannot be examined";

static char refusal[2 * FOLDER_CHARS + 128];

static const char *Refusal(const char *kind, const char *name, const char *subject,
                           const char *reason)
{
    StringCchPrintfA(refusal, ARRAYSIZE(refusal), "The %s %s cannot be used: %s %s.", kind, name,
                     subject, reason);
    return refusal;
}

/* The account that runs the setup, in `buffer`; NULL when it cannot be read. */
static PSID RunningAccount(DWORD *buffer, DWORD bytes)
{
    HANDLE token;
    DWORD needed;
    BOOL read;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    read = GetTokenInformation(token, TokenUser, buffer, bytes, &needed);
    CloseHandle(token);
    return read ? ((TOKEN_USER *)buffer)->User.Sid : NULL;
}

static int IsTrustedSid(PSID sid, PSID account)
{
    return EqualSid(sid, (PSID)&administrators) || EqualSid(sid, (PSID)&localSystem) ||
           EqualSid(sid, (PSID)&trustedInstaller) || (account && EqualSid(sid, account));
}

static const char *JudgeOwner(PSECURITY_DESCRIPTOR descriptor, PSID account)
{
    PSID owner = NULL;
    BOOL defaulted;

    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
        !IsTrustedSid(owner, account))
        return ownedByOther;
    return NULL;
}

/* Only entries that apply to the object itself grant anything; `excused` are
 * rights anybody may hold (the volume root lets users add folders). */
static const char *JudgeDacl(PSECURITY_DESCRIPTOR descriptor, PSID account, DWORD excused)
{
    BOOL present = FALSE, defaulted;
    PACL dacl = NULL;
    ACCESS_ALLOWED_ACE *ace;

    /* No DACL at all lets everybody do everything. */
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return openToOthers;
    for (WORD i = 0; i < dacl->AceCount; i++) {
        if (!GetAce(dacl, i, (void **)&ace))
            return unreadable;
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Header.AceFlags & INHERIT_ONLY_ACE))
            continue;
        if ((ace->Mask & CONTROL_RIGHTS & ~excused) && !IsTrustedSid(&ace->SidStart, account))
            return openToOthers;
    }
    return NULL;
}

static HANDLE OpenForSecurity(const char *path, DWORD flags)
{
    return CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, NULL);
}

/* One folder of the path, looked at through a handle to the entry itself, so
 * that a link is judged and never followed. NULL when it passes or (with
 * *missing set) when it is not there. */
static const char *JudgeOneFolder(const char *path, PSID account, int acls, DWORD excused,
                                  int *missing)
{
    BY_HANDLE_FILE_INFORMATION info;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    const char *reason = NULL;
    DWORD needed = 0, code;
    HANDLE folder = OpenForSecurity(path, FILE_FLAG_OPEN_REPARSE_POINT);

    /* NT 4 has no links of this kind and may refuse the flag. */
    if (folder == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        folder = OpenForSecurity(path, 0);
    if (folder == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        *missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                   code == ERROR_INVALID_DRIVE || code == ERROR_NOT_READY;
        return *missing ? NULL : unreadable;
    }
    if (!GetFileInformationByHandle(folder, &info))
        reason = unreadable;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        reason = aLink;
    else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        reason = notFolder;
    else if (acls) {
        const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        GetKernelObjectSecurity(folder, parts, NULL, 0, &needed);
        if (needed)
            descriptor = LocalAlloc(LMEM_FIXED, needed);
        if (!descriptor || !GetKernelObjectSecurity(folder, parts, descriptor, needed, &needed))
            reason = unreadable;
        else if (!(reason = JudgeOwner(descriptor, account)))
            reason = JudgeDacl(descriptor, account, excused);
    }
    if (descriptor)
        LocalFree(descriptor);
    CloseHandle(folder);
    return reason;
}

int JudgeFolderTrust(const char *folder, size_t *standing, const char **why)
{
    char path[FOLDER_CHARS];
    char root[4] = {folder[0], ':', '\\', '\0'};
    DWORD account[64], volumeFlags = FILE_PERSISTENT_ACLS;
    PSID accountSid = RunningAccount(account, sizeof(account));
    const char *reason;
    char *cut, kept;
    int acls, missing = 0;
    size_t length;

    *why = NULL;
    if (standing)
        *standing = 0;
    if (folder[0] == '\0' || folder[1] != ':' || folder[2] != '\\' ||
        GetDriveTypeA(root) == DRIVE_REMOTE) {
        *why = Refusal("folder", folder, "it", onShare);
        return FolderUntrusted;
    }
    if (FAILED(StringCchCopyA(path, ARRAYSIZE(path), folder))) {
        *why = Refusal("folder", folder, "it", unreadable);
        return FolderUntrusted;
    }
    /* A file system that keeps no permissions (FAT) has no boundary to protect. */
    acls = !GetVolumeInformationA(root, NULL, 0, NULL, NULL, &volumeFlags, NULL, 0) ||
           (volumeFlags & FILE_PERSISTENT_ACLS);
    if (!acls)
        LogLine("folder %s: the volume keeps no permissions; nothing to protect", folder);
    /* From the root down, each folder that stands; below a missing one none does. */
    const char *failed = root;
    reason = JudgeOneFolder(root, accountSid, acls, FILE_ADD_SUBDIRECTORY, &missing);
    length = reason || missing ? 0 : 3;
    for (cut = path + 3; !reason && !missing; cut++) {
        kept = *cut;
        /* A trailing backslash names no further folder. */
        if ((kept == '\\' || kept == '\0') && cut[-1] != '\\') {
            *cut = '\0';
            failed = path;
            reason = JudgeOneFolder(path, accountSid, acls, 0, &missing);
            if (reason)
                break;
            *cut = kept;
            if (!missing)
                length = (size_t)(cut - path);
        }
        if (!kept)
            break;
    }
    if (standing)
        *standing = length;
    if (reason) {
        *why = Refusal("folder", folder, lstrcmpiA(failed, folder) == 0 ? "it" : failed, reason);
        return FolderUntrusted;
    }
    return missing ? FolderMissing : FolderTrusted;
}

int JudgeKeyTrust(HKEY key, const char *name, const char **why)
{
    DWORD descriptor[64], account[64];
    DWORD bytes = sizeof(descriptor);
    const char *reason = unreadable;
    char shown[TEXT_CHARS + 8];

    *why = NULL;
    if (RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION, descriptor, &bytes) == ERROR_SUCCESS)
        reason = JudgeOwner(descriptor, RunningAccount(account, sizeof(account)));
    if (!reason)
        return 1;
    StringCchPrintfA(shown, ARRAYSIZE(shown), "HKLM\\%s", name);
    *why = Refusal("registry key", shown, "it", reason);
    return 0;
}

int BuildAdminSecurity(AdminSecurity *security, DWORD fullAccess, DWORD readAccess)
{
    const KnownSid *const sids[3] = {&administrators, &localSystem, &users};
    const DWORD masks[3] = {fullAccess, fullAccess, readAccess};
    PACL acl = (PACL)security->acl;
    void *ace;

    if (!InitializeAcl(acl, sizeof(security->acl), ACL_REVISION))
        return 0;
    for (int i = 0; i < 3; i++) {
        if (!AddAccessAllowedAce(acl, ACL_REVISION, masks[i], (PSID)sids[i]) || !GetAce(acl, i, &ace))
            return 0;
        /* Set afterwards: AddAccessAllowedAceEx, which takes them, came after NT 4. */
        ((ACE_HEADER *)ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (!InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE))
        return 0;
    /* Nothing is taken over from above (which may let everybody write). NT 4
     * lacks the call, and there a given DACL is never merged with inherited
     * entries in the first place. */
    typedef BOOL(WINAPI * SetControlProc)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                          SECURITY_DESCRIPTOR_CONTROL);
    SetControlProc setControl = (SetControlProc)(void *)GetProcAddress(
        GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl");
    if (setControl && !setControl(&security->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return 0;
    security->attributes.nLength = sizeof(security->attributes);
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return 1;
}
