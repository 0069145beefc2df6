// How the running application is recognised: its main window's class and title.
#pragma once

extern const char kRunningWindowClass[];  // "TFormMain"

// True when a window title names the running application: its first 10 bytes are the
// product's display name. Shorter titles never match; anything may follow the name.
bool IsRunningProductTitle(const char* title);
