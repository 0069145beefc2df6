// The extraction's Win32 host: the payload resource, VirtualAlloc'd working copies, ANSI file calls.
#include <windows.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/messages.h"
#include "base/resource_win.h"
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
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (CreateDirectoryA(path, NULL)) return DirectoryResult::Created;
        return GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::AlreadyExists : DirectoryResult::Failed;
    }
    bool SetCurrentFolder(const char* path) override { return SetCurrentDirectoryA(path) != FALSE; }
    FileHandle OpenExistingForWrite(const char* path) override {
        return FromHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    }
    FileHandle CreateForWrite(const char* path) override {
        return FromHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
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
    bool MoveIntoPlace(const char* from, const char* to) override {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
    }
    void RemoveFile(const char* path) override { DeleteFileA(path); }
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
