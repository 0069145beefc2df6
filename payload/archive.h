// The payload archive: its byte layout, a bounded reader, the whole-archive check and the checksum.
//
// Every integer is u32 little-endian; nothing is aligned. Positions count from the archive's
// first byte (the resource's first byte).
//
//   position 0   +---------------------------+
//                | archiveLength        u32  |  12 + directory table + file records (tail not counted)
//                | checksum             u32  |  ChecksumCrc32 of archiveLength bytes from position 12
//                | directoryCount       u32  |  0 allowed
//   position 12  +---------------------------+
//                | DirectoryEntry #1         |  attributes u32 | time FILETIME (lo u32, hi u32) |
//                | ...                       |  name: Windows-1251, zero-terminated, 1..1023 bytes
//                | DirectoryEntry #count     |
//                +---------------------------+
//                | FileEntry                 |  attributes u32 | time FILETIME (lo u32, hi u32) |
//                |                           |  directoryIndex u32 (0 = installation folder, k = entry #k) |
//                |                           |  dataLength u32 | name: zero-terminated | data bytes
//                | ...                       |  records follow one another up to archiveLength
//   archiveLength+---------------------------+
//                | 16 zero bytes             |  never read as a record; the first 12 lie in the checksum
//                +---------------------------+
//
// Limits checked here, each a fault with the archive offset where it was found: every item lies
// wholly below archiveLength, and archiveLength within the bytes present; directoryIndex is at
// most directoryCount; names fit their 1024-byte path text (a directory name 1..1023 bytes, a
// directory name + "\" + file name at most 1023 bytes); every part of a name is one Windows
// creates as it stands (CheckNamePart), so no record can reach outside the installation folder,
// a device, or another file than the one it names.
//
// The reader works over a window of the archive: the whole archive (window starting at position 0)
// or the extraction's body copy that lacks the header (window starting at position 12). It reports
// archive positions either way and never reads outside the window it was given.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "base/reserved_name.h"
#include "base/text.h"

const size_t kArchiveHeaderSize = 12;
const size_t kArchiveTailSize = 16;
const size_t kDirectoryEntryFixedSize = 12;     // attributes, time
const size_t kFileEntryFixedSize = 20;          // attributes, time, directoryIndex, dataLength
const size_t kArchivePathCapacity = kPathSize;  // path text with its terminating zero

// CRC-32 with the reflected polynomial 0xEDB88320, register starting at 0xFFFFFFFF, result not
// inverted (CRC-32/JAMCRC): "123456789" gives 0x340BC6D9, no bytes give 0xFFFFFFFF.
uint32_t ChecksumCrc32(const uint8_t* bytes, size_t length);

struct ArchiveHeader {
    uint32_t archiveLength;
    uint32_t checksum;
    uint32_t directoryCount;
};

struct DirectoryEntry {
    uint32_t offset;  // archive position of the entry
    uint32_t attributes;
    uint64_t time;        // FILETIME: 100 ns intervals since 1601-01-01 UTC
    const char* name;     // points into the archive bytes, zero-terminated there
    uint32_t nameLength;  // without the zero
};

struct FileEntry {
    uint32_t offset;  // archive position of the record
    uint32_t attributes;
    uint64_t time;            // FILETIME
    uint32_t directoryIndex;  // 0: installation folder; k: k-th directory entry
    uint32_t dataLength;
    const char* name;     // points into the archive bytes, zero-terminated there
    uint32_t nameLength;  // without the zero
    const uint8_t* data;  // dataLength bytes inside the archive bytes
};

enum class ArchiveFault {
    None,
    HeaderTruncated,            // fewer than 12 bytes
    ArchiveLengthTooSmall,      // archiveLength below 12
    ArchiveLengthBeyondBytes,   // archiveLength past the bytes present
    DirectoryCountTooLarge,     // more entries than archiveLength could hold
    DirectoryEntryTruncated,    // fixed fields run past archiveLength
    DirectoryNameUnterminated,  // no zero byte before archiveLength
    DirectoryNameEmpty,
    DirectoryNameTooLong,  // over 1023 bytes
    DirectoryNameUnsafe,   // absolute, or a part that breaks the name rules below
    FileEntryTruncated,
    FileNameUnterminated,
    FileNameEmpty,
    FileNameTooLong,         // name, or directory + "\" + name, over 1023 bytes
    FileNameUnsafe,          // breaks the name rules below
    DirectoryIndexTooLarge,  // above directoryCount
    FileDataTruncated,       // data runs past archiveLength
};

