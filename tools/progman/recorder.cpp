/* progman-recorder: stands in for the shell's Program Manager DDE service.
 *
 *   progman-recorder.exe <log file> [time limit in ms, default 60000]
 *
 * Registers the service "PROGMAN", accepts conversations on the topic
 * "PROGMAN", answers every execute with DDE_FACK and appends each command to
 * the log as one line: the bytes as received, each zero byte written as the
 * two characters \0 (so a command sent with its terminating zero ends in \0).
 * The log is created empty at start.
 *
 * Once the service name is registered it creates "<log file>.ready". It ends
 * when its main thread gets WM_QUIT (PostThreadMessage) or WM_CLOSE, or when
 * the time limit runs out; exit code 0, or 1 when it could not start. */
#include <windows.h>
#include <ddeml.h>

static DWORD instance;
static HSZ progman;
static HANDLE logFile;

static void AppendLine(const BYTE *bytes, DWORD count)
{
    DWORD written;
    for (DWORD i = 0; i < count; i++) {
        if (bytes[i])
            WriteFile(logFile, &bytes[i], 1, &written, NULL);
        else
            WriteFile(logFile, "\\0", 2, &written, NULL);
    }
    WriteFile(logFile, "\n", 1, &written, NULL);
    FlushFileBuffers(logFile);
}

static HDDEDATA CALLBACK ServerCallback(UINT type, UINT format, HCONV conversation, HSZ topic,
                                        HSZ service, HDDEDATA data, ULONG_PTR data1,
                                        ULONG_PTR data2)
{
    switch (type) {
    case XTYP_CONNECT:
        return (HDDEDATA)(ULONG_PTR)(DdeCmpStringHandles(topic, progman) == 0);
    case XTYP_EXECUTE: {
        DWORD size = DdeGetData(data, NULL, 0, 0);
        BYTE *bytes = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
        if (!bytes)
            return (HDDEDATA)DDE_FNOTPROCESSED;
        DWORD got = DdeGetData(data, bytes, size, 0);
        AppendLine(bytes, got);
        HeapFree(GetProcessHeap(), 0, bytes);
        return (HDDEDATA)DDE_FACK;
    }
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 1;
    DWORD limit = argc > 2 ? (DWORD)wcstoul(argv[2], NULL, 10) : 60000;

    logFile = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    if (logFile == INVALID_HANDLE_VALUE)
        return 1;
    if (DdeInitializeA(&instance, ServerCallback,
                       APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                       0) != DMLERR_NO_ERROR) {
        CloseHandle(logFile);
        return 1;
    }
    progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    DdeNameService(instance, progman, 0, DNS_REGISTER);

    WCHAR ready[MAX_PATH + 8];
    lstrcpynW(ready, argv[1], MAX_PATH);
    lstrcatW(ready, L".ready");
    HANDLE mark =
        CreateFileW(ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);

    UINT_PTR timer = SetTimer(NULL, 0, limit, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if ((msg.hwnd == NULL && msg.message == WM_CLOSE) ||
            (msg.message == WM_TIMER && msg.wParam == timer))
            break;
        DispatchMessageA(&msg);
    }
    KillTimer(NULL, timer);
    DdeNameService(instance, progman, 0, DNS_UNREGISTER);
    DdeFreeStringHandle(instance, progman);
    DdeUninitialize(instance);
    CloseHandle(logFile);
    LocalFree(argv);
    return 0;
}
