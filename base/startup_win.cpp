// The entry point of every Win32 program of this project: limits the DLL search, then runs the
// program's WinMain and ends the process with its result.
#include <windows.h>

namespace {

// DLLs that the shell, COM and the dialogs load by name later in the run. Where the process's
// search path cannot be limited to the system folder, they are loaded from it now by full path,
// so that a later load by name finds the copy already in the process instead of searching the
// program's folder (for the installer often a downloads folder anyone can drop a DLL into).
const char kPreloadedDlls[] =
    "uxtheme.dll\0userenv.dll\0setupapi.dll\0apphelp.dll\0propsys.dll\0dwmapi.dll\0"
    "cryptbase.dll\0oleacc.dll\0clbcatq.dll\0version.dll\0ntmarta.dll\0profapi.dll\0";

// The system folder as the system hands it over, in UTF-16; the names are ASCII.
void PreloadSystemDlls() {
    WCHAR path[MAX_PATH + 32];
    const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) return;
    path[folderLength] = '\\';
    for (const char* name = kPreloadedDlls; *name != 0; ++name) {
        // Every name is far shorter than the 31 characters left after the folder.
        WCHAR* out = path + folderLength + 1;
        while (*name != 0) *out++ = static_cast<WCHAR>(*name++);
        *out = 0;
        LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
}

// Runs first: takes the current folder out of the DLL search (XP SP1 and later), and limits
// the search to the system folder where the system offers it (Windows 8 and later, Vista and 7
// with KB2533623). Both are looked up at run time, as older systems lack them.
// Windows Vista is left unlimited: there CoCreateInstance(CLSID_ShellLink) fails once the search
// is limited, and the shortcuts need it. Wherever the search stays open the system DLLs that
// load late are taken from the system folder up front instead.
void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    const SetDllDirectoryProc setDllDirectory =
        reinterpret_cast<SetDllDirectoryProc>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory != NULL) setDllDirectory("");

    const DWORD version = GetVersion();
    const bool vista = LOBYTE(LOWORD(version)) == 6 && HIBYTE(LOWORD(version)) == 0;
    const SetDefaultDllDirectoriesProc setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (!vista && setDefaultDllDirectories != NULL && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE) {
        return;
    }
    PreloadSystemDlls();
}

}  // namespace

// The process entry point. A program is linked without the C runtime's start-up code (they have
// no static constructors and no use for the runtime's state; one that needs its command line
// asks the system for it), which keeps the
// programs small. The DLL search is limited before anything else runs.
// Plain C linkage and calling convention: the name must be the one the linker looks for, and
// the function never returns, so how the system calls it does not matter. On i686 the system
// gives a stack aligned to 4 bytes only, and the compiler expects 16.
#if defined(__i386__)
#define PEL_ENTRY_ALIGN __attribute__((force_align_arg_pointer))
#else
#define PEL_ENTRY_ALIGN
#endif
extern "C" __attribute__((used)) PEL_ENTRY_ALIGN void WinMainCRTStartup() {
    RestrictDllSearch();
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT)));
}
