#include "run/run.h"
#include "change/change.h"
#include "base/base.h"
#include <string.h>
#include <strsafe.h>

/* What a packager must mend before shipping the medium, found without a
 * change: every item is one log line, and every verdict but "ok" a fault. */
struct MediumCheck {
    HINF inf;
    const SetupStateRecord *state;
    const char *medium; /* the folder, with its backslash */
    int listed;         /* the medium has its digest list */
    int items;
    int faults;
    char first[TEXT_CHARS];
};

static void Report(MediumCheck *check, const char *item, const char *name, const char *fault)
{
    const char *verdict = fault ? fault : "ok";

    check->items++;
    LogLine("check %s %s: %s", item, name, verdict);
    if (fault && !check->faults++)
        StringCchPrintfA(check->first, ARRAYSIZE(check->first), "%s %s: %s", item, name, verdict);
}

/* The lines of a section, the appended layout file's included; 0 for a
 * section that is missing or empty, which names nothing either way. */
static LONG LineCount(MediumCheck *check, const char *section)
{
    INFCONTEXT line;
    LONG count = 0;

    for (BOOL found = SetupFindFirstLineA(check->inf, section, NULL, &line); found;
         found = SetupFindNextLine(&line, &line))
        count++;
    return count;
}

static int NeedSection(MediumCheck *check, const char *section)
{
    int there = LineCount(check, section) > 0;

    Report(check, "section", section, there ? NULL : "missing or empty");
    return there;
}

/* A file an install copies from the medium, found as SetupAPI finds it (its
 * compressed form too) and, on a medium with a digest list, listed there.
 * The layout's files are checked with the layout, once. */
static void NeedFile(MediumCheck *check, const char *name, int layoutsOwn)
{
    char path[FOLDER_CHARS + MAX_PATH], found[FOLDER_CHARS + MAX_PATH];
    char digest[DIGEST_TEXT_CHARS];
    INFCONTEXT line;

    if (!name[0] ||
        (!layoutsOwn && SetupFindFirstLineA(check->inf, "SourceDisksFiles", name, &line)))
        return;
    StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", check->medium, name);
    int kind = FindSource(path, found, ARRAYSIZE(found));
    Report(check, "file", name,
           !kind                                           ? "missing"
           : check->listed && !ListedDigest(found, digest) ? "not in " KX_DIGEST_LIST
                                                           : NULL);
}

static UINT CALLBACK ScannedCopy(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR)
{
    const char *source = ((const FILEPATHS_A *)param1)->Source;
    const char *name = source;

    if (notification != SPFILENOTIFY_QUEUESCAN_EX || !source)
        return NO_ERROR;
    for (const char *c = source; *c; c++)
        if (*c == '\\')
            name = c + 1;
    NeedFile((MediumCheck *)context, name, 0);
    return NO_ERROR;
}

/* Below the user range (DIRID_USER) the ids are the system's, from 66000 to
 * 66004 the printer's; of the user range the install binds the status
 * folder's alone: a list sent anywhere else has no folder to go to. */
static void CheckDestination(MediumCheck *check, const char *list)
{
    char text[NAME_CHARS];
    long id = LONG_MAX; /* no line: in no range, and no bound id */

    if (SetupGetLineTextA(NULL, check->inf, "DestinationDirs", list, text, sizeof(text), NULL) ||
        SetupGetLineTextA(NULL, check->inf, "DestinationDirs", "DefaultDestDir", text, sizeof(text),
                          NULL))
        id = LeadingNumber(text);
    Report(check, "destination of", list,
           id < DIRID_USER || (id >= 66000 && id <= 66004) || (DWORD)id == check->state->statusDirId
               ? NULL
               : "no directory id that exists");
}

/* The lists a section copies must exist and have a folder to go to. */
static void CheckCopyLists(MediumCheck *check, const char *section)
{
    char list[NAME_CHARS];
    INFCONTEXT line;

    for (BOOL found = SetupFindFirstLineA(check->inf, section, NULL, &line); found;
         found = SetupFindNextLine(&line, &line)) {
        if (!SetupGetStringFieldA(&line, 0, list, sizeof(list), NULL) ||
            lstrcmpiA(list, "CopyFiles") != 0)
            continue;
        for (DWORD field = 1; SetupGetStringFieldA(&line, field, list, sizeof(list), NULL); field++)
            if (list[0] == '@')
                NeedFile(check, list + 1, 0);
            else if (NeedSection(check, list))
                CheckDestination(check, list);
    }
}

/* Every model the install offers, its status display tool and its own
 * files, then the files of the lists it queues as an install queues them. */
