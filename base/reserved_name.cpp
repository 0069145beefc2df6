// The reserved form of the installer's own file names.
#include "base/reserved_name.h"

void FormatReservedHead(uint32_t tag, char kind, char (&out)[kReservedHeadLength + 1]) {
    for (int i = 0; i < 4; ++i) out[i] = kReservedPrefix[i];
    for (int i = 0; i < 8; ++i) out[4 + i] = "0123456789abcdef"[(tag >> (28 - 4 * i)) & 15];
    out[12] = kind;
    out[13] = 0;
}

bool ParseReservedName(const char* name, ReservedName& out) {
    for (int i = 0; i < 4; ++i)
        if (name[i] != kReservedPrefix[i]) return false;
    out.tag = 0;
    for (int i = 4; i < 12; ++i) {
        const char c = name[i];
        const bool digit = c >= '0' && c <= '9', letter = c >= 'a' && c <= 'f';
        if (!digit && !letter) return false;
        out.tag = out.tag << 4 | static_cast<uint32_t>(digit ? c - '0' : c - 'a' + 10);
    }
    out.kind = name[12];
    out.name = name + kReservedHeadLength;
    const bool known = out.kind == kReservedWork || out.kind == kReservedBackup || out.kind == kReservedLeftover;
    return known && out.name[0] != 0;
}
