// The payload archive reader: every length is checked against what the window holds before use.
#include "payload/archive.h"

#include <string.h>

#include "base/text.h"

namespace {

// The first length bytes of text equal the whole of word, ASCII letters without case.
bool EqualsIgnoringAsciiCase(const char* text, size_t length, const char* word) {
    for (size_t i = 0; i < length; ++i) {
        char a = text[i], b = word[i];
        if (b == 0) return false;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return word[length] == 0;
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The smallest directory entry: fixed fields, one name byte, its zero.
const size_t kSmallestDirectoryEntry = kDirectoryEntryFixedSize + 2;

ArchiveStep Fail(ArchiveError& error, ArchiveFault fault, size_t offset) {
    error.fault = fault;
    error.offset = static_cast<uint32_t>(offset);
    return ArchiveStep::Broken;
}

// The bytes at archive positions [from, readEnd) where readEnd is archiveLength: readEnd never
// exceeds windowEnd (checked when the walk starts), so the pointer stays inside the window.
const uint8_t* At(const ArchiveReader& reader, size_t position) {
    return reader.window + (position - reader.windowStart);
}

// Finds the name's zero byte below archiveLength. Returns false when there is none.
bool FindNameEnd(const ArchiveReader& reader, size_t nameStart, size_t& nameLength) {
    const size_t end = reader.header.archiveLength;
    const uint8_t* p = At(reader, nameStart);
    for (size_t n = 0; nameStart + n < end; ++n) {
        if (p[n] == 0) {
            nameLength = n;
            return true;
        }
    }
    return false;
}

bool CheckHeaderLimits(ArchiveReader& reader, ArchiveError& error) {
    const size_t length = reader.header.archiveLength;
    if (length < kArchiveHeaderSize) {
        Fail(error, ArchiveFault::ArchiveLengthTooSmall, 0);
        return false;
    }
    if (length > reader.windowEnd) {
        Fail(error, ArchiveFault::ArchiveLengthBeyondBytes, 0);
        return false;
    }
    // Checked before anything sized by directoryCount is allocated.
    if (reader.header.directoryCount > (length - kArchiveHeaderSize) / kSmallestDirectoryEntry) {
        Fail(error, ArchiveFault::DirectoryCountTooLarge, 8);
        return false;
    }
    return true;
}

// The base name (up to the first dot, trailing spaces dropped) is a device: opening it reaches
// the device, not a file in the folder.
bool IsDeviceName(const char* part, size_t length) {
    // One text, a name after each zero; "COM" and "LPT" with a digit 1 to 9.
    static const char kDevices[] = "CON\0PRN\0AUX\0NUL\0CONIN$\0CONOUT$\0";
    size_t base = 0;
    while (base < length && part[base] != '.') ++base;
    while (base > 0 && part[base - 1] == ' ') --base;
    for (const char* device = kDevices; *device != 0; device += strlen(device) + 1)
        if (EqualsIgnoringAsciiCase(part, base, device)) return true;
    return base == 4 && part[3] >= '1' && part[3] <= '9' &&
           (EqualsIgnoringAsciiCase(part, 3, "COM") || EqualsIgnoringAsciiCase(part, 3, "LPT"));
}

}  // namespace

uint32_t ChecksumCrc32(const uint8_t* bytes, size_t length) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t reg = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) reg = table[(reg ^ bytes[i]) & 0xFF] ^ (reg >> 8);
    return reg;
}

NameFault CheckNamePart(const char* part, size_t length) {
    if (length == 0) return NameFault::Empty;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(part[i]);
        if (c < 0x20 || strchr("<>:\"/\\|?*", c) != nullptr) return NameFault::BadCharacter;
    }
    // Windows drops a trailing dot or space: "Tolva.dat." would open "Tolva.dat", ".." the parent.
    if (part[length - 1] == '.' || part[length - 1] == ' ') return NameFault::TrailingDotOrSpace;
    if (IsDeviceName(part, length)) return NameFault::DeviceName;
    if (length >= 4 && EqualsIgnoringAsciiCase(part, 4, kReservedPrefix)) return NameFault::Reserved;
    return NameFault::None;
}

