// The uninstaller's entry point and its Win32 host.
//
// Started from the installation folder it takes the run mutex, checks, asks, then hands over to
// a copy of itself in a new private folder under the temporary folder and ends: the copy takes
// the run mutex over as it ends, so that this program's file can go too and no other run slips
// in between, and removes the installation. Arguments of the copy:
//   /remove PROCESS READY FOLDER   PROCESS: the original's inherited process handle (decimal);
//                                  READY: an inherited event the copy sets once it waits for
//                                  the run mutex; FOLDER: the installation folder, to the end of
//                                  the command line. The copy acts only when FOLDER is the folder
//                                  of PROCESS's own program file.
#include <windows.h>
#include <ntsecapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include "base/ansi_text.h"
#include "base/messages.h"
#include "base/path_text.h"
#include "base/product.h"
#include "base/resource_win.h"
#include "base/run_lock_win.h"
#include "base/running_app.h"
#include "base/running_app_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "resources/resource.h"
#include "system/install_record.h"
#include "system/install_record_win.h"
#include "system/installed_files_win.h"
#include "system/uninstall_entry.h"
#include "uninstall/removal.h"

namespace {

const char kCopyOption[] = "/remove ";
const DWORD kHandOverWait = 30000;  // ms; the original and its copy each wait that long for the other

// A marked path in UTF-16: the folder from the ANSI code page, the listed names and the titles
// from Windows-1251.
struct WidePath {
    WCHAR text[kPathSize];
    explicit WidePath(const char* path) { WideFromMarked(path, text, kPathSize); }
    operator const WCHAR*() const { return text; }
};

struct Win32UninstallHost final : UninstallHost {
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
    bool FileChecksum(const char* path, uint32_t& checksum) override { return MarkedFileChecksum(path, checksum); }

    // Names in Windows-1251, as the list has them: a name without that form is no listed name.
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
        char full[kPathSize];
        const DWORD length = GetFullPathNameA(path, sizeof full, full, NULL);
        if (length == 0 || length >= sizeof full) return;
        CopyText(path, full);
        const DWORD longLength = GetLongPathNameA(full, path, sizeof path);
        if (longLength == 0 || longLength >= sizeof path) CopyText(path, full);  // missing: as it is
    }

    bool SameTextIgnoringCase(const char* a, const char* b) override {
        return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) == CSTR_EQUAL;
    }

    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override {
        if (cap < MAX_PATH) return false;
        const int id = which == LinksFolder::Programs ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY;
        return SUCCEEDED(SHGetFolderPathA(NULL, id, NULL, SHGFP_TYPE_CURRENT, out));
    }

    bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) override {
        const WidePath widePath(linkPath);
        if (InspectWide(widePath).kind != EntryKind::File) return false;
        IShellLinkA* link = NULL;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link))))
            return false;
        bool read = false;
        IPersistFile* file = NULL;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            target[0] = 0;
            read = SUCCEEDED(file->Load(widePath, STGM_READ)) &&
                   SUCCEEDED(link->GetPath(target, static_cast<int>(cap), NULL, SLGP_RAWPATH)) && target[0] != 0;
            file->Release();
        }
        link->Release();
        return read;
    }

    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override { return ::ReadRecordedFolder(buffer); }

    void DeleteSetupValue(const char* name) override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSetupKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }

    void DeleteKeyIfEmpty(const char* path) override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
        DWORD subkeys = 1, values = 1;
        const bool known = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL,
                                            NULL) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (known && subkeys == 0 && values == 0) RegDeleteKeyA(HKEY_CURRENT_USER, path);
    }

    // The entry lives in the registry view native to this build, as the installer writes it.
    static HKEY RootKey(EntryRoot root) { return root == EntryRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

    bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) override {
        HKEY key;
        if (RegOpenKeyExA(RootKey(root), PEL_UNINSTALL_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        DWORD type = 0, size = sizeof buffer - 1;
        const bool read = RegQueryValueExA(key, kInstallLocationValue, NULL, &type, reinterpret_cast<BYTE*>(buffer),
                                           &size) == ERROR_SUCCESS &&
                          type == REG_SZ;
        RegCloseKey(key);
        buffer[read && size < sizeof buffer ? size : 0] = 0;
        return read && buffer[0] != 0;
    }

    void DeleteEntry(EntryRoot root) override { RegDeleteKeyA(RootKey(root), PEL_UNINSTALL_KEY); }
};

// This program's own path and its folder (the text before the last backslash).
bool OwnPath(char (&path)[kPathSize], char (&folder)[kPathSize]) {
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) return false;
    const ptrdiff_t end = FindLastBackslash(path);
    if (end <= 0) return false;
    CopyTextN(folder, sizeof folder, path, static_cast<size_t>(end));
    return true;
}

