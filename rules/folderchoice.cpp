#include "rules/rules.h"
#include <string.h>
#include <strsafe.h>

static const char notFull[] = "The folder must be a full path such as C:\\STATUS.";
static const char badCharacter[] =
    "The folder name may not contain \" < > | * ? or control characters.";
static char tooLong[64];

static int IsDriveLetter(char c)
{
    c = (char)(c | 0x20);
    return c >= 'a' && c <= 'z';
}

/* GetFullPathNameA takes either slash; the full path has only backslashes. */
static int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

/* A drive letter's colon is the only one a folder may hold: any other would
 * name a stream of a file. A server name never starts with a dot (\\.\ is the
 * device space). */
int IsFullFolder(const char *folder)
{
    const char *share;

    if (IsDriveLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\')
        return !strchr(folder + 2, ':');
    if (folder[0] != '\\' || folder[1] != '\\' || !folder[2] || folder[2] == '\\' ||
        folder[2] == '.')
        return 0;
    share = strchr(folder + 2, '\\');
    return share && share[1] && share[1] != '\\' && !strchr(folder + 2, ':');
}

static int HoldsBadCharacter(const char *text)
{
    for (; *text; text++)
        if ((unsigned char)*text < 0x20 || strchr("\"<>|*?", *text))
            return 1;
    return 0;
}

static const char *TooLong(void)
{
    StringCchPrintfA(tooLong, ARRAYSIZE(tooLong),
                     "The folder name is too long: at most %d characters.", KX_FOLDER_LIMIT);
    return tooLong;
}

/* NULL when the folder is taken (its full path is in `full`), else the reason. */
static const char *JudgeFolder(const char *entered, const char *baseDirectory, char *full,
                               size_t fullChars)
{
    char joined[FOLDER_CHARS];
    const char *named = entered;
    size_t baseLength = strlen(baseDirectory);
    const char *untrusted;
    DWORD length;

    if (HoldsBadCharacter(entered))
        return badCharacter;
    /* A drive without its root ("C:TOOLS") would depend on that drive's current
     * folder, which the run does not keep. */
    if (IsDriveLetter(entered[0]) && entered[1] == ':') {
        if (!IsSeparator(entered[2]))
            return notFull;
    } else if (!IsSeparator(entered[0]) || !IsSeparator(entered[1])) {
        if (!entered[0] || !baseLength)
            return notFull;
        if (FAILED(StringCchPrintfA(joined, ARRAYSIZE(joined), "%s%s%s", baseDirectory,
                                    baseDirectory[baseLength - 1] == '\\' ? "" : "\\", entered)))
            return TooLong();
        named = joined;
    }
    /* "." and ".." are resolved, so that the record names the folder itself. */
    length = GetFullPathNameA(named, (DWORD)fullChars, full, NULL);
    if (length == 0 || length >= fullChars)
        return TooLong();
    if (!IsFullFolder(full))
        return notFull;
    if (length > (DWORD)KX_FOLDER_LIMIT)
        return TooLong();
    /* The administrator's later runs start the program copied there: a folder
     * that somebody else controls (or a network folder) is not taken. */
    if (JudgeFolderTrust(full, NULL, &untrusted) == FolderUntrusted)
        return untrusted;
    return NULL;
}

int CheckFolderChoice(const char *entered, const char *baseDirectory, char *full,
                      size_t fullChars, const char **why)
{
    *why = JudgeFolder(entered, baseDirectory, full, fullChars);
    return *why == NULL;
}
