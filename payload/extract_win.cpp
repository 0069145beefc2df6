// The extraction's Win32 host: the payload resource, VirtualAlloc'd working copies, the file calls.
#include <windows.h>
#include <stddef.h>
#include <string.h>

#include "base/app_win.h"
#include "base/inside_win.h"
#include "base/install_state.h"
#include "base/messages.h"
#include "base/resource_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "payload/extract.h"
#include "resources/resource.h"

namespace {

FileHandle FromHandle(HANDLE h) { return reinterpret_cast<FileHandle>(h); }
HANDLE ToHandle(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

// A path of the extraction in UTF-16: the installation folder (an absolute path) is a text in the
// system's ANSI code page; every other path is relative to it and made of the archive's names,
// which are Windows-1251 whatever the system's code page.
struct WidePath {
    WCHAR text[kPathSize];
    bool absolute;
    explicit WidePath(const char* path) : absolute(IsAbsoluteFolder(path)) {
        if (absolute)
            WideFromAnsi(path, text, kPathSize);
        else
            WideFrom1251(path, text, kPathSize);
    }
    operator const WCHAR*() const { return text; }
    // The path below the installation folder ("" for the folder itself).
    const WCHAR* Relative() const { return absolute ? L"" : text; }
};

// A name found in a folder, as Windows-1251; false for a name that has no such form (never one
// of the archive's names nor of this extraction's own files).
bool NameIn1251(const WCHAR* name, char (&out)[kPathSize]) {
    BOOL defaulted = FALSE;
    return WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, name, -1, out, kPathSize, NULL, &defaulted) != 0 &&
           defaulted == FALSE;
}

// A FILETIME is a little-endian 64-bit count, and the find and attribute data hold the three
// in the order of FileTimes.
static_assert(sizeof(FileTimes) == 3 * sizeof(FILETIME) &&
                  offsetof(FILE_BASIC_INFO, ChangeTime) == offsetof(FILE_BASIC_INFO, CreationTime) + sizeof(FileTimes),
              "three FILETIMEs");
FileTimes TimesFrom(const FILETIME* created) {
    FileTimes times;
    memcpy(&times, created, sizeof times);
    return times;
}

struct Win32Host : ExtractHost {
    const InstallState& state;
    EarlierRemoval removeEarlier;
    // The installation folder's own final path: every change is checked against it.
    WCHAR root[kPathSize] = {};

