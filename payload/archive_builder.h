// Builds payload archive bytes on the host (pelpack, tests, fuzz corpus). Not part of the installer.
// Names are Windows-1251 bytes; every limit the reader checks is refused here with a message.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Incremental form: add every directory first, then the files, then finish. Data is copied once,
// straight into the archive bytes.
struct ArchiveBuilder {
    std::vector<uint8_t> bytes;  // header, directory table, records so far
    std::vector<uint16_t> directoryNameLengths;
    bool filesStarted = false;  // a refused entry leaves the builder usable
};

void ArchiveBegin(ArchiveBuilder& builder);
// Refuses (false, message) a name that breaks a limit, or a directory after the first file.
bool ArchiveAddDirectory(ArchiveBuilder& builder, uint32_t attributes, uint64_t time, const std::string& name,
                         std::string& message);
// directoryIndex: 0 for the installation folder, k for the k-th added directory.
bool ArchiveAddFile(ArchiveBuilder& builder, uint32_t attributes, uint64_t time, uint32_t directoryIndex,
                    const std::string& name, const uint8_t* data, size_t dataLength, std::string& message);
// Appends the 16-byte zero tail, sets archiveLength, directoryCount and checksum, and moves the
// archive into out. False when the archive would exceed what a u32 archiveLength can hold.
bool ArchiveFinish(ArchiveBuilder& builder, std::vector<uint8_t>& out, std::string& message);

// One-call form over lists.
struct ArchiveDirectorySpec {
    uint32_t attributes = 0x30;
    uint64_t time = 0;
    std::string name;  // Windows-1251
};
struct ArchiveFileSpec {
    uint32_t attributes = 0x20;
    uint64_t time = 0;
    uint32_t directoryIndex = 0;
    std::string name;  // Windows-1251
    std::vector<uint8_t> data;
};
bool BuildArchive(const std::vector<ArchiveDirectorySpec>& directories, const std::vector<ArchiveFileSpec>& files,
                  std::vector<uint8_t>& out, std::string& message);
