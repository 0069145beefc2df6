// Payload archive: checksum, reading order, limits and the faults of broken archives.
#include "payload/archive.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "payload/archive_builder.h"
#include "tests/unit/test_util.h"

namespace {

uint32_t U32At(const Bytes& a, size_t at) {
    return a[at] | a[at + 1] << 8 | a[at + 2] << 16 | static_cast<uint32_t>(a[at + 3]) << 24;
}

// Directory "HlpPic" (positions 12..30, as in the shipped archive), then
//   "a.txt" (index 0, 3 bytes) at 31 (name at 51, data at 57), "b.gif" (index 1, 0 bytes) at 60,
//   "c" (index 1, 2 bytes) at 86 (data at 108); archiveLength 110.
Bytes SmallArchive() {
    return BuiltArchive(
        {{0x30, 0x01D0000000000001ull, "HlpPic"}},
        {{0x20, 0x01D5AABBCCDDEEFFull, 0, "a.txt", B("abc")}, {0x21, 2, 1, "b.gif", {}}, {0x22, 3, 1, "c", B("xy")}});
}

ArchiveError Validate(const Bytes& a) {
    ArchiveError error{};
    Bytes exact(a);  // an exact-size heap copy: any read past the end trips the address sanitizer
    exact.shrink_to_fit();
    if (ValidateArchive(exact.data(), exact.size(), error)) error.fault = ArchiveFault::None;
    return error;
}

}  // namespace

// The checksum as the format has it (no final inversion), over archiveLength bytes from 12: the
// body and the first 12 bytes of the 16-byte zero tail.
TEST(Archive, ChecksumAndLayout) {
    EXPECT_EQ(ChecksumCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x340BC6D9u);
    const Bytes a = SmallArchive();
    ASSERT_EQ(a.size(), 110u + 16);
    EXPECT_EQ(U32At(a, 4), ChecksumCrc32(a.data() + 12, 110));
}

TEST(Archive, BrokenArchivesGiveFaultAndOffset) {
    const std::tuple<const char*, void (*)(Bytes&), ArchiveFault, uint32_t> cases[] = {
        {"wrong checksum is no fault", [](Bytes& a) { a[4] ^= 1; }, ArchiveFault::None, 0},
        {"header cut", [](Bytes& a) { a.resize(11); }, ArchiveFault::HeaderTruncated, 0},
        {"archiveLength 11", [](Bytes& a) { SetU32(a, 0, 11); }, ArchiveFault::ArchiveLengthTooSmall, 0},
        {"archiveLength past bytes", [](Bytes& a) { SetU32(a, 0, 127); }, ArchiveFault::ArchiveLengthBeyondBytes, 0},
        {"archiveLength huge", [](Bytes& a) { SetU32(a, 0, 0xFFFFFFFF); }, ArchiveFault::ArchiveLengthBeyondBytes, 0},
        // 98 bytes after the header hold at most 7 smallest entries of 14 bytes.
        {"directoryCount 8", [](Bytes& a) { SetU32(a, 8, 8); }, ArchiveFault::DirectoryCountTooLarge, 8},
        {"directoryCount huge", [](Bytes& a) { SetU32(a, 8, 0xFFFFFFFF); }, ArchiveFault::DirectoryCountTooLarge, 8},
        {"file record read as a directory", [](Bytes& a) { SetU32(a, 8, 2); }, ArchiveFault::DirectoryNameEmpty, 43},
        {"directory name cut", [](Bytes& a) { SetU32(a, 0, 28); }, ArchiveFault::DirectoryNameUnterminated, 24},
        {"directory entry cut", [](Bytes& a) { SetU32(a, 0, 40), SetU32(a, 8, 2); },
         ArchiveFault::DirectoryEntryTruncated, 31},
        {"directory name empty", [](Bytes& a) { a[24] = 0; }, ArchiveFault::DirectoryNameEmpty, 24},
        {"directory absolute", [](Bytes& a) { a[24] = '\\'; }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"directory dotdot", [](Bytes& a) { memcpy(&a[24], "..\\Pic", 6); }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"file record cut", [](Bytes& a) { SetU32(a, 0, 50); }, ArchiveFault::FileEntryTruncated, 31},
        {"file name unterminated", [](Bytes& a) { SetU32(a, 0, 31 + 24); }, ArchiveFault::FileNameUnterminated, 51},
        {"file name empty", [](Bytes& a) { a[51] = 0; }, ArchiveFault::FileNameEmpty, 51},
        {"file name with colon", [](Bytes& a) { a[52] = ':'; }, ArchiveFault::FileNameUnsafe, 51},
        {"directoryIndex 2 of 1", [](Bytes& a) { SetU32(a, 60 + 12, 2); }, ArchiveFault::DirectoryIndexTooLarge, 72},
        {"data past archiveLength", [](Bytes& a) { SetU32(a, 31 + 16, 100); }, ArchiveFault::FileDataTruncated, 57},
        {"data length 4 GB", [](Bytes& a) { SetU32(a, 31 + 16, 0xFFFFFFFF); }, ArchiveFault::FileDataTruncated, 57},
        {"last data one past", [](Bytes& a) { SetU32(a, 86 + 16, 3); }, ArchiveFault::FileDataTruncated, 108},
    };
    for (const auto& [what, mutate, fault, offset] : cases) {
        SCOPED_TRACE(what);
        Bytes a = SmallArchive();
        mutate(a);
        const ArchiveError error = Validate(a);
        EXPECT_EQ(ArchiveFaultText(error.fault), ArchiveFaultText(fault));
        EXPECT_EQ(error.offset, offset);
    }
}

