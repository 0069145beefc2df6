// The uninstaller's host over Win32.
#include "uninstall/host_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/resource_win.h"
#include "base/running_app_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "resources/resource.h"
#include "system/install_record_win.h"
#include "system/installed_files_win.h"
#include "system/shortcuts_win.h"

namespace {

// The entry lives in the registry view native to this build, as the installer writes it.
RegistryRoot EntryKey(EntryRoot root) {
    return root == EntryRoot::Machine ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
}

struct Win32Host final : UninstallHost {
    bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) override {
        return ::FindWindowTitle(windowClass, title, cap);
    }

    Answer Ask(const char* text, const char* caption, Prompt prompt) override {
        UINT style = MB_OK;
        switch (prompt) {
        case Prompt::Error: style = MB_OK | MB_ICONERROR; break;
        case Prompt::YesNo: style = MB_YESNO | MB_ICONQUESTION; break;
        case Prompt::AbortRetryIgnore: style = MB_ABORTRETRYIGNORE | MB_ICONINFORMATION; break;
        case Prompt::Information: style = MB_OK | MB_ICONINFORMATION; break;
        }
        switch (ShowMessageBox(NULL, text, caption, style | MB_SETFOREGROUND)) {
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDABORT: return Answer::Abort;
        case IDRETRY: return Answer::Retry;
        case IDIGNORE: return Answer::Ignore;
        }
        return Answer::Ok;
    }

    RemoveResult RemoveFile(const char* path) override { return RemoveMarkedFile(path); }

    bool RemoveEmptyFolder(const char* path) override { return RemoveEmptyMarkedFolder(path); }

    EntryFacts Inspect(const char* path) override { return InspectMarked(path); }

    bool RenameFile(const char* from, const char* to) override { return RenameMarkedFile(from, to); }

    bool FileChecksum(const char* path, uint32_t& checksum) override { return MarkedFileChecksum(path, checksum); }

    bool ReadNamesList(const char* path, char*& list, size_t& size) override {
        return ReadMarkedNamesList(path, list, size);
    }

    void* ObtainMemory(size_t size) override { return ObtainWorkingMemory(size); }

    void ReleaseMemory(void* block) override { ReleaseWorkingMemory(block); }

    void ListFolder(const char* path, EntryVisitor visit, void* context) override {
        WCHAR pattern[kPathSize + 2];
        if (!WideFromMarked(path, pattern, kPathSize) || !AppendText(pattern, L"\\*")) return;
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileW(pattern, &found);
        if (find == INVALID_HANDLE_VALUE) return;
        bool more = true;
        do {
            char name[MAX_PATH * 2];
            BOOL lossy = FALSE;
            if (WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, name, sizeof name, NULL, &lossy) &&
                !lossy)
                more = visit(context, name, KindOf(found.dwFileAttributes));
        } while (more && FindNextFileW(find, &found));
        FindClose(find);
    }

    bool InspectSelf(EntryFacts& facts) override {
        WCHAR path[kPathSize];
        const DWORD length = GetModuleFileNameW(NULL, path, kPathSize);
        if (length == 0 || length >= kPathSize) return false;
        facts = InspectWide(path);
        return facts.kind == EntryKind::File;
    }

    void FullLongPath(char (&path)[kPathSize]) override {
        WCHAR wide[kPathSize], full[kPathSize], longForm[kPathSize];
        const DWORD length = WideFromUtf8(path, wide, kPathSize) ? GetFullPathNameW(wide, kPathSize, full, NULL) : 0;
        if (length == 0 || length >= kPathSize) return;
        const DWORD longLength = GetLongPathNameW(full, longForm, kPathSize);
        char made[kPathSize];  // missing: as full
        if (Utf8FromWide(longLength != 0 && longLength < kPathSize ? longForm : full, made, sizeof made))
            CopyText(path, made);
    }

    // As the file system compares names: letter by letter, without case.
    bool SameTextIgnoringCase(const char* a, const char* b) override {
        WCHAR wideA[kPathSize], wideB[kPathSize];
        return WideFromUtf8(a, wideA, kPathSize) && WideFromUtf8(b, wideB, kPathSize) &&
               CompareStringOrdinal(wideA, -1, wideB, -1, TRUE) == CSTR_EQUAL;
    }

    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override {
        return FindSpecialFolder(which == LinksFolder::Programs ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY, out, cap);
    }

    bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) override {
        return ::ReadLinkTarget(linkPath, target, cap);
    }

    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override { return ::ReadRecordedFolder(buffer); }

    void DeleteSetupValue(const char* name) override { ::DeleteSetupValue(name); }

    void DeleteKeyIfEmpty(const char* path) override { ::DeleteKeyIfEmpty(path); }

    bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) override {
        return ::ReadEntryLocation(EntryKey(root), buffer);
    }

    void DeleteEntry(EntryRoot root) override { DeleteUninstallEntry(EntryKey(root)); }
};

}  // namespace

// It holds nothing, so one serves every caller.
UninstallHost& Win32UninstallHost() {
    static Win32Host host;
    return host;
}

int RunRemoval(const char* folder) {
    const uint8_t* names = nullptr;
    size_t size = 0;
    if (!LoadRcData(PEL_RCDATA_NAMES, names, size)) size = 0;
    UninstallHost& host = Win32UninstallHost();
    CoInitialize(NULL);
    const int exitCode = RemoveInstallation(host, folder, size != 0 ? reinterpret_cast<const char*>(names) : "", size);
    CoUninitialize();
    return exitCode;
}
