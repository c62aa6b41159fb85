#include "shell/sysdlls.h"
#include "shell/options.h"
#include "setupdata/setupdata.h"
#include "base/base.h"
#include "runtime/runtime.h"
#include <strsafe.h>

/* comctl32 and winspool are not on the system's list of known DLLs, nor is
 * setupapi before Vista: imported by name, a copy beside the program or in the
 * current folder would be loaded before WinMain, with the rights of the
 * administrator who runs setup. So the program imports them itself. Each
 * function it calls from them has its import slot here, under the name the
 * compiler calls through, filled from the system folder's copies; a function
 * missing from the list fails the link. The program calls every import
 * through a stub of the function's own name (KX_IMPORT_STUB). */

#define SYSTEM_IMPORTS(X) \
    X(Comctl32, PropertySheetA, 4) \
    X(Winspool, AddMonitorA, 12) \
    X(Winspool, AddPrinterA, 12) \
    X(Winspool, AddPrinterDriverA, 12) \
    X(Winspool, ClosePrinter, 4) \
    X(Winspool, DeleteMonitorA, 12) \
    X(Winspool, DeletePrinter, 4) \
    X(Winspool, DeletePrinterDriverA, 12) \
    X(Winspool, EnumMonitorsA, 24) \
    X(Winspool, EnumPortsA, 24) \
    X(Winspool, EnumPrinterDriversA, 28) \
    X(Winspool, GetPrinterA, 20) \
    X(Winspool, GetPrinterDriverDirectoryA, 24) \
    X(Winspool, OpenPrinterA, 12)

/* The ones setupdata.h declares for direct calls, then the rest. */
#define SETUP_DIRECT_IMPORTS(X) \
    X(Setupapi, SetupFindFirstLineA, 16) \
    X(Setupapi, SetupFindNextLine, 8) \
    X(Setupapi, SetupGetLineTextA, 28) \
    X(Setupapi, SetupGetStringFieldA, 20)
#define SETUP_IMPORTS(X) \
    X(Setupapi, SetupCloseFileQueue, 4) \
    X(Setupapi, SetupCloseInfFile, 4) \
    X(Setupapi, SetupCommitFileQueueA, 16) \
    X(Setupapi, SetupDefaultQueueCallbackA, 16) \
    X(Setupapi, SetupGetIntField, 12) \
    X(Setupapi, SetupGetTargetPathA, 24) \
    X(Setupapi, SetupInitDefaultQueueCallbackEx, 20) \
    X(Setupapi, SetupInstallFilesFromInfSectionA, 24) \
    X(Setupapi, SetupInstallFromInfSectionA, 44) \
    X(Setupapi, SetupOpenAppendInfFileA, 12) \
    X(Setupapi, SetupOpenFileQueue, 0) \
    X(Setupapi, SetupOpenInfFileA, 16) \
    X(Setupapi, SetupPromptReboot, 12) \
    X(Setupapi, SetupQueueCopyA, 36) \
    X(Setupapi, SetupScanFileQueueA, 24) \
    X(Setupapi, SetupSetDirectoryIdA, 12) \
    X(Setupapi, SetupTermDefaultQueueCallback, 4)

#define DEFINE_IMPORT(dll, name, argumentBytes) KX_IMPORT_STUB(name, argumentBytes)
#define DEFINE_SLOT(dll, name, argumentBytes) \
    KX_KEPT FARPROC name##Slot __asm__(KX_IMPORT_SLOT(name, argumentBytes)) = NULL;
#define IMPORT_SLOT(dll, name, argumentBytes) &name##Slot,
#define IMPORT_DLL(dll, name, argumentBytes) dll,
#define IMPORT_NAME(dll, name, argumentBytes) #name "\0"

enum SystemDll { Comctl32, Winspool, Setupapi };
static const char *const systemDllNames[] = { "\\comctl32.dll", "\\winspool.drv", "\\setupapi.dll" };

