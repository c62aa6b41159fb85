/* The log of a run (/log=FILE): plain text, appended, one line per step with
 * the local time. Every subsystem reports its effects here; without a log the
 * calls cost nothing. */
#ifndef KX_LOG_H
#define KX_LOG_H

#include <windows.h>

/* 1 when the file could be opened for appending (it is created if missing). */
int OpenLog(const char *path);
void CloseLog(void);
int LogIsOpen(void);
/* One line: the time, then the formatted text (cut at 2 KB). */
void LogLine(const char *format, ...);
/* A Win32 status as the log shows it: "ok" or "error <n>". */
const char *LogStatus(DWORD code);
/* A call's outcome: "ok", or "failed, error <n>" (n may be 0). */
const char *LogResult(BOOL succeeded, DWORD code);

#endif
