// The operations the extraction needs from its platform: the Win32 binding (extract_win.cpp),
// the POSIX host of pelpack (file_ops_posix.cpp) and the test fakes implement them.
// Paths are Windows-1251 texts with "\" between folders, relative to the current folder unless
// they are the installation folder's own text.
#pragma once
#include <stddef.h>
#include <stdint.h>

typedef intptr_t FileHandle;                 // Win32 HANDLE or POSIX descriptor
const FileHandle kNoFile = -1;               // INVALID_HANDLE_VALUE / -1
const uint32_t kNoAttributes = 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES: nothing of that name

enum class DirectoryResult { Created, AlreadyExists, Failed };
// The user's answer to a file that could not be written.
enum class FileAnswer { Abort, Retry, Ignore };

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
    // One block; true only when every byte was written.
    virtual bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) = 0;
    // Creation, last-access and last-write time, all to the same FILETIME.
    virtual void SetFileTimes(FileHandle file, uint64_t time) = 0;
    // False when the system reports that the file could not be completed.
    virtual bool CloseFile(FileHandle file) = 0;
    // Windows attribute bits of an existing file or folder, kNoAttributes when there is none.
    virtual uint32_t GetAttributes(const char* path) = 0;
    // Windows attribute bits; false when they could not be set.
    virtual bool SetAttributes(const char* path, uint32_t attributes) = 0;
    // Puts the file from in place of the file to (which may or may not exist), in one step.
    virtual bool MoveIntoPlace(const char* from, const char* to) = 0;
    virtual void RemoveFile(const char* path) = 0;
    // Modal message with the product caption and the information icon over the backdrop.
    virtual void ShowMessage(const char* text) = 0;
    // The same message with Abort, Retry and Ignore; gives the user's choice.
    virtual FileAnswer AskAboutFile(const char* text) = 0;
    virtual void PostQuitRequest(int exitCode) = 0;

protected:
    ~ExtractHost() = default;
};
