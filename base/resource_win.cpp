// RCDATA resources of the program's own module.
#include "base/resource_win.h"

#include <windows.h>

bool LoadRcData(int id, const uint8_t*& bytes, size_t& size) {
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(10) /* RT_RCDATA */, MAKEINTRESOURCEA(id), 0);
    if (info == NULL) return false;  // LoadResource would fail on it too
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == NULL) return false;
    bytes = static_cast<const uint8_t*>(LockResource(loaded));
    size = SizeofResource(module, info);
    return bytes != NULL;
}
