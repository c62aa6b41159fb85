/* A DLL as someone might place it beside kxsetup.exe or in its current folder,
 * built as comctl32.dll and as winspool.drv. A process that loads it leaves
 * C:\e2e\planted-<file name>.txt (naming the process's program) and ends at
 * once with exit code 86, so that a run that took it ends early and visibly.
 * It exports every function kxsetup.exe has ever imported from either DLL, so
 * that the loader gets as far as starting it. */
#include <windows.h>
#include <cstring>

extern "C" int PlantedFunction(void)
{
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char dll[MAX_PATH], program[MAX_PATH], marker[MAX_PATH + 32];
    if (!GetModuleFileNameA(instance, dll, sizeof dll))
        lstrcpyA(dll, "unknown");
    if (!GetModuleFileNameA(NULL, program, sizeof program))
        lstrcpyA(program, "unknown");
    const char *name = strrchr(dll, '\\');
    wsprintfA(marker, "C:\\e2e\\planted-%s.txt", name ? name + 1 : dll);
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, program, lstrlenA(program), &written, NULL);
        CloseHandle(file);
    }
    TerminateProcess(GetCurrentProcess(), 86);
    return FALSE;
}
