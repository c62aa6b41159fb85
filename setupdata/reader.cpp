#include "setupdata/setupdata.h"
#include <stdarg.h>
#include <string.h>
#include <strsafe.h>

/* The data section of a model names its driver, configuration and help files;
 * the data file itself stands in the install section. */
struct DataSectionKey {
    const char *key;
    char (SetupStateRecord::*files)[MODEL_SLOTS][FILE_CHARS];
};

static const DataSectionKey dataSectionKeys[] = {
    { "DriverFile", &SetupStateRecord::driverFile },
    { "ConfigFile", &SetupStateRecord::configFile },
    { "HelpFile", &SetupStateRecord::helpFile },
};

/* The box of a file that is refused: it names the file and the line, so that
 * whoever made the medium can mend it. Always 0, the refusal. */
static int RefuseLine(const char *where, const char *format, ...)
{
    char fault[160];
    char text[384];
    va_list args;

    va_start(args, format);
    StringCchVPrintfA(fault, ARRAYSIZE(fault), format, args);
    va_end(args);
    StringCchPrintfA(text, ARRAYSIZE(text), "oemsetup.inf, %s: %s", where, fault);
    KxMessageBox(NULL, text, KX_CAPTION_INSTALL_ERROR, MB_OK);
    return 0;
}

/* The names DOS keeps for its devices, in any case and with any extension: a
 * copy to or from one of them reaches the device, not a file. */
static int IsDeviceName(const char *name)
{
    static const char *const devices[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                            "CLOCK$" };
    char base[8];
    size_t length = 0;

    while (name[length] && name[length] != '.')
        length++;
    while (length && name[length - 1] == ' ')
        length--;
    if (length >= sizeof(base))
        return 0;
    memcpy(base, name, length);
    base[length] = '\0';
    for (size_t i = 0; i < ARRAYSIZE(devices); i++)
        if (lstrcmpiA(base, devices[i]) == 0)
            return 1;
    if (length != 4)
        return 0;
    /* COM and LPT with a digit, the superscript ones of the ANSI code page included. */
    const char digit = base[3];
    base[3] = '\0';
    return (lstrcmpiA(base, "COM") == 0 || lstrcmpiA(base, "LPT") == 0) &&
           ((digit >= '1' && digit <= '9') || digit == '\xB9' || digit == '\xB2' ||
            digit == '\xB3');
}

/* The names are joined to the medium's and the target folders; anything but a
 * plain name could reach a file outside them, a device, or a file that Windows
 * names otherwise (it drops trailing dots and blanks). An empty name is an
 * absent one. */
static int IsPlainFileName(const char *name)
{
    size_t length = 0;

    for (; name[length]; length++)
        if ((unsigned char)name[length] < 0x20 || strchr("\\/:*?<>\"|", name[length]))
            return 0;
    if (!length)
        return 1;
    return name[length - 1] != '.' && name[length - 1] != ' ' && !IsDeviceName(name);
}

static int CheckFileName(const char *where, const char *name)
{
    if (IsPlainFileName(name))
        return 1;
    return RefuseLine(where, "the file name \"%s\" is not a plain file name.", name);
}

/* A read that failed only because the value is absent is no fault; a value that
 * is there but does not fit would be used cut short, naming something else. */
static int ReadWhole(BOOL read)
{
    return read || GetLastError() != ERROR_INSUFFICIENT_BUFFER;
}

/* One of a model's file names: an absent one stays empty. */
static int ReadModelFile(HINF inf, const char *section, const char *key, char *file,
                         const char *where)
{
    if (!ReadWhole(SetupGetLineTextA(NULL, inf, section, key, file, FILE_CHARS, NULL)))
        return RefuseLine(where, "the %s value does not fit %d characters.", key, FILE_CHARS - 1);
    return CheckFileName(where, file);
}

/* A folder and layout name that do not fit together are refused whole: a cut
 * path would name some other file, so layoutPath keeps the bare folder and
 * nothing is appended. */
static void AppendLayoutFile(HINF inf, SetupStateRecord *state, const char *layoutName)
{
    char fullPath[FOLDER_CHARS];
    UINT errorLine = 0;

    if (FAILED(StringCchPrintfA(fullPath, ARRAYSIZE(fullPath), "%s%s", state->layoutPath,
                                layoutName)))
        return;
    StringCchCopyA(state->layoutPath, ARRAYSIZE(state->layoutPath), fullPath);
    SetupOpenAppendInfFileA(state->layoutPath, inf, &errorLine);
}

