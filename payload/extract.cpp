// ExtractPayload: the installer's unpacking, written once over the host's operations.
#include "payload/extract.h"

#include <stdint.h>
#include <string.h>

#include "base/messages.h"
#include "base/product.h"
#include "base/text.h"
#include "payload/archive.h"

namespace {

const size_t kSlotSize = kArchivePathCapacity;  // one directory name with its zero
const int kQuitExitCode = 1;
const uint32_t kAttributesInTheWay = 0x07;  // read-only, hidden, system: refuse a replacement

// The coded failures and their messages; a prefix is followed by the folder or directory name.
enum class Failure { NoResource, NoFirstCopy, NoSecondCopy, BrokenArchive, Folder, Directory };
struct FailureRow {
    const char* text;
    bool quit;  // post the quit request after the message
};
const FailureRow kFailures[] = {
    {kMessageNoResource, true},    {kMessageNoFirstCopy, true},  {kMessageNoSecondCopy, true},
    {kMessageBrokenArchive, true}, {kMessageFolderPrefix, true}, {kMessageDirectoryPrefix, false},
};

// One run's private memory and walk, released on every way out.
struct Extraction {
    ExtractHost& host;
    const InstallState& state;
    uint8_t* firstCopy = nullptr;
    uint8_t* secondCopy = nullptr;
    char* directoryTable = nullptr;  // directoryCount slots of 1024 bytes, then their u16 lengths
    ArchiveReader reader = {};

