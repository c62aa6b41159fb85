/* The log of a run (/log=FILE) and the plan of a run that is only described
 * (/plan=FILE): plain text, one line per step with the local time. Every
 * change the program makes to the machine is described once, by Act: its
 * action line (marked "> ") goes to the log before the change is made, or to
 * the plan instead of making it. Without a log or plan the calls cost nothing. */
#ifndef KX_LOG_H
#define KX_LOG_H

#include <windows.h>

/* 1 when the file could be opened for appending (it is created if missing).
 * Only a plain disk file with a single name is taken. */
int OpenLog(const char *path);
/* A plan starts a fresh file; from then on Act makes nothing. */
int OpenPlan(const char *path);
/* Why the last OpenLog or OpenPlan refused a file it could open; "" when it
 * could not be opened at all. */
const char *OutputRefusal(void);
void CloseLog(void);
int LogIsOpen(void);
int Planning(void);
/* One line: the time, then the formatted text (cut at 2 KB). */
void LogLine(const char *format, ...);
/* The action line of a change. 1: make the change now (a run), then report it
 * with ActDone; 0: a plan, the change is not to be made. */
int Act(const char *format, ...);
/* The outcome of the change just made: "ok" or "failed, error <n>". */
void ActDone(BOOL succeeded, DWORD code);
/* A Win32 status as the log shows it: "ok" or "error <n>". */
const char *LogStatus(DWORD code);

#endif
