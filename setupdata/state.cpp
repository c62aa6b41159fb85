#include "setupdata/setupdata.h"

SetupStateRecord SetupState;

void ResetSetupState(void)
{
    ZeroMemory(&SetupState, sizeof(SetupState));
}
