#include "wizard/wizard.h"
#include "resources/resource.h"
#include "unattended/log.h"
#include <commctrl.h>
#include <ctype.h>
#include <strsafe.h>

/* A drive must keep this many bytes beyond what is needed on it. */
#define SPACE_MARGIN 1024

struct ComponentSpace {
    DWORD size;
    char drive;
    int ticked;
};

enum { RowModel1, RowModel2, RowModel3, RowStatus, RowPanel, ROWS };

static const DWORD rowSize[ROWS] = { 2231000, 1879000, 2431000, 3412000, 1871000 };
static const DWORD rowBit[ROWS] = { CompModel1, CompModel2, CompModel3, CompStatusDisplay,
                                    CompControlPanel };
static const int rowBox[ROWS] = { IDC_MODEL1, IDC_MODEL2, IDC_MODEL3, IDC_STATUS, IDC_PANEL };

static ComponentSpace componentSpace[ROWS];
static char driverDrive;
static DWORD driveNeed[3];
char panelDirChoice[FOLDER_CHARS];
char inputPath[FOLDER_CHARS];

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

typedef BOOL(WINAPI *FreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

static DWORD CapToDword(ULONGLONG bytes)
{
    return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFul : (DWORD)bytes;
}

/* Drives of 4 GiB and more are shown as 4294967295 bytes rather than wrapping
 * to a small number. GetDiskFreeSpaceExA is looked up at run time because the
 * first release of NT 4 does not have it. */
DWORD FreeSpaceOnDrive(char drive)
{
    char root[4] = { drive, ':', '\\', '\0' };
    FreeSpaceExProc freeSpaceEx = (FreeSpaceExProc)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA");

    if (freeSpaceEx) {
        ULARGE_INTEGER available, total, totalFree;
        if (!freeSpaceEx(root, &available, &total, &totalFree))
            return 0;
        return CapToDword(available.QuadPart);
    }
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return CapToDword((ULONGLONG)freeClusters * bytesPerSector * sectorsPerCluster);
}

int SpaceVerdict(void)
{
    if (spaceShortfall[0])
        return (int)spaceShortfall[0];
    if (spaceShortfall[1])
        return (int)spaceShortfall[1];
    return (int)spaceShortfall[2];
}

static void SetBytes(HWND page, int id, DWORD bytes)
{
    char text[32];
    StringCchPrintfA(text, ARRAYSIZE(text), "%lu bytes", (unsigned long)bytes);
    SetDlgItemTextA(page, id, text);
}

static void ShowColumn(HWND page, int index, char drive, DWORD need)
{
    char head[] = "Drive  :";
    head[HEAD_LETTER] = drive;
    SetDlgItemTextA(page, column[index].head, head);
    SetBytes(page, column[index].need, need);
    SetBytes(page, column[index].free, FreeSpaceOnDrive(drive));
}

static void ClearColumn(HWND page, int index)
{
    SetDlgItemTextA(page, column[index].head, "");
    SetDlgItemTextA(page, column[index].need, "");
    SetDlgItemTextA(page, column[index].free, "");
}

/* A folder typed as c:\status is on drive C: all the same. */
static int SameDrive(char a, char b)
{
    return toupper((unsigned char)a) == toupper((unsigned char)b);
}

void RecomputeSpace(HWND page)
{
    const ComponentSpace &status = componentSpace[RowStatus];
    const ComponentSpace &panel = componentSpace[RowPanel];

    driveNeed[0] = driveNeed[1] = driveNeed[2] = 0;
    for (int row = RowModel1; row <= RowModel3; row++)
        if (componentSpace[row].ticked)
            driveNeed[0] += componentSpace[row].size;

    EnableWindow(GetDlgItem(page, IDC_STATUS_CHANGE), status.ticked);
    if (status.ticked) {
        if (SameDrive(status.drive, driverDrive))
            driveNeed[0] += status.size;
        else
            driveNeed[1] = status.size;
    }
    EnableWindow(GetDlgItem(page, IDC_PANEL_CHANGE), panel.ticked);
    if (panel.ticked) {
        if (SameDrive(panel.drive, driverDrive))
            driveNeed[0] += panel.size;
        else if (SameDrive(panel.drive, status.drive))
            driveNeed[1] += panel.size;
        else
            driveNeed[2] = panel.size;
    }

    SetDlgItemTextA(page, IDC_STATUS_DIR, statusDirChoice);
    SetDlgItemTextA(page, IDC_PANEL_DIR, panelDirChoice);
    ShowColumn(page, 0, driverDrive, driveNeed[0]);
    if (driveNeed[1]) {
        ShowColumn(page, 1, status.drive, driveNeed[1]);
        if (driveNeed[2])
            ShowColumn(page, 2, panel.drive, driveNeed[2]);
        else
            ClearColumn(page, 2);
    } else if (driveNeed[2]) {
        ShowColumn(page, 1, panel.drive, driveNeed[2]);
        ClearColumn(page, 2);
    } else {
        ClearColumn(page, 1);
        ClearColumn(page, 2);
    }
}

static void InitComponentsPage(HWND page)
{
    driverDrive = driverDirectory[0];
    for (int row = 0; row < ROWS; row++) {
        componentSpace[row].size = rowSize[row];
        componentSpace[row].drive = driverDrive;
    }
    StringCchCopyA(statusDirChoice, ARRAYSIZE(statusDirChoice), "C:\\STATUS");
    StringCchCopyA(panelDirChoice, ARRAYSIZE(panelDirChoice), "C:\\CONTROL");
    statusDirChoice[0] = (char)toupper((unsigned char)driverDrive);
    panelDirChoice[0] = (char)toupper((unsigned char)driverDrive);

    /* The control panel's box is hidden and left alone; only its flag is set. */
    for (int row = RowModel1; row <= RowPanel; row++) {
        componentSpace[row].ticked = (SetupState.availableComponents & rowBit[row]) ? 1 : 0;
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
static void ApplyTicks(void)
{
    for (int row = RowModel1; row <= RowStatus; row++) {
        if (componentSpace[row].ticked)
            SetupState.selectedComponents |= rowBit[row];
        else
            SetupState.selectedComponents &= ~rowBit[row];
    }
}

/* A refused folder keeps the choice as it was, and the page says why. An empty
 * entry leaves the choice too. */
static void ChangeFolder(HWND page, int row, char *choice)
{
    char full[FOLDER_CHARS];
    const char *why;

    if (DialogBoxParamA(SetupState.instance, MAKEINTRESOURCEA(IDD_INPUTPATH), page,
                        InputPathDialogProc, 0) != IDOK || !inputPath[0])
        return;
    if (!CheckFolderChoice(inputPath, startDirectory, full, ARRAYSIZE(full), &why)) {
        KxMessageBox(page, why, "Input Path", MB_OK);
        return;
    }
    StringCchCopyA(choice, FOLDER_CHARS, full);
    componentSpace[row].drive = choice[0];
}

static void ToggleRow(int row, bool changesSelection)
{
    componentSpace[row].ticked = componentSpace[row].ticked == 1 ? 0 : 1;
    if (!changesSelection)
        return;
    if (componentSpace[row].ticked)
        SetupState.selectedComponents |= rowBit[row];
    else
        SetupState.selectedComponents &= ~rowBit[row];
}

static void HandleCommand(HWND page, int id)
{
    switch (id) {
    case IDC_STATUS_CHANGE:
        ChangeFolder(page, RowStatus, statusDirChoice);
        break;
    case IDC_PANEL_CHANGE:
        ChangeFolder(page, RowPanel, panelDirChoice);
        break;
    case IDC_MODEL1:
        ToggleRow(RowModel1, true);
        break;
    case IDC_MODEL2:
        ToggleRow(RowModel2, true);
        break;
    case IDC_MODEL3:
        ToggleRow(RowModel3, true);
        break;
    case IDC_STATUS:
        ToggleRow(RowStatus, true);
        break;
    case IDC_PANEL:
        ToggleRow(RowPanel, false);
        break;
    }
    RecomputeSpace(page);
}

/* Value of the leading digits of a text, as "%lu bytes" wrote it. */
static DWORD ShownBytes(HWND page, int id)
{
    char text[32];
    DWORD value = 0;
    GetDlgItemTextA(page, id, text, sizeof(text));
    for (const char *c = text; *c >= '0' && *c <= '9'; c++)
        value = value * 10 + (DWORD)(*c - '0');
    return value;
}

static DWORD JudgeColumn(HWND page, int index, char drive)
{
    DWORD need = ShownBytes(page, column[index].need);
    DWORD free = ShownBytes(page, column[index].free);
    return need + SPACE_MARGIN < free ? 0 : (DWORD)(unsigned char)drive;
}

/* Judges the columns as they are shown; the drive's free space is not asked again. */
static void CheckSpace(HWND page)
{
    char head[16];

    spaceShortfall[0] = JudgeColumn(page, 0, driverDrive);
    spaceShortfall[1] = spaceShortfall[2] = 0;
    GetDlgItemTextA(page, column[1].head, head, sizeof(head));
    if (!head[0])
        return;
    spaceShortfall[1] = JudgeColumn(page, 1, head[HEAD_LETTER]);
    GetDlgItemTextA(page, column[2].head, head, sizeof(head));
    if (!head[0])
        return;
    spaceShortfall[2] = JudgeColumn(page, 2, head[HEAD_LETTER]);
}

INT_PTR CALLBACK ComponentsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
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
            ApplyTicks();
            RecomputeSpace(page);
            return FALSE;
        case PSN_KILLACTIVE:
            return AnswerZero(page);
        case PSN_RESET:
            SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
            return FALSE;
        case PSN_WIZFINISH:
            CheckSpace(page);
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}

/* 0 when the drive has room, else its letter; the figures go to the log. */
static DWORD JudgeDrive(char drive, DWORD need)
{
    DWORD free = FreeSpaceOnDrive(drive);

    if (need + SPACE_MARGIN < free) {
        LogLine("space: drive %c: needs %lu bytes, has %lu free", drive, (unsigned long)need,
                (unsigned long)free);
        return 0;
    }
    LogLine("space: drive %c: needs %lu bytes and %d to spare, has %lu free: %lu bytes missing",
            drive, (unsigned long)need, SPACE_MARGIN, (unsigned long)free,
            (unsigned long)(need + SPACE_MARGIN + 1 - free));
    return (DWORD)(unsigned char)drive;
}

/* The page's verdict for a run without the page: the same component sizes,
 * drive columns and margin, the control panel tool on the drivers' drive. */
void JudgeSpace(DWORD selected, char statusDrive)
{
    char drive = (char)toupper((unsigned char)driverDirectory[0]);
    DWORD need[2] = { 0, 0 };

    for (int row = RowModel1; row <= RowModel3; row++)
        if (selected & rowBit[row])
            need[0] += rowSize[row];
    if (selected & CompControlPanel)
        need[0] += rowSize[RowPanel];
    if (selected & CompStatusDisplay)
        need[statusDrive == drive ? 0 : 1] += rowSize[RowStatus];
    spaceShortfall[0] = JudgeDrive(drive, need[0]);
    spaceShortfall[1] = need[1] ? JudgeDrive(statusDrive, need[1]) : 0;
    spaceShortfall[2] = 0;
}