/* The lines of the model section as SetupAPI walks them: on into the appended
 * layout file when the section continues there. */
static LONG CountModelLines(HINF inf, const char *section)
{
    INFCONTEXT line;
    LONG count = 0;

    for (BOOL found = SetupFindFirstLineA(inf, section, NULL, &line); found;
         found = SetupFindNextLine(&line, &line))
        count++;
    return count;
}

/* Model slot i is the i-th line of the section. 0 when a line is refused (its
 * box has been shown). */
static int ReadModels(HINF inf, SetupStateRecord *state)
{
    char dataSection[NAME_CHARS];
    char where[NAME_CHARS + 32];
    INFCONTEXT line;
    BOOL found = SetupFindFirstLineA(inf, state->manufacturer, NULL, &line);

    for (LONG i = 0; found && i < MODEL_SLOTS; i++, found = SetupFindNextLine(&line, &line)) {
        StringCchPrintfA(where, ARRAYSIZE(where), "section [%s], line %ld", state->manufacturer,
                         (long)(i + 1));
        if (!ReadWhole(SetupGetStringFieldA(&line, 0, state->modelName[i], NAME_CHARS, NULL)))
            return RefuseLine(where, "the model name does not fit %d characters.", NAME_CHARS - 1);
        /* The model name is the printer's: a backslash would make it a network
         * printer's path, a comma would split the default-printer line. */
        if (strpbrk(state->modelName[i], "\\,"))
            return RefuseLine(where, "the model name \"%s\" holds a backslash or a comma.",
                              state->modelName[i]);
        if (!ReadWhole(SetupGetLineTextA(&line, NULL, NULL, NULL, state->installSection[i],
                                         NAME_CHARS, NULL)))
            return RefuseLine(where, "the install section name does not fit %d characters.",
                              NAME_CHARS - 1);
        if (!ReadModelFile(inf, state->installSection[i], "DataFile", state->dataFile[i], where))
            return 0;
        BOOL hasData = SetupGetLineTextA(NULL, inf, state->installSection[i], "DataSection",
                                         dataSection, sizeof(dataSection), NULL);
        if (!ReadWhole(hasData))
            return RefuseLine(where, "the DataSection value does not fit %d characters.",
                              NAME_CHARS - 1);
        if (!hasData)
            continue;
        for (size_t j = 0; j < ARRAYSIZE(dataSectionKeys); j++)
            if (!ReadModelFile(inf, dataSection, dataSectionKeys[j].key,
                               (state->*dataSectionKeys[j].files)[i], where))
                return 0;
    }
    return 1;
}

/* The lists that the run describes line by line (a log's or plan's action
 * lines), as their key names them in a section that the run applies. */
static const char *const describedLists[] = { "CopyFiles", "DelFiles", "RenFiles", "AddReg",
                                              "DelReg", "UpdateInis", "UpdateIniFields" };

static BOOL FindNextKeyLine(INFCONTEXT *line, const char *key)
{
    char name[NAME_CHARS];

    while (SetupFindNextLine(line, line))
        if (SetupGetStringFieldA(line, 0, name, sizeof(name), NULL) && lstrcmpiA(name, key) == 0)
            return TRUE;
    return FALSE;
}

int WalkListLines(HINF inf, const char *section, const char *key, ListLineProc each,
                  void *context)
{
    char name[NAME_CHARS];
    INFCONTEXT list, line;
    int result;

    if (!SetupFindFirstLineA(inf, section, key, &list))
        return 1;
    do {
        for (DWORD field = 1;; field++) {
            BOOL read = SetupGetStringFieldA(&list, field, name, sizeof(name), NULL);
            if (!ReadWhole(read))
                return -1;
            if (!read)
                break;
            if (!SetupFindFirstLineA(inf, name, NULL, &line))
                continue;
            for (long number = 1;; number++) {
                if ((result = each(inf, name, number, &line, context)) != 1)
                    return result;
                if (!SetupFindNextLine(&line, &line))
                    break;
            }
        }
    } while (FindNextKeyLine(&list, key));
    return 1;
}

/* Every line of the lists must fit the buffer the description reads it into
 * (a line's fields are parts of its text): a line left out of a plan would
 * still be applied by the run. */