static void CheckInstall(MediumCheck *check)
{
    static const char *const fixed[] = { "kxsetup.exe", "oemsetup.inf", "tremon.dll" };
    const SetupStateRecord *state = check->state;
    char data[NAME_CHARS];
    DWORD result = 0;
    HSPFILEQ queue = SetupOpenFileQueue();
    /* Without a queue the lists' own files are not looked for. */
    int queued = queue && queue != INVALID_HANDLE_VALUE;

    LONG models = LineCount(check, state->manufacturer);
    Report(check, "models of", state->manufacturer[0] ? state->manufacturer : "[Manufacturer]",
           !models                ? "none"
           : models > MODEL_SLOTS ? "more than three"
                                  : NULL);
    for (size_t i = 0; i < ARRAYSIZE(fixed); i++)
        NeedFile(check, fixed[i], 0);
    for (int i = 0; i < MODEL_SLOTS && state->installSection[i][0]; i++) {
        const char *files[] = { state->dataFile[i], state->driverFile[i], state->configFile[i],
                                state->helpFile[i] };
        if (!NeedSection(check, state->installSection[i]))
            continue;
        if (SetupGetLineTextA(NULL, check->inf, state->installSection[i], "DataSection", data,
                              sizeof(data), NULL))
            NeedSection(check, data);
        for (size_t k = 0; k < ARRAYSIZE(files); k++)
            NeedFile(check, files[k], 0);
        CheckCopyLists(check, state->installSection[i]);
        if (queued)
            SetupInstallFilesFromInfSectionA(check->inf, NULL, queue, state->installSection[i],
                                             check->medium, SP_COPY_NEWER);
    }
    if (state->availableComponents & CompStatusDisplay) {
        CheckCopyLists(check, "StatusDisplay");
        if (queued)
            SetupInstallFilesFromInfSectionA(check->inf, NULL, queue, "StatusDisplay",
                                             check->medium, SP_COPY_NEWER);
    }
    if (!queued)
        return;
    SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACKEX, NULL, ScannedCopy, check, &result);
    SetupCloseFileQueue(queue);
}

static void CheckLayout(MediumCheck *check)
{
    char name[MAX_PATH];
    INFCONTEXT line;
    const char *layout = check->state->layoutPath + strlen(check->medium);

    Report(check, "layout file", layout,
           !layout[0]                                                                ? "not named"
           : GetFileAttributesA(check->state->layoutPath) == INVALID_FILE_ATTRIBUTES ? "missing"
                                                                                     : NULL);
    for (BOOL found = SetupFindFirstLineA(check->inf, "SourceDisksFiles", NULL, &line); found;
         found = SetupFindNextLine(&line, &line))
        if (SetupGetStringFieldA(&line, 0, name, sizeof(name), NULL))
            NeedFile(check, name, 1);
}

/* Each line of the digest list against the file it names. */
static void CheckListedFile(void *context, const char *name, const char *listed)
{
    MediumCheck *check = (MediumCheck *)context;
    char path[FOLDER_CHARS + MAX_PATH], now[DIGEST_TEXT_CHARS];
    FileDigest digest;

    StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", check->medium, name);
    DWORD code = DigestFile(path, CALG_SHA_256, &digest);
    Report(check, KX_DIGEST_LIST " line for", name,
           !listed            ? "not \"name size sha256\""
           : code != NO_ERROR ? "missing or unreadable"
           : !FormatDigest(&digest, now, ARRAYSIZE(now)) || strcmp(now, listed) != 0
               ? "size or digest differs"
               : NULL);
}

int CheckMedium(HWND owner, HINF inf, const SetupStateRecord *state, const char *medium,
                int infRead, const RunMode *mode)
{
    MediumCheck check;
    char text[TEXT_CHARS + 64];

    ZeroMemory(&check, sizeof(check));
    check.inf = inf;
    check.state = state;
    check.medium = medium;
    check.listed = LoadDigestList(medium);
    Report(&check, "setup information", "oemsetup.inf",
           inf == INVALID_HANDLE_VALUE ? "missing or unreadable"
           : infRead                   ? NULL
                                       : "refused (see the box before)");
    if (inf != INVALID_HANDLE_VALUE) {
        CheckLayout(&check);
        CheckInstall(&check);
        Report(&check, "section", "ClassInstall",
               UndoableSection(inf, "ClassInstall", text) ? NULL : text);
    }
    EachListedFile(CheckListedFile, &check);
    StringCchPrintfA(text, ARRAYSIZE(text),
                     check.faults ? "The medium has %d fault(s) in %d items; the first: %s"
                                  : "The medium is ready to ship (%d faults in %d items).",
                     check.faults, check.items, check.first);
    LogLine("check: %s", text);
    if (!mode->quiet)
        KxMessageBox(owner, text, KX_CAPTION_INSTALLATION,
                     check.faults ? MB_OK | MB_ICONWARNING : MB_OK | MB_ICONINFORMATION);
    return check.faults ? KX_EXIT_FAILED : KX_EXIT_OK;
}
