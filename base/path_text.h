// The rules about path separators that every layer shares: which characters separate the parts
// of a path, where the last one stands, and the one backslash before a name.
#pragma once
#include <stddef.h>

#include "base/ansi_text.h"
#include "base/text.h"

// "\" or "/": Windows reads either as the separator of a path.
bool IsPathSeparator(char c);
// "\" alone: the form the system gives back (module paths, listings) and the installer writes.
bool IsBackslash(char c);

// The offset of the last separator ("\" or "/") of an ANSI path, by characters, or -1.
ptrdiff_t FindLastPathSeparator(const char* path);
// The offset of the last "\" of an ANSI path, by characters, or -1.
ptrdiff_t FindLastBackslash(const char* path);

// Appends one "\" unless the ANSI path already ends in one (D:\ stays D:\). False when cut.
template <size_t N>
bool EndWithBackslash(char (&path)[N]) {
    return AnsiEndsWith(path, '\\') || AppendText(path, "\\");
}
