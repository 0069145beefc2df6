// The running application's window, looked up among the top-level windows.
#pragma once
#include <stddef.h>

// Finds a top-level window of windowClass and reads its title (UTF-16, terminated, at most cap-1
// units). False when no such window exists.
bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap);
