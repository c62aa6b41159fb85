#include "shell/choices.h"
#include "shell/options.h"
#include "wizard/wizard.h"
#include <ctype.h>
#include <string.h>
#include <strsafe.h>

#define DEFAULT_PORT "LPT1:"

static int RefuseChoice(int *exitCode, const char *format, const char *detail)
{
    LogLine(format, detail);
    *exitCode = KX_EXIT_BAD_COMMAND_LINE;
    return 0;
}

static char *Trim(char *text)
{
    char *end;

    while (*text == ' ' || *text == '\t')
        text++;
    end = text + strlen(text);
    while (end > text && (end[-1] == ' ' || end[-1] == '\t'))
        *--end = '\0';
    return text;
}

/* A model by its line number in oemsetup.inf (1 to 3) or by its name; only the
 * models the medium offers count. Returns its bit or 0. */
static DWORD ModelBit(const SetupStateRecord *state, const char *wanted)
{
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        DWORD bit = 1u << slot;
        if (!(state->availableComponents & bit))
            continue;
        if ((wanted[0] == '1' + slot && !wanted[1]) ||
            lstrcmpiA(wanted, state->modelName[slot]) == 0)
            return bit;
    }
    return 0;
}

static int ChooseModels(const SetupStateRecord *state, DWORD *models, int *exitCode)
{
    char list[OPTION_VALUE_CHARS];
    char *next;

    *models = state->availableComponents & MODEL_BITS;
    if (!Options.models[0])
        return 1;
    *models = 0;
    StringCchCopyA(list, ARRAYSIZE(list), Options.models);
    for (char *item = list; item; item = next) {
        DWORD bit;
        next = strchr(item, ',');
        if (next)
            *next++ = '\0';
        item = Trim(item);
        if (!item[0])
            continue;
        bit = ModelBit(state, item);
        if (!bit)
            return RefuseChoice(exitCode, "choice refused: the medium has no model \"%s\"", item);
        *models |= bit;
    }
    return 1;
}

static int ChooseComponents(SetupStateRecord *state, int *exitCode)
{
    DWORD available = state->availableComponents;
    DWORD models;

    state->installMode = Options.installType ? Options.installType : Express;
    switch (state->installMode) {
    case Minimum:
        state->selectedComponents = available & MODEL_BITS;
        return 1;
    case Custom:
        if (!ChooseModels(state, &models, exitCode))
            return 0;
        /* The components page starts with everything offered ticked. */
        state->selectedComponents = (available & ~(DWORD)(MODEL_BITS | CompStatusDisplay)) | models;
        if (Options.statusDisplay != 0)
            state->selectedComponents |= available & CompStatusDisplay;
        if (Options.statusDisplay == 1 && !(available & CompStatusDisplay))
            return RefuseChoice(exitCode, "choice refused: the medium has no %s", "status display tool");
        return 1;
    default:
        state->selectedComponents = available;
        return 1;
    }
}

/* Without /statusdir a custom install takes what the components page offers
 * first, the folder on the printer drivers' drive; the other types leave the
 * choice empty, as the wizard does when it does not show that page. */
static int ChooseFolder(SetupStateRecord *state, int *exitCode)
{
    const char *why = NULL;

    if (!Options.statusFolder[0]) {
        if (state->installMode == Custom)
            DefaultStatusFolder((char)toupper((unsigned char)state->driverDirectory[0]),
                                state->statusDirChoice, ARRAYSIZE(state->statusDirChoice));
        return 1;
    }
    if (!CheckFolderChoice(Options.statusFolder, state->startDirectory, state->statusDirChoice,
                           ARRAYSIZE(state->statusDirChoice), &why)) {
        state->statusDirChoice[0] = '\0';
        LogLine("choice refused: /statusdir=%s: %s", Options.statusFolder, why);
        *exitCode = KX_EXIT_BAD_COMMAND_LINE;
        return 0;
    }
    return 1;
}

int ChooseQuietly(HWND hostWindow, SetupStateRecord *state, int *exitCode)
{
    const char *port = Options.port[0] ? Options.port : DEFAULT_PORT;
    int listed;

    if (!ChooseComponents(state, exitCode) || !ChooseFolder(state, exitCode))
        return 0;
    /* A spooler that cannot list its ports is the system's failure, not the
     * command line's. */
    listed = FindListedPort(port, state->portName, ARRAYSIZE(state->portName));
    if (listed < 0) {
        LogLine("ports: the spooler's list could not be read");
        *exitCode = KX_EXIT_FAILED;
        return 0;
    }
    if (!listed)
        return RefuseChoice(exitCode, "choice refused: the system lists no port \"%s\"", port);
    char folder[STATUSDIR_CHARS];
    if (state->statusDirChoice[0])
        StringCchCopyA(folder, ARRAYSIZE(folder), state->statusDirChoice);
    else
        DefaultStatusFolder(KX_DEFAULT_STATUS_DRIVE, folder, ARRAYSIZE(folder));
    /* The default may lie on the Windows folder's drive: room is needed there. */
    JudgeSpace(state, state->selectedComponents, (char)toupper((unsigned char)folder[0]));
    LogLine("choices: type %s, components %lu, port %s, status folder %s, default printer %s",
            state->installMode == Minimum  ? "minimum"
            : state->installMode == Custom ? "custom"
                                           : "express",
            (unsigned long)state->selectedComponents, state->portName, folder,
            Options.defaultPrinter ? "yes" : "no");
    return 1;
}

int ChooseInWizard(HWND hostWindow, SetupStateRecord *state, int *exitCode)
{
    INT_PTR sheet = RunSetupWizard(hostWindow, state);

    /* -1: the sheet could not be created, so nothing was chosen. */
    if (sheet > 0)
        return 1;
    *exitCode = sheet == 0 ? KX_EXIT_CANCELLED : KX_EXIT_FAILED;
    return 0;
}
