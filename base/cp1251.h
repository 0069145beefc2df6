// Windows-1251 <-> UTF-8 for names, Windows-1251 -> UTF-16 for the system's texts, into bounded buffers.
// Mapping as Windows' and Wine's code page tables: 0x00-0x7F ASCII; 0x98, the one unassigned
// byte, maps to U+0098 and back, so every byte value round-trips.
#pragma once
#include <stddef.h>

// Converts srcLength bytes of Windows-1251 (stopping early at a zero byte) into UTF-8 in dst
// (cap bytes, always terminated, never a split character). False when the text had to be cut.
bool Cp1251ToUtf8(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));

// Converts Windows-1251 (stopping early at a zero byte) into UTF-16 in dst (cap units, always
// terminated). False when the text had to be cut.
bool Cp1251ToUtf16(char16_t* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));

enum class Utf8ToCp1251Result {
    Ok,
    Cut,            // dst too small; what fits is converted and terminated
    Unconvertible,  // a character without a Windows-1251 form, or invalid UTF-8
};

// Converts UTF-8 (stopping early at a zero byte) into Windows-1251 in dst (cap bytes, always
// terminated). On Unconvertible, *failedAt (if given) receives the source offset of the character.
Utf8ToCp1251Result Utf8ToCp1251(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1),
                                size_t* failedAt = nullptr);

// A Windows-1251 byte in upper case, as Windows compares names: ASCII and the Cyrillic letters of
// Windows-1251; any other byte as it is. Two names whose bytes agree so are one file on Windows.
char UpperCase1251(char c);
