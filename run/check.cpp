#include "run/run.h"
#include "base/base.h"
#include <strsafe.h>

/* What a packager must mend before shipping the medium, found without a
 * change: every item is one log line, and every verdict but "ok" a fault. */
struct MediumCheck {
    HINF inf;
    const char *medium; /* the folder, with its backslash */
    int listed;         /* the medium has its digest list */
    int items;
    int faults;
    char first[TEXT_CHARS];
    char *seen; /* the files checked already, each with its zero */
    DWORD seenBytes;
};

static void Report(MediumCheck *check, const char *item, const char *name, const char *verdict)
{
    check->items++;
    LogLine("check %s %s: %s", item, name, verdict);
    if (lstrcmpA(verdict, "ok") != 0 && !check->faults++)
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

static int SectionExists(MediumCheck *check, const char *section)
{
    return LineCount(check, section) > 0;
}

static void NeedSection(MediumCheck *check, const char *section, const char *namedBy)
{
    char name[NAME_CHARS + 2], verdict[NAME_CHARS + 32];

    StringCchPrintfA(name, ARRAYSIZE(name), "[%s]", section);
    StringCchPrintfA(verdict, ARRAYSIZE(verdict), "missing or empty (named by %s)", namedBy);
    Report(check, "section", name, SectionExists(check, section) ? "ok" : verdict);
}

/* A file is judged once, however many lines name it. */
static int FirstLook(MediumCheck *check, const char *name)
{
    DWORD length = (DWORD)lstrlenA(name) + 1;

    for (const char *at = check->seen; at && at < check->seen + check->seenBytes;
         at += lstrlenA(at) + 1)
        if (lstrcmpiA(at, name) == 0)
            return 0;
    char *grown = (char *)(check->seen
                               ? HeapReAlloc(GetProcessHeap(), 0, check->seen, check->seenBytes + length)
                               : HeapAlloc(GetProcessHeap(), 0, length));
    if (grown) {
        check->seen = grown;
        CopyMemory(grown + check->seenBytes, name, length);
        check->seenBytes += length;
    }
    return 1;
}

/* A file an install copies from the medium, found as SetupAPI finds it (its
 * compressed form too) and, on a medium with a digest list, listed there. */
static void NeedFile(MediumCheck *check, const char *name)
{
    char path[FOLDER_CHARS + MAX_PATH], found[FOLDER_CHARS + MAX_PATH];
    FileDigest digest;

    if (!name[0] || !FirstLook(check, name))
        return;
    StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", check->medium, name);
    int kind = FindSource(path, found, ARRAYSIZE(found));
    Report(check, "file", name,
           !kind                                          ? "missing"
           : check->listed && !ListedDigest(found, &digest) ? "not in " KX_DIGEST_LIST
                                                          : "ok");
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
    NeedFile((MediumCheck *)context, name);
    return NO_ERROR;
}

/* The directory ids a system knows (its folders, the shell's, the
 * printer's) and those the install binds: a list sent anywhere else has no
 * folder to go to. */
static int KnownDirectoryId(const SetupStateRecord *state, long id)
{
    static const short systemIds[] = { -1, 1, 10, 11, 12, 17, 18, 20, 21, 23, 24, 25, 30,
                                       50, 51, 52, 53, 54, 55 };

    for (size_t i = 0; i < ARRAYSIZE(systemIds); i++)
        if (id == systemIds[i])
            return 1;
    return (id >= 16384 && id <= 16431) || (id >= 66000 && id <= 66004) ||
           (state->statusDirId && (DWORD)id == state->statusDirId);
}

static void CheckDestination(MediumCheck *check, const SetupStateRecord *state, const char *list)
{
    char text[NAME_CHARS], verdict[64];

    if (!SetupGetLineTextA(NULL, check->inf, "DestinationDirs", list, text, sizeof(text), NULL) &&
        !SetupGetLineTextA(NULL, check->inf, "DestinationDirs", "DefaultDestDir", text,
                           sizeof(text), NULL)) {
        Report(check, "destination of", list, "neither it nor DefaultDestDir in [DestinationDirs]");
        return;
    }
    long id = LeadingNumber(text);
    StringCchPrintfA(verdict, ARRAYSIZE(verdict), "directory id %ld does not exist", id);
    Report(check, "destination of", list, KnownDirectoryId(state, id) ? "ok" : verdict);
}

/* The lists a section copies must exist and have a folder to go to. */
static void CheckCopyLists(MediumCheck *check, const SetupStateRecord *state, const char *section)
{
    char list[NAME_CHARS], where[NAME_CHARS + 16];
    INFCONTEXT line;

    StringCchPrintfA(where, ARRAYSIZE(where), "[%s]", section);
    for (BOOL found = SetupFindFirstLineA(check->inf, section, NULL, &line); found;
         found = SetupFindNextLine(&line, &line)) {
        if (!SetupGetStringFieldA(&line, 0, list, sizeof(list), NULL) ||
            lstrcmpiA(list, "CopyFiles") != 0)
            continue;
        for (DWORD field = 1; SetupGetStringFieldA(&line, field, list, sizeof(list), NULL);
             field++) {
            if (list[0] == '@') {
                NeedFile(check, list + 1);
                CheckDestination(check, state, "DefaultDestDir");
                continue;
            }
            NeedSection(check, list, where);
            if (SectionExists(check, list))
                CheckDestination(check, state, list);
        }
    }
}

/* Every model the install offers: its sections, its four files. */
static void CheckModels(MediumCheck *check, const SetupStateRecord *state)
{
    static const char *const keys[] = { "DataFile", "DriverFile", "ConfigFile", "HelpFile" };
    char dataSection[NAME_CHARS], count[32];

    if (!state->manufacturer[0]) {
        Report(check, "section", "[Manufacturer]", "no manufacturer line");
        return;
    }
    LONG models = LineCount(check, state->manufacturer);
    StringCchPrintfA(count, ARRAYSIZE(count), "%ld models: at most %d", (long)models, MODEL_SLOTS);
    Report(check, "models of", state->manufacturer,
           !models ? "the section is missing or empty"
           : models > MODEL_SLOTS ? count
                                  : "ok");
    for (int i = 0; i < MODEL_SLOTS && state->installSection[i][0]; i++) {
        const char *files[] = { state->dataFile[i], state->driverFile[i], state->configFile[i],
                                state->helpFile[i] };
        NeedSection(check, state->installSection[i], state->modelName[i]);
        if (SetupGetLineTextA(NULL, check->inf, state->installSection[i], "DataSection",
                              dataSection, sizeof(dataSection), NULL))
            NeedSection(check, dataSection, state->installSection[i]);
        for (size_t k = 0; k < ARRAYSIZE(keys); k++) {
            if (!files[k][0])
                Report(check, keys[k], state->modelName[i], "not named");
            NeedFile(check, files[k]);
        }
        CheckCopyLists(check, state, state->installSection[i]);
    }
}

/* What the install queues besides the models' files, in its order. */
static void CheckQueue(MediumCheck *check, const SetupStateRecord *state)
{
    static const char *const fixed[] = { "kxsetup.exe", "oemsetup.inf", "tremon.dll" };
    HSPFILEQ queue = SetupOpenFileQueue();
    DWORD result = 0;

    for (size_t i = 0; i < ARRAYSIZE(fixed); i++)
        NeedFile(check, fixed[i]);
    if (state->availableComponents & CompStatusDisplay)
        CheckCopyLists(check, state, "StatusDisplay");
    if (!queue || queue == INVALID_HANDLE_VALUE)
        return;
    for (int i = 0; i < MODEL_SLOTS; i++)
        if (state->installSection[i][0] && SectionExists(check, state->installSection[i]))
            SetupInstallFilesFromInfSectionA(check->inf, NULL, queue, state->installSection[i],
                                             check->medium, SP_COPY_NEWER);
    if (state->availableComponents & CompStatusDisplay)
        SetupInstallFilesFromInfSectionA(check->inf, NULL, queue, "StatusDisplay",
                                         check->medium, SP_COPY_NEWER);
    SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACKEX, NULL, ScannedCopy, check, &result);
    SetupCloseFileQueue(queue);
}

