// ExtractPayload: the installer's unpacking, written once over the host's operations.
#include "payload/extract.h"

#include <stdint.h>
#include <string.h>

#include "base/messages.h"
#include "base/text.h"
#include "payload/archive.h"

namespace {

const char kDataFileName[] = "Tolva.dat";
const size_t kSlotSize = kArchivePathCapacity;  // one directory name with its zero
const int kQuitExitCode = 1;

// The extraction's private memory, released on every way out.
struct WorkingMemory {
    ExtractHost& host;
    uint8_t* firstCopy;
    uint8_t* secondCopy;
    char* directoryTable;  // directoryCount slots of 1024 bytes, then directoryCount u16 lengths

    explicit WorkingMemory(ExtractHost& h)
        : host(h), firstCopy(nullptr), secondCopy(nullptr), directoryTable(nullptr) {}
    void ReleaseFirstCopy() {
        if (firstCopy != nullptr) host.ReleaseMemory(firstCopy);
        firstCopy = nullptr;
    }
    void ReleaseAll() {
        ReleaseFirstCopy();
        if (directoryTable != nullptr) host.ReleaseMemory(directoryTable);
        if (secondCopy != nullptr) host.ReleaseMemory(secondCopy);
        directoryTable = nullptr;
        secondCopy = nullptr;
    }
};

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Releases the working memory, shows the message, posts the quit request if asked; gives false.
bool Fail(WorkingMemory& memory, const char* message, bool quit) {
    memory.ReleaseAll();
    memory.host.ShowMessage(message);
    if (quit) memory.host.PostQuitRequest(kQuitExitCode);
    return false;
}

// Fixed prefix and the whole name after it: the buffer holds any 1023-byte text.
bool FailWithName(WorkingMemory& memory, const char* prefix, const char* name, bool quit) {
    char message[64 + kArchivePathCapacity];
    CopyText(message, prefix);
    AppendTextN(message, sizeof message, name, kArchivePathCapacity);
    return Fail(memory, message, quit);
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsDataFileName(const char* name) {
    for (size_t i = 0;; ++i) {
        if (ToLowerAscii(name[i]) != ToLowerAscii(kDataFileName[i])) return false;
        if (name[i] == 0) return true;
    }
}

bool ExtractPayload(ExtractHost& host, const InstallState& state) {
    WorkingMemory memory(host);

    // 1. The payload resource.
    const uint8_t* resource = nullptr;
    size_t resourceSize = 0;
    if (!host.LoadPayload(resource, resourceSize) || resource == nullptr)
        return Fail(memory, kMessageNoResource, true);
    // A resource without a whole header holds no archive; nothing is read from it.
    if (resourceSize < kArchiveHeaderSize) return Fail(memory, kMessageBrokenArchive, true);

    // 2. First working copy: the whole resource.
    memory.firstCopy = static_cast<uint8_t*>(host.ObtainMemory(resourceSize));
    if (memory.firstCopy == nullptr) return Fail(memory, kMessageNoFirstCopy, true);
    memcpy(memory.firstCopy, resource, resourceSize);

    // 3. Header limits before the second copy is sized by archiveLength.
    ArchiveReader reader;
    ArchiveError error;
    if (!OpenArchive(reader, memory.firstCopy, resourceSize, error))
        return Fail(memory, kMessageBrokenArchive, true);
    const uint32_t archiveLength = ReadU32(memory.firstCopy);
    const size_t bodySize = resourceSize - kArchiveHeaderSize;
    const size_t secondSize = archiveLength > bodySize ? archiveLength : bodySize;
    memory.secondCopy = static_cast<uint8_t*>(host.ObtainMemory(secondSize));
    if (memory.secondCopy == nullptr) return Fail(memory, kMessageNoSecondCopy, true);

    // 4. Second working copy: the archive without its header. checksum is not read.
    memcpy(memory.secondCopy, memory.firstCopy + kArchiveHeaderSize, bodySize);
    const uint32_t directoryCount = ReadU32(memory.firstCopy + 8);
    memory.ReleaseFirstCopy();

    // The whole archive is checked now, before anything is created on disk. The directory-name
    // table is obtained first because the check needs the names' lengths; directoryCount has
    // been checked against archiveLength, so its size is bounded by the archive's.
    if (!OpenArchiveBody(reader, memory.secondCopy, bodySize, archiveLength, directoryCount, error))
        return Fail(memory, kMessageBrokenArchive, true);
    // No message of its own exists for the table: it is working memory like the second copy.
    const uint64_t tableSize = static_cast<uint64_t>(directoryCount) * (kSlotSize + sizeof(uint16_t));
    if (tableSize != static_cast<size_t>(tableSize)) return Fail(memory, kMessageNoSecondCopy, true);
    uint16_t* nameLengths = nullptr;
    if (directoryCount != 0) {
        memory.directoryTable = static_cast<char*>(host.ObtainMemory(static_cast<size_t>(tableSize)));
        if (memory.directoryTable == nullptr) return Fail(memory, kMessageNoSecondCopy, true);
        nameLengths = reinterpret_cast<uint16_t*>(memory.directoryTable +
                                                  static_cast<size_t>(directoryCount) * kSlotSize);
    }
    if (!ValidateArchiveWalk(reader, nameLengths, error)) return Fail(memory, kMessageBrokenArchive, true);

    // 5. The installation folder: one level, outcome ignored; changing into it decides.
    host.CreateDirectoryLevel(state.folder);
    if (!host.SetCurrentFolder(state.folder))
        return FailWithName(memory, kMessageFolderPrefix, state.folder, true);

    // 7. Every directory before any file; "already exists" is fine.
    DirectoryEntry directory;
    for (uint32_t k = 0; NextDirectoryEntry(reader, directory, error) == ArchiveStep::Item; ++k) {
        char* slot = memory.directoryTable + static_cast<size_t>(k) * kSlotSize;
        CopyTextN(slot, kSlotSize, directory.name, directory.nameLength);
        if (host.CreateDirectoryLevel(slot) == DirectoryResult::Failed)
            return FailWithName(memory, kMessageDirectoryPrefix, slot, false);
    }

    // 8. Every file record; a file that cannot be created is skipped silently.
    FileEntry file;
    while (NextFileEntry(reader, file, error) == ArchiveStep::Item) {
        char path[kArchivePathCapacity];
        if (file.directoryIndex == 0) {
            CopyTextN(path, sizeof path, file.name, file.nameLength);
        } else {
            CopyTextN(path, sizeof path, memory.directoryTable + (file.directoryIndex - 1) * kSlotSize);
            AppendText(path, "\\");
            AppendTextN(path, sizeof path, file.name, file.nameLength);
        }
        // Probe with write access: a data file that can be opened is the user's, and stays.
        if (IsDataFileName(file.name)) {
            const FileHandle existing = host.OpenExistingForWrite(path);
            if (existing != kNoFile) {
                host.CloseFile(existing);
                continue;
            }
        }
        const FileHandle out = host.CreateForWrite(path);
        if (out == kNoFile) continue;
        host.WriteBlock(out, file.data, file.dataLength);
        host.SetFileTimes(out, file.time);  // after the data, or the write would move them
        host.CloseFile(out);
        host.SetAttributes(path, file.attributes);  // after closing: read-only would refuse times
    }

    // 9, 10.
    memory.ReleaseAll();
    host.RunClosingActions();
    return true;
}
