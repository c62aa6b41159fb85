/* System integration: the installation record in the registry, the program
 * group over DDE, and the start-up conversion (RunOnce) entries. */
#ifndef KX_INTEGRATION_H
#define KX_INTEGRATION_H

#include "setupdata/setupdata.h"
#include <ddeml.h>

#define KX_PRODUCT_KEY "Software\\VelbaPrinter\\VelbaProduct\\PrinterInfo\\"
#define KX_UNINSTALL_KEY "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelbaProduct"
#define KX_RUNONCE_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

/* The bytes a group command is built in (progman.cpp). */
#define KX_GROUP_COMMAND_CHARS 256
/* A record value is read back only when it and the zero the registry may keep
 * after it fit the TEXT_CHARS buffer less one byte: 258 characters. */
#define KX_RECORD_TEXT_ROOM (TEXT_CHARS - 2)

/* The longest folder choice (in characters, terminator not counted) that every
 * text built from it holds whole; each is the folder plus a fixed rest in a
 * buffer that keeps a byte for the terminator:
 *   record value      <folder>=<id of up to 10 digits>              in 258
 *   uninstall strings "<folder>\kxsetup.exe" Uninstall /quiet      in 259
 *   group item        [AddItem("<folder>\kxsetup.exe" Uninstall,Uninstall,,0)]
 *                                                                    in 255
 *   statusDir         <folder>                                      in 267
 * The group item is the tightest: 255 - 48 = 207. */
#define KX_ROOM_BESIDE(room, rest) ((int)(room) - (int)(sizeof(rest) - 1))
#define KX_SMALLER(a, b) ((a) < (b) ? (a) : (b))
#define KX_FOLDER_LIMIT                                                                  \
    KX_SMALLER(                                                                          \
        KX_SMALLER(KX_ROOM_BESIDE(KX_RECORD_TEXT_ROOM, "=4294967295"),                   \
                   KX_ROOM_BESIDE(TEXT_CHARS - 1, "\"\\kxsetup.exe\" Uninstall /quiet")), \
        KX_SMALLER(KX_ROOM_BESIDE(KX_GROUP_COMMAND_CHARS - 1,                            \
                                  "[AddItem(\"\\kxsetup.exe\" Uninstall,Uninstall,,0)]"),  \
                   KX_ROOM_BESIDE(STATUSDIR_CHARS - 1, "")))

/* Installation record */
int WriteMachineString(const char *subKey, const char *valueName, const char *text);
int ReadMachineString(const char *subKey, const char *valueName, char *buffer /* 260 bytes */);
/* The record under KX_PRODUCT_KEY (components, status folder); 1 when every
 * value was written. */
int WriteInstallRecord(SetupStateRecord *state);
/* The entry in the list of removable software, which starts the copied
 * program and names the product, its version and publisher, the status folder,
 * today's date and `installedKb`; 1 when every value was written. */
int WriteUninstallEntry(SetupStateRecord *state, DWORD installedKb);
void DeleteUninstallEntry(void);
int ReadInstallRecord(SetupStateRecord *state);
/* 1 when each record key that exists is owned by the trusted
 * (JudgeKeyTrust); else 0 after the box with `caption`. */
int RecordKeysTrusted(const char *caption);

/* Program group: the conversation with the shell runs on a thread of its own,
 * waited for a minute at most; past that the log says the group was not made
 * (or removed) and the caller goes on. */
void CreateProgramGroup(const char *folder, int consoleFlag);
void DeleteProgramGroup(void);
void SendShellCommand(DWORD instance, HCONV conversation, const char *command);
HDDEDATA CALLBACK DdeClientCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

/* Start-up conversion entries: a registry status (0 or the open's error). */
LONG WriteRunOnceEntries(int startNow);

#endif
