/* Helpers for driving the real setup wizard in-process: scripts of steps run
 * from DriveUi's timer, and fakes for the spooler's port list, the shell's
 * browser and the disk free-space queries. */
#ifndef KX_WIZARD_SUPPORT_H
#define KX_WIZARD_SUPPORT_H

#include "tests/unit/harness.h"
#include "wizard/wizard.h"
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum { SheetBack = 12323, SheetNext = 12324, SheetFinish = 12325, SheetCancel = IDCANCEL };
enum { PageWelcome, PagePort, PagePrinter, PageType, PageComponents };

/* One step of a script, called on a timer tick with the sheet and the topmost
 * enabled dialog; returns true when done, false to be called again. */
typedef std::function<bool(HWND sheet, HWND top)> WizardStep;
typedef std::vector<WizardStep> WizardScript;

/* Runs RunSetupWizard(NULL) through the script; returns its result. */
INT_PTR RunWizard(const WizardScript &script, DWORD timeoutMs = 20000);

WizardStep Press(int sheetButton);
/* Waits until page `index` is current (and no other dialog is on top), then acts. */
WizardStep OnPage(int index, std::function<void(HWND page)> action);
/* Checks the sheet's wizard buttons (see WizardButtons) once the page's posted
 * button set has been handled. */
WizardStep ExpectButtons(const std::string &expected);
/* Waits until a dialog other than the sheet is on top, then acts on it. */
WizardStep InDialog(std::function<void(HWND dialog)> action);
/* From the welcome page to page `index` with Next (choosing Custom on the way
 * to the components page). */
void WalkTo(WizardScript &script, int index);

/* On the components page: presses a Change button, types `text` into the Input
 * Path dialog and closes it with `closeWith` (IDOK or IDCANCEL). */
void EnterPath(WizardScript &script, int changeButton, const std::string &text,
               int closeWith = IDOK);

/* Posts a button's click to a page, for buttons that open a modal dialog. */
void PostClick(HWND page, int id);
/* The sheet's wizard buttons, e.g. "Back off, Next on, Finish hidden". */
std::string WizardButtons(HWND sheet);
std::string ItemText(HWND window, int id);
bool IsChecked(HWND window, int id);
bool IsEnabled(HWND window, int id);
std::vector<std::string> ComboEntries(HWND page, int id);

/* EnumPortsA lists exactly these names; a buffer too small fails with 122. With
 * failWith set every call fails, reporting that many bytes needed. */
struct FakePorts {
    std::unique_ptr<ScopedImport> patch;
    FakePorts(const std::vector<std::string> &names, DWORD failWith = 0);
    static std::vector<DWORD> bufferSizes;
};

/* The shell's browser: SHBrowseForFolderA "chooses" `path` (NULL: the user
 * cancels; empty: an item without a file-system path, whose parsing name the
 * desktop folder gives as parsingName). `outstanding` counts what the shell
 * hands out (allocator and folder references, blocks) and gets back. */
struct FakeShell {
    std::vector<std::unique_ptr<ScopedImport>> patches;
    explicit FakeShell(const char *path);
    static std::string path;
    static std::wstring parsingName;
    static bool cancel;
    static int rootFolder, outstanding;
    static std::string title;
    static UINT flags;
};

/* Free bytes per drive letter; other drives fail the query. With ex false
 * GetDiskFreeSpaceExA is absent (as on NT 4 before its first service pack) and
 * the classic cluster query answers. */
struct FakeDisks {
    std::vector<std::unique_ptr<ScopedImport>> patches;
    explicit FakeDisks(bool ex = true);
    static std::map<char, ULONGLONG> freeBytes;
};

/* The usual set-up for wizard tests: every component offered, drivers on C:,
 * started from D:\SETUP, fake disks C: 100 MB and E: 50 MB free. */
class WizardTest : public KxTest {
protected:
    std::unique_ptr<FakeDisks> disks;
    void SetUp() override;
    void TearDown() override;
};

#endif
