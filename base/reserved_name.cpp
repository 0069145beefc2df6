// The reserved form of the installer's own file names.
#include "base/reserved_name.h"

bool ParseReservedName(const char* name, ReservedName& out) {
    static const char kPrefix[] = "~pel";
    for (int i = 0; i < 4; ++i)
        if (name[i] != kPrefix[i]) return false;
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
