#include "integration/integration.h"
#include <strsafe.h>

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
