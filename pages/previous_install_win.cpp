// Previous-installation page (dialog 4): binds the model to the dialog's controls.
#include <windows.h>

#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"
#include "pages/previous_install.h"

namespace {

PreviousInstallModel g_page;

INT_PTR OnInitDialog(HWND dialog) {
    char directory[kPathSize];
    DWORD reported = GetCurrentDirectoryA(sizeof(directory), directory);
    PreviousInstallOpen(g_page, directory, reported);
    SetWindowTextA(GetDlgItem(dialog, kPreviousFolderFieldId), g_page.folder);
    return TRUE;  // focus on the first enabled tab stop, "Далее >>>"
}

}  // namespace

INT_PTR CALLBACK PreviousInstallPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, EndPageOnCommand);
}
