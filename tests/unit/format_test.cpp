#include <gtest/gtest.h>
#include "runtime/runtime.h"
#include "tests/unit/harness.h"
#include <string>
#include <strsafe.h>

/* The shipped program's own _vsnprintf, behind every StringCch*PrintfA. */
static int Format(char *buffer, size_t count, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = FormatText(buffer, count, format, args);
    va_end(args);
    return result;
}

/* Every conversion the program's texts use, as the C library writes them. */
TEST(FormatText, TheProgramsConversions)
{
    char text[160];
    int length = Format(text, sizeof(text), "%s|%d|%ld|%d|%lu|%c|%02u|%03u|%04u|%08lX|%x|%lx|%u|%-4s|%.2s|%05d|%%",
                        "name", -12, 2147483647L, -2147483647 - 1, 4294967295UL, 'D', 7u, 5u, 2026u,
                        0xE0000102UL, 0xbeefu, 0x1fUL, 0u, "ab", "xyz", -42);
    const std::string expected =
        "name|-12|2147483647|-2147483648|4294967295|D|07|005|2026|E0000102|beef|1f|0|ab  |xy|-0042|%";
    EXPECT_EQ(expected, text);
    EXPECT_EQ((int)expected.size(), length);
}

/* strsafe.h's contract: nothing past `count`, -1 when the text does not fit,
 * the length without a terminator when it fits exactly. */
TEST(FormatText, StaysWithinItsCount)
{
    char text[8];
    memset(text, '#', sizeof(text));
    EXPECT_EQ(-1, Format(text, 4, "%s-%d", "abc", 12345));
    EXPECT_EQ("abc-####", std::string(text, 8));
    memset(text, '#', sizeof(text));
    EXPECT_EQ(4, Format(text, 4, "%02u%c%c", 1u, 'x', 'y'));
    EXPECT_EQ("01xy####", std::string(text, 8));
    EXPECT_EQ(3, Format(text, 4, "%s", "abc"));
    EXPECT_STREQ("abc", text);
}

/* msvcrt or C reads each of these otherwise: misread, one would print other
 * text or shift every later argument. */
TEST(FormatText, RefusesWhatItDoesNotImplement)
{
    for (const char *format : { "%+d", "% d", "%#x", "%zu", "%I64u", "%llu", "%hu", "%ls", "%lc", "%q", "%p",
                                "%*d", "%.3d", "%.1c", "%05s", "%5%", "%o", "%", "%18446744073709551617d" }) {
        char text[16];
        /* Strings, so that a formatter that misreads one does not crash. */
        EXPECT_EQ(-1, Format(text, sizeof(text), format, "", "")) << format;
    }
}

/* kxsetup.exe's _vsnprintf slot holds FormatText (runtime/crt.cpp). */
#ifdef _WIN64
extern "C" void *vsnprintfSlot __asm__("__imp__vsnprintf");
#else
extern "C" void *vsnprintfSlot __asm__("__imp___vsnprintf");
#endif

TEST(FormatText, FailsStrsafeKeepingTheTextBeforeARefusal)
{
    ScopedImport formatter(&vsnprintfSlot, reinterpret_cast<void *>(FormatText));
    char text[8];
    memset(text, '#', sizeof(text));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfA(text, ARRAYSIZE(text), "n=%I64u", 5ULL));
    EXPECT_EQ(std::string("n=\0\0\0\0\0\0", 8), std::string(text, 8));
}
