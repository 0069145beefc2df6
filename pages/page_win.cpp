// The dispatch every page's dialog procedure shares.
#include "pages/page_win.h"

#include "pages/page.h"

INT_PTR DispatchPageMessage(HWND dialog, UINT message, WPARAM wParam, PageInitHandler onInit,
                            PageCommandHandler onCommand) {
    switch (message) {
    case WM_INITDIALOG: return onInit(dialog);
    case WM_COMMAND: onCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
    }
    return FALSE;
}

void EndPageOnCommand(HWND dialog, int controlId, int) {
    int result;
    if (PageEndsWith(controlId, &result)) EndDialog(dialog, result);
}
