// The shell links over the shell: the installer's closing actions (Start-menu group, links,
// desktop link, features page) and the link reading of the uninstaller.
#include "system/shortcuts_win.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "system/installed_files_win.h"
#include "system/shortcuts.h"

namespace {

// A shell special folder's path, looked up with the backdrop as owner. False when it cannot be
// resolved: that folder's links are then skipped.
bool SpecialFolderPath(int folderId, WCHAR (&out)[kPathSize]) {
    LPITEMIDLIST items = NULL;
    if (FAILED(SHGetSpecialFolderLocation(g_backdrop, folderId, &items))) return false;
    BOOL found = SHGetPathFromIDListW(items, out);  // out: at least MAX_PATH units
    CoTaskMemFree(items);
    return found != FALSE;
}

// Saves a shell link to target as linksFolder\title.lnk. Returns the last COM result.
HRESULT CreateShortcut(const WCHAR* target, const WCHAR* linksFolder, const WCHAR* title) {
    IShellLinkW* link = NULL;
    HRESULT result =
        CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (FAILED(result)) return result;
    WCHAR workingDir[kWorkingDirSize];
    LinkWorkingDirectory(workingDir, target);
    result = link->SetPath(target);
    link->SetWorkingDirectory(workingDir);
    link->SetDescription(title);
    IPersistFile* file = NULL;
    if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) {
        WCHAR path[kLinkPathSize];
        if (LinkFilePath(path, linksFolder, title)) {
            result = file->Save(path, TRUE);
        } else {
            result = E_FAIL;  // a path beyond the Windows limit is not saved cut short
        }
        file->Release();
    }
    link->Release();
    return result;
}

// Links a file of the installation folder (a text in the ANSI code page) into linksFolder; the
// file names and titles are Windows-1251.
void CreateLink(const InstallState& state, const LinkRow& row, const WCHAR* linksFolder) {
    WCHAR folder[kPathSize], name[kPathSize], title[kPathSize], target[kLinkTargetSize];
    if (!WideFromAnsi(state.folder, folder, kPathSize) || !WideFrom1251(row.target, name, kPathSize) ||
        !WideFrom1251(row.title, title, kPathSize) || !LinkTargetPath(target, folder, name))
        return;
    CreateShortcut(target, linksFolder, title);
}

// The features page of the installation folder, opened by its full path (built as the links'
// targets are) so that it does not depend on the current directory.
void OpenFeaturesPage(const InstallState& state) {
    WCHAR folder[kPathSize], page[kLinkTargetSize];
    if (!WideFromAnsi(state.folder, folder, kPathSize) || !LinkTargetPath(page, folder, L"features.htm")) return;
    ShellExecuteW(NULL, L"open", page, NULL, NULL, SW_SHOW);
}

}  // namespace

void RunClosingActions(const InstallState& state) {
    CoInitialize(NULL);
    WCHAR links[kPathSize], groupName[kPathSize];
    if (SpecialFolderPath(CSIDL_PROGRAMS, links) && WideFrom1251(kGroupFolderName, groupName, kPathSize)) {
        WCHAR group[kPathSize];
        if (JoinLinkPath(group, kPathSize, links, groupName)) {
            CreateDirectoryW(group, NULL);  // already there on a re-installation
            for (const LinkRow& row : kStartMenuLinks) CreateLink(state, row, group);
        }
    }
    if (state.desktop != 0 && SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, links)) {
        CreateLink(state, kDesktopLink, links);
    }
    CoUninitialize();
    OpenFeaturesPage(state);
}

bool FindSpecialFolder(int folderId, char* out, size_t cap) {
    WCHAR folder[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(NULL, folderId, NULL, SHGFP_TYPE_CURRENT, folder)) &&
           Utf8FromWide(folder, out, cap);
}

bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) {
    WCHAR widePath[kPathSize];
    WideFromMarked(linkPath, widePath, kPathSize);
    if (InspectWide(widePath).kind != EntryKind::File) return false;
    IShellLinkW* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    bool read = false;
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR path[kPathSize] = {};
        read = SUCCEEDED(file->Load(widePath, STGM_READ)) &&
               SUCCEEDED(link->GetPath(path, kPathSize, NULL, SLGP_RAWPATH)) && path[0] != 0 &&
               Utf8FromWide(path, target, cap);
        file->Release();
    }
    link->Release();
    return read;
}
