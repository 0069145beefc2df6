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

bool Win32UninstallHost::FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) {
    return ::FindWindowTitle(windowClass, title, cap);
}

Answer Win32UninstallHost::Ask(const char* text, const char* caption, Prompt prompt) {
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

RemoveResult Win32UninstallHost::RemoveFile(const char* path) { return RemoveMarkedFile(path); }

bool Win32UninstallHost::RemoveEmptyFolder(const char* path) { return RemoveEmptyMarkedFolder(path); }

EntryFacts Win32UninstallHost::Inspect(const char* path) { return InspectMarked(path); }

bool Win32UninstallHost::FileChecksum(const char* path, uint32_t& checksum) {
    return MarkedFileChecksum(path, checksum);
}

void Win32UninstallHost::ListFolder(const char* path, EntryVisitor visit, void* context) {
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

bool Win32UninstallHost::InspectSelf(EntryFacts& facts) {
    WCHAR path[kPathSize];
    const DWORD length = GetModuleFileNameW(NULL, path, kPathSize);
    if (length == 0 || length >= kPathSize) return false;
    facts = InspectWide(path);
    return facts.kind == EntryKind::File;
}

void Win32UninstallHost::FullLongPath(char (&path)[kPathSize]) {
    char full[kPathSize];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full) return;
    CopyText(path, full);
    const DWORD longLength = GetLongPathNameA(full, path, sizeof path);
    if (longLength == 0 || longLength >= sizeof path) CopyText(path, full);  // missing: as it is
}

bool Win32UninstallHost::SameTextIgnoringCase(const char* a, const char* b) {
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) == CSTR_EQUAL;
}

bool Win32UninstallHost::FindLinksFolder(LinksFolder which, char* out, size_t cap) {
    return FindSpecialFolder(which == LinksFolder::Programs ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY, out, cap);
}

bool Win32UninstallHost::ReadLinkTarget(const char* linkPath, char* target, size_t cap) {
    return ::ReadLinkTarget(linkPath, target, cap);
}

bool Win32UninstallHost::ReadRecordedFolder(char (&buffer)[kPathSize]) { return ::ReadRecordedFolder(buffer); }

void Win32UninstallHost::DeleteSetupValue(const char* name) { ::DeleteSetupValue(name); }

void Win32UninstallHost::DeleteKeyIfEmpty(const char* path) { ::DeleteKeyIfEmpty(path); }

// The entry lives in the registry view native to this build, as the installer writes it.
namespace {
RegistryRoot EntryKey(EntryRoot root) {
    return root == EntryRoot::Machine ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
}
}  // namespace

bool Win32UninstallHost::ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) {
    return ::ReadEntryLocation(EntryKey(root), buffer);
}

void Win32UninstallHost::DeleteEntry(EntryRoot root) { DeleteUninstallEntry(EntryKey(root)); }

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