TEST(Archive, NameChecksAndCombinedPathLength) {
    const std::tuple<const char*, bool, bool> cases[] = {
        // The rules for each part are one table with pack's (tests/tools); here the path shape.
        {"HlpPic", true, true},     {"a\\b", true, false},  {"a/b", true, false},  {"\\a", false, false},
        {"/a", false, false},       {"C:a", false, false},  {"a\\", false, false}, {"a\\\\b", false, false},
        {"a\\..\\b", false, false}, {"a\\.", false, false},
    };
    for (const auto& [name, directoryOk, fileOk] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CheckDirectoryName(name, strlen(name)) == ArchiveFault::None, directoryOk);
        EXPECT_EQ(CheckFileName(name, strlen(name)) == ArchiveFault::None, fileOk);
    }
    const std::string longest(1023, 'n'), tooLong(1024, 'n');
    EXPECT_EQ(CheckDirectoryName(longest.data(), longest.size()), ArchiveFault::None);
    EXPECT_EQ(CheckDirectoryName(tooLong.data(), tooLong.size()), ArchiveFault::DirectoryNameTooLong);
    EXPECT_EQ(CheckFileName(tooLong.data(), tooLong.size()), ArchiveFault::FileNameTooLong);

    // 1000-byte directory name: with a 22-byte file name the path is 1023 bytes, with 23 too long.
    for (size_t fileLength : {22u, 23u}) {
        SCOPED_TRACE(fileLength);
        Bytes out = BuiltArchive({{0x30, 0, std::string(1000, 'd')}}, {{0x20, 0, 0, std::string(fileLength, 'f'), {}}});
        ASSERT_FALSE(out.empty());
        const size_t record = 12 + 12 + 1001;
        EXPECT_EQ(Validate(out).fault, ArchiveFault::None);  // in the installation folder: fine
        SetU32(out, record + 12, 1);                         // now in the long directory
        const ArchiveError error = Validate(out);
        EXPECT_EQ(error.fault, fileLength == 22 ? ArchiveFault::None : ArchiveFault::FileNameTooLong);
        EXPECT_EQ(error.offset, fileLength == 22 ? 0 : record + 20);
    }
}
