/* The system DLLs that are not on every system's known-DLL list: comctl32,
 * winspool and setupapi, loaded by full path from the system folder. */
#ifndef KX_SHELL_SYSDLLS_H
#define KX_SHELL_SYSDLLS_H

#include <windows.h>

/* The start of WinMain, before anything loads a DLL: the DLL search leaves out
 * the program's and the current folder where the system allows it. */
void RestrictDllSearch(void);
/* The functions the program calls from comctl32 (not for a quiet run),
 * winspool and setupapi, taken from the system folder's copies once the log
 * is open; 0 after a box that names the file that cannot be loaded (the
 * program ends). */
int LoadSystemDlls(void);
int SystemDllsLoaded(void);

#endif
