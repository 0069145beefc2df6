// The Windows entry point: the installer flow over Win32.
#include <windows.h>

#include "base/app_win.h"
#include "installer/backdrop_win.h"
#include "installer/flow.h"
#include "base/product.h"
#include "pages/pages_win.h"
#include "payload/extract.h"
#include "system/closing_actions.h"
#include "system/install_record.h"
#include "resources/resource.h"

HINSTANCE g_instance = NULL;
HWND g_backdrop = NULL;

namespace {

// DLLs that the shell, COM and the dialogs load by name later in the run. Where the process's
// search path cannot be limited to the system folder, they are loaded from it now by full path,
// so that a later load by name finds the copy already in the process instead of searching the
// installer's folder (often a downloads folder anyone can drop a DLL into).
const char kPreloadedDlls[] =
    "uxtheme.dll\0userenv.dll\0setupapi.dll\0apphelp.dll\0propsys.dll\0dwmapi.dll\0"
    "cryptbase.dll\0oleacc.dll\0clbcatq.dll\0version.dll\0ntmarta.dll\0profapi.dll\0";

void PreloadSystemDlls() {
    char path[MAX_PATH + 32];
    const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) return;
    path[folderLength] = '\\';
    for (const char* name = kPreloadedDlls; *name != 0; name += lstrlenA(name) + 1) {
        // Every name is far shorter than the 31 bytes left after the folder.
        lstrcpynA(path + folderLength + 1, name, 31);
        LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
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
    if (!vista && setDefaultDllDirectories != NULL &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE) {
        return;
    }
    PreloadSystemDlls();
}

// The pages the flow runs itself; the folder browser is opened by the destination page.
DLGPROC PageProcedure(int dialogId) {
    switch (dialogId) {
    case PEL_DLG_DESTINATION: return DestinationPageProc;
    case PEL_DLG_LICENCE: return LicencePageProc;
    case PEL_DLG_PREVIOUS_INSTALL: return PreviousInstallPageProc;
    case PEL_DLG_COMPLETION: return CompletionPageProc;
    }
    return NULL;
}

struct Win32FlowHost final : FlowHost {
    bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override {
        HWND window = FindWindowA(windowClass, NULL);
        if (window == NULL) return false;
        title[0] = 0;
        GetWindowTextA(window, title, static_cast<int>(cap));
        return true;
    }

    // A quit request that the extraction left pending would end the message box's modal loop at
    // once, so the user would never see it: set the request aside while the box is open and post
    // it again afterwards, with its exit code.
    void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon) override {
        MSG quit;
        const bool quitPending = PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        MessageBoxA(owner == MessageOwner::Backdrop ? g_backdrop : NULL, text, caption, MB_ICONERROR);
        if (quitPending) PostQuitMessage(static_cast<int>(quit.wParam));
    }

    void ShowBackdrop() override {
        g_backdrop = CreateBackdropWindow();
        ShowWindow(g_backdrop, SW_SHOWMAXIMIZED);
        UpdateWindow(g_backdrop);
    }

    int RunPage(int dialogId) override {
        return static_cast<int>(
            DialogBoxParamA(g_instance, MAKEINTRESOURCEA(dialogId), NULL, PageProcedure(dialogId), 0));
    }

    bool MakeCurrentDirectory(const char* folder) override { return SetCurrentDirectoryA(folder) != FALSE; }
    bool ReadInstalledPath(char (&buffer)[kPathSize]) override { return ::ReadInstalledPath(buffer); }
    bool ExtractPayload() override { return ::ExtractPayload(); }
    void RunClosingActions() override { ::RunClosingActions(); }
    void WriteInstallRecord() override { ::WriteInstallRecord(); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    // No system box for a drive without a disk: the folder browser lists drives as the user
    // walks, and a failure there is answered by the browser itself.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    Win32FlowHost host;
    return RunInstaller(host);
}

// The process entry point. The program is linked without the C runtime's start-up code (it has
// no static constructors, no command line and no use for the runtime's state), which keeps the
// installer small. The DLL search is limited before anything else runs.
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
