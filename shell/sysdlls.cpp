#include "shell/shell.h"
#include <strsafe.h>

/* comctl32 and winspool are not on the system's list of known DLLs: imported by
 * name, a copy beside the program or in the current folder would be loaded
 * before WinMain, with the rights of the administrator who runs setup. So the
 * program imports them itself. Each function it calls from them has its import
 * slot here, under the name the compiler calls through, filled from the system
 * folder's copies; a function missing from the list fails the link.
 * winspool.h declares its functions without dllimport, so calls to them go to
 * a stub of the function's own name, which jumps through the slot as an import
 * library's stub does. */
#ifdef _WIN64
#define SLOT_SYMBOL(name, argumentBytes) "__imp_" #name
#define STUB_SYMBOL(name, argumentBytes) #name
#define STUB_JUMP(name, argumentBytes) "jmp *__imp_" #name "(%rip)"
#else
#define SLOT_SYMBOL(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#define STUB_SYMBOL(name, argumentBytes) "_" #name "@" #argumentBytes
#define STUB_JUMP(name, argumentBytes) "jmp *__imp__" #name "@" #argumentBytes
#endif

#define SYSTEM_IMPORTS(X) \
    X(Comctl32, PropertySheetA, 4) \
    X(Winspool, AddMonitorA, 12) \
    X(Winspool, AddPrinterA, 12) \
    X(Winspool, AddPrinterDriverA, 12) \
    X(Winspool, ClosePrinter, 4) \
    X(Winspool, DeletePrinter, 4) \
    X(Winspool, DeletePrinterDriverA, 12) \
    X(Winspool, EnumMonitorsA, 24) \
    X(Winspool, EnumPortsA, 24) \
    X(Winspool, GetPrinterDriverDirectoryA, 24) \
    X(Winspool, OpenPrinterA, 12)

#define DEFINE_IMPORT(dll, name, argumentBytes) \
    FARPROC name##Slot __asm__(SLOT_SYMBOL(name, argumentBytes)) = NULL; \
    extern "C" __attribute__((naked)) void name##Stub(void) __asm__(STUB_SYMBOL(name, argumentBytes)); \
    void name##Stub(void) { __asm__(STUB_JUMP(name, argumentBytes)); }
#define IMPORT_ENTRY(dll, name, argumentBytes) { &name##Slot, dll, #name },

enum SystemDll { Comctl32, Winspool };
static const char *const systemDllNames[] = { "\\comctl32.dll", "\\winspool.drv" };

struct SystemImport {
    FARPROC *slot;
    int dll;
    const char *name;
};

SYSTEM_IMPORTS(DEFINE_IMPORT)

static const SystemImport systemImports[] = { SYSTEM_IMPORTS(IMPORT_ENTRY) };

#define SEARCH_SYSTEM32_ONLY 0x800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */

typedef BOOL(WINAPI *SetDefaultDllDirectoriesProc)(DWORD flags);
typedef BOOL(WINAPI *SetDllDirectoryProc)(LPCSTR folder);

void RestrictDllSearch(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc setDefaultDirectories = (SetDefaultDllDirectoriesProc)(void *)
        GetProcAddress(kernel, "SetDefaultDllDirectories");
    SetDllDirectoryProc setDirectory = (SetDllDirectoryProc)(void *)
        GetProcAddress(kernel, "SetDllDirectoryA");

    /* DLLs that system DLLs load by name later on come from the system folder
     * only; where that cannot be asked for, at least the current folder is left
     * out of the search. NT 4 offers neither. */
    if (setDefaultDirectories)
        setDefaultDirectories(SEARCH_SYSTEM32_ONLY);
    if (setDirectory)
        setDirectory("");
}

int LoadSystemDlls(void)
{
    HMODULE dlls[ARRAYSIZE(systemDllNames)];
    char path[TEXT_CHARS];
    UINT length;
    size_t i;

    length = GetSystemDirectoryA(path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path))
        return 0;
    for (i = 0; i < ARRAYSIZE(systemDllNames); i++) {
        path[length] = '\0';
        if (FAILED(StringCchCatA(path, ARRAYSIZE(path), systemDllNames[i])))
            return 0;
        /* Kept for the life of the process: the slots point into them. */
        dlls[i] = LoadLibraryA(path);
        if (!dlls[i])
            return 0;
    }
    for (i = 0; i < ARRAYSIZE(systemImports); i++) {
        *systemImports[i].slot = GetProcAddress(dlls[systemImports[i].dll], systemImports[i].name);
        if (!*systemImports[i].slot)
            return 0;
    }
    return 1;
}
