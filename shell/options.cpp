#include "shell/options.h"
#include "run/run.h"
#include <string.h>
#include <strsafe.h>

#define TOKEN_CHARS (OPTION_VALUE_CHARS + 32)

SetupOptions Options;

const char UsageText[] =
    "kxsetup.exe [Uninstall] [options]\n"
    "\n"
    "/quiet\t\tno window, no message, no restart prompt\n"
    "/norestart\tno restart prompt; a completed run ends with 3010\n"
    "/log=FILE\tappend a log of the run to FILE\n"
    "/plan=FILE\twrite to FILE what a quiet run would change; change nothing\n"
    "/verify\t\tcheck that the installation is there and unchanged\n"
    "/check\t\tcheck this medium before shipping it; change nothing\n"
    "/repair\t\tput back what changed\n"
    "\n"
    "With /quiet, instead of the wizard:\n"
    "/type=express|minimum|custom\t(default express)\n"
    "/models=LIST\tmodel numbers or names, comma-separated\n"
    "/statusdisplay=yes|no\tthe status display tool\n"
    "/statusdir=FOLDER\t(default C:\\STATUS, or STATUS in the Windows folder)\n"
    "/port=PORT\t(default LPT1:)\n"
    "/defaultprinter\tthe first printer becomes the default printer\n"
    "\n"
    "Exit codes: 0 done, 3010 restart due, 1602 cancelled, 1603 failed or changed,\n"
    "1605 not installed, 1618 another run, 1622 no log, 1638 newer installed,\n"
    "1639 bad command line.";

static_assert(sizeof(UsageText) <= USAGE_CHARS, "the usage text fits its box buffer");

enum OptionValue { NoValue, TakesValue, MayTakeValue };

enum {
    OptQuiet, OptNoRestart, OptLog, OptType, OptModels, OptStatusDisplay, OptStatusDir,
    OptPort, OptDefaultPrinter, OptUsage, OptPlan, OptVerify, OptCheck, OptRepair, OPTION_COUNT
};

/* Names and what each takes, in the order above (two lists: records of a
 * pointer and a byte would be padded to two pointers). */
static const char *const optionNames[OPTION_COUNT] = {
    "quiet", "norestart", "log", "type", "models", "statusdisplay", "statusdir",
    "port", "defaultprinter", "?", "plan", "verify", "check", "repair",
};
static const BYTE optionValues[OPTION_COUNT] = {
    NoValue, NoValue, TakesValue, TakesValue, TakesValue, TakesValue, TakesValue,
    TakesValue, MayTakeValue, NoValue, TakesValue, NoValue, NoValue, NoValue,
};

/* The first fault is the one reported; the rest of the line is still read, so
 * that /quiet and /log count wherever they stand. */
static int Refuse(SetupOptions *options, const char *format, const char *detail)
{
    if (!options->why[0])
        StringCchPrintfA(options->why, ARRAYSIZE(options->why), format, detail);
    return 0;
}

/* Windows' own reading of the program name: a quoted first token runs to the
 * closing quote, an unquoted one to the first blank. */
static const char *SkipProgramName(const char *line)
{
    if (*line == '"') {
        line++;
        while (*line && *line != '"')
            line++;
        if (*line == '"')
            line++;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            line++;
    }
    return line;
}

/* One argument: blank-separated; double quotes group blanks and are dropped.
 * Returns the position after it; an argument that does not fit is still read
 * to its end (so that the arguments after it count) and `fits` is 0. */
static const char *NextToken(const char *line, char *token, size_t chars, int *fits)
{
    size_t used = 0;
    int quoted = 0;

    *fits = 1;
    for (; *line && (quoted || (*line != ' ' && *line != '\t')); line++) {
        if (*line == '"') {
            quoted = !quoted;
            continue;
        }
        if (used + 1 >= chars)
            *fits = 0;
        else
            token[used++] = *line;
    }
    token[used] = '\0';
    return line;
}

static int YesNo(const char *value, int *result)
{
    if (lstrcmpiA(value, "yes") == 0)
        *result = 1;
    else if (lstrcmpiA(value, "no") == 0)
        *result = 0;
    else
        return 0;
    return 1;
}