static void CheckLayout(MediumCheck *check, const SetupStateRecord *state)
{
    char name[MAX_PATH];
    INFCONTEXT line;
    const char *layout = state->layoutPath + lstrlenA(check->medium);

    if (!layout[0]) {
        Report(check, "layout file", "(LayoutFile)", "not named in [Version], or too long");
        return;
    }
    Report(check, "layout file", layout,
           GetFileAttributesA(state->layoutPath) == INVALID_FILE_ATTRIBUTES ? "missing" : "ok");
    for (BOOL found = SetupFindFirstLineA(check->inf, "SourceDisksFiles", NULL, &line); found;
         found = SetupFindNextLine(&line, &line))
        if (SetupGetStringFieldA(&line, 0, name, sizeof(name), NULL))
            NeedFile(check, name);
}

/* Each line of the digest list against the file it names. */
static void CheckListedFile(void *context, long number, const char *name, const FileDigest *listed)
{
    MediumCheck *check = (MediumCheck *)context;
    char path[FOLDER_CHARS + MAX_PATH], line[32];
    FileDigest now;

    if (!listed) {
        StringCchPrintfA(line, ARRAYSIZE(line), "line %ld", number);
        Report(check, KX_DIGEST_LIST, line, "not \"name size sha256\"");
        return;
    }
    StringCchPrintfA(path, ARRAYSIZE(path), "%s%s", check->medium, name);
    DWORD code = DigestFile(path, CALG_SHA_256, &now);
    Report(check, "listed file", name,
           code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "missing"
           : code != NO_ERROR || now.algorithm != CALG_SHA_256          ? "could not be read"
           : now.sizeLow != listed->sizeLow || now.sizeHigh             ? "size differs from the list"
           : !SameDigest(listed, &now)                                  ? "digest differs from the list"
                                                                        : "ok");
}

