// The uninstaller's host over Win32: message boxes, the files of the installation, the links,
// the record and the entry (the last two through system/).
#pragma once
#include "uninstall/removal.h"

// The host over Win32.
UninstallHost& Win32UninstallHost();

// Runs the removal of the installation in folder over the list of packed paths that the build
// put into this program. Returns the exit code.
int RunRemoval(const char* folder);
