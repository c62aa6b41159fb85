#include "integration/integration.h"
#include <strsafe.h>

/* Event Viewer reads the events' texts with the message table of the status
 * folder's program (each message is its one insertion string). A source that
 * cannot be registered leaves the install whole: its events are still
 * written, under the same source name, only without the message file. */
void RecordEventSource(const char *statusDir)
{
    char file[TEXT_CHARS];

    if (SUCCEEDED(StringCchPrintfA(file, ARRAYSIZE(file), "%s\\kxsetup.exe", statusDir)))
        WriteMachineString(KX_EVENT_KEY, "EventMessageFile", file);
}

/* The event log is the monitoring's, not the run's: writing to it changes
 * nothing of the installation, and nothing undoes it. */
void ReportRunEvent(WORD type, DWORD id, const char *text)
{
    HANDLE source = RegisterEventSourceA(NULL, KX_EVENT_SOURCE);

    if (!source)
        return;
    ReportEventA(source, type, 0, id, NULL, 1, 0, &text, NULL);
    DeregisterEventSource(source);
}
