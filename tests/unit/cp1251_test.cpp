// The Windows-1251 names that pelpack and the POSIX extraction host work with. Literals meant as
// UTF-8 are u8: plain narrow literals are compiled to Windows-1251. (What the host writes, times to
// 100 ns and attributes, is what every Wine scenario compares the installed files with; a time
// pack cannot give is refused in pelpack_cli_test.sh.)
#include "base/cp1251.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <tuple>

#include "tests/unit/test_util.h"

TEST(Cp1251, MatchesTheSystemTableAndRoundTripsEveryByte) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        const char in[2] = {static_cast<char>(b), 0};
        char utf8[8];
        ASSERT_TRUE(Cp1251ToUtf8(utf8, sizeof utf8, in));
        char expected[8] = "\xC2\x98";  // 0x98 is unassigned: U+0098, as the system tables give it
        char* src = const_cast<char*>(in);
        char* dst = expected;
        size_t srcLeft = 1, dstLeft = sizeof expected - 1;
        if (b != 0x98) {
            ASSERT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1));
            *dst = 0;
        }
        EXPECT_STREQ(utf8, expected);
        char back[4];
        ASSERT_EQ(Utf8ToCp1251(back, sizeof back, utf8), Utf8ToCp1251Result::Ok);
        EXPECT_STREQ(back, in);
    }
    iconv_close(cd);
}

// Malformed UTF-8 (an overlong form, a surrogate, a cut or lone sequence) has no form, as a letter
// Windows-1251 lacks has none; the output never ends in half a character.
TEST(Cp1251, RefusesWhatHasNoFormAndStaysBounded) {
    const std::tuple<const char*, size_t> bad[] = {
        {u8"ab\u4E2D", 2}, {"a\xC0\x80", 1}, {"\xED\xA0\x80", 0},
        {"a\xE2\x82", 1},  {"\x80", 0},      {"\xF8\x88\x80\x80\x80", 0},
    };
    for (const auto& [utf8, failedAt] : bad) {
        SCOPED_TRACE(utf8);
        char out[16];
        size_t at = 99;
        EXPECT_EQ(Utf8ToCp1251(out, sizeof out, utf8, static_cast<size_t>(-1), &at), Utf8ToCp1251Result::Unconvertible);
        EXPECT_EQ(at, failedAt);
    }
    GuardedText<5> s;
    EXPECT_FALSE(Cp1251ToUtf8(s.text, sizeof s.text, "\xCF\xE5\xEB"));  // 2 bytes each
    EXPECT_STREQ(s.text, u8"Пе");
    EXPECT_FALSE(Cp1251ToUtf8(s.text, 4, "\xCF\xE5"));
    EXPECT_STREQ(s.text, u8"П");  // not half of "е"
    EXPECT_TRUE(s.UnwrittenFrom());
    char small[3];
    EXPECT_EQ(Utf8ToCp1251(small, sizeof small, u8"Пел"), Utf8ToCp1251Result::Cut);
    EXPECT_STREQ(small, "\xCF\xE5");
}
