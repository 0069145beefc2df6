// What every page's dialog procedure shares: the dispatch of its two messages.
#pragma once
#include <windows.h>

typedef INT_PTR (*PageInitHandler)(HWND dialog);
typedef void (*PageCommandHandler)(HWND dialog, int controlId, int notification);

// WM_INITDIALOG goes to onInit, whose result is returned (TRUE: the system sets the focus);
// WM_COMMAND goes to onCommand with the control id and notification code, and returns 0;
// every other message is left to the system.
INT_PTR DispatchPageMessage(HWND dialog, UINT message, WPARAM wParam, PageInitHandler onInit,
                            PageCommandHandler onCommand);

// The command handler of a page with nothing but its proceed and cancel ids.
void EndPageOnCommand(HWND dialog, int controlId, int notification);
