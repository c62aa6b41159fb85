/* The install's choices, made by the wizard or, in a quiet run, taken from
 * the command line with the same checks the wizard's pages make: the
 * installation type, the components, the port, the status display folder and
 * the space verdict. Each is a RunMode::choose step the entry hands the run. */
#ifndef KX_SHELL_CHOICES_H
#define KX_SHELL_CHOICES_H

#include "run/run.h"

/* The wizard fills what it fills; 0 when it was cancelled (1602) or could not
 * be shown (1603). */
int ChooseInWizard(HWND hostWindow, SetupStateRecord *state, int *exitCode);
/* Fills what the wizard fills (installMode, selectedComponents, portName,
 * statusDirChoice, spaceShortfall) from the command line, without a window.
 * 1 when the run goes on; 0 when a choice is refused, with the reason in the
 * log and *exitCode set. */
int ChooseQuietly(HWND hostWindow, SetupStateRecord *state, int *exitCode);

#endif
