#include <gtest/gtest.h>

#include "platform/EditText.h"

TEST(EditText, LineEndsConvertBothWaysWithoutTouchingDoubleByteCharacters) {
    const struct {
        const char* lf;
        const char* crlf;
    } cases[] = {
        {"", ""},
        {"一行", "一行"},
        {"ソ\n表\n", "ソ\r\n表\r\n"},  // 0x5C second bytes stay as they are
        {"\n\n", "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LfToCrLf(c.lf), c.crlf) << c.lf;
        EXPECT_EQ(CrLfToLf(c.crlf), c.lf) << c.lf;
    }
    // A CR LF already there is not doubled.
    EXPECT_EQ(LfToCrLf("a\r\nb\nc"), "a\r\nb\r\nc");
}
