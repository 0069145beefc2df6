// The POSIX extraction host on real temporary folders. Literals meant as UTF-8 are u8: plain
// narrow literals are compiled to Windows-1251.
#include "payload/extract_host_posix.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "base/cp1251.h"
#include "payload/archive_builder.h"
#include "tests/unit/test_util.h"

namespace {

class PosixExtract : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pel-extract-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        const std::string command = "chmod -R u+w '" + root_ + "' && rm -rf '" + root_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    bool Extract(const std::vector<ArchiveDirectorySpec>& dirs, const std::vector<ArchiveFileSpec>& files,
                 const std::string& folder) {
        const Bytes archive = BuiltArchive(dirs, files);
        return ExtractArchiveToFolder(archive.data(), archive.size(), folder.c_str());
    }
    std::string root_;
};

// 2021-06-02 plus 1234567 ticks: every 100 ns digit is significant.
const uint64_t kTime = 132670656001234567ull;

uint64_t FileTimeOf(const struct timespec& t) {
    uint64_t fileTime = 0;
    EXPECT_TRUE(TimespecToFileTime(t, fileTime));
    return fileTime;
}

}  // namespace

// Times at 100 ns, read-only as permissions, hidden and system as Wine keeps them; a second
// extraction replaces each earlier file whole: the archive's attributes, none of the earlier ones.
TEST_F(PosixExtract, TimesAndAttributesThenReplacedWhole) {
    const std::string folder = root_ + "/p";
    const std::tuple<const char*, uint32_t, const char*> cases[] = {{"plain", 0x20, nullptr},
                                                                    {"readonly", 0x21, nullptr},
                                                                    {"hidden", 0x22, "0x2"},
                                                                    {"hidden-system", 0x26, "0x6"},
                                                                    {"readonly-hidden", 0x23, "0x2"}};
    for (uint64_t time : {kTime, kTime + 1}) {
        std::vector<ArchiveFileSpec> files;
        for (const auto& [name, attributes, dosattrib] : cases)
            files.push_back({time == kTime ? attributes : 0x20u, time, 0, name, B(name)});
        ASSERT_TRUE(Extract({}, files, folder));
        for (const auto& [name, attributes, dosattrib] : cases) {
            SCOPED_TRACE(testing::Message() << name << " " << time);
            const std::string path = folder + "/" + name;
            const bool first = time == kTime;
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(FileTimeOf(st.st_mtim), time);
            EXPECT_EQ(FileTimeOf(st.st_atim), time);
            EXPECT_EQ((st.st_mode & 0222) != 0, !first || (attributes & 1) == 0);
            char value[32] = {};
            const ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
            if (n < 0 && errno == ENOTSUP) GTEST_SKIP() << "no user extended attributes here";
            EXPECT_EQ(std::string(value, n > 0 ? n : 0), first && dosattrib ? dosattrib : "");
        }
    }
    EXPECT_NE(access((folder + "/~pel.tmp").c_str(), F_OK), 0);
}

TEST_F(PosixExtract, FolderWithoutWindows1251FormIsRefused) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Extract({}, {}, root_ + "/\xE4\xB8\xAD"));  // a CJK character
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Windows-1251"), std::string::npos);
}

TEST(PosixFileTime, ConversionKeeps100NanosecondsBothSidesOf1970) {
    const uint64_t epoch = 116444736000000000ull;
    const std::tuple<uint64_t, long long, long> cases[] = {
        {epoch, 0, 0},          {epoch + 1, 0, 100}, {epoch - 1, -1, 999999900}, {kTime, 1622592000, 123456700},
        {0, -11644473600LL, 0},
    };
    for (const auto& [fileTime, sec, nsec] : cases) {
        SCOPED_TRACE(fileTime);
        const struct timespec t = FileTimeToTimespec(fileTime);
        EXPECT_EQ(t.tv_sec, sec);
        EXPECT_EQ(t.tv_nsec, nsec);
        EXPECT_EQ(FileTimeOf(t), fileTime);
    }
    // Outside 1601 to 30828 there is no FILETIME; nothing may wrap or overflow.
    uint64_t out = 0;
    for (long long sec :
         {-11644473601LL, 910692730086LL, static_cast<long long>(INT64_MAX), static_cast<long long>(INT64_MIN)}) {
        SCOPED_TRACE(sec);
        const struct timespec t = {static_cast<time_t>(sec), 0};
        EXPECT_FALSE(TimespecToFileTime(t, out));
    }
    EXPECT_TRUE(TimespecToFileTime({910692730084LL, 999999999L}, out));
    EXPECT_LE(out, static_cast<uint64_t>(INT64_MAX));
}

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
    EXPECT_FALSE(Cp1251ToUtf8(s.text, sizeof s.text, "\xCF\xE5\xEB"));  // 2 bytes each: "П" fits, "е" does not
    EXPECT_STREQ(s.text, u8"Пе");
    EXPECT_FALSE(Cp1251ToUtf8(s.text, 4, "\xCF\xE5"));
    EXPECT_STREQ(s.text, u8"П");  // no half character
    EXPECT_TRUE(s.UnwrittenFrom());
    char small[3];
    EXPECT_EQ(Utf8ToCp1251(small, sizeof small, u8"Пел"), Utf8ToCp1251Result::Cut);
    EXPECT_STREQ(small, "\xCF\xE5");
}
