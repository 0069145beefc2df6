// The per-user installation record and the system's Program Files folder.
#pragma once
#include "base/text.h"

// Reads ProgramFilesDir into buffer (at least 260 bytes); leaves it untouched when unreadable. Always true.
bool ReadProgramFilesDir(char* buffer);
// Reads the recorded installation folder into buffer. True when a non-empty folder was read.
bool ReadInstalledPath(char (&buffer)[kPathSize]);
// Records the InstallState folder and the version; removes the application's saved toolbar layout.
bool WriteInstallRecord();
