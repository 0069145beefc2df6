// Payload archive: checksum, reading order, limits and the faults of broken archives.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "payload/archive.h"
#include "payload/archive_builder.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

uint32_t U32At(const std::vector<uint8_t>& a, size_t at) {
    return a[at] | a[at + 1] << 8 | a[at + 2] << 16 | static_cast<uint32_t>(a[at + 3]) << 24;
}
void SetU32(std::vector<uint8_t>& a, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) a[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Directory "HlpPic" (positions 12..30, as in the shipped archive), then
//   "a.txt" (index 0, 3 bytes) at 31 (name at 51, data at 57), "b.gif" (index 1, 0 bytes) at 60,
//   "c" (index 1, 2 bytes) at 86 (data at 108); archiveLength 110.
std::vector<uint8_t> SmallArchive() {
    std::vector<ArchiveDirectorySpec> dirs = {{0x30, 0x01D0000000000001ull, "HlpPic"}};
    std::vector<ArchiveFileSpec> files = {
        {0x20, 0x01D5AABBCCDDEEFFull, 0, "a.txt", Bytes("abc")},
        {0x21, 2, 1, "b.gif", {}},
        {0x22, 3, 1, "c", Bytes("xy")},
    };
    std::vector<uint8_t> out;
    std::string message;
    EXPECT_TRUE(BuildArchive(dirs, files, out, message)) << message;
    return out;
}

ArchiveError Validate(const std::vector<uint8_t>& a) {
    ArchiveError error{};
    // An exact-size heap copy, so that any read past the end trips the address sanitizer.
    std::vector<uint8_t> exact(a);
    exact.shrink_to_fit();
    if (ValidateArchive(exact.data(), exact.size(), error)) error.fault = ArchiveFault::None;
    return error;
}

}  // namespace

TEST(Archive, ChecksumCheckValues) {
    EXPECT_EQ(ChecksumCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x340BC6D9u);
    EXPECT_EQ(ChecksumCrc32(nullptr, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ChecksumCrc32(reinterpret_cast<const uint8_t*>("a"), 1), 0x174841BCu);  // ~zlib's
}

TEST(Archive, BuilderLayoutAndChecksumRange) {
    const std::vector<uint8_t> a = SmallArchive();
    const uint32_t archiveLength = U32At(a, 0);
    EXPECT_EQ(archiveLength, 110u);
    EXPECT_EQ(a.size(), archiveLength + 16u);
    EXPECT_EQ(U32At(a, 8), 1u);
    for (size_t i = archiveLength; i < a.size(); ++i) EXPECT_EQ(a[i], 0) << i;
    // archiveLength bytes from 12: the body and the first 12 bytes of the zero tail.
    std::vector<uint8_t> range(a.begin() + 12, a.begin() + archiveLength);
    range.resize(range.size() + 12, 0);
    EXPECT_EQ(U32At(a, 4), ChecksumCrc32(range.data(), range.size()));
    EXPECT_EQ(U32At(a, 4), ChecksumCrc32(a.data() + 12, archiveLength));
}

TEST(Archive, ReaderYieldsItemsInOrderWithArchiveOffsets) {
    std::vector<uint8_t> a = SmallArchive();
    const uint32_t archiveLength = U32At(a, 0);
    // The whole archive, and the body copy without the header: the same items and offsets.
    std::vector<uint8_t> body(a.begin() + 12, a.begin() + archiveLength);  // no tail at all
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "whole archive" : "body copy");
        ArchiveReader reader;
        ArchiveError error{};
        ASSERT_TRUE(form == 0 ? OpenArchive(reader, a.data(), a.size(), error)
                              : OpenArchiveBody(reader, body.data(), body.size(), archiveLength, 1, error));
        DirectoryEntry d;
        ASSERT_EQ(NextDirectoryEntry(reader, d, error), ArchiveStep::Item);
        EXPECT_EQ(d.offset, 12u);
        EXPECT_EQ(d.attributes, 0x30u);
        EXPECT_EQ(d.time, 0x01D0000000000001ull);
        EXPECT_STREQ(d.name, "HlpPic");
        EXPECT_EQ(NextDirectoryEntry(reader, d, error), ArchiveStep::End);

        struct Expected { uint32_t offset, attributes, index; const char* name; const char* data; };
        const Expected expected[] = {{31, 0x20, 0, "a.txt", "abc"}, {60, 0x21, 1, "b.gif", ""}, {86, 0x22, 1, "c", "xy"}};
        for (const Expected& e : expected) {
            SCOPED_TRACE(e.name);
            FileEntry f;
            ASSERT_EQ(NextFileEntry(reader, f, error), ArchiveStep::Item);
            EXPECT_EQ(f.offset, e.offset);
            EXPECT_EQ(f.attributes, e.attributes);
            EXPECT_EQ(f.directoryIndex, e.index);
            EXPECT_STREQ(f.name, e.name);
            EXPECT_EQ(f.dataLength, strlen(e.data));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.dataLength), e.data);
        }
        FileEntry f;
        EXPECT_EQ(NextFileEntry(reader, f, error), ArchiveStep::End);
        EXPECT_EQ(reader.position, archiveLength);  // ended exactly there, the tail unread
    }
}