// Runs the removal over the list of packed paths that the build put into this program.
int RunRemoval(const char* folder) {
    const uint8_t* names = nullptr;
    size_t size = 0;
    if (!LoadRcData(PEL_RCDATA_NAMES, names, size)) size = 0;
    Win32UninstallHost host;
    CoInitialize(NULL);
    const int exitCode = RemoveInstallation(host, folder, size != 0 ? reinterpret_cast<const char*>(names) : "", size);
    CoUninitialize();
    return exitCode;
}

// The access list of the copy's folder: Administrators and SYSTEM for an elevated process, the
// current user alone otherwise; nothing inherited from the temporary folder. Free it with LocalFree.
PSECURITY_DESCRIPTOR PrivateAccess() {
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return NULL;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    char sddl[256] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) ||
        elevation.TokenIsElevated == 0) {
        union {
            TOKEN_USER user;
            BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } owner;
        char* sid = NULL;
        if (!GetTokenInformation(token, TokenUser, &owner, sizeof owner, &size) ||
            !ConvertSidToStringSidA(owner.user.User.Sid, &sid)) {
            CloseHandle(token);
            return NULL;
        }
        CopyText(sddl, "D:P(A;OICI;FA;;;");
        const bool fits = AppendText(sddl, sid) && AppendText(sddl, ")");
        LocalFree(sid);
        if (!fits) sddl[0] = 0;
    }
    CloseHandle(token);
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (sddl[0] == 0 || !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, NULL))
        return NULL;
    return descriptor;
}

// A new folder under the temporary folder, named by 64 random bits, that only this process's
// owner can write to: a name known in advance could be prepared by someone else, and a folder
// others may write to could get another program or a DLL put beside the copy before it starts.
// Creation fails when the name exists, so the folder is always this run's own.
bool CreatePrivateFolder(char (&folder)[MAX_PATH]) {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH - 32) return false;
    SECURITY_ATTRIBUTES access = {sizeof access, PrivateAccess(), FALSE};
    if (access.lpSecurityDescriptor == NULL) return false;
    bool created = false;
    for (int attempt = 0; attempt < 8 && !created; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random)) break;
        char name[24] = "pel-";
        for (int i = 0; i < 8; ++i) {
            name[4 + 2 * i] = "0123456789abcdef"[random[i] >> 4];
            name[5 + 2 * i] = "0123456789abcdef"[random[i] & 15];
        }
        name[20] = 0;
        CopyText(folder, temp);
        AppendText(folder, name);
        created = CreateDirectoryA(folder, &access) != FALSE;
    }
    LocalFree(access.lpSecurityDescriptor);
    return created;
}

// Appends a handle's value as a decimal number and a blank.
bool AppendHandle(char (&command)[3 * kPathSize], HANDLE handle) {
    char number[24];
    wsprintfA(number, "%lu ", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle)));
    return AppendText(command, number);
}

// Copies this program into a private folder, starts the copy with this process's handle, an
// event and the installation folder, and waits until the copy waits for the run mutex. The
// copy runs in the system folder, so that no process holds the installation folder as its
// current one. False when any step fails or the copy ends first.
bool HandOverToCopy(const char* ownPath, const char* folder) {
    char copyFolder[MAX_PATH], copyPath[MAX_PATH], systemFolder[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH) return false;
    if (!CreatePrivateFolder(copyFolder)) return false;
    CopyText(copyPath, copyFolder);
    // Kept open without write or delete sharing until the copy has started: nobody swaps it.
    HANDLE copyFile = INVALID_HANDLE_VALUE;
    if (AppendText(copyPath, "\\" PEL_UNINSTALL_FILE) && CopyFileA(ownPath, copyPath, TRUE))
        copyFile = CreateFileA(copyPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE ready = CreateEventA(&inherited, TRUE, FALSE, NULL);
    HANDLE self = NULL;
    char command[3 * kPathSize];
    bool started = false;
    PROCESS_INFORMATION process = {};
    if (copyFile != INVALID_HANDLE_VALUE && ready != NULL &&
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0) &&
        CopyText(command, "\"") && AppendText(command, copyPath) && AppendText(command, "\" ") &&
        AppendText(command, kCopyOption) && AppendHandle(command, self) && AppendHandle(command, ready) &&
        AppendText(command, folder)) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started = CreateProcessA(copyPath, command, NULL, NULL, TRUE, 0, NULL, systemFolder, &startup, &process);
    }
    if (copyFile != INVALID_HANDLE_VALUE) CloseHandle(copyFile);
    bool handedOver = false;
    if (started) {
        AllowSetForegroundWindow(process.dwProcessId);  // its messages come to the front
        const HANDLE waits[2] = {ready, process.hProcess};
        handedOver = WaitForMultipleObjects(2, waits, FALSE, kHandOverWait) == WAIT_OBJECT_0;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        DeleteFileA(copyPath);
        RemoveDirectoryA(copyFolder);
    }
    if (ready != NULL) CloseHandle(ready);
    return handedOver;
}

