// Texts in the system's ANSI code page (the folder the user chose) are walked by characters: in a
// double-byte code page (932, 936, 949, 950) the second byte of a character may be "\" or "|".
#pragma once
#include <stddef.h>
#include <stdint.h>

// A marked text: Windows-1251 (the system's own texts, the archive's names) in which a text in
// the system's ANSI code page (a folder the user chose) stands between two kAnsiMark bytes, so
// that each part is converted from its own code page. Messages and the uninstaller's paths.
const char kAnsiMark = '\x01';
// Appends kAnsiMark, the ANSI text and kAnsiMark to the text in dst (cap bytes). False when cut.
bool AppendAnsiPart(char* dst, size_t cap, const char* ansi);

// The lead-byte ranges of the system's ANSI code page, as the system reports them: pairs of
// first and last byte, ended by a zero pair or after count bytes. Set once, before any text is
// walked; without it (and in single-byte code pages and UTF-8, whose characters of several
// bytes hold no ASCII byte) every byte is a character.
void SetAnsiLeadBytes(const uint8_t* ranges, size_t count);

// The number of bytes of the character at p: 0 at the terminator, 2 for a lead byte followed by
// a byte that is not the terminator, else 1.
size_t AnsiCharSize(const char* p);

// Whether the last character of text is c (an ASCII character).
bool AnsiEndsWith(const char* text, char c);

// The offset of the last character of text that satisfies test (a "\" say), or -1 when none does.
// Trailing bytes of two-byte characters are never looked at.
ptrdiff_t FindLastAnsiChar(const char* text, bool (*test)(char c));
