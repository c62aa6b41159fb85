/* The ground every other folder stands on, with no window of its own: the
 * log, the program's message boxes and the reading of numbers.
 *
 * The log of a run (/log=FILE) and the plan of a run that is only described
 * (/plan=FILE): plain text, one line per step with the local time. The
 * action lines of changes (marked "> ") come from the gate in change/.
 * Without a log or plan the calls cost nothing. */
#ifndef KX_BASE_H
#define KX_BASE_H

#include <windows.h>
#include <stdarg.h>

/* The imports the program calls most often, declared once more without the
 * headers' dllimport: GCC then calls the import library's stub directly, a
 * byte shorter than a call through the slot and without a relocation, which
 * pays from about four calls on. (GCC takes the later declaration and would
 * warn that the earlier dllimport is ignored.) Fakes in the tests still
 * replace the slot: the stub jumps through it. */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" {
DWORD WINAPI GetLastError(VOID);
VOID WINAPI SetLastError(DWORD dwErrCode);
WINBOOL WINAPI CloseHandle(HANDLE hObject);
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI CompareStringA(LCID Locale, DWORD dwCmpFlags, PCNZCH lpString1, int cchCount1,
                          PCNZCH lpString2, int cchCount2);
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WINBOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
WINBOOL WINAPI DeleteFileA(LPCSTR lpFileName);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
WINBOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
WINBOOL WINAPI FindClose(HANDLE hFindFile);
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
DWORD WINAPI GetTickCount(VOID);
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult);
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           CONST BYTE *lpData, DWORD cbData);
LONG WINAPI RegCloseKey(HKEY hKey);
WINBOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
WINBOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
WINBOOL WINAPI EnableWindow(HWND hWnd, WINBOOL bEnable);
LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
}
#pragma GCC diagnostic pop

/* 1 when the file could be opened for appending (it is created if missing).
 * Only a plain disk file with a single name is taken. */
int OpenLog(const char *path);
/* A plan starts a fresh file; from then on Act makes nothing. */
int OpenPlan(const char *path);
/* Why the last OpenLog or OpenPlan refused a file it could open; "" when it
 * could not be opened at all. */
const char *OutputRefusal(void);
/* What the entry hands the log and the plan before it opens one: the
 * security a new file is made with, and the judge of an existing file
 * (NULL when its owner is trusted, else the reason). Kept until ResetLog. */
struct OutputTrust {
    SECURITY_ATTRIBUTES *made;
    const char *(*judge)(HANDLE file);
};
void SetOutputTrust(const OutputTrust *trust);
/* The plan stays a plan after CloseLog: the run's exit code is decided from it. */
void CloseLog(void);
/* Closes the file and forgets the plan, as at process start. */
void ResetLog(void);
int LogIsOpen(void);
int Planning(void);
/* One line: the time, then the formatted text (cut at 2 KB). The texts of
 * LogLine, Act and Journal go to the program's own formatter (runtime/), which
 * reads conversions as msvcrt's _vsnprintf does and refuses the rest: checked
 * as ms_printf, not gnu_printf, for %zu, %hhd and %jd are unknown to msvcrt.
 * %I64u, %+d and the like still pass the check and are refused when run. */
void LogLine(const char *format, ...) __attribute__((format(ms_printf, 1, 2)));
/* A line that begins with `mark` after the time. */
void LogMarkedLine(const char *mark, const char *format, va_list args);
/* NO_ERROR when the call succeeded, else the thread's last error; taken
 * right after the call. */
DWORD StatusOf(BOOL succeeded);
/* A Win32 status as the log shows it: "ok" or "error <n>". */
const char *LogStatus(DWORD code);
/* The outcome of the change just made (or undone) under its action line:
 * "  ok" or "  failed, error <n>". */
void ActDone(BOOL succeeded, DWORD code);
/* The renames the system makes at its next start (MoveFileEx's delayed
 * ones, SetupAPI's copies of files in use among them). PendingRenameOnto: 1
 * when one is to replace `target`, with the file that will replace it in
 * `source`. PendingRenameCount: how many renames and deletions wait. */
int PendingRenameOnto(const char *target, char *source, size_t chars);
int PendingRenameCount(void);

/* How /verify's checks report an item: what it is, its name, and "ok",
 * "missing", "changed" or "not the administrators' own"; a file also
 * KX_VERDICT_PENDING (a copy waits for the restart) or a verdict that
 * begins with KX_VERDICT_UNCHECKED (its hash could not be taken). */
#define KX_VERDICT_PENDING "pending restart"
#define KX_VERDICT_UNCHECKED "not checked"
typedef void (*VerifyReport)(void *context, const char *item, const char *name,
                             const char *verdict);

/* The texts of the boxes and pages that earlier releases showed, byte for byte:
 * administrators' notes and scripts look for them as they are, so the odd
 * spellings ("warring", "Dirve", "operation system") are kept on purpose. */
