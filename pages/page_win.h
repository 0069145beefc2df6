// What every page's dialog procedure shares: the dispatch of its two messages.
#pragma once
#include <windows.h>

typedef INT_PTR (*PageInitHandler)(HWND dialog);
typedef void (*PageCommandHandler)(HWND dialog, int controlId, int notification);

// WM_INITDIALOG keeps lParam with the dialog (PageData) and goes to onInit, whose result is
// returned (TRUE: the system sets the focus); WM_COMMAND goes to onCommand with the control id
// and notification code, and returns 0; every other message is left to the system.
INT_PTR DispatchPageMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, PageInitHandler onInit,
                            PageCommandHandler onCommand);

// What the page was given in DialogBoxParamW's lParam; null before WM_INITDIALOG.
void* PageData(HWND dialog);

// The command handler of a page with nothing but its proceed and cancel ids.
void EndPageOnCommand(HWND dialog, int controlId, int notification);
