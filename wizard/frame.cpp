#include "wizard/wizard.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <stddef.h>

/* The sheet walks a PSH_PROPSHEETPAGE array by each record's dwSize, so the
 * records must be exactly as long as the size they announce. */
static_assert(sizeof(PROPSHEETPAGEA_V1) ==
                  offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(((PROPSHEETPAGEA *)0)->pcRefParent),
              "page records must be laid out back to back at their announced size");

#define WIZARD_PAGES 5

PROPSHEETPAGEA_V1 *InitPageRecord(PROPSHEETPAGEA_V1 *page, int templateId, const char *pageName,
                                  DLGPROC proc, SetupStateRecord *state)
{
    ZeroMemory(page, sizeof(*page));
    page->dwSize = PROPSHEETPAGEA_V1_SIZE;
    page->dwFlags = PSP_DEFAULT;
    page->hInstance = state->instance;
    page->pszTemplate = MAKEINTRESOURCEA(templateId);
    page->hIcon = NULL;
    page->pszTitle = pageName;
    page->pfnDlgProc = proc;
    page->lParam = (LPARAM)state;
    return page;
}

void ResetWizard(void)
{
    ResetPortPage();
    ResetComponentsPage();
}

INT_PTR RunSetupWizard(HWND parent, SetupStateRecord *state)
{
    PROPSHEETPAGEA_V1 pages[WIZARD_PAGES];
    PROPSHEETHEADERA header;

    InitPageRecord(&pages[0], IDD_WELCOME, "Welcome", WelcomePageProc, state);
    InitPageRecord(&pages[1], IDD_PORT, "Select Port", PortPageProc, state);
    InitPageRecord(&pages[2], IDD_PRINTER, "Select Printer", PrinterPageProc, state);
    InitPageRecord(&pages[3], IDD_INSTALLTYPE, "Installation Type", InstallTypePageProc, state);
    InitPageRecord(&pages[4], IDD_COMPONENTS, "Choose Components", ComponentsPageProc, state);

    ZeroMemory(&header, sizeof(header));
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
    header.hwndParent = parent;
    header.pszCaption = KX_CAPTION_WIZARD;
    header.nPages = WIZARD_PAGES;
    header.nStartPage = 0;
    header.ppsp = (LPCPROPSHEETPAGEA)pages;
    return PropertySheetA(&header);
}

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return AnswerZero(page);
    if (message != WM_NOTIFY)
        return FALSE;
    switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
        PostWizardButtons(page, PSWIZB_NEXT);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
        return AnswerZero(page);
    case PSN_WIZNEXT:
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK PrinterPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        /* Shows which printer the software is for; the selection is never read. */
        SendDlgItemMessageA(page, IDC_PRINTER_LIST, LB_ADDSTRING, 0, (LPARAM) "Kalyx Q70/Q90");
        return TRUE;
    }
    if (message != WM_NOTIFY)
        return FALSE;
    switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
        PostWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
        return AnswerZero(page);
    case PSN_WIZBACK:
    case PSN_WIZNEXT:
    case PSN_WIZFINISH:
        return TRUE;
    default:
        return FALSE;
    }
}
