// The extraction's Win32 host: the payload resource, VirtualAlloc'd working copies, ANSI file calls.
#include <windows.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/messages.h"
#include "base/resource_win.h"
#include "base/text.h"
#include "payload/extract.h"
#include "resources/resource.h"

namespace {

FileHandle FromHandle(HANDLE h) { return reinterpret_cast<FileHandle>(h); }
HANDLE ToHandle(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

struct Win32Host : ExtractHost {
    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        return LoadRcData(PEL_RCDATA_PAYLOAD, bytes, size);
    }
    void* ObtainMemory(size_t size) override { return VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE); }
    void ReleaseMemory(void* block) override { VirtualFree(block, 0, MEM_RELEASE); }
    uint32_t RunTag() override { return GetTickCount() ^ GetCurrentProcessId() << 16; }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (CreateDirectoryA(path, NULL)) return DirectoryResult::Created;
        return GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::AlreadyExists : DirectoryResult::Failed;
    }
    bool RemoveDirectoryLevel(const char* path) override { return RemoveDirectoryA(path) != FALSE; }
    bool SetCurrentFolder(const char* path) override { return SetCurrentDirectoryA(path) != FALSE; }
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        char pattern[kPathSize + 2] = "";
        if (*path != 0 && !(CopyText(pattern, path) && AppendText(pattern, "\\"))) return false;
        AppendText(pattern, "*");
        WIN32_FIND_DATAA found;
        const HANDLE find = FindFirstFileA(pattern, &found);
        if (find == INVALID_HANDLE_VALUE) return false;  // "." at least is always there
        do {
            const char* n = found.cFileName;
            if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))) visit(context, n, found.dwFileAttributes);
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return true;
    }
    // Delete sharing lets the new file take its place by name while its handle stays open.
    FileHandle CreateNewFile(const char* path) override {
        return FromHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_DELETE, NULL, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
    }
    bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        DWORD written = 0;
        return WriteFile(ToHandle(file), data, length, &written, NULL) && written == length;
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(time);
        ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
        SetFileTime(ToHandle(file), &ft, &ft, &ft);
    }
    bool CloseFile(FileHandle file) override { return CloseHandle(ToHandle(file)) != FALSE; }
    uint32_t GetAttributes(const char* path) override { return GetFileAttributesA(path); }
    bool SetAttributes(const char* path, uint32_t attributes) override {
        return SetFileAttributesA(path, attributes) != FALSE;
    }
    // A rename moves the name itself (a link stays a link) and never replaces what is there.
    bool Rename(const char* from, const char* to) override { return MoveFileExA(from, to, 0) != FALSE; }
    bool RemoveFile(const char* path) override { return DeleteFileA(path) != FALSE; }
    void ShowMessage(const char* text) override { MessageBoxA(g_backdrop, text, kCaptionProduct, MB_ICONINFORMATION); }
    FileAnswer AskAboutFile(const char* text) override {
        switch (MessageBoxA(g_backdrop, text, kCaptionProduct, MB_ICONINFORMATION | MB_ABORTRETRYIGNORE)) {
        case IDRETRY: return FileAnswer::Retry;
        case IDIGNORE: return FileAnswer::Ignore;
        default: return FileAnswer::Abort;  // also a box that could not be shown
        }
    }
    void PostQuitRequest(int exitCode) override { PostQuitMessage(exitCode); }
};

}  // namespace

bool ExtractPayload() {
    Win32Host host;
    return ExtractPayload(host, g_installState);
}
