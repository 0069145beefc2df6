// The run mutex: in the global namespace, so that runs in other sessions of the machine count too;
// a process that may not create global objects falls back to its own session.
#include "base/run_lock_win.h"

#include <windows.h>

#include "base/product.h"

namespace {

HANDLE OpenRunMutex() {
    HANDLE mutex = CreateMutexA(NULL, FALSE, "Global\\" PEL_RUN_MUTEX);
    if (mutex == NULL && GetLastError() == ERROR_ACCESS_DENIED) mutex = CreateMutexA(NULL, FALSE, PEL_RUN_MUTEX);
    return mutex;
}

}  // namespace

HANDLE TakeOverRunMutex(HANDLE ready, DWORD waitMs) {
    HANDLE mutex = OpenRunMutex();
    if (mutex == NULL) return NULL;
    const DWORD wait = SignalObjectAndWait(ready, mutex, waitMs, FALSE);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return mutex;
    CloseHandle(mutex);
    return NULL;
}

HANDLE HoldRunMutex(DWORD waitMs) {
    HANDLE mutex = OpenRunMutex();
    if (mutex == NULL) return NULL;
    const DWORD wait = WaitForSingleObject(mutex, waitMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return mutex;
    CloseHandle(mutex);
    return NULL;
}
