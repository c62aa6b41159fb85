#include "wizard/wizard.h"
#include "resources/resource.h"
#include <commctrl.h>

static void DeriveComponents(int mode)
{
    switch (mode) {
    case Express:
    case Custom:
        SetupState.selectedComponents = SetupState.availableComponents;
        break;
    case Minimum:
        SetupState.selectedComponents = SetupState.availableComponents & MODEL_BITS;
        break;
    }
}

static LPARAM ButtonsFor(int mode)
{
    return mode == Custom ? (PSWIZB_BACK | PSWIZB_NEXT) : (PSWIZB_BACK | PSWIZB_FINISH);
}

INT_PTR CALLBACK InstallTypePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetupState.installMode = Express;
        CheckRadioButton(page, Uninstall, Express, Express);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        /* Only the three type buttons choose a type; a stray command (a default
         * button id from the keyboard) must not become the installation type. */
        if (id != Minimum && id != Custom && id != Express)
            return FALSE;
        SetupState.installMode = id;
        CheckRadioButton(page, Uninstall, Express, id);
        PostWizardButtons(page, ButtonsFor(id));
        DeriveComponents(id);
        return TRUE;
    }
    case WM_NOTIFY:
        switch (NotifyCode(lParam)) {
        case PSN_SETACTIVE:
            if (SetupState.installMode != 0)
                SendDlgItemMessageA(page, SetupState.installMode, BM_SETCHECK, BST_CHECKED, 0);
            PostWizardButtons(page, ButtonsFor(SetupState.installMode));
            return TRUE;
        case PSN_KILLACTIVE:
            return AnswerZero(page);
        case PSN_RESET:
            SetupState.installMode = 0;
            return AnswerZero(page);
        case PSN_WIZNEXT:
        case PSN_WIZFINISH:
            DeriveComponents(SetupState.installMode);
            return TRUE;
        case PSN_WIZBACK:
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
