// The per-user installation record and the system's Program Files folder.
#pragma once

// Reads ProgramFilesDir into buffer (at least 260 bytes); leaves it untouched when unreadable. Always true.
bool ReadProgramFilesDir(char* buffer);
// Reads the recorded installation folder into buffer (1024 bytes). True when a non-empty folder was read.
bool ReadInstalledPath(char* buffer);
// Records the InstallState folder and the version; removes the application's saved toolbar layout.
bool WriteInstallRecord();
