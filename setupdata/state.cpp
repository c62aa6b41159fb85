#include "setupdata/setupdata.h"

SetupStateRecord SetupState;
char installSection[MODEL_SLOTS][NAME_CHARS];
char layoutPath[FOLDER_CHARS];
char driverDirectory[TEXT_CHARS];
char startDirectory[FOLDER_CHARS];
char statusDirChoice[FOLDER_CHARS];
IMalloc *shellAllocator;
DWORD spaceShortfall[3];

long LeadingNumber(const char *text)
{
    long value = 0;
    int negative = 0;

    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        text++;
    if (*text == '+' || *text == '-')
        negative = (*text++ == '-');
    while (*text >= '0' && *text <= '9')
        value = value * 10 + (*text++ - '0');
    return negative ? -value : value;
}
