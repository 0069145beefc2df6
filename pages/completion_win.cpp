// Completion page (dialog 5): "ОК" ends it with 1, Esc and the close box with 0.
#include <windows.h>

#include "pages/page.h"
#include "pages/pages_win.h"

INT_PTR CALLBACK CompletionPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;  // focus on "ОК"
    case WM_COMMAND: {
        int result;
        if (PageEndsWith(LOWORD(wParam), &result)) EndDialog(dialog, result);
        return 0;
    }
    }
    return FALSE;
}