ArchiveFault CheckDirectoryName(const char* name, size_t length) {
    if (length == 0) return ArchiveFault::DirectoryNameEmpty;
    if (length >= kArchivePathCapacity) return ArchiveFault::DirectoryNameTooLong;
    // Parts between separators ("\" or "/"), each a name Windows creates as it stands; an empty
    // part also refuses a leading or trailing separator, so no absolute path.
    size_t partStart = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && name[i] != '\\' && name[i] != '/') continue;
        if (CheckNamePart(name + partStart, i - partStart) != NameFault::None) return ArchiveFault::DirectoryNameUnsafe;
        partStart = i + 1;
    }
    return ArchiveFault::None;
}

ArchiveFault CheckFileName(const char* name, size_t length) {
    if (length == 0) return ArchiveFault::FileNameEmpty;
    if (length >= kArchivePathCapacity) return ArchiveFault::FileNameTooLong;
    if (CheckNamePart(name, length) != NameFault::None) return ArchiveFault::FileNameUnsafe;
    return ArchiveFault::None;
}

bool OpenArchive(ArchiveReader& reader, const uint8_t* bytes, size_t size, ArchiveError& error) {
    error.fault = ArchiveFault::None;
    error.offset = 0;
    reader = ArchiveReader{};
    if (size < kArchiveHeaderSize) {
        Fail(error, ArchiveFault::HeaderTruncated, 0);
        return false;
    }
    reader.window = bytes;
    reader.windowStart = 0;
    reader.windowEnd = size;
    reader.header.archiveLength = ReadU32(bytes);
    reader.header.checksum = ReadU32(bytes + 4);
    reader.header.directoryCount = ReadU32(bytes + 8);
    reader.position = kArchiveHeaderSize;
    return CheckHeaderLimits(reader, error);
}

bool OpenArchiveBody(ArchiveReader& reader, const uint8_t* body, size_t bodySize, uint32_t archiveLength,
                     uint32_t directoryCount, ArchiveError& error) {
    error.fault = ArchiveFault::None;
    error.offset = 0;
    reader = ArchiveReader{};
    reader.window = body;
    reader.windowStart = kArchiveHeaderSize;
    reader.windowEnd = kArchiveHeaderSize + bodySize;
    reader.header.archiveLength = archiveLength;
    reader.header.directoryCount = directoryCount;
    reader.position = kArchiveHeaderSize;
    return CheckHeaderLimits(reader, error);
}

// The name that follows a record's fixed fields: zero-terminated inside archiveLength and
// acceptable to check. Gives the name and its length, or the fault at the name's offset.
static bool ReadRecordName(const ArchiveReader& reader, size_t nameStart, ArchiveFault unterminated,
                           ArchiveFault (*check)(const char*, size_t), const char*& name, size_t& nameLength,
                           ArchiveError& error) {
    if (!FindNameEnd(reader, nameStart, nameLength)) {
        Fail(error, unterminated, nameStart);
        return false;
    }
    name = reinterpret_cast<const char*>(At(reader, nameStart));
    const ArchiveFault fault = check(name, nameLength);
    if (fault == ArchiveFault::None) return true;
    Fail(error, fault, nameStart);
    return false;
}

