#include "tests/unit/wizard_support.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <ctype.h>
#include <shlobj.h>
#include <string.h>
#include <winspool.h>

DECLARE_IMPORT_SLOT(EnumPortsA);
DECLARE_IMPORT_SLOT(SHGetMalloc);
DECLARE_IMPORT_SLOT(SHGetSpecialFolderLocation);
DECLARE_IMPORT_SLOT(SHBrowseForFolderA);
DECLARE_IMPORT_SLOT(SHGetPathFromIDListA);
DECLARE_IMPORT_SLOT(SHGetDesktopFolder);
DECLARE_IMPORT_SLOT(GetProcAddress);
DECLARE_IMPORT_SLOT(GetDiskFreeSpaceA);

/* ---- scripts ---- */

INT_PTR RunWizard(const WizardScript &script, DWORD timeoutMs)
{
    INT_PTR result = -2;
    size_t next = 0;
    DriveUi([&] { result = RunSetupWizard(NULL, &SetupState); },
            [&](HWND top) {
                if (next < script.size() && script[next](ActivatedDialogs().front(), top))
                    next++;
                return next < script.size();
            },
            timeoutMs);
    EXPECT_EQ(script.size(), next) << "the script stopped at step " << next;
    return result;
}

WizardStep Press(int sheetButton)
{
    return [=](HWND sheet, HWND top) {
        if (top != sheet)
            return false;
        ClickButton(sheet, sheetButton);
        return true;
    };
}

WizardStep OnPage(int index, std::function<void(HWND page)> action)
{
    return [=](HWND sheet, HWND top) {
        if (top != sheet)
            return false;
        HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
        if (!page || SendMessageA(sheet, PSM_HWNDTOINDEX, (WPARAM)page, 0) != index)
            return false;
        action(page);
        return true;
    };
}

WizardStep ExpectButtons(const std::string &expected)
{
    return [=](HWND sheet, HWND) {
        EXPECT_EQ(expected, WizardButtons(sheet));
        return true;
    };
}

WizardStep InDialog(std::function<void(HWND dialog)> action)
{
    return [=](HWND sheet, HWND top) {
        if (top == sheet)
            return false;
        action(top);
        return true;
    };
}

void WalkTo(WizardScript &script, int index)
{
    for (int page = PageWelcome; page < index; page++) {
        if (page == PageType && index == PageComponents)
            script.push_back(OnPage(page, [](HWND p) { ClickButton(p, Custom); }));
        else
            script.push_back(OnPage(page, [](HWND) {}));
        script.push_back(Press(SheetNext));
    }
}

void EnterPath(WizardScript &script, int changeButton, const std::string &text, int closeWith)
{
    script.push_back(OnPage(PageComponents, [=](HWND page) { PostClick(page, changeButton); }));
    script.push_back(InDialog([=](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_INPUT_PATH, text.c_str());
        ClickButton(dialog, closeWith);
    }));
}

void PostClick(HWND page, int id)
{
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(page, id));
}

static std::string ButtonState(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    if (!button || !IsWindowVisible(button))
        return "hidden";
    return IsWindowEnabled(button) ? "on" : "off";
}

std::string WizardButtons(HWND sheet)
{
    return "Back " + ButtonState(sheet, SheetBack) + ", Next " + ButtonState(sheet, SheetNext) +
           ", Finish " + ButtonState(sheet, SheetFinish);
}

std::string ItemText(HWND window, int id) { return WindowText(GetDlgItem(window, id)); }
bool IsChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }
bool IsEnabled(HWND window, int id) { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }

std::vector<std::string> ComboEntries(HWND page, int id)
{
    std::vector<std::string> entries;
    LRESULT count = SendDlgItemMessageA(page, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendDlgItemMessageA(page, id, CB_GETLBTEXTLEN, i, 0);
        std::string text(length + 1, '\0');
        SendDlgItemMessageA(page, id, CB_GETLBTEXT, i, (LPARAM)&text[0]);
        text.resize(length);
        entries.push_back(text);
    }
    return entries;
}

/* ---- the spooler's port list ---- */

std::vector<DWORD> FakePorts::bufferSizes;
static std::vector<std::string> fakePortNames;
static DWORD fakePortFailure;

