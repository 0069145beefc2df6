// The running application's window, looked up among the top-level windows.
#include "base/running_app_win.h"

#include <windows.h>

#include "base/running_app.h"
#include "base/text.h"

bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) {
    const HWND window = FindWindowA(windowClass, NULL);
    if (window == NULL || cap == 0) return false;
    WCHAR wide[kPathSize];
    wide[0] = 0;
    GetWindowTextW(window, wide, kPathSize);
    size_t n = 0;
    for (; wide[n] != 0 && n + 1 < cap && n + 1 < kPathSize; ++n) title[n] = static_cast<char16_t>(wide[n]);
    title[n] = 0;
    return true;
}
