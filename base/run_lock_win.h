// One installer or uninstaller at a time: a named mutex held for the whole run.
#pragma once
#include <windows.h>

// Takes the run mutex, waiting at most waitMs for a holder to let it go (one that ended without
// releasing it counts as gone). The held mutex, or NULL when another run holds it. The handle is
// released with the process.
HANDLE HoldRunMutex(DWORD waitMs);
// For a program that hands its run over to another process: signals ready and, in the same
// step, waits at most waitMs for the run mutex, so that the one about to let it go (or to end
// without releasing it) can pass it to nobody else. The held mutex, or NULL.
HANDLE TakeOverRunMutex(HANDLE ready, DWORD waitMs);
