#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int showCommand)
{
    RestrictDllSearch();
    if (!LoadSystemDlls())
        return KX_EXIT_FAILED;
    return RunSetupProgram(instance, showCommand);
}
