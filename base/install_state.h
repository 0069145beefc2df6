// The installation choices: owned by the installer flow, filled by the pages and passed to the
// extraction, the links, the record and the entry.
#pragma once
#include <stdint.h>

#include "base/text.h"

struct InstallState {
    char folder[kPathSize];  // installation folder, ANSI (Windows-1251), zero-terminated
    uint8_t desktop;         // 1: create a desktop shortcut, 0: do not
};
