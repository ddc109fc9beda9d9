#include "listing/visible_text.h"

#include <gtest/gtest.h>

namespace quaverly::listing {
namespace {

TEST(VisibleText, ControlsThatDriveATerminalAreShownNotSent) {
    // Retitle the window, clear the screen, a new line and a bell.
    EXPECT_EQ(VisibleText("\x1B]0;owned\x07x\x1B[2Jy\nz\x7F"),
              "\\x1B]0;owned\\x07x\\x1B[2Jy\\x0Az\\x7F");
    EXPECT_EQ(VisibleText("plain name.mp3"), "plain name.mp3");
}

#ifndef _WIN32
TEST(VisibleText, Utf8IsKeptAndWhatIsNotTextIsShownByteForByte) {
    EXPECT_EQ(VisibleText("Bj\xC3\xB6rk \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC"),
              "Bj\xC3\xB6rk \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC");
    // A C1 control (CSI as U+009B), a stray continuation byte, a cut sequence, an overlong
    // slash and a surrogate.
    EXPECT_EQ(VisibleText("a\xC2\x9B"
                          "2Jb"),
              "a\\xC2\\x9B2Jb");
    EXPECT_EQ(VisibleText("\x80|\xE6\x97|\xC0\xAF|\xED\xA0\x80"),
              "\\x80|\\xE6\\x97|\\xC0\\xAF|\\xED\\xA0\\x80");
}

TEST(VisibleText, CutToColumnsCountsWideCharactersTwiceAndNeverSplitsOne) {
    EXPECT_EQ(CutToColumns("abcdef", 4), "abcd");
    // Each ideograph is two columns and three bytes.
    EXPECT_EQ(CutToColumns("ab\xE6\x97\xA5\xE6\x9C\xAC", 5), "ab\xE6\x97\xA5");
    EXPECT_EQ(CutToColumns("ab\xE6\x97\xA5\xE6\x9C\xAC", 3), "ab");
    // A combining accent stays with its letter.
    EXPECT_EQ(CutToColumns("e\xCC\x81x", 1), "e\xCC\x81");
}
#endif

} // namespace
} // namespace quaverly::listing
