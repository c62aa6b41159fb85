/* The installation run: one install or uninstall from the folders to the
 * restart prompt, with the status folder, the file queue's answers and the
 * undo of the files it copies. The entry hands it the mode it runs in and
 * the step that makes the install's choices; nothing here reads the command
 * line. */
#ifndef KX_RUN_H
#define KX_RUN_H

#include "rules/rules.h"

/* Process exit codes: the outcome of the run. RunInstallation decides it for a
 * run, the entry for a start that never reaches one; the host window carries it
 * out through WM_QUIT. 3010: completed, and a restart is still due (declined,
 * or not offered and needed); 1605: nothing installed to verify or uninstall. */
#define KX_EXIT_OK              0
#define KX_EXIT_CANCELLED       1602
#define KX_EXIT_FAILED          1603
#define KX_EXIT_NOT_INSTALLED   1605
#define KX_EXIT_NEWER_INSTALLED 1638
#define KX_EXIT_RESTART_DECLINED 3010

/* The status display tool: the run asks its window to close before uninstalling. */
#define KX_STATUS_WINDOW_TITLE  "Printer Status Display"
#define KX_STATUS_CLOSE_MESSAGE (WM_USER + 7711)
#define KX_STATUS_CLOSE_WPARAM  7711
#define KX_STATUS_WAIT_MS       30000

/* How the run is to be made. `choose` makes the install's choices (the
 * wizard, or a quiet run's from the command line): it fills installMode,
 * selectedComponents, portName, statusDirChoice and spaceShortfall and
 * returns 1 to go on, or 0 with *exitCode set. */
struct RunMode {
    int quiet;          /* no window, no question: SetupAPI is answered by QuietQueueAnswer */
    int noRestart;      /* no restart offer: a completed run ends with 3010 when a restart is due, else 0 */
    int defaultPrinter; /* a quiet run's answer to the default printer offer */
    int verify;         /* the installation is checked, nothing is changed */
    int check;          /* the medium is checked, nothing is changed */
    int repair;         /* an install with the recorded choices, verified after it */
    int (*choose)(HWND hostWindow, SetupStateRecord *state, int *exitCode);
};

/* One installation or uninstall from the folders to the restart prompt; returns
 * the exit code of the run (KX_EXIT_*). In verify mode it reads the setup
 * information, then VerifyInstallation decides. */
int RunInstallation(HWND hostWindow, SetupStateRecord *state, const RunMode *mode);
/* What the record says the installation holds, checked without a change: one
 * log line per item (ok, missing, changed, not the administrators' own), a
 * summary, its box unless quiet; KX_EXIT_OK when all is intact,
 * KX_EXIT_FAILED with the first drift named, KX_EXIT_NOT_INSTALLED when no
 * installation is recorded. */
int VerifyInstallation(HWND owner, SetupStateRecord *state, const RunMode *mode);
/* 1 when the record keeps `file` with the digest it has now, 0 when it keeps
 * another or none for it, -1 when the record keeps no digests at all (an
 * earlier release's). */
int RecordedFileIntact(const char *file);

/* The run over an installation (run/upgrade.cpp, run/repair.cpp). Before an
 * install's first question: 1 to go on (over the same or an older version,
 * which the log names: "upgrade from 1.0 to 1.1"), 0 with *exitCode
 * KX_EXIT_NEWER_INSTALLED after the box that names both versions. */
int InstalledVersionAllows(HWND owner, int *exitCode);
/* Over an older version, before the record of this run's files replaces
 * the earlier one: each file the earlier record lists that this run did not
 * copy (`copied`, as QueuedTargets) and the medium in `medium` no longer has
 * is deleted through the journal; 0 when one's undo cannot be kept. */
int RemoveDroppedFiles(const char *copied, const char *medium);
/* 1 from InstalledVersionAllows over an older version to the next run. */
int Upgrading(void);
/* The source in `medium` of the file a record's `line` names, in `source`
 * (SOURCE_CHARS), and where the line's path begins: FindSource's answer, or
 * below 0 when the line names no file. */
