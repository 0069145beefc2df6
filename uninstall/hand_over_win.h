// The self-copy hand-over: the uninstaller started from the installation folder copies itself
// into a new private folder under the temporary folder, starts the copy and ends; the copy takes
// the run mutex over as the original ends, so that no other run slips in between, and removes
// the installation, this program's file included.
#pragma once
#include <windows.h>

#include "base/text.h"

// How long the original and its copy each wait for the other, in ms.
const DWORD kHandOverWait = 30000;

// This program's own path and its folder (the text before the last backslash), as the system
// hands them over.
bool OwnPath(WCHAR (&path)[kPathSize], WCHAR (&folder)[kPathSize]);

// Copies this program into a private folder, starts the copy with this process's handle, an
// event and the installation folder, and waits until the copy waits for the run mutex. The
// copy runs in the system folder, so that no process holds the installation folder as its
// current one. False when any step fails or the copy ends first.
bool HandOverToCopy(const WCHAR* ownPath, const WCHAR* folder);

// The copy: takes the run over from the original, waits for it to end, removes the installation.
int RunCopy(HANDLE original, HANDLE ready, const WCHAR* folder);
