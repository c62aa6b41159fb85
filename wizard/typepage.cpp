#include "wizard/wizard.h"
#include "resources/resource.h"
#include <commctrl.h>

static void DeriveComponents(SetupStateRecord *state, int mode)
{
    switch (mode) {
    case Express:
    case Custom:
        state->selectedComponents = state->availableComponents;
        break;
    case Minimum:
        state->selectedComponents = state->availableComponents & MODEL_BITS;
        break;
    }
}

static LPARAM ButtonsFor(int mode)
{
    return mode == Custom ? (PSWIZB_BACK | PSWIZB_NEXT) : (PSWIZB_BACK | PSWIZB_FINISH);
}

INT_PTR CALLBACK InstallTypePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetupStateRecord *state = PageRecord(page);

    switch (message) {
    case WM_INITDIALOG:
        state = (SetupStateRecord *)((const PROPSHEETPAGEA *)lParam)->lParam;
        KeepPageRecord(page, state);
        state->installMode = Express;
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
        state->installMode = id;
        CheckRadioButton(page, Uninstall, Express, id);
        PostWizardButtons(page, ButtonsFor(id));
        DeriveComponents(state, id);
        return TRUE;
    }
    case WM_NOTIFY:
        switch (NotifyCode(lParam)) {
        case PSN_SETACTIVE:
            if (state->installMode != 0)
                SendDlgItemMessageA(page, state->installMode, BM_SETCHECK, BST_CHECKED, 0);
            PostWizardButtons(page, ButtonsFor(state->installMode));
            return TRUE;
        case PSN_KILLACTIVE:
            return AnswerZero(page);
        case PSN_RESET:
            state->installMode = 0;
            return AnswerZero(page);
        case PSN_WIZNEXT:
        case PSN_WIZFINISH:
            DeriveComponents(state, state->installMode);
            return TRUE;
        case PSN_WIZBACK:
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
