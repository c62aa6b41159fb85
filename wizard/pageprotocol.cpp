#include "wizard/wizard.h"

/* What every page and the path dialog share with the sheet; the frame only
 * puts the pages together. */
void PostWizardButtons(HWND page, LPARAM buttons)
{
    PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

INT_PTR AnswerZero(HWND page)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    return TRUE;
}

UINT NotifyCode(LPARAM lParam)
{
    return ((const NMHDR *)lParam)->code;
}

void KeepPageRecord(HWND page, SetupStateRecord *state)
{
    SetWindowLongPtrA(page, DWLP_USER, (LONG_PTR)state);
}

SetupStateRecord *PageRecord(HWND page)
{
    return (SetupStateRecord *)GetWindowLongPtrA(page, DWLP_USER);
}
