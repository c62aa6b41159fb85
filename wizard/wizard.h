/* Setup wizard: the five-page property sheet, its pages and the path dialog.
 * Pages talk to the run only through the setup record the run hands to
 * RunSetupWizard: each page gets it in its PROPSHEETPAGE's lParam and the path
 * dialog in DialogBoxParamA's, and keeps it in DWLP_USER. */
#ifndef KX_WIZARD_H
#define KX_WIZARD_H

#include "rules/rules.h"
#include <prsht.h>

/* Runs the wizard modally; returns PropertySheetA's result unchanged
 * (0 cancelled, positive finished, -1 the sheet could not be created). */
INT_PTR RunSetupWizard(HWND parent, SetupStateRecord *state);
/* Forgets what the pages kept from an earlier run in the process. */
void ResetWizard(void);
void ResetPortPage(void);
void ResetComponentsPage(void);
/* Fills one page record of the original (version 1) layout. */
PROPSHEETPAGEA_V1 *InitPageRecord(PROPSHEETPAGEA_V1 *page, int templateId, const char *pageName,
                                  DLGPROC proc, SetupStateRecord *state);
/* The record a page or the path dialog was given at WM_INITDIALOG. */
void KeepPageRecord(HWND page, SetupStateRecord *state);
SetupStateRecord *PageRecord(HWND page);

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
ShellBrowseResult ShellBrowse(SetupStateRecord *state, HWND owner, int rootFolder,
                              const char *title, UINT flags, char *path, size_t pathChars);

void BrowseNetworkPrinter(HWND page);

void RecomputeSpace(HWND page);
void BrowseForFolder(HWND owner, int rootFolder, const char *title, UINT flags);

#endif
