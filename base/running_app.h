// How the running application is recognised: its main window's class and title.
#pragma once
extern const char kRunningWindowClass[];  // "TFormMain"

// True when a window title (UTF-16, as the application's Unicode window holds it) names the
// running application: its first 10 characters are the product's display name. Shorter titles
// never match; anything may follow the name.
bool IsRunningProductTitle(const char16_t* title);