static BOOL WINAPI FakeEnumPortsA(LPSTR, DWORD, LPBYTE buffer, DWORD size, LPDWORD needed,
                                  LPDWORD returned)
{
    FakePorts::bufferSizes.push_back(size);
    *returned = 0;
    if (fakePortFailure) {
        *needed = fakePortFailure;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = (DWORD)(fakePortNames.size() * sizeof(PORT_INFO_2A));
    for (size_t i = 0; i < fakePortNames.size(); i++)
        total += (DWORD)fakePortNames[i].size() + 1;
    *needed = total;
    if (size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    PORT_INFO_2A *entries = (PORT_INFO_2A *)buffer;
    char *strings = (char *)(entries + fakePortNames.size());
    for (size_t i = 0; i < fakePortNames.size(); i++) {
        ZeroMemory(&entries[i], sizeof(entries[i]));
        entries[i].pPortName = strings;
        memcpy(strings, fakePortNames[i].c_str(), fakePortNames[i].size() + 1);
        strings += fakePortNames[i].size() + 1;
    }
    *returned = (DWORD)fakePortNames.size();
    return TRUE;
}

FakePorts::FakePorts(const std::vector<std::string> &names, DWORD failWith)
{
    fakePortNames = names;
    fakePortFailure = failWith;
    bufferSizes.clear();
    patch.reset(new ScopedImport(IMPORT_SLOT(EnumPortsA), (void *)FakeEnumPortsA));
}

/* ---- the shell's browser ---- */

std::string FakeShell::path;
std::wstring FakeShell::parsingName;
bool FakeShell::cancel;
int FakeShell::rootFolder = -1, FakeShell::outstanding;
std::string FakeShell::title;
UINT FakeShell::flags;

struct CountingMalloc : IMalloc {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FakeShell::outstanding; }
    ULONG STDMETHODCALLTYPE Release() override { return --FakeShell::outstanding; }
    void *STDMETHODCALLTYPE Alloc(SIZE_T bytes) override
    {
        FakeShell::outstanding++;
        return CoTaskMemAlloc(bytes);
    }
    void *STDMETHODCALLTYPE Realloc(void *block, SIZE_T bytes) override
    {
        return CoTaskMemRealloc(block, bytes);
    }
    void STDMETHODCALLTYPE Free(void *block) override
    {
        if (block)
            FakeShell::outstanding--;
        CoTaskMemFree(block);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void *) override { return (SIZE_T)-1; }
    int STDMETHODCALLTYPE DidAlloc(void *) override { return -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};
static CountingMalloc countingMalloc;

static LPITEMIDLIST NewItemList()
{
    LPITEMIDLIST list = (LPITEMIDLIST)countingMalloc.Alloc(sizeof(USHORT));
    list->mkid.cb = 0;
    return list;
}

static HRESULT WINAPI FakeSHGetMalloc(IMalloc **out)
{
    countingMalloc.AddRef();
    *out = &countingMalloc;
    return S_OK;
}

/* The desktop folder: only the parsing name is answered, as a STRRET_WSTR from
 * the shell's allocator. */
struct ParsingNameFolder : IShellFolder {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FakeShell::outstanding; }
    ULONG STDMETHODCALLTYPE Release() override { return --FakeShell::outstanding; }
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF flags, STRRET *name) override
    {
        if (flags != SHGDN_FORPARSING || FakeShell::parsingName.empty())
            return E_FAIL;
        size_t bytes = (FakeShell::parsingName.size() + 1) * sizeof(WCHAR);
        name->uType = STRRET_WSTR;
        name->pOleStr = (LPWSTR)countingMalloc.Alloc(bytes);
        memcpy(name->pOleStr, FakeShell::parsingName.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx *, LPWSTR, ULONG *, PIDLIST_RELATIVE *,
                                               ULONG *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx *, REFIID, void **) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx *, REFIID, void **) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF *) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT *,
                                            void **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                        PITEMID_CHILD *) override { return E_NOTIMPL; }
};
static ParsingNameFolder parsingNameFolder;

static HRESULT WINAPI FakeSHGetDesktopFolder(IShellFolder **out)
{
    parsingNameFolder.AddRef();
    *out = &parsingNameFolder;
    return S_OK;
}

static HRESULT WINAPI FakeSHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST *out)
{
    FakeShell::rootFolder = folder;
    *out = NewItemList();
    return S_OK;
}

