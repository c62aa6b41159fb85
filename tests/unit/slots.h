/* The argument bytes of each system function whose import slot a test swaps:
 * the i686 compiler names the slot __imp__Name@bytes (stdcall decoration).
 * DECLARE_IMPORT_SLOT checks every entry against the function's declaration. */
#ifndef KX_TEST_SLOTS_H
#define KX_TEST_SLOTS_H

#define KX_SLOT_BYTES_AddMonitorA 12
#define KX_SLOT_BYTES_AddPrinterA 12
#define KX_SLOT_BYTES_AddPrinterDriverA 12
#define KX_SLOT_BYTES_CloseHandle 4
#define KX_SLOT_BYTES_ClosePrinter 4
#define KX_SLOT_BYTES_CopyFileA 12
#define KX_SLOT_BYTES_CreateDirectoryA 8
#define KX_SLOT_BYTES_CreateFileA 28
#define KX_SLOT_BYTES_CreateProcessA 40
#define KX_SLOT_BYTES_CryptGenRandom 12
#define KX_SLOT_BYTES_DdeClientTransaction 32
#define KX_SLOT_BYTES_DdeConnect 16
#define KX_SLOT_BYTES_DdeInitializeA 16
#define KX_SLOT_BYTES_DdeUninitialize 4
#define KX_SLOT_BYTES_DeleteFileA 4
#define KX_SLOT_BYTES_DeleteMonitorA 12
#define KX_SLOT_BYTES_DeletePrinter 4
#define KX_SLOT_BYTES_DeletePrinterDriverA 12
#define KX_SLOT_BYTES_EnumMonitorsA 24
#define KX_SLOT_BYTES_EnumPortsA 24
#define KX_SLOT_BYTES_GetCommandLineA 0
#define KX_SLOT_BYTES_GetDiskFreeSpaceA 20
#define KX_SLOT_BYTES_GetFileInformationByHandle 8
#define KX_SLOT_BYTES_GetFileSecurityA 20
#define KX_SLOT_BYTES_GetKernelObjectSecurity 20
#define KX_SLOT_BYTES_GetLocalTime 4
#define KX_SLOT_BYTES_GetModuleFileNameA 12
#define KX_SLOT_BYTES_GetPrinterDriverDirectoryA 24
#define KX_SLOT_BYTES_GetProcAddress 8
#define KX_SLOT_BYTES_GetTickCount 0
#define KX_SLOT_BYTES_GetVersionExA 4
#define KX_SLOT_BYTES_GetWindowsDirectoryA 8
#define KX_SLOT_BYTES_GetVolumeInformationA 32
#define KX_SLOT_BYTES_LoadLibraryExA 12
#define KX_SLOT_BYTES_MessageBoxA 16
#define KX_SLOT_BYTES_OpenPrinterA 12
#define KX_SLOT_BYTES_OpenSCManagerA 12
#define KX_SLOT_BYTES_PropertySheetA 4
#define KX_SLOT_BYTES_RegCreateKeyExA 36
#define KX_SLOT_BYTES_RegDeleteKeyA 8
#define KX_SLOT_BYTES_ReportEventA 36
#define KX_SLOT_BYTES_RegDeleteValueA 8
#define KX_SLOT_BYTES_RegGetKeySecurity 16
#define KX_SLOT_BYTES_RegQueryValueExA 24
#define KX_SLOT_BYTES_RegSetKeySecurity 12
#define KX_SLOT_BYTES_RegSetValueExA 24
#define KX_SLOT_BYTES_RemoveDirectoryA 4
#define KX_SLOT_BYTES_SHBrowseForFolderA 4
#define KX_SLOT_BYTES_SHGetDesktopFolder 4
#define KX_SLOT_BYTES_SHGetMalloc 4
#define KX_SLOT_BYTES_SHGetPathFromIDListA 8
#define KX_SLOT_BYTES_SHGetSpecialFolderLocation 12
#define KX_SLOT_BYTES_SendMessageTimeoutA 28
#define KX_SLOT_BYTES_SendNotifyMessageA 16
#define KX_SLOT_BYTES_SetFileSecurityA 12
#define KX_SLOT_BYTES_SetupCloseFileQueue 4
#define KX_SLOT_BYTES_SetupCloseInfFile 4
#define KX_SLOT_BYTES_SetupCommitFileQueueA 16
#define KX_SLOT_BYTES_SetupDefaultQueueCallbackA 16
#define KX_SLOT_BYTES_SetupInitDefaultQueueCallbackEx 20
#define KX_SLOT_BYTES_SetupInstallFilesFromInfSectionA 24
#define KX_SLOT_BYTES_SetupInstallFromInfSectionA 44
#define KX_SLOT_BYTES_SetupOpenAppendInfFileA 12
#define KX_SLOT_BYTES_SetupPromptReboot 12
#define KX_SLOT_BYTES_SetupTermDefaultQueueCallback 4
#define KX_SLOT_BYTES_WriteProfileStringA 12

#endif
