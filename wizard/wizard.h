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
PROPSHEETPAGEA *InitPageRecord(PROPSHEETPAGEA *page, int templateId, const char *pageName, DLGPROC proc);

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PortPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PrinterPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstallTypePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ComponentsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InputPathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Port page helpers */
int EnumeratePorts(void);
void BrowseNetworkPrinter(HWND page);

/* Components page helpers */
void RecomputeSpace(HWND page);
DWORD FreeSpaceOnDrive(char drive);
int SpaceVerdict(void);
void BrowseForFolder(HWND owner, int rootFolder, const char *title, UINT flags);

#endif
