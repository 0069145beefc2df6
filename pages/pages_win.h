// Dialog procedures of the pages; each is shown with DialogBoxParamW by its resource id.
#pragma once
#include <windows.h>

INT_PTR CALLBACK PreviousInstallPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);  // dialog 4
INT_PTR CALLBACK DestinationPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);      // dialog 1
INT_PTR CALLBACK FolderBrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);        // dialog 3
INT_PTR CALLBACK LicencePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);          // dialog 2
INT_PTR CALLBACK CompletionPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);       // dialog 5
