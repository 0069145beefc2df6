// The size of what an archive installs, over the archive reader.
#include "payload/archive_size.h"

#include "payload/archive.h"

bool ArchiveFilesSize(const uint8_t* bytes, size_t size, uint64_t* total) {
    ArchiveReader reader;
    ArchiveError error;
    if (!OpenArchive(reader, bytes, size, error)) return false;
    uint64_t sum = 0;
    FileEntry entry;
    ArchiveStep step;
    while ((step = NextFileEntry(reader, entry, error)) == ArchiveStep::Item) sum += entry.dataLength;
    if (step == ArchiveStep::Broken) return false;
    *total = sum;
    return true;
}
