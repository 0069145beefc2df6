// Helpers shared by the unit and tool tests: byte strings and fields, archives built from their records, and text
// buffers with guard bytes after them.
#pragma once
#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>

#include "payload/archive_builder.h"

typedef std::vector<uint8_t> Bytes;

inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A little-endian 32-bit field, the bytes grown to hold it.
inline void SetU32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The archive of these records; a refused record fails the test.
inline Bytes BuiltArchive(const std::vector<ArchiveDirectorySpec>& dirs, const std::vector<ArchiveFileSpec>& files) {
    Bytes out;
    std::string message;
    EXPECT_TRUE(BuildArchive(dirs, files, out, message)) << message;
    return out;
}

// N bytes of text and 8 guard bytes, all 'X' at first: UnwrittenFrom(at) holds while nothing
// was written from text[at] to the guards' end.
template <size_t N>
struct GuardedText {
    char text[N];
    char after[8];
    GuardedText() { memset(this, 'X', sizeof *this); }
    bool UnwrittenFrom(size_t at = N) const {
        return std::string(text + at, sizeof *this - at) == std::string(sizeof *this - at, 'X');
    }
};
