#include "tests/unit/harness.h"
#include "rules/rules.h"

/* The space columns the components page shows and a quiet run judges: the
 * drivers' drive first, then the status display's and the control panel
 * tool's drives when they need anything; drive letters in any case. */
TEST(SpaceRule, ColumnsPerDrive)
{
    const DWORD m1 = 2231000, m2 = 1879000, m3 = 2431000, status = 3412000, panel = 1871000;
    struct Case {
        DWORD ticked; char status, panel;
        int count; const char *drives; DWORD need[3];
    } cases[] = {
        { 0x03, 'C', 'C', 1, "C", { m1 + m2 } },
        { 0x37, 'c', 'c', 1, "C", { m1 + m2 + m3 + status + panel } },
        { 0x11, 'D', 'C', 2, "CD", { m1, status } },
        { 0x31, 'D', 'E', 3, "CDE", { m1, status, panel } },
        /* the panel tool shares the status folder's column, ticked or not */
        { 0x21, 'D', 'd', 2, "CD", { m1, panel } },
        { 0x21, 'C', 'E', 2, "CE", { m1, panel } },
        { 0x00, 'D', 'E', 1, "C", { 0 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ticked);
        SpaceColumns columns;
        PlanSpace(c.ticked, 'C', c.status, c.panel, &columns);
        ASSERT_EQ(c.count, columns.count);
        for (int i = 0; i < c.count; i++) {
            EXPECT_EQ(c.drives[i], columns.drive[i]);
            EXPECT_EQ(c.need[i], columns.need[i]);
        }
    }
    /* the drive keeps 1024 bytes beyond the need */
    EXPECT_EQ((DWORD)'C', SpaceShortfall('C', 1000, 2024));
    EXPECT_EQ(0u, SpaceShortfall('C', 1000, 2025));
}
