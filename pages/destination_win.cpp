// Destination page (dialog 1): binds the destination model to the controls; the state it fills
// and the Program Files text it starts from are the flow's (DestinationPageData).
#include <windows.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/product.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "pages/destination.h"
#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"
#include "resources/resource.h"

namespace {

DestinationPageData& Data(HWND dialog) { return *static_cast<DestinationPageData*>(PageData(dialog)); }

void ReadFolderField(HWND dialog, char (&text)[kPathSize]) {
    ReadAnsiWindowText(GetDlgItem(dialog, kDestinationFolderFieldId), text, sizeof text);
}

INT_PTR OnInitDialog(HWND dialog) {
    InstallState& state = *Data(dialog).state;
    CopyText(state.folder, Data(dialog).programFiles);
    DestinationOpen(state);
    SetWindowTextA(GetDlgItem(dialog, kDestinationFolderFieldId), state.folder);
    SendMessageA(GetDlgItem(dialog, kDestinationDesktopBoxId), BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;  // focus on the first tab stop, "Далее >>>"
}

// Runs the folder browser and copies its choice, or an empty text, into state.folder.
// The page owns the browser, so it stays disabled while the browser is open (one browser at a
// time) and gets the activation back when it closes. A browser that cannot open counts as cancelled.
void RunFolderBrowser(HWND dialog, InstallState& state) {
    FolderBrowserData browser = {Data(dialog).programFiles, {}};
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(PEL_DLG_FOLDER_BROWSER), dialog, FolderBrowserProc,
                    reinterpret_cast<LPARAM>(&browser));
    CopyText(state.folder, browser.choice.folder);
}

void OnBrowse(HWND dialog) {
    InstallState& state = *Data(dialog).state;
    RunFolderBrowser(dialog, state);
    char field[kPathSize];
    ReadFolderField(dialog, field);
    if (DestinationAfterBrowse(state, field)) {
        SetWindowTextA(GetDlgItem(dialog, kDestinationFolderFieldId), state.folder);
    }
}

// Nothing before WM_INITDIALOG has handed over the flow's data.
void OnCommand(HWND dialog, int controlId, int) {
    if (PageData(dialog) == NULL) return;
    switch (controlId) {
    case kPageProceedId: {
        char field[kPathSize];
        ReadFolderField(dialog, field);
        DestinationNext(*Data(dialog).state, field);
        EndDialog(dialog, kPageResultProceed);
        break;
    }
    case kPageCancelId: EndDialog(dialog, kPageResultCancel); break;
    case kDestinationBrowseId: OnBrowse(dialog); break;
    case kDestinationDesktopBoxId: {
        LRESULT check = SendMessageA(GetDlgItem(dialog, kDestinationDesktopBoxId), BM_GETCHECK, 0, 0);
        DestinationDesktopToggled(*Data(dialog).state, static_cast<long>(check));
        break;
    }
    }
}

}  // namespace

INT_PTR CALLBACK DestinationPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, OnCommand);
}