int CheckMedium(HWND owner, HINF inf, const SetupStateRecord *state, const char *medium,
                int infRead, const RunMode *mode)
{
    MediumCheck check;
    char text[TEXT_CHARS + 96];
    char why[TEXT_CHARS];

    ZeroMemory(&check, sizeof(check));
    check.inf = inf;
    check.medium = medium;
    check.listed = LoadDigestList(medium);
    Report(&check, "setup information", "oemsetup.inf",
           inf == INVALID_HANDLE_VALUE ? "missing or not readable"
           : infRead                   ? "ok"
                                       : "refused (the box above names the line)");
    if (inf != INVALID_HANDLE_VALUE) {
        CheckLayout(&check, state);
        CheckModels(&check, state);
        CheckQueue(&check, state);
        why[0] = '\0';
        Report(&check, "section", "[ClassInstall]",
               UndoableSection(inf, "ClassInstall", why) ? "ok" : why);
    }
    if (check.listed)
        EachListedFile(CheckListedFile, &check);
    else
        LogLine("check: the medium has no %s: its files are hashed at every install", KX_DIGEST_LIST);
    if (check.seen)
        HeapFree(GetProcessHeap(), 0, check.seen);
    if (check.faults)
        StringCchPrintfA(text, ARRAYSIZE(text), "The medium has %d fault(s) (of %d items): %s",
                         check.faults, check.items, check.first);
    else
        StringCchPrintfA(text, ARRAYSIZE(text), "The medium is ready to ship (%d items).",
                         check.items);
    LogLine("check: %s", text);
    if (!mode->quiet)
        KxMessageBox(owner, text, KX_CAPTION_INSTALLATION,
                     check.faults ? MB_OK | MB_ICONWARNING : MB_OK | MB_ICONINFORMATION);
    return check.faults ? KX_EXIT_FAILED : KX_EXIT_OK;
}
