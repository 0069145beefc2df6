// Stand-in for the shell's handler of web pages: the test prefix registers it as the "open"
// command of .htm files, so that opening a page starts no browser and leaves a note of what was
// opened. It writes its command line, its first argument and its current directory into
// "opened.txt" beside itself (written aside and renamed, so a reader never sees half a file).
//
//   recorder.exe FILE
#include <windows.h>
#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return 1;
    char* slash = strrchr(folder, '\\');
    if (slash) slash[1] = 0;
    char temporary[MAX_PATH + 16];
    char final[MAX_PATH + 16];
    snprintf(temporary, sizeof temporary, "%sopened.tmp", folder);
    snprintf(final, sizeof final, "%sopened.txt", folder);

    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    FILE* out = fopen(temporary, "wb");
    if (!out) return 1;
    fprintf(out, "command-line \"%s\"\r\n", GetCommandLineA());
    fprintf(out, "argument \"%s\"\r\n", __argc > 1 ? __argv[1] : "");
    fprintf(out, "arguments %d\r\n", __argc - 1);
    fprintf(out, "directory \"%s\"\r\n", directory);
    fclose(out);
    return MoveFileExA(temporary, final, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
