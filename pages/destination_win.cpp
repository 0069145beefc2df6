// Destination page (dialog 1): binds g_installState and the destination model to the controls.
#include <windows.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/product.h"
#include "base/wide_text_win.h"
#include "pages/destination.h"
#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"
#include "resources/resource.h"
#include "system/install_record.h"

namespace {

void ReadFolderField(HWND dialog, char (&text)[kPathSize]) {
    ReadAnsiWindowText(GetDlgItem(dialog, kDestinationFolderFieldId), text, sizeof text);
}

INT_PTR OnInitDialog(HWND dialog) {
    ReadProgramFilesDir(g_installState.folder);  // leaves the text as it was when unreadable
    DestinationOpen(g_installState);
    SetWindowTextA(GetDlgItem(dialog, kDestinationFolderFieldId), g_installState.folder);
    SendMessageA(GetDlgItem(dialog, kDestinationDesktopBoxId), BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;  // focus on the first tab stop, "Далее >>>"
}

// Runs the folder browser, which leaves its choice or an empty text in g_installState.folder.
// The page owns the browser, so it stays disabled while the browser is open (one browser at a
// time) and gets the activation back when it closes. A browser that cannot open counts as cancelled.
void RunFolderBrowser(HWND dialog) {
    g_installState.folder[0] = 0;
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(PEL_DLG_FOLDER_BROWSER), dialog, FolderBrowserProc, 0);
}

void OnBrowse(HWND dialog) {
    RunFolderBrowser(dialog);
    char field[kPathSize];
    ReadFolderField(dialog, field);
    if (DestinationAfterBrowse(g_installState, field)) {
        SetWindowTextA(GetDlgItem(dialog, kDestinationFolderFieldId), g_installState.folder);
    }
}

void OnCommand(HWND dialog, int controlId, int) {
    switch (controlId) {
    case kPageProceedId: {
        char field[kPathSize];
        ReadFolderField(dialog, field);
        DestinationNext(g_installState, field);
        EndDialog(dialog, kPageResultProceed);
        break;
    }
    case kPageCancelId: EndDialog(dialog, kPageResultCancel); break;
    case kDestinationBrowseId: OnBrowse(dialog); break;
    case kDestinationDesktopBoxId: {
        LRESULT check = SendMessageA(GetDlgItem(dialog, kDestinationDesktopBoxId), BM_GETCHECK, 0, 0);
        DestinationDesktopToggled(g_installState, static_cast<long>(check));
        break;
    }
    }
}

}  // namespace

INT_PTR CALLBACK DestinationPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return DispatchPageMessage(dialog, message, wParam, OnInitDialog, OnCommand);
}
