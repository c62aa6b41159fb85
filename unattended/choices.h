/* The wizard's choices of a quiet install, taken from the command line: the
 * installation type, the components, the port, the status display folder and
 * the space verdict, with the same checks the wizard's pages make. */
#ifndef KX_CHOICES_H
#define KX_CHOICES_H

#include "setupdata/setupdata.h"

/* Fills what the wizard fills (installMode, selectedComponents, portName,
 * statusDirChoice, spaceShortfall). 1 when the run goes on; 0 when a choice is
 * refused, with the reason in the log and *exitCode set. */
int ApplyQuietChoices(SetupStateRecord *state, int *exitCode);

#endif
