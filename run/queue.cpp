#include "run/run.h"
#include "change/change.h"
#include <strsafe.h>


/* The version checks of a copy come as bits beside the notification. */
#define VERSION_NOTIFICATIONS (SPFILENOTIFY_LANGMISMATCH | SPFILENOTIFY_TARGETEXISTS | \
                               SPFILENOTIFY_TARGETNEWER)

/* The source a disk prompt asks for; 0 when the path does not fit. */
static int SourceOf(const SOURCE_MEDIA_A *media, char *path, size_t chars)
{
    size_t length = strlen(media->SourcePath);
    const char *separator = length && media->SourcePath[length - 1] == '\\' ? "" : "\\";

    return SUCCEEDED(StringCchPrintfA(path, chars, "%s%s%s", media->SourcePath, separator,
                                      media->SourceFile));
}

/* The target of the last copy a version check kept from happening. */
static char keptTarget[MAX_PATH];

void LogQueueNotification(UINT notification, UINT_PTR param1, UINT answer)
{
    const FILEPATHS_A *paths = (const FILEPATHS_A *)param1;
    const SOURCE_MEDIA_A *media = (const SOURCE_MEDIA_A *)param1;

    /* Without a log nothing of the notification is read: a run without /log
     * costs no more than it did before the log existed. A plan makes none of
     * the operations, so there is no outcome to tell. */
    if (!LogIsOpen() || Planning())
        return;
    /* A person (SetupAPI's dialog) may let the copy go ahead where a quiet run
     * keeps the target: the line tells the answer given. */
    if (notification & VERSION_NOTIFICATIONS) {
        const char *target = notification & SPFILENOTIFY_TARGETNEWER ? "newer"
                             : notification & SPFILENOTIFY_LANGMISMATCH ? "other-language"
                                                                        : "existing";
        LogLine(answer ? "copy replaces %s target %s" : "copy kept %s target %s", target,
                paths->Target);
        if (!answer)
            StringCchCopyA(keptTarget, ARRAYSIZE(keptTarget), paths->Target);
        return;
    }
    switch (notification) {
    case SPFILENOTIFY_ENDCOPY:
        /* SetupAPI ends a copy it skipped for the target's version as if it
         * had made it: the line above told what happened. */
        if (keptTarget[0] && lstrcmpiA(keptTarget, paths->Target) == 0)
            keptTarget[0] = '\0';
        else if (paths->Win32Error == NO_ERROR)
            LogLine("copied %s -> %s", paths->Source, paths->Target);
        break;
    case SPFILENOTIFY_COPYERROR:
        LogLine("copy failed %s -> %s: %s", paths->Source, paths->Target,
                LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_ENDDELETE:
        if (paths->Win32Error == NO_ERROR)
            LogLine("deleted %s", paths->Target);
        break;
    case SPFILENOTIFY_DELETEERROR:
        LogLine("delete skipped %s: %s", paths->Target, LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_RENAMEERROR:
        LogLine("rename failed %s -> %s: %s", paths->Source, paths->Target,
                LogStatus(paths->Win32Error));
        break;
    case SPFILENOTIFY_NEEDMEDIA: {
        char path[MAX_PATH * 2];
        if (SourceOf(media, path, ARRAYSIZE(path)))
            LogLine("source needed %s", path);
        break;
    }
    }
}

static int SourceExists(const char *path)
{
    DWORD attributes;

    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* The file a copy takes as its source, looked for as SetupAPI on Windows looks
 * for it: the name itself, then its compressed forms, the last character
 * replaced by '_', then by '$' (a name that ends in '_' is already one). The
 * path found goes to `found`; 0 when there is none, 2 when a compressed form
 * was found, 1 for the name itself. */
int FindSource(const char *path, char *found, size_t chars)
{
    static const char compressedMarks[] = { '_', '$' };
    size_t length;

    if (FAILED(StringCchCopyA(found, chars, path)) ||
        !(length = strlen(found)))
        return 0;
    if (SourceExists(found))
        return 1;
    const char last = found[length - 1];
    if (last != '_' && last != '\\')
        for (size_t i = 0; i < ARRAYSIZE(compressedMarks); i++) {
            found[length - 1] = compressedMarks[i];
            if (SourceExists(found))
                return 2;
        }
    found[length - 1] = last;
    return 0;
}

/* The source the last retry was answered for, within one commit. */
static char retried[MAX_PATH * 2];

UINT QuietQueueAnswer(UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    if (notification & VERSION_NOTIFICATIONS)
        return FALSE;
    switch (notification) {
    case SPFILENOTIFY_STARTQUEUE:
        retried[0] = '\0';
        return TRUE;
    case SPFILENOTIFY_STARTSUBQUEUE:
        return TRUE;
    case SPFILENOTIFY_STARTCOPY:
    case SPFILENOTIFY_STARTDELETE:
    case SPFILENOTIFY_STARTRENAME:
        return FILEOP_DOIT;
    case SPFILENOTIFY_NEEDMEDIA:
        /* The medium is the folder the setup runs from: nobody can insert
         * another disk, so a file that is not there ends the run. A file found
         * only in its compressed form is there for SetupAPI on Windows, which
         * looks for it and expands it on the retry; the answer cannot name it
         * (FILEOP_NEWPATH gives a folder, not a file). */
    {
        char path[MAX_PATH * 2], found[MAX_PATH * 2];
        int source = 0;
        if (SourceOf((const SOURCE_MEDIA_A *)param1, path, ARRAYSIZE(path)))
            source = FindSource(path, found, ARRAYSIZE(found));
        if (source == 2)
            LogLine("source %s found compressed: %s", path, found);
        /* A medium that is asked for again though its file is there (its tag
         * file missing) would be asked for without end: one retry. */
        if (source && lstrcmpiA(path, retried) != 0) {
            StringCchCopyA(retried, ARRAYSIZE(retried), path);
            return FILEOP_DOIT;
        }
        LogLine(source ? "source %s asked for again: given up" : "source missing %s", path);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FILEOP_ABORT;
    }
    case SPFILENOTIFY_DELETEERROR:
        return FILEOP_SKIP;
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_RENAMEERROR:
        SetLastError(((const FILEPATHS_A *)param1)->Win32Error);
        return FILEOP_ABORT;
    }
    return 0;
}

UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    QueueContext *queue = (QueueContext *)context;
    UINT answer;

    /* A file that cannot be deleted (in use, already gone) is left alone without
     * asking; everything else is SetupAPI's default handling, or in a quiet run
     * an answer that never waits for a person. */
    if (notification == SPFILENOTIFY_DELETEERROR)
        answer = FILEOP_SKIP;
    /* SetupAPI has put the copy off to the restart (its target is in use):
     * the undo removes the temporary file and its rename again. */
    else if (notification == SPFILENOTIFY_FILEOPDELAYED) {
        LogLine("copy to %s deferred to the restart", ((const FILEPATHS_A *)param1)->Target);
        JournalDelayedCopy(((const FILEPATHS_A *)param1)->Target);
        queue->deferred++;
        answer = 0;
    }
    else if (queue->quiet)
        answer = QuietQueueAnswer(notification, param1, param2);
    else
        answer = SetupDefaultQueueCallbackA(queue->defaultContext, notification, param1, param2);
    if (notification == SPFILENOTIFY_ENDCOPY &&
        ((const FILEPATHS_A *)param1)->Win32Error == NO_ERROR)
        KeepCopiedSource(((const FILEPATHS_A *)param1)->Target,
                         ((const FILEPATHS_A *)param1)->Source);
    LogQueueNotification(notification, param1, answer);
    return answer;
}
