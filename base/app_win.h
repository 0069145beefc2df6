// Process-wide Win32 handles: the module and the window that owns the installer's messages.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;  // module handle given to WinMain
extern HWND g_backdrop;       // backdrop window: owner of the installer's messages
