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
#define CREATOR_AUTHORITY {{0, 0, 0, 0, 0, 3}}
static const KnownSid administrators = {1, 2, NT_AUTHORITY, {32, 544}};
static const KnownSid localSystem = {1, 1, NT_AUTHORITY, {18}};
static const KnownSid users = {1, 2, NT_AUTHORITY, {32, 545}};
static const KnownSid powerUsers = {1, 2, NT_AUTHORITY, {32, 547}};
static const KnownSid creatorOwner = {1, 1, CREATOR_AUTHORITY, {0}};
static const KnownSid creatorGroup = {1, 1, CREATOR_AUTHORITY, {1}};
static const KnownSid trustedInstaller = {
    1, 6, NT_AUTHORITY, {80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}};

/* What lets somebody else put a file or folder there, change or take one
 * away, turn an empty folder into a link (attributes), or give himself those
 * rights; the generic rights are mapped onto these before they are judged. */
#define FILE_CONTROL_RIGHTS                                                                   \
    (FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |    \
     FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER)
/* What lets somebody else rename a folder above away, or one of its children
 * (the next folder of the path), and put his own in its place. */
#define FILE_RENAME_RIGHTS (DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER)
#define KEY_CONTROL_RIGHTS                                                                    \
    (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER)

static const GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE,
                                            FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
static const GENERIC_MAPPING keyMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};

static const char onShare[] = "is on a network share";
static const char aLink[] = "is a link to another place";
static const char hardLinked[] = "has another name elsewhere (a hard link)";
static const char notFolder[] = "is not a folder";
static const char aRoot[] = "is the root of a drive";
static const char noPermissions[] = "is on a drive that keeps no permissions";
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

/* Who may hold control. Before Vista Power Users may make themselves
 * administrators, and the running account has no unelevated half there; from
 * Vista on an administrator's unelevated programs run as that same account,
 * so it is trusted no more than any other user. */
struct Trust {
    DWORD accountBuffer[64];
    PSID account;
};

static void ReadTrust(Trust *trust)
{
    OSVERSIONINFOA version;
    HANDLE token;
    DWORD needed;

    trust->account = NULL;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || version.dwMajorVersion >= 6)
        return;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    if (GetTokenInformation(token, TokenUser, trust->accountBuffer, sizeof(trust->accountBuffer),
                            &needed))
        trust->account = ((TOKEN_USER *)trust->accountBuffer)->User.Sid;
    CloseHandle(token);
}

static int IsTrustedSid(PSID sid, const Trust *trust)
{
    return EqualSid(sid, (PSID)&administrators) || EqualSid(sid, (PSID)&localSystem) ||
           EqualSid(sid, (PSID)&trustedInstaller) ||
           (trust->account && (EqualSid(sid, (PSID)&powerUsers) || EqualSid(sid, trust->account)));
}

/* The rights and the grantee of an entry that allows anything, of any of the
 * allowing kinds (callback entries are honoured from Windows 8 on); 0 for
 * denying and auditing entries. A compound entry names no one grantee:
 * *sid stays NULL, which no trust covers. */
static int AllowedEntry(const ACE_HEADER *header, ACCESS_MASK *mask, PSID *sid)
{
    const BYTE *body = (const BYTE *)header + sizeof(ACE_HEADER);
    DWORD flags;

    *sid = NULL;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        *sid = (PSID)(body + sizeof(ACCESS_MASK));
        break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        CopyMemory(&flags, body + sizeof(ACCESS_MASK), sizeof(flags));
        body += sizeof(ACCESS_MASK) + sizeof(DWORD);
        if (flags & ACE_OBJECT_TYPE_PRESENT)
            body += sizeof(GUID);
        if (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
            body += sizeof(GUID);
        *sid = (PSID)body;
        break;
    case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
        break;
    default:
        return 0;
    }
    CopyMemory(mask, (const BYTE *)header + sizeof(ACE_HEADER), sizeof(*mask));
    return 1;
}

/* The owner must be trusted; then no entry may give anybody else `own` on the
 * object itself or `handed` on the files and folders it hands its entries
 * down to. CREATOR OWNER and CREATOR GROUP entries stand for whoever makes
 * the new object: the run itself. */
