/* The rules that the wizard's pages and a quiet run both decide by, with no
 * window of their own: the folder rule and the trust of folders and keys, the
 * port lookup and the space rule. */
#ifndef KX_RULES_H
#define KX_RULES_H

#include "setupdata/setupdata.h"
#include <winspool.h>

/* Takes a folder choice as a full path in `full`: a name that is not `X:\...`
 * or `\\server\share...` is taken below baseDirectory. 1 when every later step
 * can hold it (full, no " < > | * ? or control characters, at most
 * KX_FOLDER_LIMIT characters) and nobody else controls it
 * (JudgeFolderTrust, which refuses a network folder); else 0 and `why` is the
 * English reason. */
int CheckFolderChoice(const char *entered, const char *baseDirectory, char *full,
                      size_t fullChars, const char **why);
/* 1 for `X:\...` and `\\server\share...`. */
int IsFullFolder(const char *folder);

/* Trust of what a later run as administrator relies on: the status folder
 * (its program is started from there) and the record keys. Trusted are
 * Administrators, SYSTEM and TrustedInstaller, and before Vista Power Users
 * and the account running the setup (which has no unelevated half there);
 * CREATOR OWNER entries stand for the run itself. A refusal's `why` is the
 * one English sentence naming the folder or key and the reason (valid until
 * the next judgement). */
enum FolderTrust { FolderTrusted, FolderMissing, FolderUntrusted, FolderRepairable };
/* A full `X:\...` folder, not a drive's root, and each folder above it that
 * stands (above the Windows folder none, for a folder inside it): no link;
 * owned by the trusted; nobody else may rename a folder above away or
 * change its permissions; nobody else may add, change or delete anything in
 * the folder itself, nor in what it hands down, nor in the files it holds.
 * FolderRepairable: only the folder's or its files' entries let others in,
 * and the owners are trusted: ProtectStatusFolder makes them the
 * administrators' own. FolderMissing: what stands passed and the folder
 * itself is not there; `standing` (may be NULL) receives the length of the
 * part that stands. A network folder is refused, and so is a volume without
 * permissions (FAT) on a system whose own folder keeps them. When the system
 * folder itself is open to other users, or keeps no permissions, only links
 * and files in the way are refused, and the log says why. */
int JudgeFolderTrust(const char *folder, size_t *standing, const char **why);
/* The same for a folder the caller holds open (HoldFolder): no folder above it
 * can be renamed away while it is held, so only the folder itself and its
 * files are judged. */
int JudgeHeldFolder(const char *folder, const char **why);
/* The default status folder on the drivers' drive: `X:\STATUS`, or STATUS in
 * the Windows folder where the drive's root lets others rename it away. */
void DefaultStatusFolder(char drive, char *folder, size_t chars);
/* The open key (opened with READ_CONTROL) judged like the status folder:
 * KeyRepairable when only its entries let others set values or make keys. */
/* 1 when `path` is `folder` or lies below it (names compared as the file
 * system compares them). */
int IsInsideFolder(const char *path, const char *folder);
/* NULL when the open file's owner is trusted, else why the file is not
 * used (a log or plan another account made). */
const char *JudgeFileOwner(HANDLE file);
enum KeyTrust { KeyTrusted, KeyUntrusted, KeyRepairable };
int JudgeKeyTrust(HKEY key, const char *name, const char **why);
/* Administrators and SYSTEM `fullAccess`, Users `readAccess`, inherited by
 * what is made inside and nothing taken over from above; 0 when the system
 * cannot build it. Nothing in it needs releasing. */
struct AdminSecurity {
    DWORD acl[64];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
int BuildAdminSecurity(AdminSecurity *security, DWORD fullAccess, DWORD readAccess);

/* The spooler's ports: EnumeratePorts gives their number, -1 when the spooler
 * could not list them (after its two boxes); ListedPorts the entries until
 * ReleasePorts. FindListedPort: 1 found, 0 not listed, -1 no list. */
int EnumeratePorts(void);
const PORT_INFO_2A *ListedPorts(void);
void ReleasePorts(void);
int FindListedPort(const char *wanted, char *port, size_t portChars);

/* The space rule. The components (a ComponentMask) need room on the drive of
 * the printer drivers, of the status display folder and of the control panel
 * folder; each drive is one column, the drivers' first, the others in that
 * order when they need anything. The components page shows the columns and a
 * run without the page judges them the same way. */
struct SpaceColumns {
    int count;
    char drive[3];
    DWORD need[3];
};
void PlanSpace(DWORD ticked, char driverDrive, char statusDrive, char panelDrive,
               SpaceColumns *columns);
/* 0 when `free` holds `need` and the margin kept on every drive, else the
 * drive's letter. */
DWORD SpaceShortfall(char drive, DWORD need, DWORD free);
/* Free bytes of a drive, capped at 4294967295; 0 when the query fails. */
DWORD FreeSpaceOnDrive(char drive);
/* The first drive in spaceShortfall that lacks room, 0 when none does. */
int SpaceVerdict(const SetupStateRecord *state);
/* Fills spaceShortfall as Finish on the components page would, without it:
 * the control panel tool on the drivers' drive; the figures go to the log. */
void JudgeSpace(SetupStateRecord *state, DWORD selected, char statusDrive);

#endif
