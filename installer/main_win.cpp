// The Windows entry point: the installer flow over Win32.
#include <windows.h>

#include "base/app_win.h"
#include "base/product.h"
#include "base/run_lock_win.h"
#include "base/running_app.h"
#include "base/running_app_win.h"
#include "base/wide_text_win.h"
#include "installer/backdrop_win.h"
#include "installer/flow.h"
#include "pages/pages_win.h"
#include "payload/extract.h"
#include "resources/resource.h"
#include "system/install_record_win.h"
#include "system/installed_files_win.h"
#include "system/shortcuts_win.h"

namespace {

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
    bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) override {
        return ::FindWindowTitle(windowClass, title, cap);
    }
    // Only a holder that is still running counts; the handle goes with the process.
    bool HoldRunLock() override { return HoldRunMutex(0) != NULL; }

    // A quit request that the extraction left pending would end the message box's modal loop at
    // once, so the user would never see it: set the request aside while the box is open and post
    // it again afterwards, with its exit code.
    void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon) override {
        MSG quit;
        const bool quitPending = PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        ShowMessageBox(owner == MessageOwner::Backdrop ? g_backdrop : NULL, text, caption, MB_ICONERROR);
        if (quitPending) PostQuitMessage(static_cast<int>(quit.wParam));
    }

    void ShowBackdrop() override {
        g_backdrop = CreateBackdropWindow();
        ShowWindow(g_backdrop, SW_SHOWMAXIMIZED);
        UpdateWindow(g_backdrop);
    }

    // A Unicode dialog shows its template's texts as written, whatever the system's code page.
    // The destination page is given the Program Files text and the state it fills.
    int RunPage(int dialogId, InstallState& state) override {
        char programFiles[kPathSize] = "";
        DestinationPageData destination = {programFiles, &state};
        LPARAM data = 0;
        if (dialogId == PEL_DLG_DESTINATION) {
            ReadProgramFilesDir(programFiles);  // stays empty when unreadable
            data = reinterpret_cast<LPARAM>(&destination);
        }
        return static_cast<int>(
            DialogBoxParamW(g_instance, MAKEINTRESOURCEW(dialogId), NULL, PageProcedure(dialogId), data));
    }
    // A modal loop that meets the quit request posts it again before it ends, so it is still there.
    bool QuitPending() override {
        MSG quit;
        return PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    }

    bool MakeCurrentDirectory(const char* folder) override {
        WCHAR wide[kPathSize];
        return WideFromUtf8(folder, wide, kPathSize) && SetCurrentDirectoryW(wide) != FALSE;
    }
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override { return ::ReadRecordedFolder(buffer); }
    bool ExtractPayload(const InstallState& state, uint64_t& installedBytes) override {
        return ::ExtractPayload(state, installedBytes, ::RemoveEarlierFiles);
    }
    void FinishExtraction() override { ::FinishExtraction(); }
    void RunClosingActions(const InstallState& state) override { ::RunClosingActions(state); }
    void WriteInstallRecord(const InstallState& state) override { ::WriteInstallRecord(state); }
    void WriteUninstallEntry(const InstallState& state, uint64_t installedBytes) override {
        ::WriteUninstallEntry(state, installedBytes);
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    LoadAnsiCodePage();
    // No system box for a drive without a disk: the folder browser lists drives as the user
    // walks, and a failure there is answered by the browser itself.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    Win32FlowHost host;
    return RunInstaller(host);
}
