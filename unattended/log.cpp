#include "unattended/log.h"
#include <stdarg.h>
#include <strsafe.h>

#define LOG_LINE_CHARS 2048

static HANDLE logFile = INVALID_HANDLE_VALUE;

int OpenLog(const char *path)
{
    CloseLog();
    /* Others may read the log while the run writes it, as a person with a
     * pager or a deployment tool does. */
    logFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return logFile != INVALID_HANDLE_VALUE;
}

void CloseLog(void)
{
    if (logFile != INVALID_HANDLE_VALUE) {
        CloseHandle(logFile);
        logFile = INVALID_HANDLE_VALUE;
    }
}

int LogIsOpen(void)
{
    return logFile != INVALID_HANDLE_VALUE;
}

void LogLine(const char *format, ...)
{
    char line[LOG_LINE_CHARS];
    SYSTEMTIME now;
    size_t used = 0;
    char *end = NULL;
    va_list args;
    DWORD written;

    if (logFile == INVALID_HANDLE_VALUE)
        return;
    GetLocalTime(&now);
    StringCchPrintfExA(line, ARRAYSIZE(line), &end, NULL, 0,
                       "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                       now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    va_start(args, format);
    /* A line too long for the buffer is written cut rather than lost. */
    StringCchVPrintfExA(end, ARRAYSIZE(line) - 2 - (end - line), &end, NULL, 0, format, args);
    va_end(args);
    /* One entry, one line: a box text's line breaks become blanks. */
    for (char *c = line; c < end; c++)
        if ((unsigned char)*c < 0x20)
            *c = ' ';
    end[0] = '\r';
    end[1] = '\n';
    used = (size_t)(end + 2 - line);
    WriteFile(logFile, line, (DWORD)used, &written, NULL);
}

const char *LogStatus(DWORD code)
{
    static char text[32];

    if (code == 0)
        return "ok";
    StringCchPrintfA(text, ARRAYSIZE(text), "error %lu", (unsigned long)code);
    return text;
}

const char *LogResult(BOOL succeeded, DWORD code)
{
    static char text[40];

    if (succeeded)
        return "ok";
    StringCchPrintfA(text, ARRAYSIZE(text), "failed, error %lu", (unsigned long)code);
    return text;
}
