// How the running application is recognised: its main window's class and title.
#pragma once
#include <stddef.h>

extern const char kRunningWindowClass[];  // "TFormMain"

// True when a window title names the running application: its first 10 bytes are the
// product's display name. Shorter titles never match; anything may follow the name.
bool IsRunningProductTitle(const char* title);

// Finds a top-level window of windowClass and reads its title (terminated, at most cap-1 bytes).
// False when no such window exists. Win32 only (running_app_win.cpp).
bool FindWindowTitle(const char* windowClass, char* title, size_t cap);
