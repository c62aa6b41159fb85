/* Setup data: the one record of everything a run learns and decides, the shared
 * buffers beside it, the setup information reader, and the program's message
 * boxes (every box of every subsystem goes through KxMessageBox). */
#ifndef KX_SETUPDATA_H
#define KX_SETUPDATA_H

#include <windows.h>
#include <objbase.h>
#include <setupapi.h>

enum InstallMode {
    Uninstall = 1024,
    Minimum = 1025,
    Custom = 1026,
    Express = 1027
};

enum ComponentMask {
    CompModel1 = 0x01,
    CompModel2 = 0x02,
    CompModel3 = 0x04,
    CompStatusDisplay = 0x10,
    CompControlPanel = 0x20
};

#define MODEL_SLOTS 3
#define NAME_CHARS 96       /* names and section names */
#define FILE_CHARS 32       /* driver file names */
#define TEXT_CHARS 260      /* paths and registry texts */
#define FOLDER_CHARS 288    /* folder buffers */
#define PORT_CHARS 780
#define STATUSDIR_CHARS 268

struct SetupStateRecord {
    HINSTANCE instance;
    int installMode;
    DWORD driverDirId;
    DWORD statusDirId;
    DWORD availableComponents;
    DWORD selectedComponents;
    char manufacturer[NAME_CHARS];
    char modelName[MODEL_SLOTS][NAME_CHARS];
    char driverFile[MODEL_SLOTS][FILE_CHARS];
    char dataFile[MODEL_SLOTS][FILE_CHARS];
    char configFile[MODEL_SLOTS][FILE_CHARS];
    char helpFile[MODEL_SLOTS][FILE_CHARS];
    char portName[PORT_CHARS];
    char statusDir[STATUSDIR_CHARS];
};

/* The single instance and the shared buffers; zero at process start. */
extern SetupStateRecord SetupState;
extern char installSection[MODEL_SLOTS][NAME_CHARS];
extern char layoutPath[FOLDER_CHARS];
extern char driverDirectory[TEXT_CHARS];
extern char startDirectory[FOLDER_CHARS];
extern char statusDirChoice[FOLDER_CHARS];
extern IMalloc *shellAllocator;
extern DWORD spaceShortfall[3];
/* Zero-fills the record and every shared buffer, as at process start (for a
 * caller that runs the setup more than once in one process). */
void ResetSharedData(void);

/* Fills the model data, install sections, offered components and directory ids
 * from the open oemsetup.inf and appends its layout file. Returns 0 when the
 * file is refused (a value or a line of a list the run describes that cannot be
 * read whole, a file name that is not a plain name, a model name that cannot
 * be a printer's; its box has been shown), else 1. */
int ReadSetupInformation(HINF inf, SetupStateRecord *state);

/* Decimal value of the leading number of a text: blanks skipped, one optional
 * sign, digits up to the first non-digit; no digits gives 0; a value beyond a
 * long's range gives LONG_MAX or LONG_MIN. */
long LeadingNumber(const char *text);

/* Every message box of the program goes through here (owner, text, caption and
 * style exactly as the caller gives them); returns the button pressed. */
int KxMessageBox(HWND owner, const char *text, const char *caption, UINT style);

/* The system error box: the system's text for `code` (or a fallback naming the
 * code when the system has none), no owner, MB_ICONINFORMATION, `caption`.
 * Callers take GetLastError() right after the failing call and pass it here. */
void ShowSystemError(DWORD code, const char *caption);

/* Trust of what a later run as administrator relies on: the status folder
 * (its program is started from there) and the record keys. Trusted are
 * Administrators, SYSTEM, TrustedInstaller and the account running the setup;
 * a refusal's `why` is the one English sentence naming the folder or key and
 * the reason (valid until the next judgement). */
enum FolderTrust { FolderTrusted, FolderMissing, FolderUntrusted };
/* A full `X:\...` folder and each folder above it that stands, up to the
 * root: no link, owned by the trusted, and nobody else may add, change or
 * delete in it or change its permissions (users may add folders to the root).
 * A network folder is refused; a volume without permissions (FAT) is accepted.
 * FolderMissing: what stands passed and the folder itself is not there;
 * `standing` (may be NULL) receives the length of the part that stands. */
int JudgeFolderTrust(const char *folder, size_t *standing, const char **why);
/* 1 when the owner of the open key (opened with READ_CONTROL) is trusted. */
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

#endif
