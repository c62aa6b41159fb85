#include "base/base.h"
#include <stdarg.h>
#include <strsafe.h>

#define LOG_LINE_CHARS 2048

static HANDLE logFile; /* NULL while no file is open */
static int planning;

static const char *refusal;
static const OutputTrust *outputTrust;

void SetOutputTrust(const OutputTrust *trust)
{
    outputTrust = trust;
}

/* The file is opened as itself, never through a link or junction that someone
 * placed at its name, and a pipe's server learns no more than who writes to it.
 * Only a plain disk file with one name is written: through a second name the
 * run would append to, or empty, a file of someone else's choosing. */
static int OpenLogFile(const char *path, DWORD access)
{
    BY_HANDLE_FILE_INFORMATION information;

    CloseLog();
    planning = 0;
    refusal = "";
    /* Others may read the file while the run writes it, as a person with a
     * pager or a deployment tool does. */
    /* READ_CONTROL: an existing file's owner is read through this handle. */
    logFile = CreateFileA(path, access | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          outputTrust ? outputTrust->made : NULL, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                              SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                          NULL);
    if (logFile == INVALID_HANDLE_VALUE) {
        logFile = NULL;
        return 0;
    }
    /* A file another account made could be read, or a plan edited, by it. */
    int existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (GetFileType(logFile) != FILE_TYPE_DISK)
        refusal = "it is not a file on a disk";
    else if (!GetFileInformationByHandle(logFile, &information))
        refusal = "its properties cannot be read";
    else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = "it is a link to another place";
    else if (information.nNumberOfLinks != 1)
        refusal = "it has more than one name";
    else if (existed && outputTrust && outputTrust->judge(logFile))
        refusal = outputTrust->judge(logFile);
    if (refusal[0])
        CloseLog();
    return !refusal[0];
}

int OpenLog(const char *path)
{
    return OpenLogFile(path, FILE_APPEND_DATA);
}

int OpenPlan(const char *path)
{
    /* Emptied only once it is known to be the plan's own file. */
    planning = OpenLogFile(path, GENERIC_WRITE) && SetEndOfFile(logFile);
    if (!planning)
        CloseLog();
    return planning;
}

const char *OutputRefusal(void)
{
    return refusal ? refusal : "";
}

void CloseLog(void)
{
    if (logFile) {
        CloseHandle(logFile);
        logFile = NULL;
    }
}

void ResetLog(void)
{
    CloseLog();
    planning = 0;
    refusal = "";
    outputTrust = NULL;
}

int LogIsOpen(void)
{
    return logFile != NULL;
}

/* Asked at two dozen places: out of line, each asks with a call that needs no
 * relocation, where the inlined flag's address would need one. */
__attribute__((noinline)) int Planning(void)
{
    return planning;
}

void LogMarkedLine(const char *mark, const char *format, va_list args)
{
    char line[LOG_LINE_CHARS];
    SYSTEMTIME now;
    char *end = NULL;
    DWORD written;

    if (!logFile)
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
    LogMarkedLine("", format, args);
    va_end(args);
}

void ActDone(BOOL succeeded, DWORD code)
{
    if (succeeded)
        LogLine("  ok");
    else
        LogLine("  failed, error %lu", (unsigned long)code);
}

/* Out of line: a score of callers share its test and call. */
__attribute__((noinline)) DWORD StatusOf(BOOL succeeded)
{
    return succeeded ? NO_ERROR : GetLastError();
}

const char *LogStatus(DWORD code)
{
    static char text[32];

    if (code == 0)
        return "ok";
    StringCchPrintfA(text, ARRAYSIZE(text), "error %lu", (unsigned long)code);
    return text;
}
