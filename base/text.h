// Bounded text helpers: every copy into a fixed buffer truncates and terminates, never overruns.
// They work on texts of any character type: bytes, and UTF-16 for the W calls.
#pragma once
#include <stddef.h>

// Every path text: at most 1023 bytes and the terminating zero.
const size_t kPathSize = 1024;

// Length of a zero-terminated text, at most cap (a buffer without terminator gives cap).
template <typename Char>
size_t TextLengthN(const Char* text, size_t cap) {
    size_t n = 0;
    while (n < cap && text[n] != 0) ++n;
    return n;
}

// Copies at most cap-1 characters of src (stopping at its terminator or at srcLength) and
// terminates. Returns false when the text had to be cut. cap must be at least 1.
template <typename Char>
bool CopyTextN(Char* dst, size_t cap, const Char* src, size_t srcLength = static_cast<size_t>(-1)) {
    if (cap == 0) return false;
    size_t n = 0;
    while (n < srcLength && src[n] != 0 && n + 1 < cap) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
    return n >= srcLength || src[n] == 0;
}

// Appends src after the text already in dst, within cap characters. Returns false when cut.
template <typename Char>
bool AppendTextN(Char* dst, size_t cap, const Char* src, size_t srcLength = static_cast<size_t>(-1)) {
    size_t used = TextLengthN(dst, cap);
    if (used >= cap) return false;  // no terminator: refuse rather than run past the buffer
    return CopyTextN(dst + used, cap - used, src, srcLength);
}

// The byte forms, kept out of line: they are called everywhere.
size_t TextLengthN(const char* text, size_t cap);
bool CopyTextN(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));
bool AppendTextN(char* dst, size_t cap, const char* src, size_t srcLength = static_cast<size_t>(-1));

template <typename Char, size_t N>
inline bool CopyText(Char (&dst)[N], const Char* src) {
    return CopyTextN(dst, N, src);
}
template <typename Char, size_t N>
inline bool AppendText(Char (&dst)[N], const Char* src) {
    return AppendTextN(dst, N, src);
}
template <typename Char, size_t N>
inline size_t TextLength(const Char (&text)[N]) {
    return TextLengthN(text, N);
}
