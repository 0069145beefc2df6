// Texts in the system's ANSI code page (the folder the user chose) are walked by characters: in a
// double-byte code page (932, 936, 949, 950) the second byte of a character may be "\" or "|".
#pragma once
#include <stddef.h>
#include <stdint.h>

// A marked text: Windows-1251 (the system's own texts, the archive's names) in which a text in
// the system's ANSI code page (a folder the user chose) stands between two kAnsiMark bytes, and
// a text the system handed over in UTF-16 (a program's own path, a profile folder), kept as
// UTF-8, between two kUtf8Mark bytes, so that each part is converted from its own code page.
// Messages and the paths of the installed files.
const char kAnsiMark = '\x01';
const char kUtf8Mark = '\x02';
// Appends kAnsiMark, the ANSI text and kAnsiMark to the text in dst (cap bytes). False when cut.
bool AppendAnsiPart(char* dst, size_t cap, const char* ansi);
// The same for a UTF-8 text, between kUtf8Mark bytes.
bool AppendUtf8Part(char* dst, size_t cap, const char* utf8);

// The lead-byte ranges of the system's ANSI code page, as the system reports them: pairs of
// first and last byte, ended by a zero pair or after count bytes. Set once, before any text is
// walked; without it (and in single-byte code pages and UTF-8, whose characters of several
// bytes hold no ASCII byte) every byte is a character.
void SetAnsiLeadBytes(const uint8_t* ranges, size_t count);

// Whether the system's ANSI code page is UTF-8 (65001), set once with the lead bytes.
void SetAnsiUtf8(bool utf8);

// The length of an ANSI text in UTF-16 units, as Windows counts a path: a character of two
// bytes is one unit, and in UTF-8 a character is one unit, two beyond U+FFFF.
size_t AnsiWideLength(const char* text);

// The number of bytes of the character at p: 0 at the terminator, 2 for a lead byte followed by
// a byte that is not the terminator, else 1.
size_t AnsiCharSize(const char* p);

// Whether the last character of text is c (an ASCII character).
bool AnsiEndsWith(const char* text, char c);

// The offset of the last character of text that satisfies test (a "\" say), or -1 when none does.
// Trailing bytes of two-byte characters are never looked at.
ptrdiff_t FindLastAnsiChar(const char* text, bool (*test)(char c));
