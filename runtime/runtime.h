/* What the shipped program needs of a C library, without one: it imports no
 * C runtime DLL (msvcrt.dll is not a known DLL on NT 4, so a copy beside the
 * program would be loaded in its place). Linked into kxsetup.exe only; the
 * tests keep the compiler's own runtime and test the formatter by this name. */
#ifndef KX_RUNTIME_H
#define KX_RUNTIME_H

#include <stdarg.h>
#include <stddef.h>

/* _vsnprintf as strsafe.h relies on it: at most `count` characters are
 * written; the result is the text's length when it fits in `count` (with the
 * terminating zero only when there is room for it), else -1. Conversions:
 * %s %c %d %i %u %x %X and %%, with the flag - (and 0 for numbers), a width,
 * a precision for %s, and l before a number (long is 32 bits on Windows).
 * Anything else (another flag or size letter, a precision for a number, *,
 * a flag on %%, a lone % at the end) is refused rather than misread: -1, the
 * text before it kept, zeros up to `count`. strsafe then answers
 * STRSAFE_E_INSUFFICIENT_BUFFER with the buffer terminated. */
int FormatText(char *buffer, size_t count, const char *format, va_list args);

/* What only the loader or an assembler name refers to (the entry point, the
 * import slots the program fills itself): link-time optimisation sees no use
 * of it and would drop it. */
#define KX_KEPT __attribute__((used, externally_visible))

#endif
