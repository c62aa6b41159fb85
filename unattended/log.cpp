#include "unattended/log.h"
#include <stdarg.h>
#include <strsafe.h>

#define LOG_LINE_CHARS 2048
#define ACTION_MARK "> "

static HANDLE logFile = INVALID_HANDLE_VALUE;
static int planning;

static int OpenOutput(const char *path, DWORD access, DWORD disposition)
{
    CloseLog();
    /* Others may read the file while the run writes it, as a person with a
     * pager or a deployment tool does. */
    logFile = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, disposition,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    return logFile != INVALID_HANDLE_VALUE;
}

int OpenLog(const char *path)
{
    return OpenOutput(path, FILE_APPEND_DATA, OPEN_ALWAYS);
}

int OpenPlan(const char *path)
{
    planning = OpenOutput(path, GENERIC_WRITE, CREATE_ALWAYS);
    return planning;
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

int Planning(void)
{
    return planning;
}

static void WriteLine(const char *mark, const char *format, va_list args)
{
    char line[LOG_LINE_CHARS];
    SYSTEMTIME now;
    char *end = NULL;
    DWORD written;

    if (logFile == INVALID_HANDLE_VALUE)
        return;
    GetLocalTime(&now);
    StringCchPrintfExA(line, ARRAYSIZE(line), &end, NULL, 0,
                       "%04u-%02u-%02u %02u:%02u:%02u.%03u %s", now.wYear, now.wMonth, now.wDay,
                       now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, mark);
    /* A line too long for the buffer is written cut rather than lost. */
    StringCchVPrintfExA(end, ARRAYSIZE(line) - 2 - (end - line), &end, NULL, 0, format, args);
    /* One entry, one line: a box text's line breaks become blanks. */
    for (char *c = line; c < end; c++)
        if ((unsigned char)*c < 0x20)
            *c = ' ';
    end[0] = '\r';
    end[1] = '\n';
    WriteFile(logFile, line, (DWORD)(end + 2 - line), &written, NULL);
}

void LogLine(const char *format, ...)
{
    va_list args;

    va_start(args, format);
    WriteLine("", format, args);
    va_end(args);
}

int Act(const char *format, ...)
{
    va_list args;
    /* The change's own last error must survive the line written before it. */
    DWORD code = GetLastError();

    va_start(args, format);
    WriteLine(ACTION_MARK, format, args);
    va_end(args);
    SetLastError(code);
    return !planning;
}

void ActDone(BOOL succeeded, DWORD code)
{
    if (succeeded)
        LogLine("  ok");
    else
        LogLine("  failed, error %lu", (unsigned long)code);
}

const char *LogStatus(DWORD code)
{
    static char text[32];

    if (code == 0)
        return "ok";
    StringCchPrintfA(text, ARRAYSIZE(text), "error %lu", (unsigned long)code);
    return text;
}
