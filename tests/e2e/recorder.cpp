// Stand-in for the shell's handler of web pages: the test prefix registers it as the "open"
// command of .htm files, so that opening a page starts no browser and leaves a note of what was
// opened. It writes its first argument (in UTF-8) and the number of its arguments into
// C:\e2e\opened.txt (written aside and renamed, so a reader never sees half a file).
//
//   C:\e2e\recorder.exe FILE
#include <windows.h>
#include <stdio.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    char first[4096] = "";
    if (__argc > 1) WideCharToMultiByte(CP_UTF8, 0, __wargv[1], -1, first, sizeof first, nullptr, nullptr);
    FILE* out = fopen("C:\\e2e\\opened.tmp", "wb");
    if (!out) return 1;
    fprintf(out, "argument \"%s\"\r\n", first);
    fprintf(out, "arguments %d\r\n", __argc - 1);
    fclose(out);
    return MoveFileExA("C:\\e2e\\opened.tmp", "C:\\e2e\\opened.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
