/* System integration: the installation record in the registry, the program
 * group over DDE, and the start-up conversion (RunOnce) entries. */
#ifndef KX_INTEGRATION_H
#define KX_INTEGRATION_H

#include "rules/rules.h"
#include <ddeml.h>

#define KX_PRODUCT_KEY "Software\\VelbaPrinter\\VelbaProduct\\PrinterInfo\\"
#define KX_UNINSTALL_KEY "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelbaProduct"
#define KX_RUNONCE_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

/* Installation record */
int WriteMachineString(const char *subKey, const char *valueName, const char *text);
/* The value, or "" when it is not a string; 0 when the key is not there. */
int ReadMachineString(const char *subKey, const char *valueName, char *buffer /* 260 bytes */);
/* The record under KX_PRODUCT_KEY (components, status folder); 1 when every
 * value was written. */
int WriteInstallRecord(SetupStateRecord *state);
/* The entry in the list of removable software, which starts the copied
 * program and names the product, its version and publisher, the status folder,
 * today's date and `installedKb`; 1 when every value was written. Then the
 * event source (KX_EVENT_KEY). */
int WriteUninstallEntry(SetupStateRecord *state, DWORD installedKb);
/* A key of the installation's own (without subkeys) deleted: the entry, the
 * event source. */
void DeleteMachineKey(const char *subKey);
/* The entry's values against what WriteUninstallEntry writes for `state`: one
 * report per value ("ok", "missing", "changed"); 1 when all are intact. */
int VerifyUninstallEntry(const SetupStateRecord *state, VerifyReport report, void *context);
/* Each copied file of `targets` (each with its zero, then an empty one) with
 * its size and hash (FormatDigest; "none: 0" for one that could not be read,
 * that of the file a pending rename puts there for a copy deferred to the
 * restart), in the record's value Files, written after the copy; 1 when
 * written. ReadRecordedFiles: its lines the same
 * way (FreeMemory), NULL for an installation that recorded none. */
/* `known` gives a file's digest as FormatDigest writes it, where it is known
 * without reading the file (the medium's list): taken when the size it
 * names is the file's. */
typedef int (*KnownDigestProc)(const char *target, char *digest /* DIGEST_TEXT_CHARS */);
int RecordFiles(const char *targets, KnownDigestProc known);
char *ReadRecordedFiles(void);
int ReadInstallRecord(SetupStateRecord *state);
/* The components the last installation holds, beside InstallSections (which
 * keeps every one ever installed): 0 for a record that has none (an earlier
 * release's), *components untouched. An uninstall records none (0). */
#define KX_INSTALLED_VALUE "InstalledComponents"
int ReadInstalledComponents(DWORD *components);
/* The version (KX_VERSION_TEXT) and the printers' port of the last install. */
#define KX_VERSION_VALUE "Version"
#define KX_PORT_VALUE "Port"
void RecordUninstalled(void);
/* What the last installation made (ReadInstallRecord, ReadInstalledComponents
 * and its port) into `state`; 0 when nothing is installed: the entry in the
 * list of removable software, which deployment tools take for "installed",
 * is not there (an uninstall removes it, the record stays). */
#define KX_TEXT_NOT_INSTALLED "No installation was found."
int ReadInstallation(SetupStateRecord *state);
/* 1 when each record key that exists is trusted (JudgeKeyTrust), or only
 * open to others where the caller is `repairing` (an install, which gives it
 * the administrators' entries before its first value); else 0 after the box
 * with `caption`. */
int RecordKeysTrusted(const char *caption, int repairing);
/* The record key judged for the last values: forgotten, as at process start. */
void ForgetRecordSeries(void);
/* The record keys that exist and only let others in (an earlier release's
 * below NT 4's HKLM\Software) made the administrators' own, their entries
 * kept for the undo; 0 when one is another's or cannot be protected. */
int ProtectRecordKeys(void);

/* The program's event source in the Application log, registered by an
 * install with its entry (WriteUninstallEntry), removed by the uninstall. One event
 * ends each install, repair and uninstall and each /verify that finds a
 * change: `id` one of KX_EVENT_*, its one text saying what happened. */
#define KX_EVENT_LOGS "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
#define KX_EVENT_KEY KX_EVENT_LOGS "VelbaPrinter"
/* The source's name: the end of its key (one text, not two). */
#define KX_EVENT_SOURCE (KX_EVENT_KEY + sizeof(KX_EVENT_LOGS) - 1)
#define KX_EVENT_COMPLETED 11707
#define KX_EVENT_FAILED 11708
#define KX_EVENT_REMOVED 11724
#define KX_EVENT_NOT_REMOVED 11725
#define KX_EVENT_CHANGED 1033
void ReportRunEvent(WORD type, DWORD id, const char *text);

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

/* The undo of registry changes, journaled before the change: each missing
 * key of `subKey` (deleted again, deepest first); a value's old type and
 * data, or its absence. `rootName` is the log's ("HKLM"). */
void JournalKeys(HKEY root, const char *rootName, const char *subKey);
/* 0 when the value's earlier content could not be read: it must not be changed. */
int JournalValue(HKEY root, const char *rootName, const char *subKey, const char *name);
/* A key's entries (`bytes` of its DACL's descriptor), put back on undo; 0
 * when nothing was recorded (no journal, or recorded already). */
int JournalKeyEntries(HKEY root, const char *rootName, const char *subKey,
                      const void *descriptor, DWORD bytes);
/* A key that a change deletes with everything in it: its values (types and
 * data) and subkeys, recreated on undo. A tree is kept up to
 * KX_KEY_TREE_BYTES; JournalKeyTree answers 0 for a larger or unreadable one
 * (it must not be deleted), and KeyTreeFits tells so beforehand. A missing
 * key needs nothing. */
#define KX_KEY_TREE_BYTES (64u << 10)
int KeyTreeFits(HKEY root, const char *subKey);
int JournalKeyTree(HKEY root, const char *rootName, const char *subKey);
void DefineRegistryUndo(void);

/* An INI file the system keeps (in part) in the registry: IniFileMapping
 * names it. Its change is undone section by section, through the profile
 * calls: the entries of `section` as they read them, up to
 * KX_INI_SECTION_BYTES (IniSectionFits tells beforehand; JournalIniSection
 * answers 0 for a larger or unreadable one, which must not be changed). */
#define KX_INI_SECTION_BYTES (32u << 10)
int IniFileMapped(const char *file);
int IniSectionFits(const char *file, const char *section);
int JournalIniSection(const char *file, const char *section);
void DefineProfileUndo(void);

#endif
