// Lays out payload archive bytes: header, directory table, file records, zero tail, checksum.
#include "payload/archive_builder.h"

#include "payload/archive.h"

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 24));
}

void SetU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
    out[at + 2] = static_cast<uint8_t>(v >> 16);
    out[at + 3] = static_cast<uint8_t>(v >> 24);
}

void PutTime(std::vector<uint8_t>& out, uint64_t time) {
    PutU32(out, static_cast<uint32_t>(time));
    PutU32(out, static_cast<uint32_t>(time >> 32));
}

void PutName(std::vector<uint8_t>& out, const std::string& name) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

// archiveLength and the checksum range (archiveLength bytes from 12) must fit a u32 and memory.
const uint64_t kLargestArchive = 0xFFFFFFFFull - kArchiveTailSize;

}  // namespace

void ArchiveBegin(ArchiveBuilder& builder) {
    builder.bytes.assign(kArchiveHeaderSize, 0);
    builder.directoryNameLengths.clear();
    builder.filesStarted = false;
}

bool ArchiveAddDirectory(ArchiveBuilder& builder, uint32_t attributes, uint64_t time, const std::string& name,
                         std::string& message) {
    if (builder.filesStarted) {
        message = "directory \"" + name + "\" comes after the first file";
        return false;
    }
    const ArchiveFault fault = CheckDirectoryName(name.data(), name.size());
    if (fault != ArchiveFault::None) {
        message = std::string(ArchiveFaultText(fault)) + ": \"" + name + "\"";
        return false;
    }
    if (builder.bytes.size() + kDirectoryEntryFixedSize + name.size() + 1 > kLargestArchive) {
        message = "archive would exceed 4 GB at directory \"" + name + "\"";
        return false;
    }
    PutU32(builder.bytes, attributes);
    PutTime(builder.bytes, time);
    PutName(builder.bytes, name);
    builder.directoryNameLengths.push_back(static_cast<uint16_t>(name.size()));
    return true;
}

bool ArchiveAddFile(ArchiveBuilder& builder, uint32_t attributes, uint64_t time, uint32_t directoryIndex,
                    const std::string& name, const uint8_t* data, size_t dataLength, std::string& message) {
    const ArchiveFault fault = CheckFileName(name.data(), name.size());
    if (fault != ArchiveFault::None) {
        message = std::string(ArchiveFaultText(fault)) + ": \"" + name + "\"";
        return false;
    }
    if (directoryIndex > builder.directoryNameLengths.size()) {
        message = "file \"" + name + "\" names directory " + std::to_string(directoryIndex) + " of " +
                  std::to_string(builder.directoryNameLengths.size());
        return false;
    }
    if (directoryIndex != 0 &&
        builder.directoryNameLengths[directoryIndex - 1] + 1 + name.size() >= kArchivePathCapacity) {
        message = "file path is longer than 1023 bytes: \"" + name + "\"";
        return false;
    }
    const uint64_t grown = static_cast<uint64_t>(builder.bytes.size()) + kFileEntryFixedSize + name.size() + 1 +
                           static_cast<uint64_t>(dataLength);
    if (dataLength > 0xFFFFFFFFull || grown > kLargestArchive) {
        message = "archive would exceed 4 GB at file \"" + name + "\"";
        return false;
    }
    builder.filesStarted = true;
    PutU32(builder.bytes, attributes);
    PutTime(builder.bytes, time);
    PutU32(builder.bytes, directoryIndex);
    PutU32(builder.bytes, static_cast<uint32_t>(dataLength));
    PutName(builder.bytes, name);
    if (dataLength != 0) builder.bytes.insert(builder.bytes.end(), data, data + dataLength);
    return true;
}

bool ArchiveFinish(ArchiveBuilder& builder, std::vector<uint8_t>& out, std::string& message) {
    if (builder.bytes.size() < kArchiveHeaderSize) {
        message = "archive was not begun";
        return false;
    }
    const size_t archiveLength = builder.bytes.size();
    builder.bytes.resize(archiveLength + kArchiveTailSize, 0);
    SetU32(builder.bytes, 0, static_cast<uint32_t>(archiveLength));
    SetU32(builder.bytes, 8, static_cast<uint32_t>(builder.directoryNameLengths.size()));
    // archiveLength counts the header, so the range ends 12 bytes into the zero tail.
    SetU32(builder.bytes, 4, ChecksumCrc32(builder.bytes.data() + kArchiveHeaderSize, archiveLength));
    out.swap(builder.bytes);
    builder.bytes.clear();
    builder.directoryNameLengths.clear();
    return true;
}

bool BuildArchive(const std::vector<ArchiveDirectorySpec>& directories, const std::vector<ArchiveFileSpec>& files,
                  std::vector<uint8_t>& out, std::string& message) {
    ArchiveBuilder builder;
    ArchiveBegin(builder);
    for (const ArchiveDirectorySpec& d : directories)
        if (!ArchiveAddDirectory(builder, d.attributes, d.time, d.name, message)) return false;
    for (const ArchiveFileSpec& f : files)
        if (!ArchiveAddFile(builder, f.attributes, f.time, f.directoryIndex, f.name, f.data.data(), f.data.size(),
                            message))
            return false;
    return ArchiveFinish(builder, out, message);
}
