#ifndef KX_SHELL_OPTIONS_H
#define KX_SHELL_OPTIONS_H

#include <windows.h>

/* The command line: the uninstall word and the options of unattended
 * deployment (/quiet, /norestart, /log=FILE and the wizard's choices). Without
 * an option the program behaves exactly as the wizard-driven setup does. */

/* Exit codes of the entry itself, beside KX_EXIT_* of the run. */
#define KX_EXIT_ANOTHER_RUN      1618
#define KX_EXIT_BAD_LOG          1622
#define KX_EXIT_BAD_COMMAND_LINE 1639

#define OPTION_VALUE_CHARS 288
#define OPTION_WHY_CHARS 160

struct SetupOptions {
    int uninstall;          /* the word Uninstall stands in an argument */
    int quiet;              /* no window, no box, no restart prompt */
    int noRestart;          /* completed runs end with 3010, no prompt */
    int usage;              /* /? */
    int verify;             /* check the recorded installation, change nothing */
    int check;              /* check the medium for its packager, change nothing */
    int repair;             /* put back what changed, with the recorded choices */
    int installType;        /* Express, Minimum, Custom or 0 (not given) */
    int statusDisplay;      /* -1 not given, 0 no, 1 yes */
    int defaultPrinter;     /* the first printer becomes the default printer */
    char logFile[OPTION_VALUE_CHARS];
    char planFile[OPTION_VALUE_CHARS];  /* describe the run there, change nothing */
    char models[OPTION_VALUE_CHARS];    /* numbers or names, comma-separated */
    char statusFolder[OPTION_VALUE_CHARS];
    char port[OPTION_VALUE_CHARS];
    char why[OPTION_WHY_CHARS];         /* what is wrong with an invalid line */
};

extern SetupOptions Options;

/* Fills `options` from a full command line (the program's own name first, as
 * GetCommandLineA gives it). 1 when the line is valid; 0 with `why` filled. */
int ParseCommandLine(const char *commandLine, SetupOptions *options);

/* The usage text that /? shows, at most USAGE_CHARS long with its zero. */
#define USAGE_CHARS 1024
extern const char UsageText[];

#endif