TEST(Archive, FileTimeLowHalfFirst) {
    const std::vector<uint8_t> a = SmallArchive();
    EXPECT_EQ(U32At(a, 31 + 4), 0xCCDDEEFFu);
    EXPECT_EQ(U32At(a, 31 + 8), 0x01D5AABBu);
}

TEST(Archive, NoDirectoriesFirstRecordAt12AndEmptyArchive) {
    std::vector<uint8_t> out;
    std::string message;
    ASSERT_TRUE(BuildArchive({}, {{0x20, 0, 0, "only", {}}}, out, message));
    ArchiveReader reader;
    ArchiveError error{};
    ASSERT_TRUE(OpenArchive(reader, out.data(), out.size(), error));
    FileEntry f;
    ASSERT_EQ(NextFileEntry(reader, f, error), ArchiveStep::Item);
    EXPECT_EQ(f.offset, 12u);
    EXPECT_EQ(f.dataLength, 0u);
    EXPECT_EQ(NextFileEntry(reader, f, error), ArchiveStep::End);

    ASSERT_TRUE(BuildArchive({}, {}, out, message));
    EXPECT_EQ(out.size(), 28u);
    EXPECT_EQ(U32At(out, 0), 12u);
    EXPECT_EQ(Validate(out).fault, ArchiveFault::None);
}

TEST(Archive, WrongChecksumIsNoFault) {
    std::vector<uint8_t> a = SmallArchive();
    SetU32(a, 4, U32At(a, 4) ^ 1);
    EXPECT_EQ(Validate(a).fault, ArchiveFault::None);
}

