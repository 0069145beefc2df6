// The extraction's Win32 host: the payload resource, VirtualAlloc'd working copies, ANSI file calls.
#include <windows.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/messages.h"
#include "base/product.h"
#include "payload/extract.h"
#include "system/closing_actions.h"
#include "resources/resource.h"

namespace {

FileHandle FromHandle(HANDLE h) { return reinterpret_cast<FileHandle>(h); }
HANDLE ToHandle(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

struct Win32Host : ExtractHost {
    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        HMODULE module = GetModuleHandleA(NULL);
        HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(10) /* RT_RCDATA */,
                                     MAKEINTRESOURCEA(PEL_RCDATA_PAYLOAD), 0);
        if (info == NULL) return false;  // LoadResource would fail on it too
        HGLOBAL loaded = LoadResource(module, info);
        if (loaded == NULL) return false;
        bytes = static_cast<const uint8_t*>(LockResource(loaded));
        size = SizeofResource(module, info);
        return bytes != NULL;
    }
    void* ObtainMemory(size_t size) override {
        return VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE);
    }
    void ReleaseMemory(void* block) override { VirtualFree(block, 0, MEM_RELEASE); }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (CreateDirectoryA(path, NULL)) return DirectoryResult::Created;
        return GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::AlreadyExists
                                                      : DirectoryResult::Failed;
    }
    bool SetCurrentFolder(const char* path) override { return SetCurrentDirectoryA(path) != FALSE; }
    FileHandle OpenExistingForWrite(const char* path) override {
        return FromHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    }
    FileHandle CreateForWrite(const char* path) override {
        return FromHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    void WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        DWORD written = 0;
        WriteFile(ToHandle(file), data, length, &written, NULL);
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(time);
        ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
        SetFileTime(ToHandle(file), &ft, &ft, &ft);
    }
    void CloseFile(FileHandle file) override { CloseHandle(ToHandle(file)); }
    void SetAttributes(const char* path, uint32_t attributes) override {
        SetFileAttributesA(path, attributes);
    }
    void ShowMessage(const char* text) override {
        MessageBoxA(g_backdrop, text, kCaptionProduct, MB_ICONINFORMATION);
    }
    void PostQuitRequest(int exitCode) override { PostQuitMessage(exitCode); }
    void RunClosingActions() override { ::RunClosingActions(); }
};

}  // namespace

bool ExtractPayload() {
    Win32Host host;
    return ExtractPayload(host, g_installState);
}