#define SOURCE_CHARS (2 * MAX_PATH)
int RecordedSource(const char *line, const char *medium, const char **path, char *source);
/* A repair's choices (RunMode's choose): those the installation recorded;
 * 0 with *exitCode KX_EXIT_NOT_INSTALLED when nothing is installed. Then,
 * before its first change, 1 when every recorded file's source in `medium`
 * has the recorded digest; else the first other or missing one is named in
 * the box, and *exitCode is KX_EXIT_FAILED. */
int ChooseRepair(HWND owner, SetupStateRecord *state, int *exitCode);
int RepairSourcesMatch(HWND owner, const char *medium, int *exitCode);
/* The recorded digest at the start of `line` ("sha256:<hex> <size> <path>")
 * against the file `path` now; 0 with *code NO_ERROR when it differs. */
int SameAsRecorded(const char *path, ALG_ID algorithm, const char *recorded, size_t length,
                   DWORD *code);
/* The algorithm a record's line names ("sha256:", "sha1:"; 0: none) and
 * where its path begins. */
ALG_ID SplitLine(const char *line, const char **path);

/* The medium in `medium` (its folder, with the backslash) as a packager must
 * mend it before shipping, checked without a change, with the setup
 * information `inf` (INVALID_HANDLE_VALUE when it could not be opened) as
 * the reader read it (`infRead` 0: it refused a line): one log line per
 * item, a summary, its box unless quiet; KX_EXIT_OK when nothing is at
 * fault, else KX_EXIT_FAILED with the first fault named. */
int CheckMedium(HWND owner, HINF inf, const SetupStateRecord *state, const char *medium,
                int infRead, const RunMode *mode);

/* The file queue's callback of the run, with a QueueContext: SetupAPI's
 * default handling, or in a quiet run an answer that never waits for a
 * person. */
struct QueueContext {
    PVOID defaultContext; /* SetupInitDefaultQueueCallbackEx's */
    int quiet;
    int deferred; /* copies SetupAPI put off to the restart */
};
/* The copies the commit made (SPFILENOTIFY_ENDCOPY), kept by their target:
 * ListedDigestOfCopy gives the medium's digest of the file a target was
 * copied from (ListedDigest), for the record to take instead of hashing the
 * target; 0 when the copy did not come from a listed file of the medium. */
void KeepCopiedSource(const char *target, const char *source);
int ListedDigestOfCopy(const char *target, char *digest /* DIGEST_TEXT_CHARS */);
UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

/* The status display folder before anything is copied into it: a missing one
 * (and every missing folder above it) is made so that only administrators and
 * the system may change it; one that exists is used only when nobody else
 * controls it, and made the administrators' own when only its entries let
 * others in (JudgeFolderTrust). 0 after its box when it cannot be made or is
 * refused. */
int CreateStatusFolder(const char *folder);
/* The folder opened without delete sharing, so that while the handle lasts
 * nobody can rename it, or a folder above it, away and put his own in its
 * place; NULL when it cannot be held (or is a link, or no folder). */
HANDLE HoldFolder(const char *folder);
/* An earlier installation recorded in another folder than the run's: the
 * files it holds under the names of the run's copies into `folder` (each
 * target of `targets`, zero-separated) are deleted through the journal,
 * unless another account owns that folder; 0 when one could not be.
 * RemoveEarlierFolder takes the folder away once the run is kept, when
 * nothing else is left in it. */
int RemoveEarlierFiles(const char *earlier, const char *folder, const char *targets);
void RemoveEarlierFolder(const char *earlier);
/* JudgeFolderTrust's verdict on the status folder; a refusal has shown its
 * box with `caption`. */
int CheckStatusFolder(const char *folder, const char *caption);

/* The file queue as the log sees it, and the answers of a quiet run: every
 * queued, copied and deleted file becomes a log line, and a quiet run answers
 * every question of SetupAPI itself instead of showing a dialog. */

