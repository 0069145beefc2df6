// The running application's window, looked up among the top-level windows.
#include <windows.h>

#include "base/running_app.h"

bool FindWindowTitle(const char* windowClass, char* title, size_t cap) {
    const HWND window = FindWindowA(windowClass, NULL);
    if (window == NULL) return false;
    title[0] = 0;
    GetWindowTextA(window, title, static_cast<int>(cap));
    return true;
}
