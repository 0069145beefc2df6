// The byte forms of the bounded text helpers.
#include "base/text.h"

size_t TextLengthN(const char* text, size_t cap) { return TextLengthN<char>(text, cap); }
bool CopyTextN(char* dst, size_t cap, const char* src, size_t srcLength) {
    return CopyTextN<char>(dst, cap, src, srcLength);
}
bool AppendTextN(char* dst, size_t cap, const char* src, size_t srcLength) {
    return AppendTextN<char>(dst, cap, src, srcLength);
}