    Win32Host(const InstallState& s, EarlierRemoval remove) : state(s), removeEarlier(remove) {}

    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        return LoadRcData(PEL_RCDATA_PAYLOAD, bytes, size);
    }
    void* ObtainMemory(size_t size) override { return VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE); }
    void ReleaseMemory(void* block) override { VirtualFree(block, 0, MEM_RELEASE); }
    uint32_t RunTag() override { return GetTickCount() ^ GetCurrentProcessId() << 16; }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (CreateDirectoryW(WidePath(path), NULL)) return DirectoryResult::Created;
        return GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::AlreadyExists : DirectoryResult::Failed;
    }
    // The installation folder itself may go before it was ever made current (a rollback).
    bool RemoveDirectoryLevel(const char* path) override {
        const WidePath wide(path);
        if (wide.absolute && root[0] == 0) FindFinalPath(wide, root);
        return DeleteInside(wide, root, wide.Relative(), true) == InsideResult::Done;
    }
    // Only the first change counts: the installation folder. The rollback leaves it for its parent.
    bool SetCurrentFolder(const char* path) override {
        if (!SetCurrentDirectoryW(WidePath(path))) return false;
        if (root[0] == 0) FindFinalPath(L".", root);
        return true;
    }
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        char pattern[kPathSize + 2] = "";
        if (*path != 0 && !(CopyText(pattern, path) && AppendText(pattern, "\\"))) return false;
        AppendText(pattern, "*");
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileW(WidePath(pattern), &found);
        if (find == INVALID_HANDLE_VALUE) return false;  // "." at least is always there
        do {
            const WCHAR* n = found.cFileName;
            char name[kPathSize];
            // dwReserved0 holds a reparse point's tag.
            if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) && NameIn1251(n, name))
                visit(context, name, LinkAttributes(found.dwFileAttributes, found.dwReserved0),
                      TimesFrom(&found.ftCreationTime),
                      static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return true;
    }
    // Delete sharing lets the new file take its place by name while its handle stays open. A file
    // that a folder turned into a link after the look put elsewhere goes at once, unwritten.
    FileHandle CreateNewFile(const char* path) override {
        const WidePath wide(path);
        const HANDLE file = CreateFileW(wide, GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, NULL, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (file == INVALID_HANDLE_VALUE || IsInsideAt(file, root, wide.Relative())) return FromHandle(file);
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
        CloseHandle(file);
        return kNoFile;
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
    // Only a reparse point is looked up once more, for the tag that tells a link from a file.
    uint32_t GetAttributes(const char* path, FileTimes* times) override {
        const WidePath wide(path);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(wide, GetFileExInfoStandard, &data)) return kNoAttributes;
        if (times != NULL) *times = TimesFrom(&data.ftCreationTime);
        DWORD tag = 0;
        WIN32_FIND_DATAW found;
        const HANDLE find = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FindFirstFileW(wide, &found)
                                                                                        : INVALID_HANDLE_VALUE;
        if (find != INVALID_HANDLE_VALUE) {
            tag = found.dwReserved0;
            FindClose(find);
        }
        return LinkAttributes(data.dwFileAttributes, tag);
    }
    // Read in blocks, each asking one byte past what is left, so that a longer file shows without
    // a call of its own; a read shorter than asked is the end of the file.
    bool SameContents(const char* path, const uint8_t* data, uint32_t length) override {
        static uint8_t block[1 << 18];
        const HANDLE file =
            CreateFileW(WidePath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool same = false;
        for (uint32_t done = 0;;) {
            const uint64_t left = length - done;
            const DWORD want = left + 1 < sizeof block ? static_cast<DWORD>(left + 1) : sizeof block;
            DWORD got = 0;
            if (!ReadFile(file, block, want, &got, NULL) || got > left || memcmp(block, data + done, got) != 0) break;
            done += got;
            if (got < want) {
                same = done == length;
                break;
            }
        }
        CloseHandle(file);
        return same;
    }
    bool SetAttributes(const char* path, uint32_t attributes) override {
        const WidePath wide(path);
        return SetBasicInside(wide, root, wide.Relative(), attributes);
    }
    // A rename gives a plain file another name beside it and never replaces what is there.
    bool Rename(const char* from, const char* to) override {
        const WidePath wide(from), target(to);
        const WCHAR* name = target;
        for (const WCHAR* p = target; *p != 0; ++p)
            if (*p == '\\' || *p == '/') name = p + 1;
        return RenameInside(wide, root, wide.Relative(), name);
    }
    // Times and attributes in one call: Wine's SetFileTime drops the read-only and hidden bits.
    void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) override {
        const WidePath wide(path);
        FILETIME three[3];
        memcpy(three, &times, sizeof three);
        SetBasicInside(wide, root, wide.Relative(), attributes & 0x31A7, three);  // only the bits a caller may set
    }
    bool RemoveFile(const char* path) override {
        const WidePath wide(path);
        return DeleteInside(wide, root, wide.Relative(), false) == InsideResult::Done;
    }
    // The system resolves the relative path against the current folder, the installation folder,
    // and notes it in the machine's registry, which the elevated installer may write.
    void RemoveAtRestart(const char* path) override { MoveFileExW(WidePath(path), NULL, MOVEFILE_DELAY_UNTIL_REBOOT); }
    void RemoveEarlierVersion(const char* earlierUninstaller) override {
        if (earlierUninstaller != NULL && removeEarlier != NULL) removeEarlier(state.folder, earlierUninstaller);
    }
    void ShowMessage(const char* text) override {
        ShowMessageBox(g_backdrop, text, kCaptionProduct, MB_ICONINFORMATION);
    }
    FileAnswer AskAboutFile(const char* text) override {
        switch (ShowMessageBox(g_backdrop, text, kCaptionProduct, MB_ICONINFORMATION | MB_ABORTRETRYIGNORE)) {
        case IDRETRY: return FileAnswer::Retry;
        case IDIGNORE: return FileAnswer::Ignore;
        default: return FileAnswer::Abort;  // also a box that could not be shown
        }
    }
    void PostQuitRequest(int exitCode) override { PostQuitMessage(exitCode); }
};

}  // namespace

// The run under way between its two steps.
ExtractionRun* g_run;

bool ExtractPayload(const InstallState& state, uint64_t& installedBytes, EarlierRemoval removeEarlier) {
    static Win32Host host(state, removeEarlier);
    g_run = ExtractKeepingBackups(host, state, installedBytes);
    return g_run != nullptr;
}

void FinishExtraction() {
    if (g_run != nullptr) FinishExtraction(g_run);
    g_run = nullptr;
}
