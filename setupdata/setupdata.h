/* Setup data: the one record of everything a run learns and decides, the shared
 * buffers beside it and the setup information reader. */
#ifndef KX_SETUPDATA_H
#define KX_SETUPDATA_H

#include "base/base.h"
#include <objbase.h>
#include <setupapi.h>

/* SetupAPI's calls the program makes most often, called directly as base.h's
 * list is (their stubs are in shell/sysdlls.cpp). */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" {
WINBOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context);
WINBOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut);
WINBOOL WINAPI SetupGetLineTextA(PINFCONTEXT Context, HINF InfHandle, PCSTR Section, PCSTR Key,
                                 PSTR ReturnBuffer, DWORD ReturnBufferSize, PDWORD RequiredSize);
WINBOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                                    DWORD ReturnBufferSize, PDWORD RequiredSize);
}
#pragma GCC diagnostic pop

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

/* The bytes a group command is built in (progman.cpp). */
#define KX_GROUP_COMMAND_CHARS 256
/* A record value is read back only when it and the zero the registry may keep
 * after it fit the TEXT_CHARS buffer less one byte: 258 characters. */
#define KX_RECORD_TEXT_ROOM (TEXT_CHARS - 2)

/* The texts built from the status folder, where they are built
 * (integration/record.cpp, integration/progman.cpp), and the longest folder
 * choice (in characters, terminator not counted) that every one of them holds
 * whole; each is the folder plus a fixed rest in a buffer that keeps a byte
 * for the terminator:
 *   record value      <folder>=<id of up to 10 digits>              in 258
 *   uninstall strings "<folder>\kxsetup.exe" Uninstall /quiet      in 259
 *   group item        [AddItem("<folder>\kxsetup.exe" Uninstall,Uninstall,,0)]
 *                                                                    in 255
 *   statusDir         <folder>                                      in 267
 * The group item is the tightest: 255 - 48 = 207. */
#define KX_DIR_VALUE_FORMAT "%s=%lu"          /* the folder, the directory id */
#define KX_UNINSTALL_FORMAT "\"%s\\kxsetup.exe\" Uninstall"
#define KX_QUIET_OPTION " /quiet"
#define KX_GROUP_PROGRAM_FORMAT "%s%s%s\" Uninstall" /* folder, separator, program */
#define KX_GROUP_ITEM_FORMAT "[AddItem(\"%s,%s,%s,%d)]" /* command line, name, icon, index */
#define KX_LENGTH(text) ((int)sizeof(text) - 1)
#define KX_SMALLER(a, b) ((a) < (b) ? (a) : (b))
#define KX_FOLDER_LIMIT                                                                     \
    KX_SMALLER(                                                                             \
        KX_SMALLER(KX_RECORD_TEXT_ROOM - (KX_LENGTH(KX_DIR_VALUE_FORMAT) - 5 + 10),         \
                   TEXT_CHARS - 1 - (KX_LENGTH(KX_UNINSTALL_FORMAT) - 2 +                   \
                                     KX_LENGTH(KX_QUIET_OPTION))),                          \
        KX_SMALLER(KX_GROUP_COMMAND_CHARS - 1 -                                             \
                       (KX_LENGTH(KX_GROUP_ITEM_FORMAT) - 8 + KX_LENGTH("Uninstall") + 1 +  \
                        KX_LENGTH(KX_GROUP_PROGRAM_FORMAT) - 6 + KX_LENGTH("\\kxsetup.exe")), \
                   STATUSDIR_CHARS - 1))

/* The models a medium can offer, one bit per slot. */
#define MODEL_BITS (CompModel1 | CompModel2 | CompModel3)
/* The drive of the status display folder the run takes when no choice was
 * made (DefaultStatusFolder; the wizard and a custom quiet install offer one
 * on the drivers' drive). */
#define KX_DEFAULT_STATUS_DRIVE 'C'

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
    /* Per model slot: the model's install section. */
    char installSection[MODEL_SLOTS][NAME_CHARS];
    /* The program's folder with its backslash, then the layout file in it. */
    char layoutPath[FOLDER_CHARS];
    /* The spooler's driver directory; its first character is the drivers' drive. */
    char driverDirectory[TEXT_CHARS];
    /* The current directory when the host window was made: relative folder
     * choices are taken below it. */
    char startDirectory[FOLDER_CHARS];
    /* The folder choices of the two tools as the components page shows them
     * (the status folder's is also a quiet custom install's), and the result
     * of the Input Path dialog (287 characters and the terminator). */
    char statusDirChoice[FOLDER_CHARS];
    char panelDirChoice[FOLDER_CHARS];
    char inputPath[FOLDER_CHARS];
    /* The shell's allocator while a browse holds it. */
    IMalloc *shellAllocator;
    /* Per space column: 0, or the letter of a drive found short. */
    DWORD spaceShortfall[3];
};

/* The single instance; zero at process start. */
extern SetupStateRecord SetupState;
/* Zero-fills the record, as at process start. */
void ResetSetupState(void);

/* Fills the model data, install sections, offered components and directory ids
 * from the open oemsetup.inf and appends its layout file. Returns 0 when the
 * file is refused (a value or a line of a list the run describes that cannot be
 * read whole, a file name that is not a plain name, a model name that cannot
 * be a printer's; its box has been shown), else 1. */
int ReadSetupInformation(HINF inf, SetupStateRecord *state);
/* Every line of every list that the entries `key` of `section` name, in the
 * order SetupAPI applies them: the lists of every line of the key (AddReg = A,
 * then AddReg = B), each list's lines from the first (numbered from 1). The
 * walk ends with what `each` returns when that is not 1; a list name longer
 * than NAME_CHARS - 1 ends it with -1. 1 when every line was walked. */
typedef int (*ListLineProc)(HINF inf, const char *list, long number, INFCONTEXT *line,
                            void *context);
int WalkListLines(HINF inf, const char *section, const char *key, ListLineProc each,
                  void *context);

/* The medium's digest list: the file KX_DIGEST_LIST beside oemsetup.inf,
 * written when the medium is built, one line per file of the medium: its
 * name, its size in bytes and its SHA-256 in lower-case hex, separated by
 * blanks (the name may hold blanks; size and hash never do). An install
 * records these digests instead of hashing what it copied; a medium without
 * the list is hashed as before. */
#define KX_DIGEST_LIST "medium.sha"
/* Reads the list of the medium in `folder` (with its trailing backslash):
 * 1 when there is one. It stays loaded until the next LoadDigestList. */
int LoadDigestList(const char *folder);
/* A listed digest is given as FormatDigest writes one: "sha256:<hex> <size>"
 * (DIGEST_TEXT_CHARS). ListedDigest: that of `path`, a file in the loaded
 * medium's folder; 0 when the list does not name it (or `path` lies
 * elsewhere). */
int ListedDigest(const char *path, char *digest);
/* Every line of the loaded list in order: its name and digest, or a NULL
 * digest for a line that is not "name size sha256". */
typedef void (*ListedFileProc)(void *context, const char *name, const char *digest);
void EachListedFile(ListedFileProc each, void *context);

#endif
