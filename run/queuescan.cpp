#include "run/run.h"
#include "change/change.h"
#include <strsafe.h>

struct QueueScan {
    int seen;
    int missing;
    DWORD unkept; /* why the first target's earlier content could not be kept */
    ULONGLONG bytes;
};

/* Every target of the last scan, each with its zero, then an empty one. */
static char *targets;
static DWORD targetBytes;

static void KeepTarget(const char *target)
{
    DWORD length = (DWORD)strlen(target) + 1;
    char *grown = (char *)AllocateMemory(targetBytes + length + 1);

    if (!grown)
        return;
    if (targets)
        CopyMemory(grown, targets, targetBytes);
    FreeMemory(targets);
    targets = grown;
    CopyMemory(targets + targetBytes, target, length);
    targetBytes += length;
    targets[targetBytes] = '\0';
}

const char *QueuedTargets(void)
{
    return targets ? targets : "";
}

void ForgetQueuedTargets(void)
{
    if (targets)
        FreeMemory(targets);
    targets = NULL;
    targetBytes = 0;
}

static UINT CALLBACK ActQueuedCopy(PVOID context, UINT notification, UINT_PTR param1,
                                   UINT_PTR param2)
{
    QueueScan *scan = (QueueScan *)context;
    WIN32_FILE_ATTRIBUTE_DATA source;
    char found[MAX_PATH * 2];

    scan->seen++;
    if (notification == SPFILENOTIFY_QUEUESCAN_EX) {
        const FILEPATHS_A *paths = (const FILEPATHS_A *)param1;
        KeepTarget(paths->Target);
        if (!JournalTarget(paths->Target) && !scan->unkept)
            scan->unkept = GetLastError();
        int kind = FindSource(paths->Source, found, ARRAYSIZE(found));
        if (kind && GetFileAttributesExA(found, GetFileExInfoStandard, &source)) {
            Act(kind == 2 ? "copy %s -> %s (%lu bytes, compressed)" : "copy %s -> %s (%lu bytes)",
                found, paths->Target, (unsigned long)source.nFileSizeLow);
            scan->bytes += ((ULONGLONG)source.nFileSizeHigh << 32) | source.nFileSizeLow;
        } else {
            Act("copy %s -> %s (source missing)", paths->Source, paths->Target);
            scan->missing++;
        }
    } else if (notification == SPFILENOTIFY_QUEUESCAN) {
        KeepTarget((const char *)param1);
        if (!JournalTarget((const char *)param1) && !scan->unkept)
            scan->unkept = GetLastError();
        Act("copy -> %s", (const char *)param1);
    }
    return NO_ERROR;
}

int ActQueuedCopies(HSPFILEQ queue, int *missing, DWORD *unkept, DWORD *kilobytes)
{
    DWORD result = 0;
    QueueScan scan = { 0, 0, 0, 0 };

    /* NT 4 knows only the scan that names the target. The scan's own result is
     * not trusted (Wine reports a complete scan as failed); what it delivered
     * is. It runs without a log too: the sizes are the installed size. */
    targetBytes = 0;
    if (targets)
        targets[0] = '\0';
    /* The whole queue's undo is written through once, before its commit. */
    HoldJournal(1);
    SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACKEX, NULL, ActQueuedCopy, &scan, &result);
    if (!scan.seen)
        SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACK, NULL, ActQueuedCopy, &scan, &result);
    HoldJournal(0);
    *missing = scan.missing;
    *unkept = scan.unkept;
    ULONGLONG kb = (scan.bytes + 1023) / 1024;
    *kilobytes = kb > MAXDWORD ? MAXDWORD : (DWORD)kb;
    return !Planning();
}

/* A RenFiles line names the new name first, then the old one. */
