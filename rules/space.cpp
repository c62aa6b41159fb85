#include "rules/rules.h"
#include <ctype.h>

/* A drive must keep this many bytes beyond what is needed on it. */
#define SPACE_MARGIN 1024

enum { RowModel1, RowModel2, RowModel3, RowStatus, RowPanel, ROWS };

static const DWORD rowSize[ROWS] = { 2231000, 1879000, 2431000, 3412000, 1871000 };
static const DWORD rowBit[ROWS] = { CompModel1, CompModel2, CompModel3, CompStatusDisplay,
                                    CompControlPanel };

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

int SpaceVerdict(const SetupStateRecord *state)
{
    if (state->spaceShortfall[0])
        return (int)state->spaceShortfall[0];
    if (state->spaceShortfall[1])
        return (int)state->spaceShortfall[1];
    return (int)state->spaceShortfall[2];
}

/* A folder typed as c:\status is on drive C: all the same. */
static int SameDrive(char a, char b)
{
    return toupper((unsigned char)a) == toupper((unsigned char)b);
}

void PlanSpace(DWORD ticked, char driverDrive, char statusDrive, char panelDrive,
               SpaceColumns *columns)
{
    DWORD need[3] = { 0, 0, 0 };
    int used = 1;

    for (int row = RowModel1; row <= RowModel3; row++)
        if (ticked & rowBit[row])
            need[0] += rowSize[row];
    if (ticked & CompStatusDisplay) {
        if (SameDrive(statusDrive, driverDrive))
            need[0] += rowSize[RowStatus];
        else
            need[1] = rowSize[RowStatus];
    }
    /* The control panel tool shares the status column when both are on one
     * drive, even with the status display unticked. */
    if (ticked & CompControlPanel) {
        if (SameDrive(panelDrive, driverDrive))
            need[0] += rowSize[RowPanel];
        else if (SameDrive(panelDrive, statusDrive))
            need[1] += rowSize[RowPanel];
        else
            need[2] = rowSize[RowPanel];
    }
    ZeroMemory(columns, sizeof(*columns));
    columns->drive[0] = driverDrive;
    columns->need[0] = need[0];
    if (need[1]) {
        columns->drive[used] = statusDrive;
        columns->need[used++] = need[1];
    }
    if (need[2]) {
        columns->drive[used] = panelDrive;
        columns->need[used++] = need[2];
    }
    columns->count = used;
}

DWORD SpaceShortfall(char drive, DWORD need, DWORD free)
{
    return need + SPACE_MARGIN < free ? 0 : (DWORD)(unsigned char)drive;
}

/* 0 when the drive has room, else its letter; the figures go to the log. */
static DWORD JudgeDrive(char drive, DWORD need)
{
    DWORD free = FreeSpaceOnDrive(drive);
    DWORD shortfall = SpaceShortfall(drive, need, free);

    if (!shortfall)
        LogLine("space: drive %c: needs %lu bytes, has %lu free", drive, (unsigned long)need,
                (unsigned long)free);
    else
        LogLine("space: drive %c: needs %lu bytes and %d to spare, has %lu free: %lu bytes missing",
                drive, (unsigned long)need, SPACE_MARGIN, (unsigned long)free,
                (unsigned long)(need + SPACE_MARGIN + 1 - free));
    return shortfall;
}

void JudgeSpace(SetupStateRecord *state, DWORD selected, char statusDrive)
{
    char drive = (char)toupper((unsigned char)state->driverDirectory[0]);
    SpaceColumns columns;

    PlanSpace(selected, drive, statusDrive, drive, &columns);
    ZeroMemory(state->spaceShortfall, sizeof(state->spaceShortfall));
    for (int i = 0; i < columns.count; i++)
        state->spaceShortfall[i] = JudgeDrive(columns.drive[i], columns.need[i]);
}
