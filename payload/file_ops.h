// The operations the extraction needs from its platform: the Win32 binding (extract_win.cpp),
// the POSIX host of pelpack (file_ops_posix.cpp) and the test fakes implement them.
// Paths are Windows-1251 texts with "\" between folders, relative to the current folder unless
// they are the installation folder's own text.
#pragma once
#include <stddef.h>
#include <stdint.h>

typedef intptr_t FileHandle;         // Win32 HANDLE or POSIX descriptor
const FileHandle kNoFile = -1;       // INVALID_HANDLE_VALUE / -1

enum class DirectoryResult { Created, AlreadyExists, Failed };

struct ExtractHost {
    // The payload resource's bytes and size; false when it cannot be found or loaded.
    virtual bool LoadPayload(const uint8_t*& bytes, size_t& size) = 0;
    // Fresh read-write working memory of at least size bytes, or null.
    virtual void* ObtainMemory(size_t size) = 0;
    virtual void ReleaseMemory(void* block) = 0;
    // Creates one directory level; tells "already exists" from other failures.
    virtual DirectoryResult CreateDirectoryLevel(const char* path) = 0;
    // Makes path the current folder, against which later relative paths resolve.
    virtual bool SetCurrentFolder(const char* path) = 0;
    // Opens an existing file for writing without sharing (the data-file probe); kNoFile if not.
    virtual FileHandle OpenExistingForWrite(const char* path) = 0;
    // Creates or truncates a file for writing without sharing; kNoFile on failure.
    virtual FileHandle CreateForWrite(const char* path) = 0;
    // One block; the outcome is not needed.
    virtual void WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) = 0;
    // Creation, last-access and last-write time, all to the same FILETIME.
    virtual void SetFileTimes(FileHandle file, uint64_t time) = 0;
    virtual void CloseFile(FileHandle file) = 0;
    // Windows attribute bits; the outcome is not needed.
    virtual void SetAttributes(const char* path, uint32_t attributes) = 0;
    // Modal message with the product caption and the information icon over the backdrop.
    virtual void ShowMessage(const char* text) = 0;
    virtual void PostQuitRequest(int exitCode) = 0;
    // Start-menu group, links, features page (nothing on hosts without them).
    virtual void RunClosingActions() = 0;

protected:
    ~ExtractHost() = default;
};
