// The shared rules about path separators.
#include "base/path_text.h"

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool IsBackslash(char c) { return c == '\\'; }

ptrdiff_t FindLastPathSeparator(const char* path) { return FindLastAnsiChar(path, IsPathSeparator); }

ptrdiff_t FindLastBackslash(const char* path) { return FindLastAnsiChar(path, IsBackslash); }
