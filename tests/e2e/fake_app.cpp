// Stand-in for the running application: a top-level window of class "TFormMain" (or another
// class, to show that the class matters) whose title is the last argument. It runs until the
// driver terminates it. Its arguments are read and its window made in UTF-16, so that the title is
// the same under every ANSI code page. As a squatter it first creates a mutex (held) or an event
// of a name.
//
//   fake_app.exe [--class NAME] [--mutex NAME] [--event NAME] TITLE
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    const wchar_t* className = L"TFormMain";
    int next = 1;
    for (; next + 1 < __argc && __wargv[next][0] == L'-'; next += 2) {
        if (lstrcmpW(__wargv[next], L"--class") == 0) className = __wargv[next + 1];
        if (lstrcmpW(__wargv[next], L"--mutex") == 0 && !CreateMutexW(nullptr, TRUE, __wargv[next + 1])) return 1;
        if (lstrcmpW(__wargv[next], L"--event") == 0 && !CreateEventW(nullptr, TRUE, FALSE, __wargv[next + 1]))
            return 1;
    }
    const wchar_t* title = __argc > next ? __wargv[next] : L"";
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    if (!RegisterClassW(&windowClass)) return 1;
    HWND window =
        CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 320, 120, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
