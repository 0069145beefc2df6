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
