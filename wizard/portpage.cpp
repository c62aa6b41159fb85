#include "wizard/wizard.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <shlobj.h>
#include <string.h>
#include <strsafe.h>
#include <winspool.h>

#define PORT_TABLE_BYTES 30000

static BYTE portTable[PORT_TABLE_BYTES];
static int portCount;
static char networkPrinterPath[FOLDER_CHARS];

/* Where the last successful enumeration left its entries: portTable, or the
 * larger block of the second enumeration until the page has listed them. */
static const PORT_INFO_2A *portEntries;
static HGLOBAL portBlock;

static void ReleasePortBlock(void)
{
    if (portBlock) {
        GlobalUnlock(portBlock);
        GlobalFree(portBlock);
        portBlock = NULL;
    }
    portEntries = NULL;
}

/* The number of ports, or -1 when the spooler could not list them (after the
 * two boxes). */
int EnumeratePorts(void)
{
    DWORD needed = 0, returned = 0;
    BYTE *block = NULL;
    char text[128];

    ReleasePortBlock();
    ZeroMemory(portTable, sizeof(portTable));
    if (EnumPortsA(NULL, 2, portTable, sizeof(portTable), &needed, &returned)) {
        portEntries = (const PORT_INFO_2A *)portTable;
        return (int)returned;
    }
    /* Whatever made the first call fail, try once more with the size it asked for. */
    portBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, needed);
    if (portBlock)
        block = (BYTE *)GlobalLock(portBlock);
    if (block && EnumPortsA(NULL, 2, block, needed, &needed, &returned)) {
        portEntries = (const PORT_INFO_2A *)block;
        return (int)returned;
    }
    KxMessageBox(NULL, "EnumPorts() function fail !!", "Lumaprint setup warring !", MB_OK);
    StringCchPrintfA(text, ARRAYSIZE(text), " dwNeeded = %d   ,   dwReturned = %d \n",
                     (int)needed, (int)returned);
    KxMessageBox(NULL, text, "Lumaprint setup warring !", MB_OK);
    ReleasePortBlock();
    return -1;
}

/* Ports are inserted at explicit positions so that the list keeps the spooler's
 * order despite the combo box's sort style. Names are inserted whole, however
 * long: a port is never listed under a shortened name. */
static void ListPorts(HWND page)
{
    int select = -1, position = 0;

    for (int i = 0; i < portCount; i++) {
        const char *name = portEntries[i].pPortName;
        if (!name)
            continue;
        if (SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_INSERTSTRING, (WPARAM)position,
                                (LPARAM)name) < 0)
            continue;
        if (strcmp(name, "LPT1:") == 0)
            select = position;
        position++;
    }
    if (select >= 0)
        SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, (WPARAM)select, 0);
}

void BrowseNetworkPrinter(HWND page)
{
    ShellBrowse(page, CSIDL_NETWORK, "Please select the network printer that you want to add.",
                BIF_BROWSEFORPRINTER, networkPrinterPath, ARRAYSIZE(networkPrinterPath));
}

static void AddNetworkPrinter(HWND page)
{
    LRESULT index, count;

    BrowseNetworkPrinter(page);
    if (!networkPrinterPath[0])
        return;
    index = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_FINDSTRING, (WPARAM)-1,
                                (LPARAM)networkPrinterPath);
    if (index != CB_ERR) {
        SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, (WPARAM)index, 0);
        return;
    }
    count = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCOUNT, 0, 0);
    if (count == CB_ERR)
        return;
    index = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_INSERTSTRING, (WPARAM)count,
                                (LPARAM)networkPrinterPath);
    if (index >= 0)
        SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_SETCURSEL, (WPARAM)index, 0);
}

/* CB_GETLBTEXT takes no buffer size: an entry that would not fit portName is
 * refused and portName keeps its value. */
static void StoreSelectedPort(HWND page)
{
    LRESULT index = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0);
    LRESULT length;

    if (index == CB_ERR)
        return;
    length = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || length >= (LRESULT)sizeof(SetupState.portName))
        return;
    SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETLBTEXT, (WPARAM)index,
                        (LPARAM)SetupState.portName);
}

INT_PTR CALLBACK PortPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetupState.portName[0] = '\0';
        portCount = EnumeratePorts();
        ListPorts(page);
        ReleasePortBlock();
        return TRUE;
    case WM_COMMAND:
        if (wParam != IDC_PORT_BROWSE)
            return FALSE;
        AddNetworkPrinter(page);
        return TRUE;
    case WM_NOTIFY:
        switch (NotifyCode(lParam)) {
        case PSN_SETACTIVE:
            PostWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
            return TRUE;
        case PSN_KILLACTIVE:
            return AnswerZero(page);
        case PSN_RESET:
            SetupState.portName[0] = '\0';
            return AnswerZero(page);
        case PSN_WIZNEXT:
            StoreSelectedPort(page);
            return TRUE;
        case PSN_WIZBACK:
        case PSN_WIZFINISH:
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
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
    ReleasePortBlock();
    return found;
}
