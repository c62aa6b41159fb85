#include "tests/unit/trust_support.h"
#include <sddl.h>
#include <algorithm>

DECLARE_IMPORT_SLOT(CreateFileA);
DECLARE_IMPORT_SLOT(CloseHandle);
DECLARE_IMPORT_SLOT(GetKernelObjectSecurity);
DECLARE_IMPORT_SLOT(GetFileInformationByHandle);
DECLARE_IMPORT_SLOT(GetVolumeInformationA);
DECLARE_IMPORT_SLOT(RegGetKeySecurity);
DECLARE_IMPORT_SLOT(GetVersionExA);
DECLARE_IMPORT_SLOT(GetFileSecurityA);

std::map<std::string, std::string> FakeSecurity::folders;
std::set<std::string> FakeSecurity::links;
std::string FakeSecurity::keys;
DWORD FakeSecurity::volumeFlags;
std::set<std::string> FakeSecurity::fatRoots;
std::map<std::string, std::string> FakeSecurity::raw;
DWORD FakeSecurity::majorVersion;
DWORD FakeSecurity::minorVersion;
static std::map<HANDLE, std::string> opened;
static const char trusted[] = "O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

static std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
}

static HANDLE WINAPI TrackCreateFileA(LPCSTR path, DWORD access, DWORD share,
                                      LPSECURITY_ATTRIBUTES attributes, DWORD disposition,
                                      DWORD flags, HANDLE model)
{
    HANDLE file = REAL(CreateFileA)(path, access, share, attributes, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE)
        opened[file] = Lower(path);
    return file;
}

static BOOL WINAPI TrackCloseHandle(HANDLE handle)
{
    opened.erase(handle);
    return REAL(CloseHandle)(handle);
}

/* The descriptor of `sddl` in the caller's buffer, as the system hands one out. */
static BOOL CopyDescriptor(const std::string &sddl, PSECURITY_DESCRIPTOR buffer, DWORD bytes,
                           LPDWORD needed)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ULONG size = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, &size)) {
        ADD_FAILURE() << "bad SDDL " << sddl;
        return FALSE;
    }
    *needed = size;
    BOOL fits = bytes >= size;
    if (fits)
        memcpy(buffer, descriptor, size);
    LocalFree(descriptor);
    SetLastError(fits ? 0 : ERROR_INSUFFICIENT_BUFFER);
    return fits;
}

static BOOL WINAPI FakeGetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION,
                                               PSECURITY_DESCRIPTOR buffer, DWORD bytes,
                                               LPDWORD needed)
{
    auto path = opened.find(handle);
    auto given = path == opened.end() ? FakeSecurity::raw.end() : FakeSecurity::raw.find(path->second);
    if (given != FakeSecurity::raw.end()) {
        *needed = (DWORD)given->second.size();
        if (bytes < *needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        memcpy(buffer, given->second.data(), given->second.size());
        return TRUE;
    }
    auto named = path == opened.end() ? FakeSecurity::folders.end()
                                      : FakeSecurity::folders.find(path->second);
    return CopyDescriptor(named == FakeSecurity::folders.end() ? trusted : named->second, buffer,
                          bytes, needed);
}

static BOOL WINAPI FakeGetFileSecurityA(LPCSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR buffer,
                                        DWORD bytes, LPDWORD needed)
{
    auto named = FakeSecurity::folders.find(Lower(path));
    return CopyDescriptor(named == FakeSecurity::folders.end() ? trusted : named->second, buffer,
                          bytes, needed);
}

static BOOL WINAPI FakeGetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info)
{
    BOOL read = REAL(GetFileInformationByHandle)(handle, info);
    auto path = opened.find(handle);
    if (read && path != opened.end() && FakeSecurity::links.count(path->second))
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return read;
}

static BOOL WINAPI FakeGetVolumeInformationA(LPCSTR root, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags,
                                             LPSTR, DWORD)
{
    *flags = FakeSecurity::fatRoots.count(Lower(root)) ? FILE_CASE_PRESERVED_NAMES
                                                       : FakeSecurity::volumeFlags;
    return TRUE;
}

static BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info)
{
    BOOL got = REAL(GetVersionExA)(info);
    if (got && FakeSecurity::majorVersion) {
        info->dwMajorVersion = FakeSecurity::majorVersion;
        info->dwMinorVersion = FakeSecurity::minorVersion;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
    return got;
}

static LONG WINAPI FakeRegGetKeySecurity(HKEY key, SECURITY_INFORMATION information,
                                         PSECURITY_DESCRIPTOR buffer, LPDWORD bytes)
{
    if (FakeSecurity::keys.empty())
        return REAL(RegGetKeySecurity)(key, information, buffer, bytes);
    return CopyDescriptor(FakeSecurity::keys, buffer, *bytes, bytes) ? ERROR_SUCCESS
                                                                    : ERROR_INSUFFICIENT_BUFFER;
}

FakeSecurity::FakeSecurity()
{
    folders.clear();
    links.clear();
    keys.clear();
    fatRoots.clear();
    raw.clear();
    majorVersion = minorVersion = 0;
    volumeFlags = FILE_PERSISTENT_ACLS | FILE_CASE_PRESERVED_NAMES;
#define KX_PATCH(name, fake) \
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(name), reinterpret_cast<void *>(fake)))
    KX_PATCH(CreateFileA, TrackCreateFileA);
    KX_PATCH(CloseHandle, TrackCloseHandle);
    KX_PATCH(GetKernelObjectSecurity, FakeGetKernelObjectSecurity);
    KX_PATCH(GetFileInformationByHandle, FakeGetFileInformationByHandle);
    KX_PATCH(GetVolumeInformationA, FakeGetVolumeInformationA);
    KX_PATCH(RegGetKeySecurity, FakeRegGetKeySecurity);
    KX_PATCH(GetVersionExA, FakeGetVersionExA);
    KX_PATCH(GetFileSecurityA, FakeGetFileSecurityA);
#undef KX_PATCH
}

FakeSecurity::~FakeSecurity()
{
    while (!patches.empty())
        patches.pop_back();
    opened.clear();
}

void FakeSecurity::Folder(const std::string &path, const std::string &sddl)
{
    folders[Lower(path)] = sddl;
}

void FakeSecurity::FolderDescriptor(const std::string &path, PSECURITY_DESCRIPTOR descriptor)
{
    DWORD bytes = 0;
    MakeSelfRelativeSD(descriptor, NULL, &bytes);
    std::string copy(bytes, '\0');
    if (!MakeSelfRelativeSD(descriptor, &copy[0], &bytes))
        ADD_FAILURE() << "no self-relative descriptor: " << GetLastError();
    raw[Lower(path)] = copy;
}

void FakeSecurity::Link(const std::string &path)
{
    links.insert(Lower(path));
}

std::string RunningAccountSddl()
{
    HANDLE token;
    DWORD buffer[64], needed;
    char *text = NULL;
    std::string sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &needed) &&
            ConvertSidToStringSidA(((TOKEN_USER *)buffer)->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
        CloseHandle(token);
    }
    return sid;
}
