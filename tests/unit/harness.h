/* Test harness for the in-process unit tests under Wine:
 *  - ScopedImport: swaps one import slot of this executable for a fake while a
 *    test runs (the program's code calls through the slot, so it sees the fake);
 *  - the message-box recorder: every MessageBoxA of the program is answered and
 *    recorded (owner, caption, text, style); KxTest fails on unclaimed boxes;
 *  - DriveUi: runs modal UI (wizard, dialogs) on the test thread and steps a
 *    script from a thread timer, with a watchdog;
 *  - HungWindow: a top-level window whose thread answers no message;
 *  - registry and file helpers that leave the prefix as it was found. */
#ifndef KX_TEST_HARNESS_H
#define KX_TEST_HARNESS_H

#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "tests/unit/slots.h"

/* The address of the import slot of a system function, e.g. IMPORT_SLOT(MessageBoxA).
 * In the i686 build the slot's symbol carries the function's argument bytes
 * (slots.h), and the declaration checks them against the function's own. */
#define IMPORT_SLOT(name) (&kx_slot_##name)
#ifdef _WIN64
#define KX_SLOT_SYMBOL(name) "__imp_" #name
#define KX_CHECK_SLOT(name)
#else
#define KX_STRING(x) KX_STRING_(x)
#define KX_STRING_(x) #x
#define KX_SLOT_SYMBOL(name) "__imp__" #name "@" KX_STRING(KX_SLOT_BYTES_##name)
template <typename F> struct StdcallBytes;
template <typename R, typename... A> struct StdcallBytes<R(__stdcall *)(A...)> {
    static const unsigned value = (0u + ... + ((sizeof(A) + 3u) & ~3u));
};
#define KX_CHECK_SLOT(name) \
    static_assert(StdcallBytes<decltype(&name)>::value == KX_SLOT_BYTES_##name, #name "'s slot bytes");
#endif
#define DECLARE_IMPORT_SLOT(name) \
    KX_CHECK_SLOT(name) extern "C" void *kx_slot_##name __asm__(KX_SLOT_SYMBOL(name))

struct ScopedImport {
    void **slot;
    void *saved;
    ScopedImport(void **slot, void *fake);
    ~ScopedImport();
    ScopedImport(const ScopedImport &) = delete;
    ScopedImport &operator=(const ScopedImport &) = delete;
};
/* Usage: FAKE_IMPORT(GetVersionExA, FakeGetVersionExA);  (lasts to the end of the scope) */
/* The fake must have the function's own type, calling convention included:
 * a fake that is not WINAPI would unbalance the i686 caller's stack. */
#define FAKE_IMPORT(name, fake) \
    ScopedImport kx_fake_##name(IMPORT_SLOT(name), \
                                reinterpret_cast<void *>(static_cast<decltype(&name)>(fake)))
/* What a slot held before the first fake still in it: the system's function,
 * for fakes that pass calls on, e.g. REAL(RegSetValueExA)(key, name, ...). */
void *RealImport(void **slot);
#define REAL(name) reinterpret_cast<decltype(&name)>(RealImport(IMPORT_SLOT(name)))

struct RecordedBox {
    HWND owner;
    std::string caption;
    std::string text;
    UINT style;
};

/* Answers for the next boxes, in order; when none is queued a box is answered
 * with IDOK (MB_OK boxes) or IDYES/IDRETRY/IDOK as the first button of its set. */
void QueueBoxAnswer(int answer);
/* Takes every box recorded so far (and clears the record). */
std::vector<RecordedBox> TakeBoxes();
/* Convenience: exactly one box with this caption and text, else a test failure. */
void ExpectOneBox(const char *caption, const char *text, UINT style, HWND owner = NULL);

/* Base fixture: starts from the program's data as at process start (with this
 * module as its instance), records boxes, and fails the test when boxes were
 * shown that the test did not take. */
class KxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

/* Runs `body` (which enters a modal loop) and calls `step` from a thread timer
 * every `intervalMs` with the most recently activated dialog (#32770) window;
 * `step` returns false when the script is done. After `timeoutMs` the watchdog
 * records a failure and cancels every dialog of the thread. */
void DriveUi(const std::function<void()> &body, const std::function<bool(HWND)> &step,
             DWORD timeoutMs = 15000, UINT intervalMs = 30);
/* Every dialog window activated during the last DriveUi, in order. */
const std::vector<HWND> &ActivatedDialogs();
/* Clicks a button of a dialog (BM_CLICK). */
void ClickButton(HWND dialog, int id);
std::string WindowText(HWND window);

/* A top-level window whose thread takes no message until the object ends, or
 * until 20 s have passed, so that a caller that waits for it ends too. */
struct HungWindow {
    std::string title;
    HWND window;
    HANDLE created, release, thread;
    explicit HungWindow(const char *title);
    ~HungWindow();
};

/* Registry: delete a key with all its subkeys and values (no error when absent). */
void DeleteKeyTree(HKEY root, const char *path);
bool KeyExists(HKEY root, const char *path);
/* A value as the tests compare it: "(missing)" when absent, "(type N)" when it
 * is not of `type`, else its bytes less the one terminating zero that a REG_SZ
 * is stored with (the registry adds it when the byte after the data is zero, so
 * a test that must see the byte count passed observes the call instead). */
std::string RegText(HKEY root, const std::string &path, const char *name, DWORD type = REG_SZ);

/* Observes the program's RegSetValueExA calls while it lasts: each call's value
 * name, type and the exact bytes passed (their count is what the registry was
 * told), then passes the call on so the registry changes as it would. */
struct RecordedRegWrite {
    std::string name;
    DWORD type;
    std::string bytes;
};
struct RegWriteRecorder {
    std::vector<RecordedRegWrite> writes;
    ScopedImport patch;
    RegWriteRecorder();
    ~RegWriteRecorder();
    const RecordedRegWrite *Find(const char *name) const;
};

/* Saves a registry subtree on construction and restores it (and deletes what was
 * added) on destruction. */
struct RegistrySnapshot {
    HKEY root;
    std::string path;
    std::string file;
    bool existed;
    RegistrySnapshot(HKEY root, const char *path);
    ~RegistrySnapshot();
};

/* A fresh folder under %TEMP% that is removed with everything in it. */
struct TempDir {
    std::string path; /* without trailing backslash */
    TempDir();
    ~TempDir();
    std::string File(const char *name) const;
    void Write(const char *name, const std::string &content) const;
};
bool FileExists(const std::string &path);
/* Z:\ path of a file of the build directory. */
std::string BuildPath(const char *relative);
std::string ReadFileBytes(const std::string &path);
void RemoveTree(const std::string &path);

/* oemsetup.inf: the [Version] section, and a medium of manufacturer "Kalyx"
 * with `count` models M1.., each with an install and a data section (a
 * negative count leaves out the manufacturer section), then `extra`. */
extern const char versionSection[];
std::string Medium(int count, const std::string &extra = "");

#endif