static LPITEMIDLIST WINAPI FakeSHBrowseForFolderA(LPBROWSEINFOA info)
{
    FakeShell::title = info->lpszTitle ? info->lpszTitle : "";
    FakeShell::flags = info->ulFlags;
    return FakeShell::cancel ? NULL : NewItemList();
}

static BOOL WINAPI FakeSHGetPathFromIDListA(LPCITEMIDLIST, LPSTR out)
{
    if (FakeShell::path.empty())
        return FALSE;
    lstrcpynA(out, FakeShell::path.c_str(), MAX_PATH);
    return TRUE;
}

FakeShell::FakeShell(const char *chosen)
{
    cancel = chosen == NULL;
    path = chosen ? chosen : "";
    parsingName.clear();
    rootFolder = -1;
    outstanding = 0;
    title.clear();
    flags = 0;
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SHGetMalloc), (void *)FakeSHGetMalloc));
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(SHGetSpecialFolderLocation),
                                          (void *)FakeSHGetSpecialFolderLocation));
    patches.emplace_back(
        new ScopedImport(IMPORT_SLOT(SHBrowseForFolderA), (void *)FakeSHBrowseForFolderA));
    patches.emplace_back(
        new ScopedImport(IMPORT_SLOT(SHGetPathFromIDListA), (void *)FakeSHGetPathFromIDListA));
    patches.emplace_back(
        new ScopedImport(IMPORT_SLOT(SHGetDesktopFolder), (void *)FakeSHGetDesktopFolder));
}

/* ---- disk free space ---- */

std::map<char, ULONGLONG> FakeDisks::freeBytes;
static bool fakeDisksHaveEx;

static bool FreeBytesOf(LPCSTR root, ULONGLONG *bytes)
{
    if (!root || lstrlenA(root) != 3 || root[1] != ':' || root[2] != '\\')
        return false;
    std::map<char, ULONGLONG>::const_iterator found =
        FakeDisks::freeBytes.find((char)toupper((unsigned char)root[0]));
    if (found == FakeDisks::freeBytes.end())
        return false;
    *bytes = found->second;
    return true;
}

static BOOL WINAPI FakeGetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER available,
                                           PULARGE_INTEGER total, PULARGE_INTEGER totalFree)
{
    ULONGLONG bytes;
    if (!FreeBytesOf(root, &bytes)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    available->QuadPart = totalFree->QuadPart = bytes;
    total->QuadPart = bytes * 2;
    return TRUE;
}

/* 8 sectors of 512 bytes a cluster: byte counts that are multiples of 4096 come back exactly. */
static BOOL WINAPI FakeGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                                         LPDWORD bytesPerSector, LPDWORD freeClusters,
                                         LPDWORD totalClusters)
{
    ULONGLONG bytes;
    if (!FreeBytesOf(root, &bytes)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    *sectorsPerCluster = 8;
    *bytesPerSector = 512;
    *freeClusters = (DWORD)(bytes / 4096);
    *totalClusters = *freeClusters * 2;
    return TRUE;
}

static FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name)
{
    if (((ULONG_PTR)name >> 16) && strcmp(name, "GetDiskFreeSpaceExA") == 0)
        return fakeDisksHaveEx ? (FARPROC)(void *)FakeGetDiskFreeSpaceExA : NULL;
    return REAL(GetProcAddress)(module, name);
}

FakeDisks::FakeDisks(bool ex)
{
    fakeDisksHaveEx = ex;
    patches.emplace_back(new ScopedImport(IMPORT_SLOT(GetProcAddress), (void *)FakeGetProcAddress));
    patches.emplace_back(
        new ScopedImport(IMPORT_SLOT(GetDiskFreeSpaceA), (void *)FakeGetDiskFreeSpaceA));
}

/* ---- fixture ---- */

void WizardTest::SetUp()
{
    KxTest::SetUp();
    SetupState.availableComponents = CompModel1 | CompModel2 | CompModel3 | CompStatusDisplay |
                                     CompControlPanel;
    lstrcpyA(SetupState.driverDirectory, "C:\\windows\\system32\\spool\\drivers\\x64");
    lstrcpyA(SetupState.startDirectory, "D:\\SETUP");
    FakeDisks::freeBytes.clear();
    FakeDisks::freeBytes['C'] = 100000000;
    FakeDisks::freeBytes['E'] = 50000000;
    disks.reset(new FakeDisks(true));
}

void WizardTest::TearDown()
{
    disks.reset();
    KxTest::TearDown();
}