static const char *JudgeDescriptor(PSECURITY_DESCRIPTOR descriptor, const Trust *trust,
                                   const GENERIC_MAPPING *mapping, DWORD own, DWORD handed)
{
    BOOL present = FALSE, defaulted;
    PSID owner = NULL, sid;
    PACL dacl = NULL;
    ACE_HEADER *ace;
    ACCESS_MASK mask;

    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
        !IsTrustedSid(owner, trust))
        return ownedByOther;
    /* No DACL at all lets everybody do everything. */
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return openToOthers;
    for (WORD i = 0; i < dacl->AceCount; i++) {
        if (!GetAce(dacl, i, (void **)&ace))
            return unreadable;
        if (!AllowedEntry(ace, &mask, &sid))
            continue;
        if (sid && (IsTrustedSid(sid, trust) || EqualSid(sid, (PSID)&creatorOwner) ||
                    EqualSid(sid, (PSID)&creatorGroup)))
            continue;
        MapGenericMask(&mask, (PGENERIC_MAPPING)mapping);
        if (!(ace->AceFlags & INHERIT_ONLY_ACE) && (mask & own))
            return openToOthers;
        if ((ace->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) && (mask & handed))
            return openToOthers;
    }
    return NULL;
}

static HANDLE OpenForSecurity(const char *path, DWORD flags)
{
    return CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, NULL);
}

/* One folder or file, looked at through a handle to the entry itself, so that
 * a link is judged and never followed. NULL when it passes or (with *missing
 * set) when it is not there. Without `acls` only its kind is judged. */
static const char *JudgeEntry(const char *path, const Trust *trust, int acls, int folder,
                              DWORD own, DWORD handed, int *missing)
{
    BY_HANDLE_FILE_INFORMATION info;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    const char *reason = NULL;
    DWORD needed = 0, code;
    HANDLE entry = OpenForSecurity(path, FILE_FLAG_OPEN_REPARSE_POINT);

    /* NT 4 has no links of this kind and may refuse the flag. */
    if (entry == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        entry = OpenForSecurity(path, 0);
    *missing = 0;
    if (entry == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        *missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                   code == ERROR_INVALID_DRIVE || code == ERROR_NOT_READY;
        return *missing ? NULL : unreadable;
    }
    if (!GetFileInformationByHandle(entry, &info))
        reason = unreadable;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        reason = aLink;
    else if (folder && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        reason = notFolder;
    /* Another name of the file may lie anywhere: making it the
     * administrators' own, or copying over it, would reach that too. */
    else if (acls && !folder && info.nNumberOfLinks > 1)
        reason = hardLinked;
    else if (acls) {
        const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        GetKernelObjectSecurity(entry, parts, NULL, 0, &needed);
        if (needed)
            descriptor = AllocateMemory(needed);
        if (!descriptor || !GetKernelObjectSecurity(entry, parts, descriptor, needed, &needed))
            reason = unreadable;
        else
            reason = JudgeDescriptor(descriptor, trust, &fileMapping, own, handed);
    }
    FreeMemory(descriptor);
    CloseHandle(entry);
    return reason;
}

static int KeepsPermissions(const char *path)
{
    char root[4] = {path[0], ':', '\\', '\0'};
    DWORD flags = FILE_PERSISTENT_ACLS;

    /* A volume that cannot be asked is taken to keep them: it is judged. */
    return !GetVolumeInformationA(root, NULL, 0, NULL, NULL, &flags, NULL, 0) ||
           (flags & FILE_PERSISTENT_ACLS);
}

int IsInsideFolder(const char *path, const char *folder)
{
    int length = (int)strlen(folder);

    /* Compared as the file system compares names, without the rest of path. */
    return (int)strlen(path) >= length && (path[length] == '\0' || path[length] == '\\') &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, length, folder, length) ==
               CSTR_EQUAL;
}

/* The system folder is the boundary the system itself keeps: when other users
 * may change it (NT 4's defaults let Everyone change system32), or its volume
 * keeps no permissions, no folder is better protected than the system, and
 * there is nothing to refuse. */
static int SystemHasBoundary(const Trust *trust, char *system, UINT chars)
{
    int missing;
    UINT length = GetSystemDirectoryA(system, chars);

    if (length == 0 || length >= chars)
        return 1;
    if (!KeepsPermissions(system))
        return 0;
    return JudgeEntry(system, trust, 1, 1, FILE_CONTROL_RIGHTS, 0, &missing) == NULL && !missing;
}

/* The files directly in an existing status folder: the program starts them,
 * and a newer one is kept over the medium's. */
static const char *JudgeFilesIn(const char *folder, const Trust *trust, char *failed,
                                size_t failedChars, char *open, size_t openChars)
{
    WIN32_FIND_DATAA found;
    char pattern[FOLDER_CHARS + 4];
    const char *reason = NULL;
    int missing;
    HANDLE search;

    if (FAILED(StringCchPrintfA(pattern, ARRAYSIZE(pattern), "%s\\*", folder)))
        return unreadable;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return NULL;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (FAILED(StringCchPrintfA(failed, failedChars, "%s\\%s", folder, found.cFileName))) {
            reason = unreadable;
            break;
        }
        reason = JudgeEntry(failed, trust, 1, 0, FILE_CONTROL_RIGHTS, 0, &missing);
        if (reason == openToOthers) {
            if (!open[0])
                StringCchCopyA(open, openChars, failed);
            reason = NULL;
        }
    } while (!reason && FindNextFileA(search, &found));
    FindClose(search);
    return reason;
}

