/* The code that changes the machine, and the code that takes a change back.
 * Every change goes through Act: its action line (marked "> ") goes to the
 * log before the change is made, or to the plan instead of making it, and
 * what undoes it reaches the journal's file first. Whatever includes this
 * header may change the machine; nothing below it can. */
#ifndef KX_CHANGE_H
#define KX_CHANGE_H

#include "base/base.h"

/* The action line of a change. 1: make the change now (a run), then report it
 * with ActDone; 0: a plan, the change is not to be made. */
int Act(const char *format, ...) __attribute__((format(ms_printf, 1, 2)));

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
/* A step read back from another run's file is input like any other: its
 * kind's check judges its data (`bytes`, the step's whole room) and its line
 * before the undo may touch it. NULL when it is a step of that kind, else
 * why not (the step is skipped). */
typedef const char *(*StepCheck)(const void *data, DWORD bytes, const char *line);
void DefineUndo(UndoKind kind, UndoProc undo, StepCheck check);
/* What the checks share: a text ended within its field; a path on a local
 * drive ("C:\..."); the step's line as its data would make it (a torn or
 * garbled step rarely agrees with its own line); a security descriptor in
 * self-relative form whose every part lies within `bytes`; the text at
 * `offset` (0: none) of a record of `bytes`, ended inside it (`list`: a list
 * of texts ended by an empty one). */
int FieldText(const char *field, size_t chars);
int DrivePath(const char *path);
int LineIs(const char *line, const char *format, ...) __attribute__((format(ms_printf, 2, 3)));
/* The reasons most checks give. */
#define KX_STEP_SHORT "a part of it does not fit the step"
#define KX_STEP_UNENDED "a text of it is empty or not ended"
#define KX_STEP_OTHER_LINE "its line does not match its data"
int DescriptorFits(const void *descriptor, DWORD bytes);
int OffsetText(const void *record, DWORD bytes, ULONG_PTR offset, int list);

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
/* Undoes, then removes the journal file and its folder; a backup whose
 * restore failed stays there (KeptBackups counts them). */
void RollBack(void);
int KeptBackups(void);
void NoteKeptBackup(void);
/* The changes stay: the journal, its backups and its folder are removed. */
void EndJournal(void);
/* An interrupted run's journal in `folder` (already judged trusted): each
 * step checked, then undone as RollBack undoes (a plan lists the lines); a
 * step that fails its check is skipped and logged with why. */
enum Replay { ReplayNone, ReplayDone, ReplayUnread };
/* ReplayNone: the folder holds no journal file (its run had ended);
 * ReplayUnread: the file cannot be opened or read, or is not a journal of
 * this program, and folder and file are left as they are. */
Replay ReplayJournal(const char *folder);

/* The undo of files, in the journal: the folders a run makes; a file it
 * writes (its earlier content backed up in the journal folder with its size
 * and hash, checked before the restore; an absent one deleted again); a copy
 * SetupAPI deferred to the restart (its temporary file and its rename
 * removed). JournalTarget answers 0 when the earlier content cannot be kept:
 * the change must not be made. */
void JournalFolder(const char *path);
int JournalTarget(const char *target);
/* `path` deleted through the journal, the log naming `why`: below 0 when its
 * content cannot be kept (nothing is done), 0 when the delete failed, 1 when
 * it is deleted or only planned. */
int DeleteJournaled(const char *path, const char *why);
void JournalDelayedCopy(const char *target);
/* A file's or folder's entries, put back on undo; 0 when they cannot be read
 * (and the caller must not replace them). */
int JournalFileEntries(const char *path);
void DefineFileUndo(void);
/* Forgets the numbering of the run's backups, as at process start. */
void ResetFileUndo(void);

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
/* 16 hex digits from the system's random source; 0 when it has none. */
int RandomName(char *name, size_t chars);

#endif
