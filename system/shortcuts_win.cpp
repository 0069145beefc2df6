// The closing actions over the shell: Start-menu group, links, desktop link, features page.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/app_win.h"
#include "base/install_state.h"
#include "system/closing_actions.h"
#include "system/shortcuts.h"

namespace {

// A shell special folder's path, looked up with the backdrop as owner. False when it cannot be
// resolved: that folder's links are then skipped.
bool SpecialFolderPath(int folderId, char* out) {
    LPITEMIDLIST items = NULL;
    if (FAILED(SHGetSpecialFolderLocation(g_backdrop, folderId, &items))) return false;
    BOOL found = SHGetPathFromIDListA(items, out);  // out: at least MAX_PATH bytes
    CoTaskMemFree(items);
    return found != FALSE;
}

// Saves a shell link to target as linksFolder\title.lnk. Returns the last COM result.
HRESULT CreateShortcut(const char* target, const char* linksFolder, const char* title) {
    IShellLinkA* link = NULL;
    HRESULT result =
        CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link));
    if (FAILED(result)) return result;
    char workingDir[kWorkingDirSize];
    LinkWorkingDirectory(workingDir, target);
    result = link->SetPath(target);
    link->SetWorkingDirectory(workingDir);
    link->SetDescription(title);
    IPersistFile* file = NULL;
    if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) {
        char path[kLinkPathSize];
        WCHAR widePath[kLinkPathSize];
        if (LinkFilePath(path, linksFolder, title) &&
            MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, kLinkPathSize) != 0) {
            result = file->Save(widePath, TRUE);
        } else {
            result = E_FAIL;  // a path beyond the Windows limit is not saved cut short
        }
        file->Release();
    }
    link->Release();
    return result;
}

// Links a file of the installation folder into linksFolder.
void CreateLink(const LinkRow& row, const char* linksFolder) {
    char target[kLinkTargetSize];
    if (!LinkTargetPath(target, g_installState.folder, row.target)) return;
    CreateShortcut(target, linksFolder, row.title);
}

}  // namespace

void RunClosingActions() {
    CoInitialize(NULL);
    char links[kPathSize];
    if (SpecialFolderPath(CSIDL_PROGRAMS, links)) {
        char group[kPathSize];
        if (JoinLinkPath(group, sizeof group, links, kGroupFolderName)) {
            CreateDirectoryA(group, NULL);  // already there on a re-installation
            for (const LinkRow& row : kStartMenuLinks) CreateLink(row, group);
        }
    }
    if (g_installState.desktop != 0 && SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, links)) {
        CreateLink(kDesktopLink, links);
    }
    CoUninitialize();
    // Relative: resolved in the current directory, which is the installation folder.
    ShellExecuteA(NULL, "open", "features.htm", NULL, NULL, SW_SHOW);
}
