// The operations the extraction needs from its platform: the Win32 binding (extract_win.cpp),
// the POSIX host of pelpack (extract_host_posix.cpp) and the test fakes implement them.
// Paths are Windows-1251 texts with "\" between folders, relative to the current folder, except
// the installation folder's own text and its parent: absolute, in the system's ANSI code page.
// Messages are Windows-1251 with the ANSI parts marked (base/ansi_text.h). No operation follows
// a link in a path's last part, and only a link carries the reparse-point bit (LinkAttributes).
#pragma once
#include <stddef.h>
#include <stdint.h>

typedef intptr_t FileHandle;                 // Win32 HANDLE or POSIX descriptor
const FileHandle kNoFile = -1;               // INVALID_HANDLE_VALUE / -1
const uint32_t kNoAttributes = 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES: nothing of that name
const uint32_t kAttributeReadOnly = 0x01;
const uint32_t kAttributeDirectory = 0x10;
const uint32_t kAttributeArchive = 0x20;  // what a newly created file has
const uint32_t kAttributeReparsePoint = 0x400;

enum class DirectoryResult { Created, AlreadyExists, Failed };
// The user's answer to a file that could not be written.
enum class FileAnswer { Abort, Retry, Ignore };

// Creation, last-access and last-write time (FILETIME values).
struct FileTimes {
    uint64_t created, accessed, written;
};

// Called by ListFolder for each entry of the folder but "." and ".." (size: a file's bytes).
typedef void (*FolderVisitor)(void* context, const char* name, uint32_t attributes, const FileTimes& times,
                              uint64_t size);

// The attributes of a reparse point as the extraction reads them: a name surrogate (a symbolic
// link, a junction, a mount point) or one whose tag the system does not give (0: Wine's links)
// is a link and keeps the bit; any other (a cloud-file placeholder, a deduplicated or compressed
// file) is an ordinary file or folder.
uint32_t LinkAttributes(uint32_t attributes, uint32_t reparseTag);

struct ExtractHost {
    // The payload resource's bytes and size; false when it cannot be found or loaded.
    virtual bool LoadPayload(const uint8_t*& bytes, size_t& size) = 0;
    // Fresh read-write working memory of at least size bytes, or null.
    virtual void* ObtainMemory(size_t size) = 0;
    virtual void ReleaseMemory(void* block) = 0;
    // Something unique to this run (time and process), for the names of its own files.
    virtual uint32_t RunTag() = 0;
    // Creates one directory level; tells "already exists" from other failures.
    virtual DirectoryResult CreateDirectoryLevel(const char* path) = 0;
    // Removes an empty directory (a link itself, never what it points to).
    virtual bool RemoveDirectoryLevel(const char* path) = 0;
    // Makes path the current folder, against which later relative paths resolve.
    virtual bool SetCurrentFolder(const char* path) = 0;
    // Names, attributes and times of what a folder holds ("" is the current folder); false if
    // unreadable.
    virtual bool ListFolder(const char* path, FolderVisitor visit, void* context) = 0;
    // Creates a new file for writing; kNoFile when anything of that name exists or on failure.
    // Others may not open it, but it may be renamed while open.
    virtual FileHandle CreateNewFile(const char* path) = 0;
    // One block; true only when every byte was written.
    virtual bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) = 0;
    // Creation, last-access and last-write time, all to the same FILETIME.
    virtual void SetFileTimes(FileHandle file, uint64_t time) = 0;
    // False when the system reports that the file could not be completed.
    virtual bool CloseFile(FileHandle file) = 0;
    // Windows attribute bits of an existing file or folder, kNoAttributes when there is none; its
    // times too when asked.
    virtual uint32_t GetAttributes(const char* path, FileTimes* times = nullptr) = 0;
    // Windows attribute bits; false when they could not be set.
    virtual bool SetAttributes(const char* path, uint32_t attributes) = 0;
    // True only when the file could be read and holds exactly these bytes. Read without following
    // a link, sharing it with every other use, so that a program running from it keeps it.
    virtual bool SameContents(const char* path, const uint8_t* data, uint32_t length) = 0;
    // Gives the file or link from the name to, in one step; false when to exists.
    virtual bool Rename(const char* from, const char* to) = 0;
    // Gives a closed file back its three times and its attribute bits, in one step (a link's own,
    // never its target's).
    virtual void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) = 0;
    // Removes a file (a link itself, never what it points to).
    virtual bool RemoveFile(const char* path) = 0;
    // Has a file that cannot be removed now removed when the system next starts.
    virtual void RemoveAtRestart(const char* path) = 0;
    // Once every file is in place, before the earlier files kept aside go: removes what only the
    // earlier version had, by the list in its uninstaller (earlierUninstaller, relative to the
    // folder: a backup of it), or nothing when it is null.
    virtual void RemoveEarlierVersion(const char* earlierUninstaller) = 0;
    // Modal message with the product caption and the information icon over the backdrop.
    virtual void ShowMessage(const char* text) = 0;
    // The same message with Abort, Retry and Ignore; gives the user's choice.
    virtual FileAnswer AskAboutFile(const char* text) = 0;
    virtual void PostQuitRequest(int exitCode) = 0;

protected:
    ~ExtractHost() = default;
};