/* What refuses a folder by its name alone: a share, a name too long, a
 * volume's root (everybody may add to it, and it cannot be made anybody's
 * own). The name goes to `path` (FOLDER_CHARS). */
static const char *RefusedByName(const char *folder, char *path)
{
    char root[4] = {folder[0], ':', '\\', '\0'};

    if (folder[0] == '\0' || folder[1] != ':' || folder[2] != '\\' ||
        GetDriveTypeA(root) == DRIVE_REMOTE)
        return onShare;
    if (FAILED(StringCchCopyA(path, FOLDER_CHARS, folder)))
        return unreadable;
    if (folder[3] == '\0')
        return aRoot;
    return NULL;
}

/* From `top` down, each folder of `path` that stands; below a missing one
 * none does. `*length` is how much of the path stands, `failed` the folder
 * judged last, `open` a last folder only open to others (FOLDER_CHARS each). */
static const char *JudgeFoldersBelow(char *path, size_t top, const Trust *trust, int acls,
                                     int *missing, char *failed, char *open, size_t *length)
{
    const char *reason = NULL;

    *length = top;
    for (char *cut = path + top; !reason && !*missing; cut++) {
        char kept = *cut;
        /* A trailing backslash names no further folder. */
        if ((kept == '\\' || kept == '\0') && cut[-1] != '\\') {
            *cut = '\0';
            StringCchCopyA(failed, FOLDER_CHARS, path);
            /* The status folder itself may hold nothing of others'; a folder
             * above it may not be renamed away by them. */
            int last = kept == '\0' || (kept == '\\' && cut[1] == '\0');
            reason = JudgeEntry(path, trust, acls, 1, last ? FILE_CONTROL_RIGHTS : FILE_RENAME_RIGHTS,
                                last ? FILE_CONTROL_RIGHTS : 0, missing);
            if (reason == openToOthers && last) {
                StringCchCopyA(open, FOLDER_CHARS, path);
                reason = NULL;
            }
            if (!reason && !*missing && last && acls)
                reason = JudgeFilesIn(path, trust, failed, FOLDER_CHARS, open, FOLDER_CHARS);
            if (reason)
                break;
            *cut = kept;
            if (!*missing)
                *length = (size_t)(cut - path);
        }
        if (!kept)
            break;
    }
    return reason;
}

/* `held`: the caller holds the folder open without letting it be deleted or
 * renamed, which no folder above it can be while it is held either: only
 * the folder itself and its files are judged. */
static int JudgeFolder(const char *folder, size_t *standing, const char **why, int held)
{
    char path[FOLDER_CHARS], system[FOLDER_CHARS], windows[FOLDER_CHARS], failed[FOLDER_CHARS];
    char open[FOLDER_CHARS] = "";
    char root[4] = {folder[0], ':', '\\', '\0'};
    const char *reason;
    Trust trust;
    int acls, missing = 0;
    size_t length = 0, top;

    *why = NULL;
    if (standing)
        *standing = 0;
    reason = RefusedByName(folder, path);
    if (reason) {
        *why = Refusal("folder", folder, "it", reason);
        return FolderUntrusted;
    }
    ReadTrust(&trust);
    acls = SystemHasBoundary(&trust, system, ARRAYSIZE(system));
    /* Said once; every judgement of the process stands on the same ground. */
    static int told;
    if (!acls) {
        if (!told++)
            LogLine("the system folder %s may be changed by other users or keeps no permissions: "
                    "no folder is protected better than it",
                    system);
    } else if (!KeepsPermissions(folder)) {
        *why = Refusal("folder", folder, "it", noPermissions);
        return FolderUntrusted;
    }
    /* Inside the Windows folder the folders above it are not judged: the
     * system keeps them open while it runs from them, and whoever could move
     * them could move the system. */
    top = 3;
    UINT windowsLength = GetWindowsDirectoryA(windows, ARRAYSIZE(windows));
    if (held) {
        for (size_t at = 3; path[at]; at++)
            if (path[at] == '\\' && path[at + 1])
                top = at + 1;
    }
    else if (acls && windowsLength > 3 && windowsLength < ARRAYSIZE(windows) &&
             IsInsideFolder(folder, windows))
        top = windowsLength;
    else if (acls)
        reason = JudgeEntry(root, &trust, 1, 1, FILE_RENAME_RIGHTS, 0, &missing);
    StringCchCopyA(failed, ARRAYSIZE(failed), root);
    if (!reason && !missing)
        reason = JudgeFoldersBelow(path, top, &trust, acls, &missing, failed, open, &length);
    if (standing)
        *standing = length;
    if (reason) {
        *why = Refusal("folder", folder, lstrcmpiA(failed, folder) == 0 ? "it" : failed, reason);
        return FolderUntrusted;
    }
    if (missing)
        return FolderMissing;
    if (!open[0])
        return FolderTrusted;
    /* Told to a caller that only reads there and so cannot make it safe. */
    *why = Refusal("folder", folder, lstrcmpiA(open, folder) == 0 ? "it" : open, openToOthers);
    return FolderRepairable;
}

