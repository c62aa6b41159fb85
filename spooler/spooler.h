/* Spooler registration: language monitor, printer drivers and printers of the
 * selected models, and the default printer offer. */
#ifndef KX_SPOOLER_H
#define KX_SPOOLER_H

#include "rules/rules.h"

/* The spooler environment of the records: "Windows NT x86" in the shipped i686
 * build; the x86_64 test build registers in its own environment because Wine's
 * 64-bit spooler only finds drivers there. */
#ifdef _WIN64
#define KX_SPOOLER_ENVIRONMENT "Windows x64"
#else
#define KX_SPOOLER_ENVIRONMENT "Windows NT x86"
#endif
#define KX_MONITOR_NAME "Tremaro PJL Language Monitor"

/* mode 1 adds, 0 removes; 1 on success, 0 after the failing step's box (add only). */
int RegisterPrinters(SetupStateRecord *state, int mode);

/* Template 115's procedure: ends the dialog with IDC_SET_DEFAULT (1025) or 2. */
INT_PTR CALLBACK DefaultPrinterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SetDefaultPrinter(SetupStateRecord *state);

#endif
