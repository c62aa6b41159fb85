#include "change/change.h"

int Act(const char *format, ...)
{
    va_list args;
    /* The change's own last error must survive the line written before it. */
    DWORD code = GetLastError();

    /* What undoes the change reaches the disk before the change is made. */
    if (!Planning())
        SyncJournal();
    va_start(args, format);
    LogMarkedLine("> ", format, args);
    va_end(args);
    SetLastError(code);
    return !Planning();
}
