#include "setupdata/setupdata.h"
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

/* A folder and layout name that do not fit together are refused whole: a cut
 * path would name some other file, so layoutPath keeps the bare folder and
 * nothing is appended. */
static void AppendLayoutFile(HINF inf, const char *layoutName)
{
    char fullPath[FOLDER_CHARS];
    UINT errorLine = 0;

    if (FAILED(StringCchCopyA(fullPath, ARRAYSIZE(fullPath), layoutPath)) ||
        FAILED(StringCchCatA(fullPath, ARRAYSIZE(fullPath), layoutName)))
        return;
    StringCchCopyA(layoutPath, ARRAYSIZE(layoutPath), fullPath);
    SetupOpenAppendInfFileA(layoutPath, inf, &errorLine);
}

static void ReadModels(HINF inf, SetupStateRecord *state, LONG count)
{
    char scratch[NAME_CHARS];
    INFCONTEXT line;

    if (!SetupFindFirstLineA(inf, state->manufacturer, NULL, &line))
        return;
    /* Lines are taken strictly in file order by their number, so model slot i
     * is always line i of the section. */
    for (LONG i = 0; i < count; i++, line.Line++) {
        SetupGetStringFieldA(&line, 0, state->modelName[i], NAME_CHARS, NULL);
        SetupGetLineTextA(&line, NULL, NULL, NULL, installSection[i], NAME_CHARS, NULL);
        SetupGetLineTextA(NULL, inf, installSection[i], "DataFile", state->dataFile[i],
                          FILE_CHARS, NULL);
    }
    for (LONG i = 0; i < count; i++) {
        scratch[0] = '\0';
        if (!SetupGetLineTextA(NULL, inf, installSection[i], "DataSection", scratch,
                               sizeof(scratch), NULL))
            continue;
        for (size_t j = 0; j < ARRAYSIZE(dataSectionKeys); j++)
            SetupGetLineTextA(NULL, inf, scratch, dataSectionKeys[j].key,
                              (state->*dataSectionKeys[j].files)[i], FILE_CHARS, NULL);
    }
}

int ReadSetupInformation(HINF inf, SetupStateRecord *state)
{
    char scratch[NAME_CHARS];
    char directory[NAME_CHARS];
    INFCONTEXT line;

    if (SetupGetLineTextA(NULL, inf, "version", "LayoutFile", scratch, sizeof(scratch), NULL))
        AppendLayoutFile(inf, scratch);
    else
        ShowSystemError(GetLastError(), "GetLastError--Layout.inf");

    /* Without a manufacturer line there is no model section to read. */
    if (SetupFindFirstLineA(inf, "Manufacturer", NULL, &line) &&
        SetupGetLineTextA(&line, NULL, NULL, NULL, scratch, sizeof(scratch), NULL)) {
        StringCchCopyA(state->manufacturer, ARRAYSIZE(state->manufacturer), scratch);
        LONG count = SetupGetLineCountA(inf, state->manufacturer);
        /* A section of more than three models cannot be represented: no model
         * bit is set and no slot is filled, rather than offering a partial set. */
        if (count >= 1 && count <= MODEL_SLOTS) {
            state->availableComponents = (1u << count) - 1;
            ReadModels(inf, state, count);
        }
    }

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