/* Logs what a notification reports (a finished copy or deletion, an error), and
 * for a version check the `answer` the callback gave. */
void LogQueueNotification(UINT notification, UINT_PTR param1, UINT answer);
/* The answer of a quiet run: what can be done is done, a missing source or a
 * failed copy aborts the commit (it never waits for a disk), a file that
 * cannot be deleted is skipped, a newer file on the target is kept. */
UINT QuietQueueAnswer(UINT notification, UINT_PTR param1, UINT_PTR param2);
/* The source as SetupAPI would find it: the name, or its compressed form
 * (kxps.dl_ or kxps.dl$ for kxps.dll), in `found`. 0 when neither is there,
 * 1 for the name, 2 for a compressed form. */
int FindSource(const char *path, char *found, size_t chars);

/* The action line of each queued copy (source, target, size), in queue order,
 * as SetupAPI itself will perform them; a source found only in its compressed
 * form (kxps.dl_ for kxps.dll) is named so. 1 when the copies are to be made,
 * 0 in a plan. `missing` counts the copies whose source is not there;
 * `kilobytes` is the sum of the sources' sizes, rounded up to whole KB (a
 * compressed source counts as it lies on the medium; NT 4's scan names no
 * source and counts nothing). */
int ActQueuedCopies(HSPFILEQ queue, int *missing, DWORD *unkept, DWORD *kilobytes);
/* The targets of the last scan, each with its zero, then an empty one. */
const char *QueuedTargets(void);
/* As at process start: no scan made. */
void ForgetQueuedTargets(void);

/* The run's own folder (with its backslash) when others may change it: its
 * files are copied into a folder only administrators may change, whose name
 * replaces it, and which UnstageMedium removes again. 0 when the copy cannot
 * be made; a plan reads the medium itself. */
int StageMedium(char *medium, size_t chars);
void UnstageMedium(void);

/* The run's journal (change/): its folder in the Windows folder, made
 * the administrators' own with a name nobody can guess, and the marker in
 * HKLM that names it while the run is in progress. OpenRunJournal makes both
 * before the run's first change (0: they cannot be made, and nothing may be
 * changed); CloseRunJournal keeps the run's changes or takes them back, then
 * removes journal and marker. TakeBackInterrupted undoes the journal of a
 * run that was interrupted before anything else is changed (a plan lists its
 * lines); 1 when there was one to undo. */
#define KX_RUN_MARKER_KEY "Software\\VelbaPrinter setup in progress"
int OpenRunJournal(void);
void CloseRunJournal(int keep);
/* -1 when the journal the marker names cannot be read: marker and folder
 * (named in `journalFolder`) stay, and nothing may be changed. */
int TakeBackInterrupted(char *journalFolder, size_t chars);
/* Names every kind of undo step the run's layers journal. */
void DefineRunUndo(void);

/* The action lines of the deletions and renames that a section queues (its
 * DelFiles and RenFiles lists), each in the folder SetupAPI takes for its list;
 * the queue has no scan for them. */
int ActSectionFiles(HINF inf, const char *section);
/* 0, after its log line and with the box's text in `why` (TEXT_CHARS), when
 * a DelReg line of the section deletes a key tree too large for the journal
 * to keep, or an INI line writes a file the system maps into the registry;
 * checked before the run's first change. */
int UndoableSection(HINF inf, const char *section, char *why);
/* The action lines of the registry and INI changes that SetupAPI makes of a
 * section applied with these parts (SPINST_REGISTRY, SPINST_INIFILES), one per
 * line of the lists the section names, once the undo of every line is in the
 * journal: each INI file's content (backed up as a file the run writes), each
 * registry value's, each key an addition makes and each key tree a deletion
 * takes. 1 when the section is to be applied, 0 in a plan, -1 when an undo
 * could not be kept (its box kept for the stop): the section must not run. */
int ActSection(HINF inf, const char *section, UINT parts);

#endif
