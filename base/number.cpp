#include "base/base.h"
#include <limits.h>

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
