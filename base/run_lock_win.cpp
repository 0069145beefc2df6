// The run mutex, in a private namespace bounded by the Administrators group for a process that
// has the group enabled (elevated), by the user's own SID otherwise: only a process inside that
// boundary can create or open the namespace, so no program of a user can take the lock's name
// first and block every run. The namespace is kept open as long as the process, so that it
// lives while any run holds or waits for the lock. Where the system has no private namespaces
// (Wine), the mutex is named after the same boundary in the global namespace, or in the
// session's for a process that may not create global objects.
#include "base/run_lock_win.h"

#include <windows.h>
#include <sddl.h>

#include "base/product.h"
#include "base/text.h"

namespace {

typedef HANDLE(WINAPI* CreateBoundaryCall)(LPCWSTR name, ULONG flags);
typedef BOOL(WINAPI* AddSidCall)(HANDLE* boundary, PSID sid);
typedef HANDLE(WINAPI* CreateNamespaceCall)(LPSECURITY_ATTRIBUTES attributes, LPVOID boundary, LPCWSTR alias);
typedef HANDLE(WINAPI* OpenNamespaceCall)(LPVOID boundary, LPCWSTR alias);

const WCHAR kNamespace[] = L"Pelbrix";  // the boundary's name, and the namespace's alias
const char kNamespacedMutex[] = "Pelbrix\\" PEL_RUN_MUTEX;

// The boundary's SID: Administrators where this process has the group enabled, else its user.
bool BoundarySid(BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, sid, &size) && CheckTokenMembership(NULL, sid, &member) &&
        member)
        return true;
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } owner;
    const bool read = GetTokenInformation(token, TokenUser, &owner, sizeof owner, &size) &&
                      CopySid(sizeof sid, sid, owner.user.User.Sid);
    CloseHandle(token);
    return read;
}

// The mutex in the private namespace of the boundary; NULL where the system lacks the calls
// (looked up by name: Wine's kernel32 has none of them but the first) or refuses.
HANDLE OpenNamespacedMutex(PSID sid) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const CreateBoundaryCall createBoundary = reinterpret_cast<CreateBoundaryCall>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CreateBoundaryDescriptorW")));
    const AddSidCall addSid =
        reinterpret_cast<AddSidCall>(reinterpret_cast<void*>(GetProcAddress(kernel, "AddSIDToBoundaryDescriptor")));
    const CreateNamespaceCall createNamespace = reinterpret_cast<CreateNamespaceCall>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CreatePrivateNamespaceW")));
    const OpenNamespaceCall openNamespace =
        reinterpret_cast<OpenNamespaceCall>(reinterpret_cast<void*>(GetProcAddress(kernel, "OpenPrivateNamespaceW")));
    if (createBoundary == NULL || addSid == NULL || createNamespace == NULL || openNamespace == NULL) return NULL;
    HANDLE boundary = createBoundary(kNamespace, 0);
    if (boundary == NULL || !addSid(&boundary, sid)) return NULL;
    HANDLE space = createNamespace(NULL, boundary, kNamespace);
    if (space == NULL && GetLastError() == ERROR_ALREADY_EXISTS) space = openNamespace(boundary, kNamespace);
    return space != NULL ? CreateMutexA(NULL, FALSE, kNamespacedMutex) : NULL;
}

HANDLE OpenRunMutex() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    if (!BoundarySid(sid)) return NULL;
    HANDLE mutex = OpenNamespacedMutex(sid);
    if (mutex != NULL) return mutex;
    char* text = NULL;
    char name[256] = "Global\\" PEL_RUN_MUTEX ".";
    const bool named = ConvertSidToStringSidA(sid, &text) && AppendText(name, text);
    if (text != NULL) LocalFree(text);
    if (!named) return NULL;
    mutex = CreateMutexA(NULL, FALSE, name);
    if (mutex == NULL && GetLastError() == ERROR_ACCESS_DENIED) mutex = CreateMutexA(NULL, FALSE, name + 7);
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
