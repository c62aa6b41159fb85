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

/* Each type button's id is the number of its installation type, so a button
 * names its type and a type its button. */
static_assert(IDC_TYPE_MINIMUM == Minimum && IDC_TYPE_CUSTOM == Custom &&
                  IDC_TYPE_EXPRESS == Express,
              "the type buttons carry the numbers of their types");

/* The type buttons are one group: the chosen one ticked, the others not. */
static void TickTypeButton(HWND page, int chosen)
{
    for (int button = IDC_TYPE_MINIMUM; button <= IDC_TYPE_EXPRESS; button++)
        SendDlgItemMessageA(page, button, BM_SETCHECK,
                            button == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
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
        TickTypeButton(page, IDC_TYPE_EXPRESS);
        return TRUE;
    case WM_COMMAND: {
        int button = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        /* Only the three type buttons choose a type; a stray command (a default
         * button id from the keyboard) must not become the installation type. */
        if (button != IDC_TYPE_MINIMUM && button != IDC_TYPE_CUSTOM && button != IDC_TYPE_EXPRESS)
            return FALSE;
        int mode = button;
        state->installMode = mode;
        TickTypeButton(page, button);
        PostWizardButtons(page, ButtonsFor(mode));
        DeriveComponents(state, mode);
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
