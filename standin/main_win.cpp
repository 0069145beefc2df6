// A stand-in for the application in the sample payload: one small window of the application's
// class and title, so that the installer's and uninstaller's running check can be seen at work.
// It closes with its close box or Esc.
#include <windows.h>

#include "base/messages.h"
#include "base/running_app.h"
#include "base/wide_text_win.h"
#include "resources/resource.h"

namespace {

const int kTextId = 100;

void OnCreate(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    WCHAR message[256];
    WideFrom1251(kMessageStandIn, message, 256);
    const HWND text = CreateWindowExW(
        0, L"STATIC", message, WS_CHILD | WS_VISIBLE | SS_CENTER, 12, 16, client.right - 24, client.bottom - 24, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), GetModuleHandleA(NULL), NULL);
    SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// A Unicode window, as the application's: its title reads the same whatever the code page.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WCHAR className[16], title[32];
    WideFrom1251(kRunningWindowClass, className, 16);
    WideFrom1251(kCaptionProduct, title, 32);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StandInProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(PEL_ICON_MAIN));
    windowClass.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    if (RegisterClassW(&windowClass) == 0) return 1;
    const HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 440, 130, NULL, NULL, instance, NULL);
    if (window == NULL) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