static int TakeOption(SetupOptions *options, int which, const char *value)
{
    switch (which) {
    case OptQuiet: options->quiet = 1; break;
    case OptNoRestart: options->noRestart = 1; break;
    case OptUsage: options->usage = 1; break;
    case OptVerify: options->verify = 1; break;
    case OptCheck: options->check = 1; break;
    case OptRepair: options->repair = 1; break;
    case OptLog: return SUCCEEDED(StringCchCopyA(options->logFile, OPTION_VALUE_CHARS, value));
    case OptPlan:
        /* A plan is a quiet run, also when the rest of the line is refused: a
         * refusal shown in a box would wait for somebody who is not there. */
        options->quiet = 1;
        return SUCCEEDED(StringCchCopyA(options->planFile, OPTION_VALUE_CHARS, value));
    case OptModels: return SUCCEEDED(StringCchCopyA(options->models, OPTION_VALUE_CHARS, value));
    case OptPort: return SUCCEEDED(StringCchCopyA(options->port, OPTION_VALUE_CHARS, value));
    case OptStatusDir:
        return SUCCEEDED(StringCchCopyA(options->statusFolder, OPTION_VALUE_CHARS, value));
    case OptStatusDisplay: return YesNo(value, &options->statusDisplay);
    case OptDefaultPrinter: return !value[0] || YesNo(value, &options->defaultPrinter);
    case OptType:
        if (lstrcmpiA(value, "express") == 0)
            options->installType = Express;
        else if (lstrcmpiA(value, "minimum") == 0)
            options->installType = Minimum;
        else if (lstrcmpiA(value, "custom") == 0)
            options->installType = Custom;
        else
            return 0;
        break;
    }
    return 1;
}

/* `token` without its leading / or -: a name, then "=value" where one is taken. */
static int ParseOption(SetupOptions *options, char *token)
{
    char *equals = strchr(token, '=');
    const char *value = "";

    if (equals) {
        *equals = '\0';
        value = equals + 1;
    }
    /* The uninstall word keeps its old rule inside an option name (/Uninstall);
     * an option's value is never searched for it. */
    if (strstr(token, "Uninstall")) {
        options->uninstall = 1;
        return 1;
    }
    for (int which = 0; which < OPTION_COUNT; which++) {
        if (lstrcmpiA(token, optionNames[which]) != 0)
            continue;
        if (optionValues[which] == NoValue && equals)
            return Refuse(options, "The option /%s takes no value.", token);
        if (optionValues[which] == TakesValue && !value[0])
            return Refuse(options, "The option /%s needs a value (/name=value).", token);
        if (which == OptDefaultPrinter && !equals)
            options->defaultPrinter = 1;
        if (!TakeOption(options, which, value))
            return Refuse(options, "The value of /%s is not valid.", token);
        return 1;
    }
    return Refuse(options, "Unknown option /%s.", token);
}

/* Choices replace the wizard, so they belong to quiet installs only. */
static int CheckCombination(SetupOptions *options)
{
    int choices = options->installType || options->models[0] || options->statusDisplay >= 0 ||
                  options->statusFolder[0] || options->port[0] || options->defaultPrinter;

    if (options->models[0] || options->statusDisplay >= 0) {
        if (!options->installType)
            options->installType = Custom;
        else if (options->installType != Custom)
            return Refuse(options, "%s", "/models and /statusdisplay need /type=custom.");
    }
    /* A plan changes nothing; its file takes the log's place. */
    if (options->planFile[0] && options->logFile[0])
        return Refuse(options, "%s", "/plan writes the plan in place of a log: give /plan or /log.");
    if (options->verify && (choices || options->uninstall || options->planFile[0]))
        return Refuse(options, "%s", "/verify checks the installation alone: no uninstall, plan or choices.");
    /* A repair takes the choices the installation recorded. */
    if (options->repair && (choices || options->uninstall || options->verify))
        return Refuse(options, "%s", "/repair takes no uninstall, verify or choices.");
    if (options->check && (options->repair || choices || options->uninstall || options->planFile[0] || options->verify))
        return Refuse(options, "%s", "/check takes no other option but /quiet and /log.");
    if (choices && options->uninstall)
        return Refuse(options, "%s", "An uninstall takes no installation choices.");
    if (choices && !options->quiet)
        return Refuse(options, "%s", "The installation choices apply with /quiet only.");
    if (options->quiet)
        options->noRestart = 1;
    return 1;
}

/* Kept apart from its one caller's SetupOptions (noipa): through the pointer
 * each of the many field accesses is shorter than at the record's fixed
 * address, and needs no relocation. */
__attribute__((noipa)) int ParseCommandLine(const char *commandLine, SetupOptions *options)
{
    char token[TOKEN_CHARS];
    int fits;
    const char *rest = commandLine ? SkipProgramName(commandLine) : "";

    ZeroMemory(options, sizeof(*options));
    options->statusDisplay = -1;
    for (;;) {
        while (*rest == ' ' || *rest == '\t')
            rest++;
        if (!*rest)
            break;
        rest = NextToken(rest, token, ARRAYSIZE(token), &fits);
        if (!fits)
            Refuse(options, "%s", "An argument is too long.");
        else if (token[0] == '/' || token[0] == '-')
            ParseOption(options, token + 1);
        else if (strstr(token, "Uninstall"))
            options->uninstall = 1;
        /* Other words are ignored, as they always were. */
    }
    return CheckCombination(options) && !options->why[0];
}
