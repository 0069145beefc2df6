// The self-copy hand-over between the uninstaller and its copy.
#include "uninstall/hand_over_win.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "base/messages.h"
#include "base/product.h"
#include "base/run_lock_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "uninstall/arguments_win.h"
#include "uninstall/host_win.h"
#include "uninstall/removal.h"

namespace {

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
bool CreatePrivateFolder(WCHAR (&folder)[MAX_PATH]) {
    WCHAR temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH - 32) return false;
    SECURITY_ATTRIBUTES access = {sizeof access, PrivateAccess(), FALSE};
    if (access.lpSecurityDescriptor == NULL) return false;
    bool created = false;
    for (int attempt = 0; attempt < 8 && !created; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random)) break;
        WCHAR name[24] = L"pel-";
        for (int i = 0; i < 8; ++i) {
            name[4 + 2 * i] = "0123456789abcdef"[random[i] >> 4];
            name[5 + 2 * i] = "0123456789abcdef"[random[i] & 15];
        }
        name[20] = 0;
        CopyText(folder, temp);
        AppendText(folder, name);
        created = CreateDirectoryW(folder, &access) != FALSE;
    }
    LocalFree(access.lpSecurityDescriptor);
    return created;
}

// Appends a handle's value as a decimal number and a blank.
bool AppendHandle(WCHAR (&command)[3 * kPathSize], HANDLE handle) {
    WCHAR number[24];
    wsprintfW(number, L"%lu ", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle)));
    return AppendText(command, number);
}

// The folder part of a path the system gave: the text before its last backslash; false when none.
bool CutToFolder(WCHAR* path) {
    WCHAR* last = NULL;
    for (WCHAR* p = path; *p != 0; ++p)
        if (*p == '\\') last = p;
    if (last == NULL || last == path) return false;
    *last = 0;
    return true;
}

// True when handle is a process whose program file lies in folder (UTF-8): the copy removes only
// the installation whose uninstaller started it.
bool IsUninstallerOf(HANDLE process, const char* folder) {
    WCHAR image[kPathSize];
    DWORD length = kPathSize;
    char imageFolder[kPathSize];
    if (!QueryFullProcessImageNameW(process, 0, image, &length) || length >= kPathSize || !CutToFolder(image) ||
        !Utf8FromWide(image, imageFolder, sizeof imageFolder))
        return false;
    UninstallHost& host = Win32UninstallHost();
    return SameFolder(host, imageFolder, folder);
}

}  // namespace

bool OwnPath(WCHAR (&path)[kPathSize], WCHAR (&folder)[kPathSize]) {
    const DWORD length = GetModuleFileNameW(NULL, path, kPathSize);
    return length != 0 && length < kPathSize && CopyText(folder, path) && CutToFolder(folder);
}

bool HandOverToCopy(const WCHAR* ownPath, const WCHAR* folder) {
    WCHAR copyFolder[MAX_PATH], copyPath[MAX_PATH], systemFolder[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH) return false;
    if (!CreatePrivateFolder(copyFolder)) return false;
    CopyText(copyPath, copyFolder);
    // Kept open without write or delete sharing until the copy has started: nobody swaps it.
    HANDLE copyFile = INVALID_HANDLE_VALUE;
    if (AppendText(copyPath, L"\\" PEL_UNINSTALL_FILE) && CopyFileW(ownPath, copyPath, TRUE))
        copyFile = CreateFileW(copyPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE ready = CreateEventW(&inherited, TRUE, FALSE, NULL);
    HANDLE self = NULL;
    WCHAR command[3 * kPathSize];
    bool started = false;
    PROCESS_INFORMATION process = {};
    if (copyFile != INVALID_HANDLE_VALUE && ready != NULL &&
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0) &&
        CopyText(command, L"\"") && AppendText(command, copyPath) && AppendText(command, L"\" ") &&
        AppendText(command, kCopyOption) && AppendHandle(command, self) && AppendHandle(command, ready) &&
        AppendText(command, folder)) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        started = CreateProcessW(copyPath, command, NULL, NULL, TRUE, 0, NULL, systemFolder, &startup, &process);
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
        DeleteFileW(copyPath);
        RemoveDirectoryW(copyFolder);
    }
    if (ready != NULL) CloseHandle(ready);
    return handedOver;
}

int RunCopy(HANDLE original, HANDLE ready, const WCHAR* folder) {
    char installation[kPathSize];  // UTF-8, as the removal takes folders
    if (!Utf8FromWide(folder, installation, sizeof installation) || !IsUninstallerOf(original, installation)) return 1;
    if (TakeOverRunMutex(ready, kHandOverWait) == NULL) {
        UninstallHost& host = Win32UninstallHost();
        host.Ask(kMessageAnotherRun, kCaptionError, Prompt::Error);
        return 1;
    }
    WaitForSingleObject(original, kHandOverWait);
    CloseHandle(original);
    CloseHandle(ready);
    const int exitCode = RunRemoval(installation);
    // The copy cannot remove itself while it runs: the system does it at the next start.
    WCHAR ownPath[kPathSize], ownFolder[kPathSize];
    if (OwnPath(ownPath, ownFolder)) {
        MoveFileExW(ownPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExW(ownFolder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return exitCode;
}
