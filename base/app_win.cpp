// The process-wide Win32 handles: set by the entry point and the backdrop, read where a call
// needs the module or an owner window.
#include "base/app_win.h"

HINSTANCE g_instance = NULL;
HWND g_backdrop = NULL;