TEST(Archive, BrokenArchivesGiveFaultAndOffset) {
    struct Case {
        const char* what;
        void (*mutate)(std::vector<uint8_t>&);
        ArchiveFault fault;
        uint32_t offset;
    };
    const Case cases[] = {
        {"header cut", [](std::vector<uint8_t>& a) { a.resize(11); }, ArchiveFault::HeaderTruncated, 0},
        {"archiveLength 11", [](std::vector<uint8_t>& a) { SetU32(a, 0, 11); }, ArchiveFault::ArchiveLengthTooSmall, 0},
        {"archiveLength past bytes", [](std::vector<uint8_t>& a) { SetU32(a, 0, static_cast<uint32_t>(a.size() + 1)); },
         ArchiveFault::ArchiveLengthBeyondBytes, 0},
        {"archiveLength huge", [](std::vector<uint8_t>& a) { SetU32(a, 0, 0xFFFFFFFF); }, ArchiveFault::ArchiveLengthBeyondBytes, 0},
        // 98 bytes after the header hold at most 7 smallest entries of 14 bytes.
        {"directoryCount 8", [](std::vector<uint8_t>& a) { SetU32(a, 8, 8); }, ArchiveFault::DirectoryCountTooLarge, 8},
        {"directoryCount 2: file record read as a directory", [](std::vector<uint8_t>& a) { SetU32(a, 8, 2); },
         ArchiveFault::DirectoryNameEmpty, 43},
        {"directoryCount huge", [](std::vector<uint8_t>& a) { SetU32(a, 8, 0xFFFFFFFF); }, ArchiveFault::DirectoryCountTooLarge, 8},
        {"directory name unterminated", [](std::vector<uint8_t>& a) { SetU32(a, 0, 28); }, ArchiveFault::DirectoryNameUnterminated, 24},
        {"directory entry cut", [](std::vector<uint8_t>& a) { SetU32(a, 0, 40); SetU32(a, 8, 2); }, ArchiveFault::DirectoryEntryTruncated, 31},
        {"directory name empty", [](std::vector<uint8_t>& a) { a[24] = 0; }, ArchiveFault::DirectoryNameEmpty, 24},
        {"directory absolute", [](std::vector<uint8_t>& a) { a[24] = '\\'; }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"directory slash", [](std::vector<uint8_t>& a) { a[24] = '/'; }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"directory drive", [](std::vector<uint8_t>& a) { a[25] = ':'; }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"directory dotdot", [](std::vector<uint8_t>& a) { memcpy(&a[24], "..\\Pic", 6); }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"directory trailing separator", [](std::vector<uint8_t>& a) { a[29] = '\\'; }, ArchiveFault::DirectoryNameUnsafe, 24},
        {"file record cut", [](std::vector<uint8_t>& a) { SetU32(a, 0, 50); }, ArchiveFault::FileEntryTruncated, 31},
        {"file name unterminated", [](std::vector<uint8_t>& a) { SetU32(a, 0, 31 + 24); }, ArchiveFault::FileNameUnterminated, 51},
        {"file name empty", [](std::vector<uint8_t>& a) { a[51] = 0; }, ArchiveFault::FileNameEmpty, 51},
        {"file name backslash", [](std::vector<uint8_t>& a) { a[52] = '\\'; }, ArchiveFault::FileNameUnsafe, 51},
        {"file name slash", [](std::vector<uint8_t>& a) { a[52] = '/'; }, ArchiveFault::FileNameUnsafe, 51},
        {"file name colon", [](std::vector<uint8_t>& a) { a[52] = ':'; }, ArchiveFault::FileNameUnsafe, 51},
        {"file name dotdot", [](std::vector<uint8_t>& a) { memcpy(&a[51], "..", 2); memset(&a[53], 0, 3); }, ArchiveFault::FileNameUnsafe, 51},
        {"directoryIndex 2 of 1", [](std::vector<uint8_t>& a) { SetU32(a, 60 + 12, 2); }, ArchiveFault::DirectoryIndexTooLarge, 72},
        {"data past archiveLength", [](std::vector<uint8_t>& a) { SetU32(a, 31 + 16, 100); }, ArchiveFault::FileDataTruncated, 57},
        {"data length near 4 GB", [](std::vector<uint8_t>& a) { SetU32(a, 31 + 16, 0xFFFFFFFF); }, ArchiveFault::FileDataTruncated, 57},
        {"last data one past", [](std::vector<uint8_t>& a) { SetU32(a, 86 + 16, 3); }, ArchiveFault::FileDataTruncated, 108},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> a = SmallArchive();
        c.mutate(a);
        const ArchiveError error = Validate(a);
        EXPECT_EQ(ArchiveFaultText(error.fault), ArchiveFaultText(c.fault));
        EXPECT_EQ(error.offset, c.offset);
    }
}

TEST(Archive, CombinedPathLengthIsChecked) {
    // 1000-byte directory name: a 22-byte file name fits (1023), a 23-byte one does not.
    for (size_t fileLength : {22u, 23u}) {
        SCOPED_TRACE(fileLength);
        std::vector<uint8_t> out;
        std::string message;
        ASSERT_TRUE(BuildArchive({{0x30, 0, std::string(1000, 'd')}}, {{0x20, 0, 0, std::string(fileLength, 'f'), {}}},
                                 out, message));
        const size_t record = 12 + 12 + 1001;
        EXPECT_EQ(Validate(out).fault, ArchiveFault::None);  // in the installation folder: fine
        SetU32(out, record + 12, 1);                          // now in the long directory
        const ArchiveError error = Validate(out);
        EXPECT_EQ(error.fault, fileLength == 22 ? ArchiveFault::None : ArchiveFault::FileNameTooLong);
        if (fileLength == 23) {
            EXPECT_EQ(error.offset, record + 20);
        }
    }
}

