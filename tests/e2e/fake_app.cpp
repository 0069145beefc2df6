// Stand-in for the running application: a top-level window of class "TFormMain" (or another
// class, to show that the class matters) whose title is the last argument. It waits until it is
// closed or terminated. As a squatter it first creates a mutex (held) or an event of a name.
//
//   fake_app.exe [--class NAME] [--mutex NAME] [--event NAME] TITLE
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
    for (; next + 1 < __argc && __argv[next][0] == '-'; next += 2) {
        if (lstrcmpA(__argv[next], "--class") == 0) className = __argv[next + 1];
        if (lstrcmpA(__argv[next], "--mutex") == 0 && !CreateMutexA(nullptr, TRUE, __argv[next + 1])) return 1;
        if (lstrcmpA(__argv[next], "--event") == 0 && !CreateEventA(nullptr, TRUE, FALSE, __argv[next + 1])) return 1;
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
