#include "shell/entry.h"
#include "shell/sysdlls.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int showCommand)
{
    RestrictDllSearch();
    return RunSetupProgram(instance, showCommand);
}
