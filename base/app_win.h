// Process-wide Win32 handles kept by the installer flow.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;  // module handle given to WinMain
extern HWND g_backdrop;       // backdrop window: owner of the installer's messages
