// Stand-in for the running application: a top-level window of class "TFormMain" (or another
// class, to show that the class matters) whose title is the last argument. It waits until it is
// closed or terminated.
//
//   fake_app.exe [--class NAME] TITLE
#include <windows.h>

namespace {

LRESULT CALLBACK FakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char* className = "TFormMain";
    int next = 1;
    if (__argc > 2 && lstrcmpA(__argv[1], "--class") == 0) {
        className = __argv[2];
        next = 3;
    }
    const char* title = __argc > next ? __argv[next] : "";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FakeWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window =
        CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 320, 120, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
