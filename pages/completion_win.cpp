// Completion page (dialog 5): "ОК" ends it with 1, Esc and the close box with 0.
#include <windows.h>

#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"

namespace {

INT_PTR OnInitDialog(HWND) { return TRUE; }  // focus on "ОК"

}  // namespace

INT_PTR CALLBACK CompletionPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, EndPageOnCommand);
}
