/* The ground every other folder stands on, with no window of its own: the
 * log, the program's message boxes and the reading of numbers.
 *
 * The log of a run (/log=FILE) and the plan of a run that is only described
 * (/plan=FILE): plain text, one line per step with the local time. Every
 * change the program makes to the machine is described once, by Act: its
 * action line (marked "> ") goes to the log before the change is made, or to
 * the plan instead of making it. Without a log or plan the calls cost nothing. */
#ifndef KX_BASE_H
#define KX_BASE_H

#include <windows.h>

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
/* The action line of a change. 1: make the change now (a run), then report it
 * with ActDone; 0: a plan, the change is not to be made. */
int Act(const char *format, ...) __attribute__((format(ms_printf, 1, 2)));
/* The outcome of the change just made: "ok" or "failed, error <n>". */
void ActDone(BOOL succeeded, DWORD code);
/* A Win32 status as the log shows it: "ok" or "error <n>". */
const char *LogStatus(DWORD code);

/* The undo journal of an install run. Before a change is made, its caller
 * hands the journal what undoes it; a run that stops undoes every recorded
 * change, last first, each logged as an action line "< ..." with its outcome
 * (a plan lists the lines only). An undo procedure answers NO_ERROR when the
 * machine is as it was before the change, also when the change was never
 * made. Uninstall runs record nothing.
 *
 * A run's journal also lives in the file "journal" of a folder that only
 * administrators and the system may change (the run makes it), with the
 * backups of the files the run replaces: each step is written through before
 * its change (Act syncs it), so that the next start can undo a run that was
 * killed. A step holds data, never a pointer: its kind's number says which
 * procedure undoes it, in this program and in the next one. Numbers are never
 * reused. */
enum UndoKind {
    StepFolder = 1,
    StepFile,
    StepDelayedCopy,
    StepValue,
    StepKey,
    StepKeyEntries,
    StepFileEntries,
    StepMonitor,
    StepDriver,
    StepDriverBack,
    StepPrinter,
    StepPrinterBack,
    StepDeviceLine,
    StepMonitorBack,
    StepKeyTree,
    StepIniSection,
    UndoKinds
};
typedef DWORD (*UndoProc)(void *data);
void DefineUndo(UndoKind kind, UndoProc undo);
/* `folder` NULL keeps the journal in memory only (a plan). 0 when its file
 * cannot be made there. */
int BeginJournal(const char *folder);
int Journaling(void);
/* The run's journal folder; "" when it has none. */
const char *JournalFolderPath(void);
/* A zeroed block of `bytes` for the caller to fill with what the undo of `kind`
 * needs, kept until the end of the journal; NULL when nothing is recorded (no
 * journal, or the same undo with the same line is recorded already). */
void *Journal(UndoKind kind, DWORD bytes, const char *format, ...)
    __attribute__((format(ms_printf, 3, 4)));
/* The steps recorded since the last sync go to the file and are written
 * through. While held (a scan that journals a whole queue before its commit)
 * Act does not sync; releasing syncs. */
void SyncJournal(void);
void HoldJournal(int hold);
/* From here on steps are appended, which a killed process cannot lose, but
 * no longer flushed: once a file queue has been committed, a flush would
 * first write every copied file to the disk (ext4 commits them together). */
void StopJournalFlushes(void);
/* Undoes, then removes the journal file and its folder; a backup whose
 * restore failed stays there (KeptBackups counts them). */
void RollBack(void);
int KeptBackups(void);
void NoteKeptBackup(void);
/* The changes stay: the journal, its backups and its folder are removed. */
void EndJournal(void);
/* An interrupted run's journal in `folder` (already judged trusted), undone
 * as RollBack undoes, or in a plan listed; 0 when it holds no journal of
 * this program. */
int ReplayJournal(const char *folder);

/* The undo of files, in the journal: the folders a run makes; a file it
 * writes (its earlier content backed up in the journal folder with its size
 * and hash, checked before the restore; an absent one deleted again); a copy
 * SetupAPI deferred to the restart (its temporary file and its rename
 * removed). JournalTarget answers 0 when the earlier content cannot be kept:
 * the change must not be made. */
void JournalFolder(const char *path);
int JournalTarget(const char *target);
void JournalDelayedCopy(const char *target);
/* A file's or folder's entries, put back on undo; 0 when they cannot be read
 * (and the caller must not replace them). */
int JournalFileEntries(const char *path);
void DefineFileUndo(void);

/* A file's size and, where the system's CryptoAPI has one, its hash: SHA-256,
 * or SHA-1 before XP SP3 (algorithm 0: the size alone). */
/* The program is built for NT 4, whose headers stop before SHA-256. */
#ifndef CALG_SHA_256
#define CALG_SHA_256 0x0000800c
#endif
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif
struct FileDigest {
    DWORD sizeLow;
    DWORD sizeHigh;
    ALG_ID algorithm;
    DWORD bytes;
    BYTE value[32];
};
/* `algorithm` 0 takes the strongest the system has; NO_ERROR, or why the
 * file could not be read. */
DWORD DigestFile(const char *path, ALG_ID algorithm, FileDigest *digest);
int SameDigest(const FileDigest *recorded, const FileDigest *now);
/* As the installation record keeps it: "sha256:<hex> <size>" ("sha1:",
 * or "size:" without CryptoAPI); 0 when it does not fit. */
#define DIGEST_TEXT_CHARS 96
int FormatDigest(const FileDigest *digest, char *text, size_t chars);
/* The renames the system makes at its next start (MoveFileEx's delayed
 * ones, SetupAPI's copies of files in use among them). PendingRenameOnto: 1
 * when one is to replace `target`, with the file that will replace it in
 * `source`. PendingRenameCount: how many renames and deletions wait. */
int PendingRenameOnto(const char *target, char *source, size_t chars);
int PendingRenameCount(void);

/* 16 hex digits from the system's random source; 0 when it has none. */
int RandomName(char *name, size_t chars);

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
#else
#define KX_IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#endif
/* `file` ("\\shell32.dll") from the system folder by full path, its own
 * imports looked for there first; the path goes to `path` for a refusal.
 * NULL when it cannot be loaded. */
HMODULE LoadSystemLibrary(const char *file, char *path, size_t chars);

/* Dispatches every message waiting for the thread's windows, and returns;
 * the run and the group's wait call it while they wait for another process. */
void PumpMessages(void);

/* Decimal value of the leading number of a text: blanks skipped, one optional
 * sign, digits up to the first non-digit; no digits gives 0; a value beyond a
 * long's range gives LONG_MAX or LONG_MIN. */
long LeadingNumber(const char *text);

#endif