SYSTEM_IMPORTS(DEFINE_IMPORT)
/* The ones setupdata.h declares for direct calls: the stubs carry the
 * declared types, the link-time optimiser compares them. */
#define DEFINE_DIRECT_SETUP(result, name, argumentBytes, parameters) \
    extern "C" __attribute__((naked)) result WINAPI name parameters \
    { \
        __asm__(KX_STUB_JUMP(name, argumentBytes)); \
        __builtin_unreachable(); \
    }
SETUP_DIRECT_IMPORTS(DEFINE_SLOT)
DEFINE_DIRECT_SETUP(WINBOOL, SetupFindFirstLineA, 16, (HINF, PCSTR, PCSTR, PINFCONTEXT))
DEFINE_DIRECT_SETUP(WINBOOL, SetupFindNextLine, 8, (PINFCONTEXT, PINFCONTEXT))
DEFINE_DIRECT_SETUP(WINBOOL, SetupGetLineTextA, 28, (PINFCONTEXT, HINF, PCSTR, PCSTR, PSTR, DWORD, PDWORD))
DEFINE_DIRECT_SETUP(WINBOOL, SetupGetStringFieldA, 20, (PINFCONTEXT, DWORD, PSTR, DWORD, PDWORD))
SETUP_IMPORTS(DEFINE_SLOT)

/* Three parallel lists, the names packed one after another: a table of
 * records would cost a pointer and a relocation per name. */
static FARPROC *const importSlots[] = { SYSTEM_IMPORTS(IMPORT_SLOT) SETUP_DIRECT_IMPORTS(IMPORT_SLOT) SETUP_IMPORTS(IMPORT_SLOT) };
static const BYTE importDlls[] = { SYSTEM_IMPORTS(IMPORT_DLL) SETUP_DIRECT_IMPORTS(IMPORT_DLL) SETUP_IMPORTS(IMPORT_DLL) };
static const char importNames[] = SYSTEM_IMPORTS(IMPORT_NAME) SETUP_DIRECT_IMPORTS(IMPORT_NAME) SETUP_IMPORTS(IMPORT_NAME);

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

static int loaded;

/* The program cannot go on without any of them; the box and the log say which
 * file it is (the log is open by now, the box needs only user32). */
static int RefuseSystemFile(const char *path)
{
    char text[TEXT_CHARS + 64];

    StringCchPrintfA(text, ARRAYSIZE(text), "The system file %s could not be loaded.", path);
    LogLine("system file %s not loaded, error %lu", path, (unsigned long)GetLastError());
    KxMessageBox(NULL, text, "kxsetup", MB_OK | MB_ICONERROR);
    return 0;
}

/* A quiet run shows no wizard: it leaves comctl32 alone, and its slot stays
 * as it was. */
int LoadSystemDlls(void)
{
    HMODULE dlls[ARRAYSIZE(systemDllNames)];
    char paths[ARRAYSIZE(systemDllNames)][TEXT_CHARS];
    size_t i;
    size_t first = Options.quiet ? Winspool : Comctl32;

    loaded = 0;
    for (i = first; i < ARRAYSIZE(systemDllNames); i++) {
        /* Kept for the life of the process: the slots point into them. The
         * DLLs each one imports come from the system folder: setupapi may
         * import comctl32, which a quiet run has not loaded itself. */
        paths[i][0] = '\0';
        dlls[i] = LoadSystemLibrary(systemDllNames[i], paths[i], ARRAYSIZE(paths[i]));
        if (!dlls[i])
            return RefuseSystemFile(paths[i][0] ? paths[i] : systemDllNames[i] + 1);
    }
    const char *name = importNames;
    for (i = 0; i < ARRAYSIZE(importSlots); i++, name += strlen(name) + 1) {
        if (importDlls[i] < first)
            continue;
        *importSlots[i] = GetProcAddress(dlls[importDlls[i]], name);
        if (!*importSlots[i])
            return RefuseSystemFile(paths[importDlls[i]]);
    }
    loaded = 1;
    return 1;
}

int SystemDllsLoaded(void)
{
    return loaded;
}
