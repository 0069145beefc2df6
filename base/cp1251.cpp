// Windows-1251 <-> UTF-8 for names.
#include "base/cp1251.h"

#include <stdint.h>

namespace {

// Code points of bytes 0x80-0xBF; 0xC0-0xFF are U+0410-U+044F in order.
// 0x98 is unassigned in Windows-1251: it maps to U+0098 as in the system tables, so it round-trips.
const uint16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

uint32_t ByteToCodePoint(uint8_t b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return 0x0410 + (b - 0xC0);
    return kHigh[b - 0x80];
}

// Returns the Windows-1251 byte of a code point, or -1 when it has none.
int CodePointToByte(uint32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 character from src[0..left). Returns its length, or 0 when it is invalid
// (truncated, overlong, surrogate, above U+10FFFF).
size_t DecodeUtf8(const uint8_t* src, size_t left, uint32_t& cp) {
    const uint8_t b = src[0];
    size_t length;
    uint32_t min;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((src[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (src[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

bool Cp1251ToUtf8(char* dst, size_t cap, const char* src, size_t srcLength) {
    if (cap == 0) return false;
    size_t out = 0;
    for (size_t i = 0; i < srcLength && src[i] != 0; ++i) {
        const uint32_t cp = ByteToCodePoint(static_cast<uint8_t>(src[i]));
        uint8_t bytes[3];
        size_t n;
        if (cp < 0x80) {
            bytes[0] = static_cast<uint8_t>(cp), n = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<uint8_t>(0xC0 | cp >> 6);
            bytes[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            n = 2;
        } else {
            bytes[0] = static_cast<uint8_t>(0xE0 | cp >> 12);
            bytes[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            n = 3;
        }
        if (out + n + 1 > cap) {
            dst[out] = 0;
            return false;
        }
        for (size_t k = 0; k < n; ++k) dst[out++] = static_cast<char>(bytes[k]);
    }
    dst[out] = 0;
    return true;
}

bool Cp1251ToUtf16(char16_t* dst, size_t cap, const char* src, size_t srcLength) {
    if (cap == 0) return false;
    size_t out = 0;
    for (size_t i = 0; i < srcLength && src[i] != 0; ++i) {
        if (out + 1 >= cap) {
            dst[out] = 0;
            return false;
        }
        dst[out++] = static_cast<char16_t>(ByteToCodePoint(static_cast<uint8_t>(src[i])));
    }
    dst[out] = 0;
    return true;
}

Utf8ToCp1251Result Utf8ToCp1251(char* dst, size_t cap, const char* src, size_t srcLength, size_t* failedAt) {
    if (cap == 0) return Utf8ToCp1251Result::Cut;
    const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
    size_t length = 0;
    while (length < srcLength && s[length] != 0) ++length;
    size_t out = 0;
    for (size_t i = 0; i < length;) {
        uint32_t cp = 0;
        const size_t n = DecodeUtf8(s + i, length - i, cp);
        const int b = n == 0 ? -1 : CodePointToByte(cp);
        if (b < 0) {
            dst[out] = 0;
            if (failedAt != nullptr) *failedAt = i;
            return Utf8ToCp1251Result::Unconvertible;
        }
        if (out + 1 >= cap) {
            dst[out] = 0;
            return Utf8ToCp1251Result::Cut;
        }
        dst[out++] = static_cast<char>(b);
        i += n;
    }
    dst[out] = 0;
    return Utf8ToCp1251Result::Ok;
}

char UpperCase1251(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || c >= 0xE0) return static_cast<char>(c - 0x20);  // а-я -> А-Я
    switch (c) {
    case 0xB8: c = 0xA8; break;  // ё
    case 0xBA: c = 0xAA; break;  // є
    case 0xBF: c = 0xAF; break;  // ї
    case 0xB3: c = 0xB2; break;  // і
    case 0xB4: c = 0xA5; break;  // ґ
    case 0xA2: c = 0xA1; break;  // ў
    case 0xBC: c = 0xA3; break;  // ј
    case 0xBE: c = 0xBD; break;  // ѕ
    case 0x90: c = 0x80; break;  // ђ
    case 0x83: c = 0x81; break;  // ѓ
    case 0x9A: c = 0x8A; break;  // љ
    case 0x9C: c = 0x8C; break;  // њ
    case 0x9D: c = 0x8D; break;  // ќ
    case 0x9E: c = 0x8E; break;  // ћ
    case 0x9F: c = 0x8F; break;  // џ
    default: break;
    }
    return static_cast<char>(c);
}
