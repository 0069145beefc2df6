// Walking texts of the system's ANSI code page by characters.
#include "base/ansi_text.h"

#include "base/text.h"

namespace {

// One bit per byte value: set for the lead bytes of the system's double-byte code page.
uint32_t g_leadBytes[8];
bool g_utf8;

bool AppendPart(char* dst, size_t cap, char mark, const char* text) {
    const char marks[2] = {mark, 0};
    return AppendTextN(dst, cap, marks) && AppendTextN(dst, cap, text) && AppendTextN(dst, cap, marks);
}

}  // namespace

void SetAnsiLeadBytes(const uint8_t* ranges, size_t count) {
    for (uint32_t& word : g_leadBytes) word = 0;
    for (size_t i = 0; i + 1 < count && ranges[i] != 0; i += 2)
        for (unsigned b = ranges[i]; b <= ranges[i + 1] && b < 256; ++b) g_leadBytes[b >> 5] |= 1u << (b & 31);
}

size_t AnsiCharSize(const char* p) {
    const uint8_t b = static_cast<uint8_t>(*p);
    if (b == 0) return 0;
    return (g_leadBytes[b >> 5] >> (b & 31) & 1) != 0 && p[1] != 0 ? 2 : 1;
}

bool AnsiEndsWith(const char* text, char c) {
    const char* last = nullptr;
    for (const char* p = text; *p != 0; p += AnsiCharSize(p)) last = p;
    return last != nullptr && AnsiCharSize(last) == 1 && *last == c;
}

ptrdiff_t FindLastAnsiChar(const char* text, bool (*test)(char c)) {
    ptrdiff_t found = -1;
    for (const char* p = text; *p != 0; p += AnsiCharSize(p))
        if (AnsiCharSize(p) == 1 && test(*p)) found = p - text;
    return found;
}

bool AppendAnsiPart(char* dst, size_t cap, const char* ansi) { return AppendPart(dst, cap, kAnsiMark, ansi); }
bool AppendUtf8Part(char* dst, size_t cap, const char* utf8) { return AppendPart(dst, cap, kUtf8Mark, utf8); }

void SetAnsiUtf8(bool utf8) { g_utf8 = utf8; }

size_t AnsiWideLength(const char* text) {
    size_t units = 0;
    for (const char* p = text; *p != 0; p += AnsiCharSize(p)) {
        const uint8_t b = static_cast<uint8_t>(*p);
        if (!g_utf8 || (b & 0xC0) != 0x80) units += g_utf8 && b >= 0xF0 ? 2 : 1;  // continuation bytes add none
    }
    return units;
}