ArchiveStep NextDirectoryEntry(ArchiveReader& reader, DirectoryEntry& entry, ArchiveError& error) {
    if (reader.directoriesRead >= reader.header.directoryCount) return ArchiveStep::End;
    const size_t start = reader.position;
    const size_t end = reader.header.archiveLength;
    if (start > end || end - start < kDirectoryEntryFixedSize)
        return Fail(error, ArchiveFault::DirectoryEntryTruncated, start);
    const uint8_t* p = At(reader, start);
    const size_t nameStart = start + kDirectoryEntryFixedSize;
    const char* name = nullptr;
    size_t nameLength = 0;
    if (!ReadRecordName(reader, nameStart, ArchiveFault::DirectoryNameUnterminated, CheckDirectoryName, name,
                        nameLength, error))
        return ArchiveStep::Broken;
    entry.offset = static_cast<uint32_t>(start);
    entry.attributes = ReadU32(p);
    entry.time = static_cast<uint64_t>(ReadU32(p + 4)) | static_cast<uint64_t>(ReadU32(p + 8)) << 32;
    entry.name = name;
    entry.nameLength = static_cast<uint32_t>(nameLength);
    reader.position = nameStart + nameLength + 1;
    ++reader.directoriesRead;
    return ArchiveStep::Item;
}

ArchiveStep NextFileEntry(ArchiveReader& reader, FileEntry& entry, ArchiveError& error) {
    DirectoryEntry skipped;
    for (;;) {
        const ArchiveStep step = NextDirectoryEntry(reader, skipped, error);
        if (step == ArchiveStep::End) break;
        if (step == ArchiveStep::Broken) return step;
    }
    const size_t start = reader.position;
    const size_t end = reader.header.archiveLength;
    if (start >= end) return ArchiveStep::End;
    if (end - start < kFileEntryFixedSize) return Fail(error, ArchiveFault::FileEntryTruncated, start);
    const uint8_t* p = At(reader, start);
    const size_t nameStart = start + kFileEntryFixedSize;
    const char* name = nullptr;
    size_t nameLength = 0;
    if (!ReadRecordName(reader, nameStart, ArchiveFault::FileNameUnterminated, CheckFileName, name, nameLength, error))
        return ArchiveStep::Broken;
    const uint32_t directoryIndex = ReadU32(p + 12);
    if (directoryIndex > reader.header.directoryCount)
        return Fail(error, ArchiveFault::DirectoryIndexTooLarge, start + 12);
    const uint32_t dataLength = ReadU32(p + 16);
    const size_t dataStart = nameStart + nameLength + 1;
    if (dataLength > end - dataStart) return Fail(error, ArchiveFault::FileDataTruncated, dataStart);
    entry.offset = static_cast<uint32_t>(start);
    entry.attributes = ReadU32(p);
    entry.time = static_cast<uint64_t>(ReadU32(p + 4)) | static_cast<uint64_t>(ReadU32(p + 8)) << 32;
    entry.directoryIndex = directoryIndex;
    entry.dataLength = dataLength;
    entry.name = name;
    entry.nameLength = static_cast<uint32_t>(nameLength);
    entry.data = At(reader, dataStart);
    reader.position = dataStart + dataLength;
    return ArchiveStep::Item;
}

bool ValidateArchiveWalk(ArchiveReader reader, uint16_t* directoryNameLengths, ArchiveError& error) {
    error.fault = ArchiveFault::None;
    error.offset = 0;
    DirectoryEntry directory;
    for (;;) {
        const uint32_t k = reader.directoriesRead;
        const ArchiveStep step = NextDirectoryEntry(reader, directory, error);
        if (step == ArchiveStep::Broken) return false;
        if (step == ArchiveStep::End) break;
        directoryNameLengths[k] = static_cast<uint16_t>(directory.nameLength);
    }
    FileEntry file;
    for (;;) {
        const ArchiveStep step = NextFileEntry(reader, file, error);
        if (step == ArchiveStep::Broken) return false;
        if (step == ArchiveStep::End) return true;
        if (file.directoryIndex != 0) {
            // Directory name, "\", file name, and the zero: within the 1024-byte path text.
            const size_t pathLength =
                static_cast<size_t>(directoryNameLengths[file.directoryIndex - 1]) + 1 + file.nameLength;
            if (pathLength >= kArchivePathCapacity) {
                error.fault = ArchiveFault::FileNameTooLong;
                error.offset = file.offset + static_cast<uint32_t>(kFileEntryFixedSize);
                return false;
            }
        }
    }
}
