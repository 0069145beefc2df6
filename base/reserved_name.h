// The installer's own files beside an installed file: "~pel", the run's 8 lowercase hex digits, a
// kind and the installed file's name ("~pel0badcafe-Pelbrix.exe"). The archive refuses names that
// begin with "~pel", so no installed file ever has this form.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The kinds: a file being written, the earlier file kept aside while a run may still roll back,
// and an earlier file a finished run could not remove.
const char kReservedWork = '+';
const char kReservedBackup = '-';
const char kReservedLeftover = '=';
const char kReservedPrefix[] = "~pel";
const size_t kReservedHeadLength = 4 + 8 + 1;  // what the reserved form adds to a name

struct ReservedName {
    uint32_t tag;      // the run's 8 hex digits
    char kind;         // one of the kinds above
    const char* name;  // the installed file's name, inside the text parsed
};

// The reserved head of a run's file of a kind: "~pel", the tag's 8 lowercase hex digits, the kind.
void FormatReservedHead(uint32_t tag, char kind, char (&out)[kReservedHeadLength + 1]);

// True when name has the reserved form exactly as the installer writes it (lowercase prefix and
// digits, a known kind, a name after it); out then tells its parts.
bool ParseReservedName(const char* name, ReservedName& out);
