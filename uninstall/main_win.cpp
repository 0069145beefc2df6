// The uninstaller's entry point and its Win32 host.
//
// Started from the installation folder it checks, asks, then hands over to a copy of itself in a
// new folder of its own under the temporary folder and ends: the copy waits for it to end, so
// that this program's file can go too, and removes the installation. Arguments of the copy:
//   /remove HANDLE FOLDER   HANDLE: the original's inherited process handle (decimal);
//                           FOLDER: the installation folder, to the end of the command line
//                           (quotes around it are taken off).
#include <windows.h>
#include <ntsecapi.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/resource_win.h"
#include "base/running_app.h"
#include "base/text.h"
#include "resources/resource.h"
#include "system/install_record.h"
#include "uninstall/removal.h"

namespace {

const char kCopyOption[] = "/remove ";
const DWORD kOriginalEndWait = 30000;  // ms; a file still held then is reported like any other

struct Win32UninstallHost final : UninstallHost {
    bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override {
        return ::FindWindowTitle(windowClass, title, cap);
    }

    Answer Ask(const char* text, const char* caption, Prompt prompt) override {
        UINT style = MB_OK;
        switch (prompt) {
        case Prompt::Error: style = MB_OK | MB_ICONERROR; break;
        case Prompt::YesNo: style = MB_YESNO | MB_ICONQUESTION; break;
        case Prompt::AbortRetryIgnore: style = MB_ABORTRETRYIGNORE; break;
        case Prompt::Information: style = MB_OK | MB_ICONINFORMATION; break;
        }
        switch (MessageBoxA(NULL, text, caption, style | MB_SETFOREGROUND)) {
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDABORT: return Answer::Abort;
        case IDRETRY: return Answer::Retry;
        case IDIGNORE: return Answer::Ignore;
        }
        return Answer::Ok;
    }

    RemoveResult RemoveFile(const char* path) override {
        if (DeleteFileA(path)) return RemoveResult::Removed;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return RemoveResult::Missing;
        // The installer gives read-only files their attribute, which refuses deletion.
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) && DeleteFileA(path))
            return RemoveResult::Removed;
        return RemoveResult::Failed;
    }

    bool RemoveEmptyFolder(const char* path) override { return RemoveDirectoryA(path) != FALSE; }

    bool FileExists(const char* path) override {
        const DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override {
        if (cap < MAX_PATH) return false;
        const int id = which == LinksFolder::Programs ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY;
        return SUCCEEDED(SHGetFolderPathA(NULL, id, NULL, SHGFP_TYPE_CURRENT, out));
    }

    bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) override {
        if (!FileExists(linkPath)) return false;
        WCHAR widePath[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0) return false;
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

    bool ReadInstalledPath(char (&buffer)[kPathSize]) override { return ::ReadInstalledPath(buffer); }

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
};

// This program's own path and its folder (the text before the last backslash).
bool OwnPath(char (&path)[MAX_PATH], char (&folder)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    DWORD end = length;
    while (end > 0 && path[end - 1] != '\\') --end;
    if (end == 0) return false;
    CopyTextN(folder, MAX_PATH, path, end - 1);
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

// A new folder under the temporary folder, named by 64 random bits: a name known in advance
// could be prepared by someone else, and the copy would then run from their folder. Creation
// fails when the name exists, so the folder is always this run's own.
bool CreatePrivateFolder(char (&folder)[MAX_PATH]) {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH - 32) return false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random)) return false;
        char name[24] = "pel-";
        for (int i = 0; i < 8; ++i) {
            name[4 + 2 * i] = "0123456789abcdef"[random[i] >> 4];
            name[5 + 2 * i] = "0123456789abcdef"[random[i] & 15];
        }
        name[20] = 0;
        CopyText(folder, temp);
        AppendText(folder, name);
        if (CreateDirectoryA(folder, NULL)) return true;
    }
    return false;
}

// Copies this program into a private folder and starts the copy with this process's handle and
// the installation folder. The copy runs in the system folder, so that no process holds the
// installation folder as its current one. False when any step fails.
bool StartCopy(const char* ownPath, const char* folder) {
    char copyFolder[MAX_PATH], copyPath[MAX_PATH], systemFolder[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH) return false;
    if (!CreatePrivateFolder(copyFolder)) return false;
    CopyText(copyPath, copyFolder);
    if (!AppendText(copyPath, "\\uninstall.exe") || !CopyFileA(ownPath, copyPath, TRUE)) {
        DeleteFileA(copyPath);
        RemoveDirectoryA(copyFolder);
        return false;
    }
    HANDLE self = NULL;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
        return false;
    char command[3 * MAX_PATH + 64];
    char number[24];
    wsprintfA(number, "%lu ", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(self)));
    CopyText(command, "\"");
    AppendText(command, copyPath);
    AppendText(command, "\" ");
    AppendText(command, kCopyOption);
    AppendText(command, number);
    if (!AppendText(command, folder)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(copyPath, command, NULL, NULL, TRUE, 0, NULL, systemFolder, &startup, &process)) {
        DeleteFileA(copyPath);
        RemoveDirectoryA(copyFolder);
        return false;
    }
    AllowSetForegroundWindow(process.dwProcessId);  // its messages come to the front
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The copy's arguments: the original's handle and the installation folder. False for any other
// command line (the original's own, without arguments).
bool ParseCopyArguments(const char* command, HANDLE& original, const char*& folder) {
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
    ULONG_PTR value = 0;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<ULONG_PTR>(*p++ - '0');
    if (*p != ' ' || p[1] == 0) return false;
    original = reinterpret_cast<HANDLE>(value);
    folder = p + 1;
    return true;
}

// The folder argument without the quotes that a caller may have put around it.
void Unquote(const char* folder, char (&out)[MAX_PATH]) {
    if (*folder != '"') {
        CopyText(out, folder);
        return;
    }
    size_t length = 0;
    while (folder[1 + length] != 0 && folder[1 + length] != '"') ++length;
    CopyTextN(out, MAX_PATH, folder + 1, length);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE original = NULL;
    const char* folder = NULL;
    if (ParseCopyArguments(GetCommandLineA(), original, folder)) {
        WaitForSingleObject(original, kOriginalEndWait);
        CloseHandle(original);
        char installation[MAX_PATH];
        Unquote(folder, installation);
        const int exitCode = RunRemoval(installation);
        // The copy cannot remove itself while it runs: the system does it at the next start.
        char ownPath[MAX_PATH], ownFolder[MAX_PATH];
        if (OwnPath(ownPath, ownFolder)) {
            MoveFileExA(ownPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExA(ownFolder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        return exitCode;
    }

    Win32UninstallHost host;
    if (!ConfirmUninstall(host)) return 1;
    char ownPath[MAX_PATH], ownFolder[MAX_PATH];
    if (!OwnPath(ownPath, ownFolder)) return 1;
    if (StartCopy(ownPath, ownFolder)) return 0;
    // No copy could be made: remove from here; this program's own file is then reported as held.
    return RunRemoval(ownFolder);
}
