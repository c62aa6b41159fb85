#include "wizard/wizard.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <ctype.h>
#include <strsafe.h>

struct ComponentSpace {
    char drive;
    int ticked;
};

enum { RowModel1, RowModel2, RowModel3, RowStatus, RowPanel, ROWS };

static const DWORD rowBit[ROWS] = { CompModel1, CompModel2, CompModel3, CompStatusDisplay,
                                    CompControlPanel };
static const int rowBox[ROWS] = { IDC_MODEL1, IDC_MODEL2, IDC_MODEL3, IDC_STATUS, IDC_PANEL };

static ComponentSpace componentSpace[ROWS];
static char driverDrive;
/* The columns as last shown, with the free space shown for each: Finish judges
 * these, the drives are not asked again. */
static SpaceColumns shown;
static DWORD shownFree[3];

void ResetComponentsPage(void)
{
    ZeroMemory(componentSpace, sizeof(componentSpace));
    driverDrive = 0;
    ZeroMemory(&shown, sizeof(shown));
    ZeroMemory(shownFree, sizeof(shownFree));
}

/* The controls of one space column: drive head, bytes needed, bytes free. */
struct SpaceColumn {
    int head, need, free;
};
static const SpaceColumn column[3] = {
    { IDC_COL1_HEAD, IDC_COL1_NEED, IDC_COL1_FREE },
    { IDC_COL2_HEAD, IDC_COL2_NEED, IDC_COL2_FREE },
    { IDC_COL3_HEAD, IDC_COL3_NEED, IDC_COL3_FREE },
};
/* Index of the drive letter in a column head such as "Drive C:". */
#define HEAD_LETTER 6

static void SetBytes(HWND page, int id, DWORD bytes)
{
    char text[32];
    StringCchPrintfA(text, ARRAYSIZE(text), "%lu bytes", (unsigned long)bytes);
    SetDlgItemTextA(page, id, text);
}

static void ShowColumn(HWND page, int index)
{
    char head[] = "Drive  :";
    head[HEAD_LETTER] = shown.drive[index];
    SetDlgItemTextA(page, column[index].head, head);
    SetBytes(page, column[index].need, shown.need[index]);
    shownFree[index] = FreeSpaceOnDrive(shown.drive[index]);
    SetBytes(page, column[index].free, shownFree[index]);
}

static void ClearColumn(HWND page, int index)
{
    SetDlgItemTextA(page, column[index].head, "");
    SetDlgItemTextA(page, column[index].need, "");
    SetDlgItemTextA(page, column[index].free, "");
}

static DWORD TickedComponents(void)
{
    DWORD ticked = 0;
    for (int row = 0; row < ROWS; row++)
        if (componentSpace[row].ticked)
            ticked |= rowBit[row];
    return ticked;
}

void RecomputeSpace(HWND page)
{
    SetupStateRecord *state = PageRecord(page);
    EnableWindow(GetDlgItem(page, IDC_STATUS_CHANGE), componentSpace[RowStatus].ticked);
    EnableWindow(GetDlgItem(page, IDC_PANEL_CHANGE), componentSpace[RowPanel].ticked);
    PlanSpace(TickedComponents(), driverDrive, componentSpace[RowStatus].drive,
              componentSpace[RowPanel].drive, &shown);

    SetDlgItemTextA(page, IDC_STATUS_DIR, state->statusDirChoice);
    SetDlgItemTextA(page, IDC_PANEL_DIR, state->panelDirChoice);
    for (int index = 0; index < 3; index++) {
        if (index < shown.count)
            ShowColumn(page, index);
        else
            ClearColumn(page, index);
    }
}

static void InitComponentsPage(HWND page)
{
    SetupStateRecord *state = PageRecord(page);
    driverDrive = state->driverDirectory[0];
    for (int row = 0; row < ROWS; row++) {
        componentSpace[row].drive = driverDrive;
    }
    DefaultStatusFolder((char)toupper((unsigned char)driverDrive), state->statusDirChoice,
                        ARRAYSIZE(state->statusDirChoice));
    StringCchCopyA(state->panelDirChoice, ARRAYSIZE(state->panelDirChoice), "C:\\CONTROL");
    state->panelDirChoice[0] = (char)toupper((unsigned char)driverDrive);

    /* The control panel's box is hidden and left alone; only its flag is set. */
    for (int row = RowModel1; row <= RowPanel; row++) {
        componentSpace[row].ticked = (state->availableComponents & rowBit[row]) ? 1 : 0;
        if (row == RowPanel)
            break;
        if (componentSpace[row].ticked)
            SendDlgItemMessageA(page, rowBox[row], BM_SETCHECK, BST_CHECKED, 0);
        else
            EnableWindow(GetDlgItem(page, rowBox[row]), FALSE);
    }
    if (!componentSpace[RowStatus].ticked)
        EnableWindow(GetDlgItem(page, IDC_STATUS_CHANGE), FALSE);
    RecomputeSpace(page);
}