static int CheckListLine(HINF, const char *list, long number, INFCONTEXT *line, void *)
{
    char text[TEXT_CHARS], where[2 * NAME_CHARS];

    if (ReadWhole(SetupGetLineTextA(line, NULL, NULL, NULL, text, sizeof(text), NULL)))
        return 1;
    StringCchPrintfA(where, ARRAYSIZE(where), "section [%s], line %ld", list, number);
    return RefuseLine(where, "the line does not fit %d characters.", TEXT_CHARS - 1);
}

static int CheckListsOf(HINF inf, const char *section)
{
    char where[2 * NAME_CHARS];

    for (size_t key = 0; key < ARRAYSIZE(describedLists); key++) {
        int walked = WalkListLines(inf, section, describedLists[key], CheckListLine, NULL);
        if (walked == 1)
            continue;
        if (walked < 0) {
            StringCchPrintfA(where, ARRAYSIZE(where), "section [%s], line %s", section,
                             describedLists[key]);
            RefuseLine(where, "a list name does not fit %d characters.", NAME_CHARS - 1);
        }
        return 0;
    }
    return 1;
}

/* The sections whose lists the run describes: the models' install sections,
 * the status display's, the class install's and the uninstall's. */
static int CheckDescribedLists(HINF inf, const SetupStateRecord *state)
{
    static const char *const fixed[] = { "StatusDisplay", "ClassInstall", "DefaultUninstall" };

    for (int i = 0; i < MODEL_SLOTS; i++)
        if (state->installSection[i][0] && !CheckListsOf(inf, state->installSection[i]))
            return 0;
    for (size_t i = 0; i < ARRAYSIZE(fixed); i++)
        if (!CheckListsOf(inf, fixed[i]))
            return 0;
    return 1;
}

/* Kept apart from its callers' record (noipa), as ParseCommandLine is: its
 * fields are reached through the pointer, without a relocation each. */
__attribute__((noipa)) int ReadSetupInformation(HINF inf, SetupStateRecord *state)
{
    char scratch[NAME_CHARS];
    char directory[NAME_CHARS];
    INFCONTEXT line;

    if (SetupGetLineTextA(NULL, inf, "version", "LayoutFile", scratch, sizeof(scratch), NULL)) {
        if (!CheckFileName("section [Version], line LayoutFile", scratch))
            return 0;
        AppendLayoutFile(inf, state, scratch);
    } else {
        ShowSystemError(GetLastError(), KX_CAPTION_LAYOUT_ERROR);
    }

    /* Without a manufacturer line there is no model section to read; one that
     * does not fit would name another section. */
    BOOL named = SetupFindFirstLineA(inf, "Manufacturer", NULL, &line) &&
                 SetupGetLineTextA(&line, NULL, NULL, NULL, scratch, sizeof(scratch), NULL);
    if (!ReadWhole(named))
        return RefuseLine("section [Manufacturer], line 1",
                          "the manufacturer does not fit %d characters.", NAME_CHARS - 1);
    if (named) {
        StringCchCopyA(state->manufacturer, ARRAYSIZE(state->manufacturer), scratch);
        LONG count = CountModelLines(inf, state->manufacturer);
        /* A section of more than three models cannot be represented: no model
         * bit is set and no slot is filled, rather than offering a partial set. */
        if (count >= 1 && count <= MODEL_SLOTS) {
            state->availableComponents = (1u << count) - 1;
            if (!ReadModels(inf, state))
                return 0;
        }
    }

    if (!CheckDescribedLists(inf, state))
        return 0;

    if (SetupFindFirstLineA(inf, "StatusDisplay", NULL, &line))
        state->availableComponents |= CompStatusDisplay;
    if (SetupFindFirstLineA(inf, "ControlPanel", NULL, &line))
        state->availableComponents |= CompControlPanel;

    state->driverDirId = 0;
    if (SetupGetLineTextA(NULL, inf, "DestinationDirs", "DefaultDestDir", scratch,
                          sizeof(scratch), NULL))
        state->driverDirId = (DWORD)LeadingNumber(scratch);

    /* The file-list name is the key of the second lookup, so its result goes to
     * a buffer of its own rather than over the key being looked up. */
    state->statusDirId = 0;
    if (SetupGetLineTextA(NULL, inf, "StatusDisplay", "CopyFiles", scratch, sizeof(scratch), NULL) &&
        SetupGetLineTextA(NULL, inf, "DestinationDirs", scratch, directory, sizeof(directory), NULL))
        state->statusDirId = (DWORD)LeadingNumber(directory);

    return 1;
}
