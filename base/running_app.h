// How the running application is recognised: its main window's class and title.
#pragma once
#include <stddef.h>

extern const char kRunningWindowClass[];  // "TFormMain"

// True when a window title (UTF-16, as the application's Unicode window holds it) names the
// running application: its first 10 characters are the product's display name. Shorter titles
// never match; anything may follow the name.
bool IsRunningProductTitle(const char16_t* title);

// Finds a top-level window of windowClass and reads its title (UTF-16, terminated, at most cap-1
// units). False when no such window exists. Win32 only (running_app_win.cpp).
bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap);
