/* Stand-in for the status display tool: one window titled "Printer Status
 * Display" that closes when it receives message WM_USER + 7711 with wParam 7711.
 *
 *   kxcons.exe [--log=FILE] [--linger=MS] [--ignore-close] [--quit-after=MS]
 *
 * Every event is appended as one line to FILE (or to the file that the
 * environment variable KXCONS_LOG names):
 *   "started <pid>"            the window exists
 *   "close-request <msg> <wp>" a close request arrived (any wParam is logged)
 *   "closed"                   the window is gone and the process ends
 * --linger=MS        close MS milliseconds after the request instead of at once
 * --ignore-close     log requests but never close (a hung tool)
 * --quit-after=MS    end anyway after MS milliseconds (tests never leave it behind)
 */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#define CLOSE_MESSAGE (WM_USER + 7711)
#define CLOSE_WPARAM  7711
#define LINGER_TIMER  1
#define QUIT_TIMER    2

static char logPath[MAX_PATH];
static UINT lingerMs;
static UINT quitAfterMs;
static int ignoreClose;

static void LogLine(const char *text)
{
    HANDLE file;
    DWORD written;

    if (!logPath[0])
        return;
    file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, text, lstrlenA(text), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

static LRESULT CALLBACK StatusWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char line[64];

    switch (message) {
    case CLOSE_MESSAGE:
        wsprintfA(line, "close-request %u %u", message, (unsigned)wParam);
        LogLine(line);
        if (wParam == CLOSE_WPARAM && !ignoreClose) {
            if (lingerMs)
                SetTimer(window, LINGER_TIMER, lingerMs, NULL);
            else
                DestroyWindow(window);
        }
        return 0;
    case WM_TIMER:
        if (wParam == LINGER_TIMER || wParam == QUIT_TIMER)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        LogLine("closed");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static const char *OptionValue(const char *argument, const char *name)
{
    size_t length = strlen(name);
    return strncmp(argument, name, length) == 0 ? argument + length : NULL;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    WNDCLASSA windowClass;
    HWND window;
    MSG message;
    char line[64];
    int i;

    GetEnvironmentVariableA("KXCONS_LOG", logPath, sizeof(logPath));
    for (i = 1; i < __argc; i++) {
        const char *value;
        if ((value = OptionValue(__argv[i], "--log=")) != NULL)
            lstrcpynA(logPath, value, sizeof(logPath));
        else if ((value = OptionValue(__argv[i], "--linger=")) != NULL)
            lingerMs = (UINT)strtoul(value, NULL, 10);
        else if ((value = OptionValue(__argv[i], "--quit-after=")) != NULL)
            quitAfterMs = (UINT)strtoul(value, NULL, 10);
        else if (strcmp(__argv[i], "--ignore-close") == 0)
            ignoreClose = 1;
    }

    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = StatusWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "KxStatusDisplay";
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowExA(0, "KxStatusDisplay", "Printer Status Display", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    ShowWindow(window, showCommand);
    if (quitAfterMs)
        SetTimer(window, QUIT_TIMER, quitAfterMs, NULL);
    wsprintfA(line, "started %lu", GetCurrentProcessId());
    LogLine(line);

    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
