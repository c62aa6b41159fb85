/* Setup wizard: the five-page property sheet, its pages, the path dialog and the
 * space verdict. Pages talk to the run only through SetupState and the shared
 * buffers of setupdata.h. */
#ifndef KX_WIZARD_H
#define KX_WIZARD_H

#include "setupdata/setupdata.h"
#include <prsht.h>

/* Runs the wizard modally; returns PropertySheetA's result unchanged
 * (0 cancelled, positive finished, -1 the sheet could not be created). */
INT_PTR RunSetupWizard(HWND parent);
/* Fills one page record of the original (version 1) layout. */
PROPSHEETPAGEA_V1 *InitPageRecord(PROPSHEETPAGEA_V1 *page, int templateId, const char *pageName,
                                  DLGPROC proc);

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PortPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PrinterPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstallTypePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ComponentsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InputPathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* The page protocol shared by all pages: button sets are posted to the sheet so
 * they take effect after the current notification; AnswerZero writes the only
 * answer a page ever gives (0) and reports the notification handled. */
void PostWizardButtons(HWND page, LPARAM buttons);
INT_PTR AnswerZero(HWND page);
UINT NotifyCode(LPARAM lParam);

/* The shell's folder browser rooted at a special folder; the chosen item's path
 * goes to path (nothing is written unless the item has one; with
 * BIF_BROWSEFORPRINTER an item without a file-system path gives its parsing
 * name, a network printer's \\server\printer). Everything it gets from the
 * shell, the allocator included, is released again. */
typedef enum { SHELL_BROWSE_CHOSEN, SHELL_BROWSE_CANCELLED, SHELL_BROWSE_FAILED } ShellBrowseResult;
ShellBrowseResult ShellBrowse(HWND owner, int rootFolder, const char *title, UINT flags,
                              char *path, size_t pathChars);

/* Port page helpers. EnumeratePorts: the number of ports, -1 when the spooler
 * could not list them. FindListedPort: 1 found, 0 not listed, -1 no list. */
int EnumeratePorts(void);
int FindListedPort(const char *wanted, char *port, size_t portChars);
void BrowseNetworkPrinter(HWND page);

/* Components page and path dialog: folder choices of the two tools and the
 * result of the Input Path dialog (287 characters and the terminator). */
extern char panelDirChoice[FOLDER_CHARS];
extern char inputPath[FOLDER_CHARS];

/* Takes a folder choice as a full path in `full`: a name that is not `X:\...`
 * or `\\server\share...` is taken below baseDirectory. 1 when every later step
 * can hold it (full, no " < > | * ? or control characters, at most
 * KX_FOLDER_LIMIT characters, see integration.h) and nobody else controls it
 * (JudgeFolderTrust, which refuses a network folder); else 0 and `why` is the
 * English reason. */
int CheckFolderChoice(const char *entered, const char *baseDirectory, char *full,
                      size_t fullChars, const char **why);
/* 1 for `X:\...` and `\\server\share...`. */
int IsFullFolder(const char *folder);

void RecomputeSpace(HWND page);
/* Free bytes of a drive, capped at 4294967295; 0 when the query fails. */
DWORD FreeSpaceOnDrive(char drive);
int SpaceVerdict(void);
/* Fills spaceShortfall as Finish on the components page would, without it. */
void JudgeSpace(DWORD selected, char statusDrive);
void BrowseForFolder(HWND owner, int rootFolder, const char *title, UINT flags);

#endif
