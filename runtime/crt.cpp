#include <windows.h>
#include "runtime/runtime.h"

/* The few C library functions the program and strsafe.h call, and the process
 * entry in place of the C runtime's start-up code. */

#ifdef _WIN64
#define CRT_SLOT(name) "__imp_" #name
#else
#define CRT_SLOT(name) "__imp__" #name
#endif

extern "C" {

size_t strlen(const char *text)
{
    const char *end = text;

    while (*end)
        end++;
    return (size_t)(end - text);
}

size_t strnlen(const char *text, size_t limit)
{
    size_t length = 0;

    while (length < limit && text[length])
        length++;
    return length;
}

char *strchr(const char *text, int c)
{
    for (;; text++) {
        if (*text == (char)c)
            return (char *)text;
        if (!*text)
            return NULL;
    }
}

char *strrchr(const char *text, int c)
{
    const char *found = NULL;

    for (;; text++) {
        if (*text == (char)c)
            found = text;
        if (!*text)
            return (char *)found;
    }
}

int strcmp(const char *a, const char *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return (unsigned char)*a - (unsigned char)*b;
}

char *strstr(const char *text, const char *part)
{
    size_t length = strlen(part);

    for (; *text; text++) {
        size_t i = 0;
        while (i < length && text[i] == part[i])
            i++;
        if (i == length)
            return (char *)text;
    }
    return length == 0 ? (char *)text : NULL;
}

char *strpbrk(const char *text, const char *set)
{
    for (; *text; text++)
        if (strchr(set, *text))
            return (char *)text;
    return NULL;
}

void *memcpy(void *to, const void *from, size_t bytes)
{
    char *t = (char *)to;
    const char *f = (const char *)from;

    while (bytes--)
        *t++ = *f++;
    return to;
}

void *memmove(void *to, const void *from, size_t bytes)
{
    char *t = (char *)to;
    const char *f = (const char *)from;

    if (t < f) {
        while (bytes--)
            *t++ = *f++;
    } else {
        while (bytes--)
            t[bytes] = f[bytes];
    }
    return to;
}

void *memset(void *to, int c, size_t bytes)
{
    char *t = (char *)to;

    while (bytes--)
        *t++ = (char)c;
    return to;
}

int memcmp(const void *a, const void *b, size_t bytes)
{
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;

    for (; bytes; bytes--, x++, y++)
        if (*x != *y)
            return *x - *y;
    return 0;
}

}

/* toupper and _vsnprintf are declared as DLL imports: the program calls them
 * through these slots. The program upper-cases drive letters only. */
static int __cdecl UpperCase(int c)
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

static int __cdecl Vsnprintf(char *buffer, size_t count, const char *format, va_list args)
{
    return FormatText(buffer, count, format, args);
}

extern "C" {
KX_KEPT extern void *const toupperSlot __asm__(CRT_SLOT(toupper)) = (void *)UpperCase;
KX_KEPT extern void *const vsnprintfSlot __asm__(CRT_SLOT(_vsnprintf)) = (void *)Vsnprintf;

/* The process starts here: WinMain gets what the C runtime would give it. */
KX_KEPT void WinMainCRTStartup(void)
{
    STARTUPINFOA startup;
    char *arguments = GetCommandLineA();
    int quoted = 0;

    /* The program's own name ends at the first blank outside quotes. */
    for (; *arguments && (quoted || (*arguments != ' ' && *arguments != '\t')); arguments++)
        if (*arguments == '"')
            quoted = !quoted;
    while (*arguments == ' ' || *arguments == '\t')
        arguments++;
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, arguments,
                              (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow
                                                                       : SW_SHOWDEFAULT));
}
}
