// Bounded text helpers.
#include "base/text.h"

size_t TextLengthN(const char* text, size_t cap) {
    size_t n = 0;
    while (n < cap && text[n] != 0) ++n;
    return n;
}

bool CopyTextN(char* dst, size_t cap, const char* src, size_t srcLength) {
    if (cap == 0) return false;
    size_t n = 0;
    while (n < srcLength && src[n] != 0 && n + 1 < cap) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
    return n >= srcLength || src[n] == 0;
}

bool AppendTextN(char* dst, size_t cap, const char* src, size_t srcLength) {
    size_t used = TextLengthN(dst, cap);
    if (used >= cap) return false;  // no terminator: refuse rather than run past the buffer
    return CopyTextN(dst + used, cap - used, src, srcLength);
}
