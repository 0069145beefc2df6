// The installation choices shared by the pages, the extraction, the shortcuts and the record.
#pragma once
#include <stdint.h>

#include "base/text.h"

struct InstallState {
    char folder[kPathSize];  // installation folder, ANSI (Windows-1251), zero-terminated
    uint8_t desktop;         // 1: create a desktop shortcut, 0: do not
};

// The process-wide record, zero-filled at start; owned by the installer flow.
extern InstallState g_installState;
