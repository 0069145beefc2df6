// The installed files over Win32: W calls on marked paths, never through a link, and changes only
// inside the folder that a path's marked part names.
#include "system/installed_files_win.h"

#include "base/ansi_text.h"
#include "base/inside_win.h"
#include "base/wide_text_win.h"
#include "payload/archive.h"
#include "resources/resource.h"

namespace {

// A marked path in UTF-16, whole and in its two parts: the folder its marked part names (ANSI
// code page) and the listed names below it (Windows-1251).
struct WideMarked {
    WCHAR text[kPathSize];
    WCHAR relative[kPathSize];
    const WCHAR* root;  // the folder's final path
    explicit WideMarked(const char* path) : root(L"") {
        relative[0] = 0;
        WideFromMarked(path, text, kPathSize);
        const char mark = path[0];
        if (mark != kAnsiMark && mark != kUtf8Mark) return;
        const char* close = path + 1;
        while (*close != 0 && *close != mark) ++close;
        char folder[kPathSize];
        if (*close == 0 || !CopyTextN(folder, kPathSize, path, static_cast<size_t>(close - path + 1))) return;
        WideFrom1251(close[1] == '\\' ? close + 2 : close + 1, relative, kPathSize);
        root = RootOf(folder);
    }
    operator const WCHAR*() const { return text; }

    // The last folder's final path is kept: the removals of one run all lie in one or two folders.
    static const WCHAR* RootOf(const char* folder) {
        static char known[kPathSize];
        static WCHAR root[kPathSize];
        if (root[0] == 0 || !SameText(known, folder)) {
            WCHAR wide[kPathSize];
            root[0] = 0;
            if (WideFromMarked(folder, wide, kPathSize) && CopyText(known, folder)) FindFinalPath(wide, root);
        }
        return root;
    }
    static bool SameText(const char* a, const char* b) {
        while (*a != 0 && *a == *b) ++a, ++b;
        return *a == *b;
    }
};

struct Win32FilesHost final : FilesHost {
    RemoveResult RemoveFile(const char* path) override { return RemoveMarkedFile(path); }
    bool RemoveEmptyFolder(const char* path) override { return RemoveEmptyMarkedFolder(path); }
    EntryFacts Inspect(const char* path) override { return InspectMarked(path); }
    bool FileChecksum(const char* path, uint32_t& checksum) override { return MarkedFileChecksum(path, checksum); }
    bool ReadNamesList(const char* path, char*& list, size_t& size) override {
        return ReadMarkedNamesList(path, list, size);
    }
    void* ObtainMemory(size_t size) override { return ObtainWorkingMemory(size); }
    void ReleaseMemory(void* block) override { ReleaseWorkingMemory(block); }
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

EntryFacts InspectMarked(const char* path) {
    WCHAR wide[kPathSize];
    WideFromMarked(path, wide, kPathSize);
    return InspectWide(wide);
}

RemoveResult RemoveMarkedFile(const char* marked) {
    const WideMarked path(marked);
    switch (DeleteInside(path, path.root, path.relative, false)) {
    case InsideResult::Done: return RemoveResult::Removed;
    case InsideResult::Missing: return RemoveResult::Missing;
    default: return RemoveResult::Failed;
    }
}

bool RemoveEmptyMarkedFolder(const char* marked) {
    const WideMarked path(marked);
    return DeleteInside(path, path.root, path.relative, true) == InsideResult::Done;
}

bool RenameMarkedFile(const char* from, const char* to) {
    const WideMarked path(from), target(to);
    const WCHAR* name = target.relative;
    for (const WCHAR* p = target.relative; *p != 0; ++p)
        if (*p == '\\') name = p + 1;
    return name[0] != 0 && RenameInside(path, path.root, path.relative, name);
}

// The whole file read into memory of its own, then summed: a file whose time moved is read once.
bool MarkedFileChecksum(const char* path, uint32_t& checksum) {
    WCHAR wide[kPathSize];
    WideFromMarked(path, wide, kPathSize);
    const HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILE_BASIC_INFO info = {};
    LARGE_INTEGER length = {};
    bool read = GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) && GetFileSizeEx(file, &length) &&
                length.HighPart == 0 &&
                (info.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    const DWORD size = length.LowPart;
    uint8_t* bytes = read ? static_cast<uint8_t*>(ObtainWorkingMemory(size + 1)) : NULL;
    DWORD done = 0, got = 0;
    while (bytes != NULL && done < size && ReadFile(file, bytes + done, size - done, &got, NULL) && got != 0)
        done += got;
    read = bytes != NULL && done == size;
    if (read) checksum = ChecksumCrc32(bytes, size);
    if (bytes != NULL) ReleaseWorkingMemory(bytes);
    CloseHandle(file);
    return read;
}

// Whether [bytes, bytes + size) lies wholly in the memory mapped for module: a resource's size is
// the file's word, not the system's, and may claim more bytes than the file holds.
bool IsMappedFor(HMODULE module, const char* bytes, size_t size) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(module) & ~static_cast<uintptr_t>(3);  // the data-file marks
    const uintptr_t end = reinterpret_cast<uintptr_t>(bytes) + size;
    if (end < reinterpret_cast<uintptr_t>(bytes)) return false;
    MEMORY_BASIC_INFORMATION region;
    for (uintptr_t p = reinterpret_cast<uintptr_t>(bytes); p < end;) {
        if (VirtualQuery(reinterpret_cast<const void*>(p), &region, sizeof region) == 0 || region.State != MEM_COMMIT ||
            reinterpret_cast<uintptr_t>(region.AllocationBase) != base ||
            (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
            return false;
        p = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

// The program is mapped as a data file: its resources are read, none of its code runs.
bool ReadMarkedNamesList(const char* path, char*& list, size_t& size) {
    WCHAR wide[kPathSize];
    const HMODULE module =
        WideFromMarked(path, wide, kPathSize)
            ? LoadLibraryExW(wide, NULL, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)
            : NULL;
    if (module == NULL) return false;
    const HRSRC info =
        FindResourceExA(module, MAKEINTRESOURCEA(10) /* RT_RCDATA */, MAKEINTRESOURCEA(PEL_RCDATA_NAMES), 0);
    const HGLOBAL loaded = info != NULL ? LoadResource(module, info) : NULL;
    const char* bytes = loaded != NULL ? static_cast<const char*>(LockResource(loaded)) : NULL;
    size = bytes != NULL ? SizeofResource(module, info) : 0;
    list = size != 0 && size <= kNamesLimit && IsMappedFor(module, bytes, size)
               ? static_cast<char*>(ObtainWorkingMemory(size))
               : NULL;
    if (list != NULL) CopyMemory(list, bytes, size);
    FreeLibrary(module);
    return list != NULL;
}

void* ObtainWorkingMemory(size_t size) { return VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE); }
void ReleaseWorkingMemory(void* block) { VirtualFree(block, 0, MEM_RELEASE); }

void RemoveEarlierFiles(const char* folder, const char* earlierUninstaller) {
    Win32FilesHost host;
    char marked[kPathSize] = {};
    if (AppendAnsiPart(marked, sizeof marked, folder)) RemoveEarlierFiles(host, marked, earlierUninstaller);
}
