#include "rules/rules.h"
#include <strsafe.h>

#define PORT_TABLE_BYTES 30000

alignas(PORT_INFO_2A) static BYTE portTable[PORT_TABLE_BYTES];

/* Where the last successful enumeration left its entries: portTable, or the
 * larger block of the second enumeration until the page has listed them. */
static const PORT_INFO_2A *portEntries;
static BYTE *portBlock;

void ReleasePorts(void)
{
    FreeMemory(portBlock);
    portBlock = NULL;
    portEntries = NULL;
}

/* The number of ports, or -1 when the spooler could not list them (after the
 * two boxes). */
int EnumeratePorts(void)
{
    DWORD needed = 0, returned = 0;
    char text[128];

    ReleasePorts();
    ZeroMemory(portTable, sizeof(portTable));
    if (EnumPortsA(NULL, 2, portTable, sizeof(portTable), &needed, &returned)) {
        portEntries = (const PORT_INFO_2A *)portTable;
        return (int)returned;
    }
    /* Whatever made the first call fail, try once more with the size it asked for. */
    if (needed)
        portBlock = (BYTE *)AllocateMemory(needed);
    if (portBlock && EnumPortsA(NULL, 2, portBlock, needed, &needed, &returned)) {
        portEntries = (const PORT_INFO_2A *)portBlock;
        return (int)returned;
    }
    KxMessageBox(NULL, KX_TEXT_PORTS_FAILED, KX_CAPTION_PORTS, MB_OK);
    StringCchPrintfA(text, ARRAYSIZE(text), KX_TEXT_PORTS_COUNTS,
                     (int)needed, (int)returned);
    KxMessageBox(NULL, text, KX_CAPTION_PORTS, MB_OK);
    ReleasePorts();
    return -1;
}

const PORT_INFO_2A *ListedPorts(void)
{
    return portEntries;
}

/* A port as the spooler lists it, found without regard to case; the listed
 * spelling goes to `port`. 1 found, 0 not listed, -1 no list to look in. */
int FindListedPort(const char *wanted, char *port, size_t portChars)
{
    int count = EnumeratePorts();
    int found = 0;

    if (count < 0)
        return -1;
    for (int i = 0; i < count && !found; i++) {
        const char *name = portEntries[i].pPortName;
        if (name && lstrcmpiA(name, wanted) == 0)
            found = SUCCEEDED(StringCchCopyA(port, portChars, name));
    }
    ReleasePorts();
    return found;
}
