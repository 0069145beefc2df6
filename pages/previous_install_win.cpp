// Previous-installation page (dialog 4): binds the model to the dialog's controls.
#include <windows.h>

#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"
#include "pages/previous_install.h"

namespace {

PreviousInstallModel g_page;

INT_PTR OnInitDialog(HWND dialog) {
    WCHAR directory[kPathSize];
    const DWORD reported = GetCurrentDirectoryW(kPathSize, directory);
    PreviousInstallOpen(g_page, reinterpret_cast<const char16_t*>(directory), reported);
    SetWindowTextW(GetDlgItem(dialog, kPreviousFolderFieldId), reinterpret_cast<const WCHAR*>(g_page.folder));
    return TRUE;  // focus on the first enabled tab stop, "Далее >>>"
}

}  // namespace

INT_PTR CALLBACK PreviousInstallPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, EndPageOnCommand);
}
