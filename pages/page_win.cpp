// The dispatch every page's dialog procedure shares.
#include "pages/page_win.h"

#include "pages/page.h"

INT_PTR DispatchPageMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, PageInitHandler onInit,
                            PageCommandHandler onCommand) {
    switch (message) {
    case WM_INITDIALOG: SetWindowLongPtrW(dialog, DWLP_USER, lParam); return onInit(dialog);
    case WM_COMMAND: onCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
    }
    return FALSE;
}

void* PageData(HWND dialog) { return reinterpret_cast<void*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

void EndPageOnCommand(HWND dialog, int controlId, int) {
    int result;
    if (PageEndsWith(controlId, &result)) EndDialog(dialog, result);
}
