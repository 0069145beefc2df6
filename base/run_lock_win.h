// One installer or uninstaller at a time: a named mutex held for the whole run.
#pragma once
#include <windows.h>

// Takes the run mutex, waiting at most waitMs for a holder to let it go (one that ended without
// releasing it counts as gone). The held mutex, or NULL when another run holds it. The handle is
// released with the process.
HANDLE HoldRunMutex(DWORD waitMs);
