#include "tests/unit/harness.h"
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include <shlwapi.h>
#include <algorithm>
#include <deque>
#include <memory>

DECLARE_IMPORT_SLOT(MessageBoxA);
DECLARE_IMPORT_SLOT(RegSetValueExA);

static std::vector<ScopedImport *> patches; /* in the order they went in */

ScopedImport::ScopedImport(void **s, void *fake) : slot(s), saved(*s)
{
    DWORD old;
    VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &old);
    *slot = fake;
    VirtualProtect(slot, sizeof(void *), old, &old);
    patches.push_back(this);
}

ScopedImport::~ScopedImport()
{
    DWORD old;
    VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &old);
    *slot = saved;
    VirtualProtect(slot, sizeof(void *), old, &old);
    patches.erase(std::find(patches.begin(), patches.end(), this));
}

void *RealImport(void **slot)
{
    for (size_t i = 0; i < patches.size(); i++)
        if (patches[i]->slot == slot)
            return patches[i]->saved;
    return *slot;
}

/* ---- message boxes ---- */

static std::vector<RecordedBox> boxes;
static std::deque<int> answers;

static int WINAPI RecordingMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    RecordedBox box;
    box.owner = owner;
    box.caption = caption ? caption : "";
    box.text = text ? text : "";
    box.style = style;
    boxes.push_back(box);
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    switch (style & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}

void QueueBoxAnswer(int answer) { answers.push_back(answer); }

std::vector<RecordedBox> TakeBoxes()
{
    std::vector<RecordedBox> taken;
    taken.swap(boxes);
    return taken;
}

void ExpectOneBox(const char *caption, const char *text, UINT style, HWND owner)
{
    std::vector<RecordedBox> taken = TakeBoxes();
    ASSERT_EQ(1u, taken.size()) << "boxes shown: " << taken.size();
    EXPECT_EQ(std::string(caption), taken[0].caption);
    EXPECT_EQ(std::string(text), taken[0].text);
    EXPECT_EQ(style, taken[0].style);
    EXPECT_EQ(owner, taken[0].owner);
}

static std::unique_ptr<ScopedImport> boxPatch;

void KxTest::SetUp()
{
    ResetRun();
    SetupState.instance = GetModuleHandleA(NULL);
    boxes.clear();
    answers.clear();
    boxPatch.reset(new ScopedImport(IMPORT_SLOT(MessageBoxA),
                                    reinterpret_cast<void *>(RecordingMessageBoxA)));
}

void KxTest::TearDown()
{
    boxPatch.reset();
    for (size_t i = 0; i < boxes.size(); i++)
        ADD_FAILURE() << "unexpected message box: caption \"" << boxes[i].caption
                      << "\" text \"" << boxes[i].text << "\"";
    boxes.clear();
    answers.clear();
}

/* ---- driving modal UI ---- */

static HHOOK cbtHook;
static std::vector<HWND> activated;
static const std::function<bool(HWND)> *currentStep;
static bool stepping, scriptDone, timedOut;
static DWORD deadline;

static bool IsDialog(HWND window)
{
    char name[16];
    return GetClassNameA(window, name, sizeof(name)) && lstrcmpA(name, "#32770") == 0;
}

static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && IsDialog((HWND)wParam)) {
        HWND window = (HWND)wParam;
        if (activated.empty() || activated.back() != window)
            activated.push_back(window);
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

static HWND TopDialog()
{
    for (size_t i = activated.size(); i-- > 0;)
        if (IsWindow(activated[i]) && IsWindowEnabled(activated[i]))
            return activated[i];
    return NULL;
}

static void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (stepping)
        return;
    stepping = true;
    if (!scriptDone && GetTickCount() > deadline) {
        timedOut = true;
        scriptDone = true;
    }
    if (timedOut) {
        for (size_t i = activated.size(); i-- > 0;)
            if (IsWindow(activated[i])) {
                HWND cancel = GetDlgItem(activated[i], IDCANCEL);
                if (cancel)
                    SendMessageA(cancel, BM_CLICK, 0, 0);
                else
                    PostMessageA(activated[i], WM_COMMAND, IDCANCEL, 0);
            }
    } else if (!scriptDone) {
        HWND top = TopDialog();
        if (top && !(*currentStep)(top))
            scriptDone = true;
    }
    stepping = false;
}

