// Extraction onto a POSIX file system (host tool pelpack, tests). Names become UTF-8 with "/"
// between folders; FILETIME goes to mtime and atime at 100 ns precision; read-only removes the
// write permissions; hidden and system go to the "user.DOSATTRIB" extended attribute as Wine
// keeps them; messages go to standard error.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <time.h>

// Extracts the archive (bytes, size: the whole archive as the installer's resource would hold it)
// into folderUtf8, created as one level when missing. The same extraction as the installer's,
// without the closing actions. True after a complete extraction; false after a message on stderr.
bool ExtractArchiveToFolder(const uint8_t* bytes, size_t size, const char* folderUtf8);

// FILETIME (100 ns since 1601-01-01 UTC) <-> Unix time at full precision. A Unix time before
// 1601 or after the year 30828 has no FILETIME: false.
struct timespec FileTimeToTimespec(uint64_t fileTime);
bool TimespecToFileTime(const struct timespec& t, uint64_t& fileTime);
