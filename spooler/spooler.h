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

/* The language monitor, then each selected model's driver and printer (an
 * existing one is replaced, unless KeepPlacedPrinters asked to keep one that
 * is on the model's driver and the run's port); 1 on success, 0 after the
 * failing step's box. */
int AddPrinters(SetupStateRecord *state);
void KeepPlacedPrinters(int keep);
/* The language monitor deleted before its DLL is copied over, where the
 * spooler lets it go; AddPrinters adds it again. Its re-addition is journaled
 * before the DLL's own undo (JournalMonitorBack), so that a stop puts the
 * earlier DLL back before the spooler loads it again. */
void JournalMonitorBack(void);
void FreeMonitor(void);
/* Each selected model's printer and driver, whatever is there. */
void RemovePrinters(SetupStateRecord *state);

/* Template 115's procedure: ends the dialog with IDC_SET_DEFAULT (1025) or 2. */
INT_PTR CALLBACK DefaultPrinterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SetDefaultPrinter(SetupStateRecord *state);

/* /verify: the language monitor, and each recorded model's driver, the
 * driver's files and its printer, reported as there or missing. */
void VerifySpooler(const SetupStateRecord *state, VerifyReport report, void *context);
/* Names the kinds of undo step the spooler's changes journal. */
void DefineSpoolerUndo(void);
void DefineDefaultPrinterUndo(void);

#endif