void DriveUi(const std::function<void()> &body, const std::function<bool(HWND)> &step,
             DWORD timeoutMs, UINT intervalMs)
{
    activated.clear();
    currentStep = &step;
    stepping = scriptDone = timedOut = false;
    deadline = GetTickCount() + timeoutMs;
    cbtHook = SetWindowsHookExA(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(NULL, 0, intervalMs, StepTimer);
    body();
    KillTimer(NULL, timer);
    UnhookWindowsHookEx(cbtHook);
    cbtHook = NULL;
    currentStep = NULL;
    if (timedOut)
        ADD_FAILURE() << "UI script timed out after " << timeoutMs << " ms";
}

const std::vector<HWND> &ActivatedDialogs() { return activated; }

void ClickButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    ASSERT_TRUE(button != NULL) << "no control " << id;
    SendMessageA(button, BM_CLICK, 0, 0);
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

static DWORD WINAPI HungWindowThread(void *parameter)
{
    HungWindow *hung = (HungWindow *)parameter;
    hung->window = CreateWindowExA(0, "STATIC", hung->title.c_str(), WS_POPUP, 0, 0, 10, 10, NULL,
                                   NULL, NULL, NULL);
    SetEvent(hung->created);
    WaitForSingleObject(hung->release, 20000);
    DestroyWindow(hung->window);
    return 0;
}

HungWindow::HungWindow(const char *title) : title(title), window(NULL)
{
    created = CreateEventA(NULL, TRUE, FALSE, NULL);
    release = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread = CreateThread(NULL, 0, HungWindowThread, this, 0, NULL);
    WaitForSingleObject(created, 10000);
    EXPECT_TRUE(window != NULL) << "no window " << title;
}

HungWindow::~HungWindow()
{
    SetEvent(release);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(release);
    CloseHandle(created);
}

/* ---- registry ---- */

void DeleteKeyTree(HKEY root, const char *path) { SHDeleteKeyA(root, path); }

bool KeyExists(HKEY root, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string RegText(HKEY root, const std::string &path, const char *name, DWORD type)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "(missing)";
    DWORD stored = 0, size = 0;
    std::string bytes;
    LONG rc = RegQueryValueExA(key, name, NULL, &stored, NULL, &size);
    if (rc == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        rc = RegQueryValueExA(key, name, NULL, &stored, size ? (BYTE *)&bytes[0] : NULL, &size);
        bytes.resize(size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return "(missing)";
    if (stored != type)
        return "(type " + std::to_string(stored) + ")";
    if (type == REG_SZ && !bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    return bytes;
}

static RegWriteRecorder *recorder;

static LONG WINAPI RecordingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                           const BYTE *data, DWORD size)
{
    recorder->writes.push_back({ name ? name : "", type, std::string((const char *)data, size) });
    return REAL(RegSetValueExA)(key, name, reserved, type, data, size);
}

RegWriteRecorder::RegWriteRecorder()
    : patch(IMPORT_SLOT(RegSetValueExA), reinterpret_cast<void *>(RecordingRegSetValueExA))
{
    recorder = this;
}

RegWriteRecorder::~RegWriteRecorder() { recorder = nullptr; }

const RecordedRegWrite *RegWriteRecorder::Find(const char *name) const
{
    for (size_t i = 0; i < writes.size(); i++)
        if (writes[i].name == name)
            return &writes[i];
    return nullptr;
}

struct SavedValue { std::string name; DWORD type; std::string data; };
struct SavedKey { std::string name; std::vector<SavedValue> values; std::vector<SavedKey> keys; };
static std::vector<std::pair<RegistrySnapshot *, SavedKey>> snapshots;

static void SaveKey(HKEY key, SavedKey *out)
{
    char name[16384];
    for (DWORD i = 0;; i++) {
        DWORD nameLen = sizeof(name), type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, NULL, &size) != ERROR_SUCCESS)
            break;
        SavedValue value;
        value.name.assign(name, nameLen);
        value.type = type;
        value.data.assign(size, '\0');
        nameLen = sizeof(name);
        RegEnumValueA(key, i, name, &nameLen, NULL, &type, size ? (BYTE *)&value.data[0] : NULL, &size);
        value.data.resize(size);
        out->values.push_back(value);
    }
    for (DWORD i = 0;; i++) {
        DWORD nameLen = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        SavedKey sub;
        sub.name.assign(name, nameLen);
        HKEY child;
        if (RegOpenKeyExA(key, sub.name.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
            SaveKey(child, &sub);
            RegCloseKey(child);
        }
        out->keys.push_back(sub);
    }
}

static void RestoreKey(HKEY key, const SavedKey &saved)
{
    for (size_t i = 0; i < saved.values.size(); i++) {
        const SavedValue &v = saved.values[i];
        RegSetValueExA(key, v.name.c_str(), 0, v.type, (const BYTE *)v.data.data(), (DWORD)v.data.size());
    }
    for (size_t i = 0; i < saved.keys.size(); i++) {
        HKEY child;
        if (RegCreateKeyExA(key, saved.keys[i].name.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                            &child, NULL) == ERROR_SUCCESS) {
            RestoreKey(child, saved.keys[i]);
            RegCloseKey(child);
        }
    }
}

RegistrySnapshot::RegistrySnapshot(HKEY r, const char *p) : root(r), path(p), existed(false)
{
    SavedKey saved;
    HKEY key;
    if (RegOpenKeyExA(root, p, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        existed = true;
        SaveKey(key, &saved);
        RegCloseKey(key);
    }
    snapshots.push_back(std::make_pair(this, saved));
}

RegistrySnapshot::~RegistrySnapshot()
{
    SavedKey saved;
    for (size_t i = 0; i < snapshots.size(); i++)
        if (snapshots[i].first == this) {
            saved = snapshots[i].second;
            snapshots.erase(snapshots.begin() + i);
            break;
        }
    SHDeleteKeyA(root, path.c_str());
    if (existed) {
        HKEY key;
        if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) == ERROR_SUCCESS) {
            RestoreKey(key, saved);
            RegCloseKey(key);
        }
    }
}

/* ---- files ---- */

TempDir::TempDir()
{
    char base[MAX_PATH], name[MAX_PATH];
    static int counter;
    GetTempPathA(sizeof(base), base);
    wsprintfA(name, "%skxt%lu_%d", base, GetCurrentProcessId(), ++counter);
    RemoveTree(name);
    CreateDirectoryA(name, NULL);
    path = name;
}

TempDir::~TempDir() { RemoveTree(path); }

std::string TempDir::File(const char *name) const { return path + "\\" + name; }

void TempDir::Write(const char *name, const std::string &content) const
{
    HANDLE file = CreateFileA(File(name).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string BuildPath(const char *relative)
{
    std::string path = std::string("Z:") + KX_BUILD_DIR + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ReadFileBytes(const std::string &path)
{
    std::string content;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof(chunk), &got, NULL) && got)
        content.append(chunk, got);
    CloseHandle(file);
    return content;
}

void RemoveTree(const std::string &path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

/* ---- a setup information file ---- */

const char versionSection[] =
    "[Version]\r\nSignature=\"$Chicago$\"\r\nLayoutFile=layout.inf\r\n";

/* Manufacturer "Kalyx" with `count` models M1.., each with an install and a
 * data section; a negative count leaves out the manufacturer section. */
std::string Medium(int count, const std::string &extra)
{
    std::string text = versionSection;
    if (count >= 0)
        text += "[Manufacturer]\r\nKalyx\r\n[Kalyx]\r\n";
    for (int i = 1; i <= count; i++)
        text += "\"Kalyx Model " + std::to_string(i) + "\" = M" + std::to_string(i) + "\r\n";
    for (int i = 1; i <= count; i++) {
        std::string n = std::to_string(i);
        text += "[M" + n + "]\r\nCopyFiles = M" + n + ".Files\r\nDataFile = m" + n +
                "data.dll\r\nDataSection = M" + n + ".Data\r\n[M" + n + ".Data]\r\nDriverFile = m" +
                n + "drv.dll\r\nConfigFile = m" + n + "ui.dll\r\nHelpFile = m" + n + "ui.hlp\r\n";
    }
    return text + extra;
}
