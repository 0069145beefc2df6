// Bounded text helpers: every copy into a fixed buffer truncates and terminates, never overruns.
#pragma once
#include <stddef.h>

// Every path text: at most 1023 bytes and the terminating zero.
const size_t kPathSize = 1024;

// Copies at most cap-1 bytes of src (stopping at its zero byte or at srcLength) and terminates.
// Returns false when the text had to be cut. cap must be at least 1.
bool CopyTextN(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));
// Appends src after the text already in dst, within cap bytes. Returns false when cut.
bool AppendTextN(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));
// Length of a zero-terminated text, at most cap (a buffer without terminator gives cap).
size_t TextLengthN(const char* text, size_t cap);

template <size_t N>
inline bool CopyText(char (&dst)[N], const char* src) {
    return CopyTextN(dst, N, src);
}
template <size_t N>
inline bool AppendText(char (&dst)[N], const char* src) {
    return AppendTextN(dst, N, src);
}
template <size_t N>
inline size_t TextLength(const char (&text)[N]) {
    return TextLengthN(text, N);
}
