#include <gtest/gtest.h>
#include "shell/entry.h"
#include "shell/host.h"
#include "shell/choices.h"
#include "shell/sysdlls.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    /* The program's comctl32 and winspool calls go through slots that its
     * WinMain fills; the tests' fakes replace what this puts there. */
    if (!LoadSystemDlls())
        return 1;
    return RUN_ALL_TESTS();
}