struct ArchiveError {
    ArchiveFault fault;
    uint32_t offset;  // archive position where the fault was found
};

// English description for the tools, e.g. "file name runs past archiveLength at offset 1234".
// Writes into dst (cap bytes, truncated and terminated); returns dst.
const char* DescribeArchiveError(const ArchiveError& error, char* dst, size_t cap);
// The fault's phrase alone, e.g. "file name runs past archiveLength".
const char* ArchiveFaultText(ArchiveFault fault);

// A walk over one archive. Fill it with OpenArchive or OpenArchiveBody; then call
// NextDirectoryEntry until it gives End, then NextFileEntry until it gives End.
// (NextFileEntry reads past any directory entries not yet taken.)
struct ArchiveReader {
    const uint8_t* window;  // window[0] is archive position windowStart
    size_t windowStart;     // 0 for the whole archive, 12 for a body copy
    size_t windowEnd;       // archive position one past the last byte present
    ArchiveHeader header;
    size_t position;  // archive position of the next item
    uint32_t directoriesRead;
};

enum class ArchiveStep { Item, End, Broken };

// Reads the header from the whole archive (size bytes) and starts the walk at position 12.
// Checks the header's own limits (archiveLength, directoryCount against the bytes present).
bool OpenArchive(ArchiveReader& reader, const uint8_t* bytes, size_t size, ArchiveError& error);
// Starts a walk over a body copy: body[0] is archive position 12, bodySize bytes are present;
// archiveLength and directoryCount come from the header read elsewhere. Same header checks.
bool OpenArchiveBody(ArchiveReader& reader, const uint8_t* body, size_t bodySize, uint32_t archiveLength,
                     uint32_t directoryCount, ArchiveError& error);

ArchiveStep NextDirectoryEntry(ArchiveReader& reader, DirectoryEntry& entry, ArchiveError& error);
// Checks the record's own limits; directoryIndex is checked against directoryCount, but the
// combined directory + file name length only by ValidateArchiveWalk (it needs the directory names).
ArchiveStep NextFileEntry(ArchiveReader& reader, FileEntry& entry, ArchiveError& error);

// Checks every limit over the whole walk from the reader's current state (a fresh reader walks
// all of it) and returns false with the first fault. directoryNameLengths has room for
// directoryCount values (null allowed when directoryCount is 0); it is filled as a side effect.
bool ValidateArchiveWalk(ArchiveReader reader, uint16_t* directoryNameLengths, ArchiveError& error);
// Whole-archive check for the tools: allocates its own length table (false with
// DirectoryCountTooLarge offset 8 if that memory cannot be had).
bool ValidateArchive(const uint8_t* bytes, size_t size, ArchiveError& error);

// Name rules, shared by the reader, the archive builder and pelpack. One part of a path (a file
// name, or one folder of a directory name) must be non-empty, free of control characters and of
// < > : " / \ | ? *, must not end in a dot or a space (Windows drops them: "Tolva.dat." is
// "Tolva.dat"), must not be a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$,
// CONOUT$, with any extension and letter case), and must not begin with the extraction's
// reserved prefix "~pel" (ASCII letters without case): its working and backup files.
enum class NameFault { None, Empty, BadCharacter, TrailingDotOrSpace, DeviceName, Reserved };
NameFault CheckNamePart(const char* part, size_t length);
const char* NameFaultText(NameFault fault);  // English, for the tools
// The prefix of the extraction's own names: "~pel", the run's 8 hex digits, "+" (working file)
// or "-" (backup of an earlier file), then the name of the file they stand beside.

// Whole names, also used by the archive builder.
ArchiveFault CheckDirectoryName(const char* name, size_t length);
ArchiveFault CheckFileName(const char* name, size_t length);
