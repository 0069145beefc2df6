// Folder browser (dialog 3): binds the folder browser model to the Win32 directory-listing calls
// and the page's controls; it starts from and answers into the caller's FolderBrowserData.
#include <windows.h>

#include "base/install_state.h"
#include "base/wide_text_win.h"
#include "pages/folder_browser.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"

namespace {

const UINT kDriveAttributes = DDL_DRIVES | DDL_EXCLUSIVE;      // 0xC000: drives only
const UINT kFolderAttributes = DDL_DIRECTORY | DDL_EXCLUSIVE;  // 0x8010: folders only, [..] included

// The view over one open page; made for each message (it holds nothing but the page).
struct Win32FolderBrowserView final : FolderBrowserView {
    HWND page;
    explicit Win32FolderBrowserView(HWND dialog) : page(dialog) {}

    HWND Control(int id) const { return GetDlgItem(page, id); }

    bool ListDrives(char (&work)[kBrowserTextSize]) override {
        return DlgDirListComboBoxA(page, work, kBrowserDriveListId, 0, kDriveAttributes) != 0;
    }
    bool ListFolders(char (&work)[kBrowserTextSize]) override {
        return DlgDirListA(page, work, kBrowserFolderListId, kBrowserPathFieldId, kFolderAttributes) != 0;
    }
    void RefillDrives() override {
        // A bare pattern names no directory, so the current one stays.
        char pattern[] = "*";
        DlgDirListComboBoxA(page, pattern, kBrowserDriveListId, 0, kDriveAttributes);
    }
    void GetPathField(char (&text)[kBrowserTextSize]) override {
        ReadAnsiWindowText(Control(kBrowserPathFieldId), text, sizeof text);
    }
    void SetPathField(const char* text) override { SetWindowTextA(Control(kBrowserPathFieldId), text); }
    void SetDriveCaption(const char* caption) override { SetWindowTextA(Control(kBrowserDriveListId), caption); }
    bool GetSelectedDrive(int* index, char (&entry)[kBrowserTextSize]) override {
        HWND list = Control(kBrowserDriveListId);
        const LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
        if (selected == CB_ERR) return false;
        // CB_GETLBTEXT takes no buffer size: measure first.
        const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, selected, 0);
        if (length == CB_ERR || length >= static_cast<LRESULT>(sizeof entry)) return false;
        if (SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry)) == CB_ERR) return false;
        *index = static_cast<int>(selected);
        return true;
    }
    void SelectDrive(int index) override {
        SendMessageA(Control(kBrowserDriveListId), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    bool GetSelectedFolder(char (&entry)[kBrowserTextSize]) override {
        HWND list = Control(kBrowserFolderListId);
        const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (selected == LB_ERR) return false;
        // LB_GETTEXT takes no buffer size: measure first.
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, selected, 0);
        if (length == LB_ERR || length >= static_cast<LRESULT>(sizeof entry)) return false;
        return SendMessageA(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(entry)) != LB_ERR;
    }
    void FocusFolderList() override { SetFocus(Control(kBrowserFolderListId)); }
    void Close() override {
        // The page is destroyed rather than ended; an owner it disabled is enabled first, so
        // that it gets the activation back.
        HWND owner = GetWindow(page, GW_OWNER);
        if (owner != NULL) EnableWindow(owner, TRUE);
        DestroyWindow(page);
    }
};

// One browser per process: its navigation state.
FolderBrowserState g_browser;

FolderBrowserData& Data(HWND dialog) { return *static_cast<FolderBrowserData*>(PageData(dialog)); }

INT_PTR OnInitDialog(HWND dialog) {
    Win32FolderBrowserView view(dialog);
    FolderBrowserOpen(g_browser, view, Data(dialog).programFiles);
    return FALSE;  // the focus is in the folder list
}

// A command always acts on the page it came from; none before WM_INITDIALOG handed over the data.
void OnCommand(HWND dialog, int controlId, int notification) {
    if (PageData(dialog) == NULL) return;
    Win32FolderBrowserView view(dialog);
    FolderBrowserCommand(g_browser, view, Data(dialog).choice, controlId, notification);
}

}  // namespace

INT_PTR CALLBACK FolderBrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, OnCommand);
}
