#include "setupdata/setupdata.h"
#include <limits.h>

SetupStateRecord SetupState;
char installSection[MODEL_SLOTS][NAME_CHARS];
char layoutPath[FOLDER_CHARS];
char driverDirectory[TEXT_CHARS];
char startDirectory[FOLDER_CHARS];
char statusDirChoice[FOLDER_CHARS];
IMalloc *shellAllocator;
DWORD spaceShortfall[3];

void ResetSharedData(void)
{
    ZeroMemory(&SetupState, sizeof(SetupState));
    ZeroMemory(installSection, sizeof(installSection));
    ZeroMemory(layoutPath, sizeof(layoutPath));
    ZeroMemory(driverDirectory, sizeof(driverDirectory));
    ZeroMemory(startDirectory, sizeof(startDirectory));
    ZeroMemory(statusDirChoice, sizeof(statusDirChoice));
    shellAllocator = NULL;
    ZeroMemory(spaceShortfall, sizeof(spaceShortfall));
}

long LeadingNumber(const char *text)
{
    unsigned long magnitude = 0, limit = LONG_MAX;
    int negative = 0;

    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        text++;
    if (*text == '+' || *text == '-')
        negative = (*text++ == '-');
    /* The numbers come from the setup information file: one too large for a
     * long stays at the limit instead of overflowing. */
    if (negative)
        limit = (unsigned long)LONG_MAX + 1;
    while (*text >= '0' && *text <= '9') {
        unsigned long digit = (unsigned long)(*text++ - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (!negative)
        return (long)magnitude;
    return magnitude > (unsigned long)LONG_MAX ? LONG_MIN : -(long)magnitude;
}
