// The command line of the uninstaller's copy:
//   /remove PROCESS READY FOLDER   PROCESS: the original's inherited process handle (decimal);
//                                  READY: an inherited event the copy sets once it waits for
//                                  the run mutex; FOLDER: the installation folder, to the end of
//                                  the command line. The copy acts only when FOLDER is the folder
//                                  of PROCESS's own program file.
#pragma once
#include <windows.h>

extern const WCHAR kCopyOption[];  // "/remove "

// The copy's arguments: the original's handle, the event and the installation folder. False for
// any other command line (the original's own, without arguments).
bool ParseCopyArguments(const WCHAR* command, HANDLE& original, HANDLE& ready, const WCHAR*& folder);
