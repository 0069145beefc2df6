// Name checks and case folding for pelpack.
#include "tools/pack_names.h"

#include "base/cp1251.h"
#include "payload/archive.h"

bool PackName(const std::string& utf8, std::string& name1251, std::string& problem) {
    char converted[kArchivePathCapacity];
    size_t failedAt = 0;
    switch (Utf8ToCp1251(converted, sizeof converted, utf8.data(), utf8.size(), &failedAt)) {
    case Utf8ToCp1251Result::Ok: break;
    case Utf8ToCp1251Result::Cut: problem = "name longer than an archive path can hold (1023 bytes)"; return false;
    case Utf8ToCp1251Result::Unconvertible:
        problem = "name has a character without a Windows-1251 form (at byte " + std::to_string(failedAt) + ")";
        return false;
    }
    name1251 = converted;
    const NameFault fault = CheckNamePart(name1251.data(), name1251.size());
    if (fault != NameFault::None) {
        problem = NameFaultText(fault);
        return false;
    }
    return true;
}

std::string FoldCase1251(const std::string& name1251) {
    std::string key = name1251;
    for (char& ch : key) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 0x20);
        else if (c >= 0xE0)
            c = static_cast<unsigned char>(c - 0x20);  // а-я -> А-Я
        else {
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
        }
        ch = static_cast<char>(c);
    }
    return key;
}
