// Bounded text helpers: the terminator lands inside the buffer and nothing runs past it.
#include "base/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include "tests/unit/test_util.h"

TEST(Text, CopyTruncatesAndTerminates) {
    char buf[8];
    GuardedText<4> s;
    EXPECT_FALSE(CopyText(s.text, "abcdef"));
    EXPECT_STREQ(s.text, "abc");
    EXPECT_TRUE(s.UnwrittenFrom());
    EXPECT_TRUE(CopyText(buf, "abc"));
    EXPECT_STREQ(buf, "abc");
    EXPECT_TRUE(CopyTextN(buf, sizeof buf, "abcdef", 2));
    EXPECT_STREQ(buf, "ab");
}

TEST(Text, AppendBoundedAndRefusesUnterminated) {
    GuardedText<6> s;
    ASSERT_TRUE(CopyText(s.text, "ab"));
    EXPECT_TRUE(AppendText(s.text, "cd"));
    EXPECT_STREQ(s.text, "abcd");
    EXPECT_FALSE(AppendText(s.text, "efg"));
    EXPECT_STREQ(s.text, "abcde");
    EXPECT_TRUE(s.UnwrittenFrom());
    char raw[3] = {'a', 'b', 'c'};  // no terminator
    EXPECT_FALSE(AppendText(raw, "d"));
    EXPECT_EQ(memcmp(raw, "abc", 3), 0);
    EXPECT_EQ(TextLength(raw), 3u);
}
