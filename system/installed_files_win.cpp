// The installed files over Win32: W calls on marked paths, never through a link.
#include "system/installed_files_win.h"

#include "base/product.h"
#include "base/wide_text_win.h"
#include "payload/archive.h"
#include "resources/resource.h"

namespace {

// A marked path in UTF-16: the folder from the ANSI code page, the listed names from Windows-1251.
struct WideMarked {
    WCHAR text[kPathSize];
    explicit WideMarked(const char* path) { WideFromMarked(path, text, kPathSize); }
    operator const WCHAR*() const { return text; }
};

struct Win32FilesHost final : FilesHost {
    RemoveResult RemoveFile(const char* path) override { return RemoveMarkedFile(path); }
    bool RemoveEmptyFolder(const char* path) override { return RemoveEmptyMarkedFolder(path); }
    EntryFacts Inspect(const char* path) override { return InspectMarked(path); }
    bool FileChecksum(const char* path, uint32_t& checksum) override { return MarkedFileChecksum(path, checksum); }
};

}  // namespace

EntryKind KindOf(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::File;
}

EntryFacts InspectWide(const WCHAR* path) {
    EntryFacts facts = {EntryKind::Missing, 0, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return facts;
    facts.kind = KindOf(data.dwFileAttributes);
    facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.time =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return facts;
}

EntryFacts InspectMarked(const char* path) { return InspectWide(WideMarked(path)); }

RemoveResult RemoveMarkedFile(const char* marked) {
    const WideMarked path(marked);
    if (DeleteFileW(path)) return RemoveResult::Removed;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return RemoveResult::Missing;
    // The installer gives read-only files their attribute, which refuses deletion; a delete
    // that fails all the same leaves the file as it was.
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        !SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY))
        return RemoveResult::Failed;
    if (DeleteFileW(path)) return RemoveResult::Removed;
    SetFileAttributesW(path, attributes);
    return RemoveResult::Failed;
}

bool RemoveEmptyMarkedFolder(const char* path) { return RemoveDirectoryW(WideMarked(path)) != FALSE; }

// The whole file read into memory of its own, then summed: a file whose time moved is read once.
bool MarkedFileChecksum(const char* path, uint32_t& checksum) {
    const HANDLE file = CreateFileW(WideMarked(path), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    bool read = GetFileInformationByHandle(file, &info) && info.nFileSizeHigh == 0 &&
                (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    const DWORD size = info.nFileSizeLow;
    uint8_t* bytes = read ? static_cast<uint8_t*>(VirtualAlloc(NULL, size + 1, MEM_COMMIT, PAGE_READWRITE)) : NULL;
    DWORD done = 0, got = 0;
    while (bytes != NULL && done < size && ReadFile(file, bytes + done, size - done, &got, NULL) && got != 0)
        done += got;
    read = bytes != NULL && done == size;
    if (read) checksum = ChecksumCrc32(bytes, size);
    if (bytes != NULL) VirtualFree(bytes, 0, MEM_RELEASE);
    CloseHandle(file);
    return read;
}

void ReadNamesList(const char* folder, NamesList& list) {
    list.text = NULL;
    list.size = 0;
    char marked[kPathSize];
    if (!MarkedPath(marked, folder, PEL_UNINSTALL_FILE)) return;
    // As a data file: its resources are read, none of its code runs.
    const HMODULE module =
        LoadLibraryExW(WideMarked(marked), NULL, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == NULL) return;
    const HRSRC info =
        FindResourceExW(module, MAKEINTRESOURCEW(10) /* RT_RCDATA */, MAKEINTRESOURCEW(PEL_RCDATA_NAMES), 0);
    const HGLOBAL loaded = info != NULL ? LoadResource(module, info) : NULL;
    const void* bytes = loaded != NULL ? LockResource(loaded) : NULL;
    const DWORD size = bytes != NULL ? SizeofResource(module, info) : 0;
    list.text = size != 0 ? static_cast<char*>(VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE)) : NULL;
    if (list.text != NULL) {
        CopyMemory(list.text, bytes, size);
        list.size = size;
    }
    FreeLibrary(module);
}

void ReleaseNamesList(NamesList& list) {
    if (list.text != NULL) VirtualFree(list.text, 0, MEM_RELEASE);
    list.text = NULL;
    list.size = 0;
}

void RemoveEarlierFiles(const char* folder, const NamesList& earlier, const NamesList& current) {
    Win32FilesHost host;
    if (earlier.size != 0 && current.size != 0)
        RemoveEarlierFiles(host, folder, earlier.text, earlier.size, current.text, current.size);
}
