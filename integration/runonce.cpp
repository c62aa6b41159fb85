#include "integration/integration.h"

/* Both command lines are stored with their terminating zero. */
static const char wrapperCommand[] = "runonce";
static const char groupConverterCommand[] = "grpconv -o";

LONG WriteRunOnceEntries(int startNow)
{
    HKEY runOnce, setup;
    LONG status, written;

    /* The list is opened, never created: a machine without it gets no entries
     * and no start of the processor. */
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, KX_RUNONCE_KEY, 0, KEY_ALL_ACCESS, &runOnce);
    if (status != ERROR_SUCCESS)
        return status;

    if (RegOpenKeyExA(runOnce, "Setup", 0, KEY_READ, &setup) == ERROR_SUCCESS) {
        RegCloseKey(setup);
        status = RegSetValueExA(runOnce, "Wrapper", 0, REG_SZ, (const BYTE *)wrapperCommand,
                                sizeof(wrapperCommand));
    }
    written = RegSetValueExA(runOnce, "GrpConv", 0, REG_SZ, (const BYTE *)groupConverterCommand,
                             sizeof(groupConverterCommand));
    if (status == ERROR_SUCCESS)
        status = written;
    RegCloseKey(runOnce);

    if (startNow)
        WinExec("runonce -r", SW_SHOWNORMAL);
    return status;
}
