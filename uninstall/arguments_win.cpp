// Parsing the command line of the uninstaller's copy.
#include "uninstall/arguments_win.h"

const WCHAR kCopyOption[] = L"/remove ";

namespace {

// A decimal handle value followed by a blank; the text after it, or null.
const WCHAR* ParseHandle(const WCHAR* p, HANDLE& handle) {
    ULONG_PTR value = 0;
    if (*p < '0' || *p > '9') return NULL;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<ULONG_PTR>(*p++ - '0');
    if (*p != ' ') return NULL;
    handle = reinterpret_cast<HANDLE>(value);
    return p + 1;
}

}  // namespace

bool ParseCopyArguments(const WCHAR* command, HANDLE& original, HANDLE& ready, const WCHAR*& folder) {
    const WCHAR* p = command;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    for (const WCHAR* option = kCopyOption; *option != 0; ++option, ++p)
        if (*p != *option) return false;
    p = ParseHandle(p, original);
    if (p != NULL) p = ParseHandle(p, ready);
    if (p == NULL || *p == 0) return false;
    folder = p;
    return true;
}
