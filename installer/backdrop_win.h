// The backdrop window behind the pages.
#pragma once
#include <windows.h>

// Registers the backdrop class and creates the (still hidden) window with g_instance.
// Failures are not tested: the run goes on without a backdrop (NULL).
HWND CreateBackdropWindow();
