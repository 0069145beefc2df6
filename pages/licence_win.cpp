// Licence page (dialog 2): fills the list from the LicenceText resource and enables
// "Далее >>>" exactly while the acceptance box is ticked.
#include <windows.h>

#include "base/app_win.h"
#include "base/resource_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "pages/licence.h"
#include "pages/page.h"
#include "pages/page_win.h"
#include "pages/pages_win.h"
#include "resources/resource.h"

namespace {

LicenceModel g_page;

// A line is Windows-1251 text, at most 1000 bytes.
void AddLine(void* context, const char* line) {
    WCHAR wide[kPathSize];
    WideFrom1251(line, wide, kPathSize);
    SendMessageW(static_cast<HWND>(context), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide));
}

// The licence text read in place from the module; a missing resource gives an empty text.
void FillList(HWND list) {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    if (!LoadRcData(PEL_RCDATA_LICENCE, bytes, size)) size = 0;
    SplitLicenceText(reinterpret_cast<const char*>(bytes), size, AddLine, list);
}

void ShowAcceptance(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, kPageProceedId), g_page.proceedEnabled ? TRUE : FALSE);
}

INT_PTR OnInitDialog(HWND dialog) {
    FillList(GetDlgItem(dialog, kLicenceListId));
    SendMessageA(GetDlgItem(dialog, kLicenceAcceptBoxId), BM_SETCHECK, BST_UNCHECKED, 0);
    LicenceOpen(g_page);
    ShowAcceptance(dialog);
    return TRUE;  // focus on the first enabled tab stop, "Отмена"
}

void OnCommand(HWND dialog, int controlId, int) {
    if (controlId == kLicenceAcceptBoxId) {
        LRESULT check = SendMessageA(GetDlgItem(dialog, kLicenceAcceptBoxId), BM_GETCHECK, 0, 0);
        LicenceAcceptToggled(g_page, static_cast<long>(check));
        ShowAcceptance(dialog);
        return;
    }
    int result;
    if (LicenceEndsWith(g_page, controlId, &result)) EndDialog(dialog, result);
}

}  // namespace

INT_PTR CALLBACK LicencePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchPageMessage(dialog, message, wParam, lParam, OnInitDialog, OnCommand);
}