#define KX_CAPTION_ERROR          "Error"
#define KX_CAPTION_INSTALL_ERROR  "Install Error"
#define KX_CAPTION_INSTALLATION   "Installation"
#define KX_CAPTION_SYSTEM_ERROR   "GetLastError"
#define KX_CAPTION_LAYOUT_ERROR   "GetLastError--Layout.inf"
#define KX_CAPTION_DELETE_PRINTER "GetLastError--Delete Printer"
#define KX_CAPTION_ADD_DRIVER     "Add Driver error"
#define KX_CAPTION_ADD_PRINTER    "Add Printer error"
#define KX_CAPTION_PORTS          "Lumaprint setup warring !"
#define KX_CAPTION_INPUT_PATH     "Input Path"
#define KX_CAPTION_WIZARD         "Product Install"
#define KX_TEXT_PORTS_FAILED      "EnumPorts() function fail !!"
#define KX_TEXT_PORTS_COUNTS      " dwNeeded = %d   ,   dwReturned = %d \n"
#define KX_TEXT_DDE_FAILED        "DDEML Initialization Failure"
#define KX_TEXT_NOT_NT            "Current operation system is not Windows NT!"
#define KX_TEXT_NO_RIGHTS         "Have not the right to add printer!"
#define KX_TEXT_ADD_FAILED        "Add printer or driver error!"
#define KX_TEXT_CONFIRM_UNINSTALL "Do you really want to uninstall?"
#define KX_TEXT_NO_SPACE          "Dirve %c: has no enough space!"
#define KX_TEXT_BROWSE_PRINTER    "Please select the network printer that you want to add."

/* Every message box of the program goes through here (owner, text, caption and
 * style exactly as the caller gives them); returns the button pressed. */
int KxMessageBox(HWND owner, const char *text, const char *caption, UINT style);
/* From here on (the entry sets it from the command line) a box is not shown: it
 * takes the answer that lets a quiet run go on. */
void SetQuietAnswers(int quiet);

/* The system error box: the system's text for `code` (or a fallback naming the
 * code when the system has none), no owner, MB_ICONINFORMATION, `caption`.
 * Callers take GetLastError() right after the failing call and pass it here. */
void ShowSystemError(DWORD code, const char *caption);
/* The box of a step that stops the run (the system error of `code`, or its
 * own `text` with MB_OK): while a run defers them, kept (the first one) until the run
 * has undone its changes, so that every box of a stop comes after the undo;
 * else shown at once. ShowKeptBox shows it then, and forgets it. */
void DeferStopBoxes(int on);
void KeepStopBox(DWORD code, const char *text, const char *caption);
#define KeepSystemError(code, caption) KeepStopBox((code), NULL, (caption))
#define KeepBox(text, caption) KeepStopBox(0, (text), (caption))
void ShowKeptBox(void);

/* The symbol of the import slot the compiler calls `name` through, for the
 * DLLs the program loads itself (the i686 one carries the argument bytes). */
#ifdef _WIN64
#define KX_IMPORT_SLOT(name, argumentBytes) "__imp_" #name
#define KX_STUB_SYMBOL(name, argumentBytes) #name
#define KX_STUB_JUMP(name, argumentBytes) "jmp *__imp_" #name "(%rip)"
#else
#define KX_IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#define KX_STUB_SYMBOL(name, argumentBytes) "_" #name "@" #argumentBytes
#define KX_STUB_JUMP(name, argumentBytes) "jmp *__imp__" #name "@" #argumentBytes
#endif
/* For a DLL the program loads itself, a function that is called by its own
 * name (declared without dllimport: winspool.h's, and the direct calls above)
 * gets the slot the program fills (name##Slot) and a stub of that name that
 * jumps through the slot, as an import library's stub does (and ends there:
 * no trap after it). */
#define KX_IMPORT_STUB(name, argumentBytes) \
    KX_KEPT FARPROC name##Slot __asm__(KX_IMPORT_SLOT(name, argumentBytes)) = NULL; \
    extern "C" __attribute__((naked)) void name##Stub(void) __asm__(KX_STUB_SYMBOL(name, argumentBytes)); \
    void name##Stub(void) \
    { \
        __asm__(KX_STUB_JUMP(name, argumentBytes)); \
        __builtin_unreachable(); \
    }
/* `file` ("\\shell32.dll") from the system folder by full path, its own
 * imports looked for there first; the path goes to `path` for a refusal.
 * NULL when it cannot be loaded. */
HMODULE LoadSystemLibrary(const char *file, char *path, size_t chars);

/* The process heap: zeroed blocks, NULL when there is no room; FreeMemory
 * takes NULL too, as HeapFree does. */
void *AllocateMemory(size_t bytes);
void FreeMemory(void *memory);

/* Dispatches every message waiting for the thread's windows, and returns;
 * the run and the group's wait call it while they wait for another process. */
void PumpMessages(void);

/* Decimal value of the leading number of a text: blanks skipped, one optional
 * sign, digits up to the first non-digit; no digits gives 0; a value beyond a
 * long's range gives LONG_MAX or LONG_MIN. */
long LeadingNumber(const char *text);

#endif
