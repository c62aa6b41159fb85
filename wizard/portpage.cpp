#include "wizard/wizard.h"
#include "rules/rules.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <shlobj.h>
#include <string.h>
#include <strsafe.h>

static int portCount;
static char networkPrinterPath[FOLDER_CHARS];

void ResetPortPage(void)
{
    portCount = 0;
    ZeroMemory(networkPrinterPath, sizeof(networkPrinterPath));
}

/* Ports are inserted at explicit positions so that the list keeps the spooler's
 * order despite the combo box's sort style. Names are inserted whole, however
 * long: a port is never listed under a shortened name. */
static void ListPorts(HWND page)
{
    int select = -1, position = 0;

    for (int i = 0; i < portCount; i++) {
        const char *name = ListedPorts()[i].pPortName;
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
    ShellBrowse(PageRecord(page), page, CSIDL_NETWORK, KX_TEXT_BROWSE_PRINTER,
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
    SetupStateRecord *state = PageRecord(page);
    LRESULT index = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0);
    LRESULT length;

    if (index == CB_ERR)
        return;
    length = SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || length >= (LRESULT)sizeof(state->portName))
        return;
    SendDlgItemMessageA(page, IDC_PORT_COMBO, CB_GETLBTEXT, (WPARAM)index,
                        (LPARAM)state->portName);
}

INT_PTR CALLBACK PortPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetupStateRecord *state = PageRecord(page);

    switch (message) {
    case WM_INITDIALOG:
        state = (SetupStateRecord *)((const PROPSHEETPAGEA *)lParam)->lParam;
        KeepPageRecord(page, state);
        state->portName[0] = '\0';
        portCount = EnumeratePorts();
        ListPorts(page);
        ReleasePorts();
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
            state->portName[0] = '\0';
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
