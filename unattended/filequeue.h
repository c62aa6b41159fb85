/* The file queue as the log sees it, and the answers of a quiet run: every
 * queued, copied and deleted file becomes a log line, and a quiet run answers
 * every question of SetupAPI itself instead of showing a dialog. */
#ifndef KX_FILEQUEUE_H
#define KX_FILEQUEUE_H

#include <windows.h>
#include "setupdata/setupdata.h"

/* Logs what a notification reports (a finished copy or deletion, an error), and
 * for a version check the `answer` the callback gave. */
void LogQueueNotification(UINT notification, UINT_PTR param1, UINT answer);
/* The answer of a quiet run: what can be done is done, a missing source or a
 * failed copy aborts the commit (it never waits for a disk), a file that
 * cannot be deleted is skipped, a newer file on the target is kept. */
UINT QuietQueueAnswer(UINT notification, UINT_PTR param1, UINT_PTR param2);
/* The action line of each queued copy (source, target, size), in queue order,
 * as SetupAPI itself will perform them; a source found only in its compressed
 * form (kxps.dl_ for kxps.dll) is named so. 1 when the copies are to be made,
 * 0 in a plan. `missing` counts the copies whose source is not there;
 * `kilobytes` is the sum of the sources' sizes, rounded up to whole KB (a
 * compressed source counts as it lies on the medium; NT 4's scan names no
 * source and counts nothing). */
int ActQueuedCopies(HSPFILEQ queue, int *missing, DWORD *kilobytes);
/* The action lines of the deletions and renames that a section queues (its
 * DelFiles and RenFiles lists), each in the folder SetupAPI takes for its list;
 * the queue has no scan for them. */
void ActSectionFiles(HINF inf, const char *section);
/* The action lines of the registry and INI changes that SetupAPI makes of a
 * section applied with these parts (SPINST_REGISTRY, SPINST_INIFILES), one per
 * line of the lists the section names; 1 when the section is to be applied. */
int ActSection(HINF inf, const char *section, UINT parts);

#endif
