// Dialog procedures of the pages; each is shown with DialogBoxParamW by its resource id.
#pragma once
#include <windows.h>

#include "base/install_state.h"

// What the destination page shows and fills; DialogBoxParamW's lParam points at it.
struct DestinationPageData {
    const char* programFiles;  // the system's Program Files folder, empty when unreadable
    InstallState* state;       // gets the folder and the desktop choice
};

// What the folder browser starts from and answers; DialogBoxParamW's lParam points at it.
struct FolderBrowserData {
    const char* programFiles;  // where the browser opens, empty when unreadable
    InstallState choice;       // its folder gets the choice, or an empty text when cancelled
};

INT_PTR CALLBACK PreviousInstallPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);  // dialog 4
INT_PTR CALLBACK DestinationPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);      // dialog 1
INT_PTR CALLBACK FolderBrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);        // dialog 3
INT_PTR CALLBACK LicencePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);          // dialog 2
INT_PTR CALLBACK CompletionPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);       // dialog 5
