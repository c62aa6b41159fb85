#include "wizard/wizard.h"
#include "resources/resource.h"
#include <shlobj.h>
#include <strsafe.h>

/* The field is read as a path: 259 characters and the terminator. Typing stops
 * at the folder limit, but the browser may put in more, and a longer text is
 * read whole so that it is refused rather than taken cut short. */
#define INPUT_PATH_READ 260

void BrowseForFolder(HWND owner, int rootFolder, const char *title, UINT flags)
{
    SetupStateRecord *state = PageRecord(owner);

    /* Only a cancel empties the field; a browser that cannot start, or an item
     * without a file-system path, leaves it as it was. */
    if (ShellBrowse(state, owner, rootFolder, title, flags, state->inputPath,
                    ARRAYSIZE(state->inputPath)) == SHELL_BROWSE_CANCELLED)
        state->inputPath[0] = '\0';
}

INT_PTR CALLBACK InputPathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetupStateRecord *state = PageRecord(dialog);

    switch (message) {
    case WM_INITDIALOG:
        KeepPageRecord(dialog, (SetupStateRecord *)lParam);
        SendDlgItemMessageA(dialog, IDC_INPUT_PATH, EM_LIMITTEXT, KX_FOLDER_LIMIT, 0);
        return TRUE;
    case WM_COMMAND:
        switch (wParam) {
        case IDOK:
            SendDlgItemMessageA(dialog, IDC_INPUT_PATH, WM_GETTEXT, INPUT_PATH_READ,
                                (LPARAM)state->inputPath);
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_INPUT_BROWSE:
            BrowseForFolder(dialog, CSIDL_DESKTOP, KX_CAPTION_INPUT_PATH, BIF_RETURNONLYFSDIRS);
            if (state->inputPath[0])
                SendDlgItemMessageA(dialog, IDC_INPUT_PATH, WM_SETTEXT, 0,
                                    (LPARAM)state->inputPath);
            break;
        }
        return TRUE;
    }
    return FALSE;
}