// The copy's arguments: the original's handle, the event and the installation folder. False for
// any other command line (the original's own, without arguments).
const char* ParseHandle(const char* p, HANDLE& handle) {
    ULONG_PTR value = 0;
    if (*p < '0' || *p > '9') return NULL;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<ULONG_PTR>(*p++ - '0');
    if (*p != ' ') return NULL;
    handle = reinterpret_cast<HANDLE>(value);
    return p + 1;
}

bool ParseCopyArguments(const char* command, HANDLE& original, HANDLE& ready, const char*& folder) {
    const char* p = command;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    for (const char* option = kCopyOption; *option != 0; ++option, ++p)
        if (*p != *option) return false;
    p = ParseHandle(p, original);
    if (p != NULL) p = ParseHandle(p, ready);
    if (p == NULL || *p == 0) return false;
    folder = p;
    return true;
}

// True when handle is a process whose program file lies in folder: the copy removes only the
// installation whose uninstaller started it.
bool IsUninstallerOf(HANDLE process, const char* folder) {
    char image[kPathSize];
    DWORD length = sizeof image;
    if (!QueryFullProcessImageNameA(process, 0, image, &length) || length >= sizeof image) return false;
    const ptrdiff_t end = FindLastBackslash(image);
    if (end <= 0) return false;
    image[end] = 0;
    Win32UninstallHost host;
    return SameFolder(host, image, folder);
}

// The copy: takes the run over from the original, waits for it to end, removes the installation.
int RunCopy(HANDLE original, HANDLE ready, const char* folder) {
    char installation[kPathSize];
    CopyText(installation, folder);
    if (!IsUninstallerOf(original, installation)) return 1;
    if (TakeOverRunMutex(ready, kHandOverWait) == NULL) {
        Win32UninstallHost host;
        host.Ask(kMessageAnotherRun, kCaptionError, Prompt::Error);
        return 1;
    }
    WaitForSingleObject(original, kHandOverWait);
    CloseHandle(original);
    CloseHandle(ready);
    const int exitCode = RunRemoval(installation);
    // The copy cannot remove itself while it runs: the system does it at the next start.
    char ownPath[kPathSize], ownFolder[kPathSize];
    if (OwnPath(ownPath, ownFolder)) {
        MoveFileExA(ownPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(ownFolder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadAnsiCodePage();
    HANDLE original = NULL, ready = NULL;
    const char* folder = NULL;
    if (ParseCopyArguments(GetCommandLineA(), original, ready, folder)) return RunCopy(original, ready, folder);

    Win32UninstallHost host;
    if (HoldRunMutex(0) == NULL) {
        host.Ask(kMessageAnotherRun, kCaptionError, Prompt::Error);
        return 1;
    }
    if (!ConfirmUninstall(host)) return 1;
    char ownPath[kPathSize], ownFolder[kPathSize];
    const bool known = OwnPath(ownPath, ownFolder);
    if (known && HandOverToCopy(ownPath, ownFolder)) return 0;  // the run mutex passes to the copy as this ends
    // Nothing was removed: this program cannot remove its own file, nor run the removal from
    // a copy; its path may be too long for the calls that would make one.
    char message[64 + kPathSize];
    CopyText(message, kMessageRemoveFilePrefix);
    if (known)
        AppendAnsiPart(message, sizeof message, ownPath);
    else
        AppendText(message, PEL_UNINSTALL_FILE);
    host.Ask(message, kCaptionProduct, Prompt::Error);
    return 1;
}
