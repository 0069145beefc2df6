// The size of what an archive installs.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Adds up the data lengths of every file of the whole archive (size bytes) into *total.
// False, with *total untouched, when the archive is broken.
bool ArchiveFilesSize(const uint8_t* bytes, size_t size, uint64_t* total);
