// For the host tools: English texts of the archive's faults (the installer shows its own coded
// messages instead and does not carry these), and the whole-archive check with its own memory.
#include <stdlib.h>

#include "base/text.h"
#include "payload/archive.h"

const char* ArchiveFaultText(ArchiveFault fault) {
    switch (fault) {
    case ArchiveFault::None: return "no fault";
    case ArchiveFault::HeaderTruncated: return "header is shorter than 12 bytes";
    case ArchiveFault::ArchiveLengthTooSmall: return "archiveLength is below 12";
    case ArchiveFault::ArchiveLengthBeyondBytes: return "archiveLength is beyond the bytes present";
    case ArchiveFault::DirectoryCountTooLarge: return "directoryCount is more than archiveLength can hold";
    case ArchiveFault::DirectoryEntryTruncated: return "directory entry runs past archiveLength";
    case ArchiveFault::DirectoryNameUnterminated: return "directory name runs past archiveLength";
    case ArchiveFault::DirectoryNameEmpty: return "directory name is empty";
    case ArchiveFault::DirectoryNameTooLong: return "directory name is longer than 1023 bytes";
    case ArchiveFault::DirectoryNameUnsafe:
        return "directory name is not a relative path of names Windows creates as given";
    case ArchiveFault::FileEntryTruncated: return "file record runs past archiveLength";
    case ArchiveFault::FileNameUnterminated: return "file name runs past archiveLength";
    case ArchiveFault::FileNameEmpty: return "file name is empty";
    case ArchiveFault::FileNameTooLong: return "file path is longer than 1023 bytes";
    case ArchiveFault::FileNameUnsafe: return "file name is not a name Windows creates as given";
    case ArchiveFault::DirectoryIndexTooLarge: return "directoryIndex is above directoryCount";
    case ArchiveFault::FileDataTruncated: return "file data runs past archiveLength";
    }
    return "unknown fault";
}

const char* DescribeArchiveError(const ArchiveError& error, char* dst, size_t cap) {
    if (cap == 0) return dst;
    CopyTextN(dst, cap, ArchiveFaultText(error.fault));
    char number[16];
    size_t n = sizeof number;
    number[--n] = 0;
    uint32_t v = error.offset;
    do {
        number[--n] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    AppendTextN(dst, cap, " at offset ");
    AppendTextN(dst, cap, number + n);
    return dst;
}

const char* NameFaultText(NameFault fault) {
    switch (fault) {
    case NameFault::None: return "name is fine";
    case NameFault::Empty: return "name or one of its parts is empty";
    case NameFault::BadCharacter: return "name contains a control character or one of < > : \" / \\ | ? *";
    case NameFault::TrailingDotOrSpace: return "name ends in a dot or a space, which Windows drops";
    case NameFault::DeviceName:
        return "name is a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$)";
    case NameFault::Reserved: return "name begins with ~pel, reserved for the installer's own files";
    }
    return "name is not acceptable";
}

bool ValidateArchive(const uint8_t* bytes, size_t size, ArchiveError& error) {
    ArchiveReader reader;
    if (!OpenArchive(reader, bytes, size, error)) return false;
    const uint32_t count = reader.header.directoryCount;
    uint16_t* lengths = nullptr;
    if (count != 0) {
        lengths = static_cast<uint16_t*>(malloc(static_cast<size_t>(count) * sizeof(uint16_t)));
        if (lengths == nullptr) {
            error.fault = ArchiveFault::DirectoryCountTooLarge;
            error.offset = 8;
            return false;
        }
    }
    const bool ok = ValidateArchiveWalk(reader, lengths, error);
    free(lengths);
    return ok;
}
