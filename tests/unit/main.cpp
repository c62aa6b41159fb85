#include <gtest/gtest.h>
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"
#include "run/run.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    /* The program's comctl32 and winspool calls go through slots that its
     * WinMain fills; the tests' fakes replace what this puts there. */
    if (!LoadSystemDlls())
        return 1;
    /* A run names its undo kinds as it starts; tests that journal without one
     * need them named too. */
    DefineRunUndo();
    return RUN_ALL_TESTS();
}