int JudgeFolderTrust(const char *folder, size_t *standing, const char **why)
{
    return JudgeFolder(folder, standing, why, 0);
}

int JudgeHeldFolder(const char *folder, const char **why)
{
    return JudgeFolder(folder, NULL, why, 1);
}

/* Why the drive's root lets other users take a folder made there away (or
 * keeps no permissions to stop them), on a system that has a boundary at all;
 * NULL when it does not. */
static const char *OpenRoot(char drive)
{
    char root[4] = {drive, ':', '\\', '\0'}, system[FOLDER_CHARS];
    const char *reason;
    Trust trust;
    int missing;

    ReadTrust(&trust);
    if (!SystemHasBoundary(&trust, system, ARRAYSIZE(system)))
        return NULL;
    if (!KeepsPermissions(root))
        return "keeps no permissions";
    reason = JudgeEntry(root, &trust, 1, 1, FILE_RENAME_RIGHTS, 0, &missing);
    return reason == openToOthers || reason == ownedByOther ? reason : NULL;
}

void DefaultStatusFolder(char drive, char *folder, size_t chars)
{
    char windows[FOLDER_CHARS];
    const char *why, *open = OpenRoot(drive);
    UINT length;

    StringCchPrintfA(folder, chars, "%c:\\STATUS", drive);
    if (!open)
        return;
    /* Where any user could rename X:\STATUS away and put his own in its place
     * (Windows 2000's Everyone: Full Control of the root, or a FAT volume
     * beside an NTFS system), the folder goes below the Windows folder,
     * which the system protects, as Windows Installer keeps its own; on
     * whatever drive Windows lives. */
    length = GetWindowsDirectoryA(windows, ARRAYSIZE(windows));
    if (length == 0 || length >= ARRAYSIZE(windows) ||
        FAILED(StringCchPrintfA(folder, chars, "%s\\STATUS", windows)) ||
        JudgeFolderTrust(folder, NULL, &why) == FolderUntrusted) {
        StringCchPrintfA(folder, chars, "%c:\\STATUS", drive);
        return;
    }
    LogLine("default status folder: %s, since %c:\\ %s", folder, drive, open);
}

const char *JudgeFileOwner(HANDLE file)
{
    DWORD descriptor[256], needed = 0;
    char system[FOLDER_CHARS];
    Trust trust;

    ReadTrust(&trust);
    if (!SystemHasBoundary(&trust, system, ARRAYSIZE(system)))
        return NULL;
    if (!GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION, descriptor, sizeof(descriptor),
                                 &needed))
        return "its owner cannot be read";
    return JudgeDescriptor(descriptor, &trust, &fileMapping, 0, 0) == ownedByOther
               ? "it is owned by another user"
               : NULL;
}

int JudgeKeyTrust(HKEY key, const char *name, const char **why)
{
    DWORD descriptor[256];
    DWORD bytes = sizeof(descriptor);
    const char *reason = unreadable;
    char shown[TEXT_CHARS + 8];
    Trust trust;

    *why = NULL;
    ReadTrust(&trust);
    if (RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor,
                          &bytes) == ERROR_SUCCESS)
        reason = JudgeDescriptor(descriptor, &trust, &keyMapping, KEY_CONTROL_RIGHTS,
                                 KEY_CONTROL_RIGHTS);
    if (!reason)
        return KeyTrusted;
    StringCchPrintfA(shown, ARRAYSIZE(shown), "HKLM\\%s", name);
    *why = Refusal("registry key", shown, "it", reason);
    return reason == openToOthers ? KeyRepairable : KeyUntrusted;
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
    /* The group owns what the run makes and protects: on XP an object an
     * administrator makes is otherwise that administrator's own, which SYSTEM
     * (a deployment tool) and the other administrators do not trust. */
    if (!InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorOwner(&security->descriptor, (PSID)&administrators, FALSE))
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
