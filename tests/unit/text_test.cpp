// Bounded text helpers. Cutting, terminating and appending are checked through the buffers of
// the tests that use them (guarded texts of the browser, the links, the record); here an
// unterminated buffer, which none of them holds.
#include "base/text.h"

#include <gtest/gtest.h>
#include <string.h>

TEST(Text, UnterminatedBufferIsNeverReadPast) {
    char raw[3] = {'a', 'b', 'c'};  // no terminator
    EXPECT_FALSE(AppendText(raw, "d"));
    EXPECT_EQ(memcmp(raw, "abc", 3), 0);
    EXPECT_EQ(TextLength(raw), 3u);
}
