// The backdrop window: a maximised top-level window painted as a blue-to-black gradient.
#include "installer/backdrop_win.h"

#include "base/app_win.h"
#include "base/product.h"
#include "base/wide_text_win.h"
#include "installer/gradient.h"
#include "resources/resource.h"

namespace {

const WCHAR kBackdropClass[] = L"VORTA::Installer";
const char kBackdropTitle[] = "Установка";  // Windows-1251, shown through its own code page

// One pen per row: the whole client area, whatever the update region.
void OnPaint(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    for (int y = 0; y < height; ++y) {
        const int blue = GradientBlueLevel(y, height);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, blue));
        HGDIOBJ previous = SelectObject(dc, pen);
        MoveToEx(dc, 0, y, NULL);
        LineTo(dc, width, y);
        SelectObject(dc, previous);
        DeleteObject(pen);
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateBackdropWindow() {
    WNDCLASSEXW wc;
    wc.cbSize = sizeof(WNDCLASSEXW);
    wc.style = CS_HREDRAW | CS_VREDRAW;  // repaint the whole gradient on every resize
    wc.lpfnWndProc = BackdropProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = g_instance;
    wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kBackdropClass;
    wc.hIconSm = LoadIconA(g_instance, MAKEINTRESOURCEA(PEL_ICON_MAIN));
    RegisterClassExW(&wc);
    WCHAR title[32];
    WideFrom1251(kBackdropTitle, title, 32);
    return CreateWindowExW(0, kBackdropClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, NULL, NULL, g_instance, NULL);
}
