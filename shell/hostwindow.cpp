#include "shell/host.h"
#include "shell/sysdlls.h"
#include "resources/resource.h"

#define HOST_CLASS "SampleWClass"
#define HOST_TITLE "Install"
/* SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOOWNERZORDER */
#define FROZEN_POSITION_FLAGS 0x20B

static LONG positionFixed;
static int startTaken;
/* Anything that ends the loop before a run decided otherwise is a failure. */
static int exitCode; /* set as the window is made */
static const RunMode *runMode;

ATOM RegisterHostClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;

    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = 0;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KXSETUP));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = HOST_CLASS;
    return RegisterClassA(&windowClass);
}

int CreateHostWindow(HINSTANCE instance, int showCommand, const RunMode *mode)
{
    HWND window;

    /* One host window per run: its frozen position and its one start command
     * belong to this window. */
    positionFixed = 0;
    startTaken = 0;
    exitCode = KX_EXIT_FAILED;
    runMode = mode;
    /* The show command is not used: the host window is always minimised. */
    window = CreateWindowExA(0, HOST_CLASS, HOST_TITLE, WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             NULL, NULL, instance, NULL);
    if (!window)
        return 0;
    /* A quiet run shows no window at all; the host window still owns the run. */
    if (!mode->quiet) {
        ShowWindow(window, SW_MINIMIZE);
        UpdateWindow(window);
    }
    return 1;
}

int RunMessageLoop(void)
{
    MSG message;
    BOOL got;

    while ((got = GetMessageA(&message, NULL, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    /* -1: the loop itself broke down, and there is no WM_QUIT to read. */
    return got == 0 ? (int)message.wParam : KX_EXIT_FAILED;
}

static void RunStartCommand(HWND window)
{
    /* The check of a medium is the packager's, on any system and as any user. */
    int environment = runMode->check ? EnvironmentOk : CheckEnvironment();
    /* An uninstall still takes away what an earlier system let in. */
    if (environment == EnvironmentKernelDrivers && SetupState.installMode == Uninstall &&
        !runMode->verify)
        environment = EnvironmentOk;
    switch (environment) {
    case EnvironmentOk:
        /* Loaded only once the system is known to be one they belong to, and
         * after the log is open, so that a failure can be logged; nothing
         * before this point calls beyond kernel32, user32 and advapi32. */
        if (!SystemDllsLoaded() && !LoadSystemDlls())
            exitCode = KX_EXIT_FAILED;
        else
            exitCode = RunInstallation(window, &SetupState, runMode);
        break;
    case EnvironmentNotNT:
        KxMessageBox(window, KX_TEXT_NOT_NT, KX_CAPTION_ERROR, MB_OK);
        exitCode = KX_EXIT_FAILED;
        break;
    case Environment64Bit:
        KxMessageBox(window,
                     "The printer drivers of this package are for 32-bit Windows; this is a 64-bit Windows.",
                     KX_CAPTION_ERROR, MB_OK);
        exitCode = KX_EXIT_FAILED;
        break;
    case EnvironmentKernelDrivers:
        KxMessageBox(window,
                     "This package's printer drivers are kernel-mode drivers, which this version of "
                     "Windows does not accept.",
                     KX_CAPTION_ERROR, MB_OK);
        exitCode = KX_EXIT_FAILED;
        break;
    default:
        KxMessageBox(window, KX_TEXT_NO_RIGHTS, KX_CAPTION_ERROR, MB_OK);
        exitCode = KX_EXIT_FAILED;
        break;
    }
    /* Posted rather than DestroyWindow: the loop ends once the run's own modal
     * loops are all gone. */
    PostMessageA(window, WM_DESTROY, 0, 0);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        GetFullPathNameA(".", TEXT_CHARS, SetupState.startDirectory, NULL);
        PostMessageA(window, WM_COMMAND, StartCommand, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(exitCode);
        return 0;
    case WM_WINDOWPOSCHANGING:
        /* The first change is the minimising of CreateHostWindow; every later one
         * (restore, move, size, show or hide) is turned into a no-op. */
        if (!positionFixed)
            positionFixed = 1;
        else
            ((WINDOWPOS *)lParam)->flags = FROZEN_POSITION_FLAGS;
        return 0;
    case WM_QUERYOPEN:
        /* Restoring or maximising an iconic window changes its style before any
         * position change is asked for; refusing here keeps it minimised. */
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == StartCommand) {
            /* PumpMessages during the run dispatches this window's messages again;
             * a second start command must not start a second run. */
            if (!startTaken) {
                startTaken = 1;
                RunStartCommand(window);
            }
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