TEST(Archive, EveryShortenedArchiveIsBrokenUnlessCutAtARecordEnd) {
    // archiveLength set to each value with the bytes ending right there: only record ends
    // (and the end of the directory table) give a sound, shorter archive; nothing crashes.
    const std::vector<uint8_t> full = SmallArchive();
    const size_t recordEnds[] = {31, 60, 86, 110};
    for (size_t n = 0; n <= 110; ++n) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> a(full.begin(), full.begin() + n);
        if (n >= 4) SetU32(a, 0, static_cast<uint32_t>(n));
        bool sound = false;
        for (size_t end : recordEnds) sound = sound || n == end;
        EXPECT_EQ(Validate(a).fault == ArchiveFault::None, sound);
    }
}

TEST(Archive, NameChecks) {
    struct Case { const char* name; bool directoryOk; bool fileOk; };
    const Case cases[] = {
        {"HlpPic", true, true},      {"a\\b", true, false},   {"a/b", true, false},
        {"\\a", false, false},       {"/a", false, false},    {"C:a", false, false},
        {"a\\", false, false},       {"a\\\\b", false, false}, {".", false, false},
        {"..", false, false},        {"...", false, false},   {". .", false, false},
        {"a\\..\\b", false, false},  {"a\\.", false, false},  {".hidden", true, true},
        {"a..b", true, true},        {"Пелбриксон", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckDirectoryName(c.name, strlen(c.name)) == ArchiveFault::None, c.directoryOk);
        EXPECT_EQ(CheckFileName(c.name, strlen(c.name)) == ArchiveFault::None, c.fileOk);
    }
    const std::string longest(1023, 'n'), tooLong(1024, 'n');
    EXPECT_EQ(CheckDirectoryName(longest.data(), longest.size()), ArchiveFault::None);
    EXPECT_EQ(CheckDirectoryName(tooLong.data(), tooLong.size()), ArchiveFault::DirectoryNameTooLong);
    EXPECT_EQ(CheckFileName(tooLong.data(), tooLong.size()), ArchiveFault::FileNameTooLong);
}

TEST(Archive, BuilderRefusesWhatTheReaderWouldRefuse) {
    ArchiveBuilder b;
    std::string message;
    ArchiveBegin(b);
    EXPECT_FALSE(ArchiveAddDirectory(b, 0x30, 0, "..", message));
    EXPECT_NE(message.find(".."), std::string::npos);
    ASSERT_TRUE(ArchiveAddDirectory(b, 0x30, 0, std::string(1000, 'd'), message));
    EXPECT_FALSE(ArchiveAddFile(b, 0x20, 0, 2, "x", nullptr, 0, message));
    EXPECT_FALSE(ArchiveAddFile(b, 0x20, 0, 1, std::string(23, 'f'), nullptr, 0, message));
    EXPECT_FALSE(ArchiveAddFile(b, 0x20, 0, 0, "a:b", nullptr, 0, message));
    ASSERT_TRUE(ArchiveAddFile(b, 0x20, 0, 1, std::string(22, 'f'), nullptr, 0, message));
    EXPECT_FALSE(ArchiveAddDirectory(b, 0x30, 0, "late", message));
    std::vector<uint8_t> out;
    ASSERT_TRUE(ArchiveFinish(b, out, message));
    EXPECT_EQ(Validate(out).fault, ArchiveFault::None);  // refused entries left no trace
}

TEST(Archive, DescribeErrorIsBounded) {
    char text[80];
    EXPECT_STREQ(DescribeArchiveError({ArchiveFault::FileNameUnterminated, 1234}, text, sizeof text),
                 "file name runs past archiveLength at offset 1234");
    char small[8];
    memset(small, 'X', sizeof small);
    DescribeArchiveError({ArchiveFault::FileNameUnterminated, 1234}, small, 5);
    EXPECT_STREQ(small, "file");
    EXPECT_EQ(small[5], 'X');
}