/* The installation type page derives selectedComponents afresh each time the
 * user passes it, while this page keeps its boxes from its first showing; on
 * every arrival the boxes are applied again, so what is shown unticked is not
 * installed. */
static void ApplyTicks(SetupStateRecord *state)
{
    for (int row = RowModel1; row <= RowStatus; row++) {
        if (componentSpace[row].ticked)
            state->selectedComponents |= rowBit[row];
        else
            state->selectedComponents &= ~rowBit[row];
    }
}

/* A refused folder keeps the choice as it was, and the page says why. An empty
 * entry leaves the choice too. */
static void ChangeFolder(HWND page, int row, char *choice)
{
    SetupStateRecord *state = PageRecord(page);
    char full[FOLDER_CHARS];
    const char *why;

    if (DialogBoxParamA(state->instance, MAKEINTRESOURCEA(IDD_INPUTPATH), page,
                        InputPathDialogProc, (LPARAM)state) != IDOK || !state->inputPath[0])
        return;
    if (!CheckFolderChoice(state->inputPath, state->startDirectory, full, ARRAYSIZE(full), &why)) {
        KxMessageBox(page, why, KX_CAPTION_INPUT_PATH, MB_OK);
        return;
    }
    StringCchCopyA(choice, FOLDER_CHARS, full);
    componentSpace[row].drive = choice[0];
}

static void ToggleRow(SetupStateRecord *state, int row, bool changesSelection)
{
    componentSpace[row].ticked = componentSpace[row].ticked == 1 ? 0 : 1;
    if (!changesSelection)
        return;
    if (componentSpace[row].ticked)
        state->selectedComponents |= rowBit[row];
    else
        state->selectedComponents &= ~rowBit[row];
}

static void HandleCommand(HWND page, int id)
{
    SetupStateRecord *state = PageRecord(page);

    switch (id) {
    case IDC_STATUS_CHANGE:
        ChangeFolder(page, RowStatus, state->statusDirChoice);
        break;
    case IDC_PANEL_CHANGE:
        ChangeFolder(page, RowPanel, state->panelDirChoice);
        break;
    case IDC_MODEL1:
        ToggleRow(state, RowModel1, true);
        break;
    case IDC_MODEL2:
        ToggleRow(state, RowModel2, true);
        break;
    case IDC_MODEL3:
        ToggleRow(state, RowModel3, true);
        break;
    case IDC_STATUS:
        ToggleRow(state, RowStatus, true);
        break;
    case IDC_PANEL:
        ToggleRow(state, RowPanel, false);
        break;
    }
    RecomputeSpace(page);
}

/* Judges the columns as they are shown. */
static void JudgeShownSpace(SetupStateRecord *state)
{
    ZeroMemory(state->spaceShortfall, sizeof(state->spaceShortfall));
    for (int index = 0; index < shown.count; index++)
        state->spaceShortfall[index] =
            SpaceShortfall(shown.drive[index], shown.need[index], shownFree[index]);
}

INT_PTR CALLBACK ComponentsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetupStateRecord *state = PageRecord(page);

    switch (message) {
    case WM_INITDIALOG:
        KeepPageRecord(page, (SetupStateRecord *)((const PROPSHEETPAGEA *)lParam)->lParam);
        InitComponentsPage(page);
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0)
            HandleCommand(page, LOWORD(wParam));
        return FALSE;
    case WM_NOTIFY:
        switch (NotifyCode(lParam)) {
        case PSN_SETACTIVE:
            PostWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
            ApplyTicks(state);
            RecomputeSpace(page);
            return FALSE;
        case PSN_KILLACTIVE:
            return AnswerZero(page);
        case PSN_RESET:
            SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
            return FALSE;
        case PSN_WIZFINISH:
            JudgeShownSpace(state);
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}