    Extraction(ExtractHost& h, const InstallState& s) : host(h), state(s) {}
    ~Extraction() {
        ReleaseFirstCopy();
        Release(directoryTable);
        Release(secondCopy);
    }
    void ReleaseFirstCopy() { Release(firstCopy); }
    template <typename T>
    void Release(T*& block) {
        if (block != nullptr) host.ReleaseMemory(block);
        block = nullptr;
    }
    const char* Slot(uint32_t index) const { return directoryTable + static_cast<size_t>(index) * kSlotSize; }
};

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// A fixed text and the whole name after it: the buffer holds any 1023-byte name.
typedef char MessageText[64 + kArchivePathCapacity];
void ComposeMessage(MessageText& message, const char* prefix, const char* name) {
    CopyText(message, prefix);
    AppendTextN(message, sizeof message, name, kArchivePathCapacity);
}

// Releases the working memory, shows the failure's message, posts the quit request if its row
// asks; gives false.
bool Fail(Extraction& x, Failure failure, const char* name = "") {
    const FailureRow& row = kFailures[static_cast<int>(failure)];
    MessageText message;
    ComposeMessage(message, row.text, name);  // before the release: name may lie in the table
    x.ReleaseFirstCopy();
    x.Release(x.directoryTable);
    x.Release(x.secondCopy);
    x.host.ShowMessage(message);
    if (row.quit) x.host.PostQuitRequest(kQuitExitCode);
    return false;
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Steps 1 to 4 and the whole-archive check: both working copies, the walk over the second, the
// directory-name table. The first copy is gone when this returns true.
bool LoadArchive(Extraction& x) {
    const uint8_t* resource = nullptr;
    size_t resourceSize = 0;
    if (!x.host.LoadPayload(resource, resourceSize) || resource == nullptr) return Fail(x, Failure::NoResource);
    // A resource without a whole header holds no archive; nothing is read from it.
    if (resourceSize < kArchiveHeaderSize) return Fail(x, Failure::BrokenArchive);

    x.firstCopy = static_cast<uint8_t*>(x.host.ObtainMemory(resourceSize));
    if (x.firstCopy == nullptr) return Fail(x, Failure::NoFirstCopy);
    memcpy(x.firstCopy, resource, resourceSize);

    // Header limits before the second copy is sized by archiveLength.
    ArchiveError error;
    if (!OpenArchive(x.reader, x.firstCopy, resourceSize, error)) return Fail(x, Failure::BrokenArchive);
    const uint32_t archiveLength = ReadU32(x.firstCopy);
    const size_t bodySize = resourceSize - kArchiveHeaderSize;
    x.secondCopy = static_cast<uint8_t*>(x.host.ObtainMemory(archiveLength > bodySize ? archiveLength : bodySize));
    if (x.secondCopy == nullptr) return Fail(x, Failure::NoSecondCopy);

    // The archive without its header; checksum is not read.
    memcpy(x.secondCopy, x.firstCopy + kArchiveHeaderSize, bodySize);
    const uint32_t directoryCount = ReadU32(x.firstCopy + 8);
    x.ReleaseFirstCopy();

    // The whole archive is checked now, before anything is created on disk. The directory-name
    // table comes first because the check needs the names' lengths; directoryCount has been
    // checked against archiveLength, so the table's size is bounded by the archive's.
    if (!OpenArchiveBody(x.reader, x.secondCopy, bodySize, archiveLength, directoryCount, error))
        return Fail(x, Failure::BrokenArchive);
    // No message of its own exists for the table: it is working memory like the second copy.
    const uint64_t tableSize = static_cast<uint64_t>(directoryCount) * (kSlotSize + sizeof(uint16_t));
    if (tableSize != static_cast<size_t>(tableSize)) return Fail(x, Failure::NoSecondCopy);
    uint16_t* nameLengths = nullptr;
    if (directoryCount != 0) {
        x.directoryTable = static_cast<char*>(x.host.ObtainMemory(static_cast<size_t>(tableSize)));
        if (x.directoryTable == nullptr) return Fail(x, Failure::NoSecondCopy);
        nameLengths = reinterpret_cast<uint16_t*>(x.directoryTable + static_cast<size_t>(directoryCount) * kSlotSize);
    }
    if (!ValidateArchiveWalk(x.reader, nameLengths, error)) return Fail(x, Failure::BrokenArchive);
    return true;
}

// Steps 5 and 7: the installation folder made current, then every directory before any file.
bool CreateFolders(Extraction& x) {
    // A relative folder would resolve against whatever the current directory happens to be.
    if (!IsAbsoluteFolder(x.state.folder)) return Fail(x, Failure::Folder, x.state.folder);
    x.host.CreateDirectoryLevel(x.state.folder);  // one level, outcome ignored: the change decides
    if (!x.host.SetCurrentFolder(x.state.folder)) return Fail(x, Failure::Folder, x.state.folder);

    DirectoryEntry directory;
    ArchiveError error;
    for (uint32_t k = 0; NextDirectoryEntry(x.reader, directory, error) == ArchiveStep::Item; ++k) {
        char* slot = x.directoryTable + static_cast<size_t>(k) * kSlotSize;
        CopyTextN(slot, kSlotSize, directory.name, directory.nameLength);
        if (x.host.CreateDirectoryLevel(slot) == DirectoryResult::Failed) return Fail(x, Failure::Directory, slot);
    }
    return true;
}

// The working file's path: the folder part of path and the reserved working name.
bool WorkingPathFor(char (&out)[kArchivePathCapacity], const char* path) {
    size_t folderLength = strlen(path);
    while (folderLength > 0 && path[folderLength - 1] != '\\') --folderLength;
    CopyTextN(out, sizeof out, path, folderLength);
    return AppendText(out, kWorkingFileName);
}

// One file, all or nothing: the data goes to the working file beside it, gets its times, and
// only then takes the place of any earlier file, whose read-only, hidden or system bits are
// cleared first (restored if the replacement fails) unless it is the user's data file, which
// such bits protect. A failure leaves the earlier file as it was.
bool WriteOneFile(ExtractHost& host, const char* path, const FileEntry& file, bool dataFile) {
    char working[kArchivePathCapacity];
    if (!WorkingPathFor(working, path)) return false;
    const FileHandle out = host.CreateForWrite(working);
    if (out == kNoFile) return false;
    bool written = host.WriteBlock(out, file.data, file.dataLength);
    host.SetFileTimes(out, file.time);  // after the data, or the write would move them
    written = host.CloseFile(out) && written;
    const uint32_t earlier = written ? host.GetAttributes(path) : kNoAttributes;
    const bool unlock = !dataFile && earlier != kNoAttributes && (earlier & kAttributesInTheWay) != 0;
    if (unlock) host.SetAttributes(path, earlier & ~kAttributesInTheWay);
    if (!written || !host.MoveIntoPlace(working, path)) {
        if (unlock) host.SetAttributes(path, earlier);
        host.RemoveFile(working);
        return false;
    }
    host.SetAttributes(path, file.attributes);  // after closing: read-only would refuse times
    return true;
}

// Step 8: every file record. A file that cannot be written asks the user: Retry writes it again,
// Ignore skips it, Abort ends the extraction with false.
bool WriteFiles(Extraction& x) {
    FileEntry file;
    ArchiveError error;
    while (NextFileEntry(x.reader, file, error) == ArchiveStep::Item) {
        char path[kArchivePathCapacity];
        if (file.directoryIndex == 0) {
            CopyTextN(path, sizeof path, file.name, file.nameLength);
        } else {
            CopyTextN(path, sizeof path, x.Slot(file.directoryIndex - 1));
            AppendText(path, "\\");
            AppendTextN(path, sizeof path, file.name, file.nameLength);
        }
        // Probe with write access: a data file that can be opened is the user's, and stays.
        const bool dataFile = IsDataFileName(file.name);
        if (dataFile) {
            const FileHandle existing = x.host.OpenExistingForWrite(path);
            if (existing != kNoFile) {
                x.host.CloseFile(existing);
                continue;
            }
        }
        while (!WriteOneFile(x.host, path, file, dataFile)) {
            MessageText message;
            ComposeMessage(message, kMessageWriteFilePrefix, path);
            const FileAnswer answer = x.host.AskAboutFile(message);
            if (answer == FileAnswer::Abort) return false;
            if (answer == FileAnswer::Ignore) break;
        }
    }
    return true;
}

}  // namespace

bool IsDataFileName(const char* name) {
    static const char kDataFileName[] = PEL_DATA_FILE;
    for (size_t i = 0;; ++i) {
        if (ToLowerAscii(name[i]) != ToLowerAscii(kDataFileName[i])) return false;
        if (name[i] == 0) return true;
    }
}

bool IsAbsoluteFolder(const char* folder) {
    const bool letter = (folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z');
    if (letter && folder[1] == ':') return IsSeparator(folder[2]);
    return IsSeparator(folder[0]) && (!IsSeparator(folder[1]) || (folder[2] != 0 && !IsSeparator(folder[2])));
}

bool ExtractPayload(ExtractHost& host, const InstallState& state) {
    Extraction x(host, state);
    return LoadArchive(x) && CreateFolders(x) && WriteFiles(x);
}
