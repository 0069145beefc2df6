// The per-user installation record and the system's Program Files folder.
#pragma once
#include "base/install_state.h"
#include "base/text.h"
#include "system/registry.h"

// The installation record over any registry.
bool ReadProgramFilesDir(Registry& registry, char* buffer);  // buffer: 260 bytes or more
bool ReadInstalledPath(Registry& registry, char (&buffer)[kPathSize]);
// The folder as the installer made it full: FullPath when the record has it, else Path.
bool ReadRecordedFolder(Registry& registry, char (&buffer)[kPathSize]);
// Path keeps the folder as typed (the installed program reads it); FullPath, the folder made full
// (fullFolder: "\Pelbrix" on the drive the installer ran on), is there only when the two differ.
bool WriteInstallRecord(Registry& registry, const InstallState& state, const char* fullFolder);

// Where the record lives.
extern const char kWindowsVersionKey[];  // HKLM: Software\Microsoft\Windows\CurrentVersion
extern const char kProgramFilesValue[];  // ProgramFilesDir
extern const char kProductKey[];         // HKCU: Software\Pelbrix (removed by the uninstaller when empty)
extern const char kSetupKey[];           // HKCU: Software\Pelbrix\Setup
extern const char kSetupKeyClass[];      // VORTA
extern const char kPathValue[];          // Path
extern const char kVersionValue[];       // Version
extern const char kFullPathValue[];      // FullPath
extern const char kToolBarKey[];         // HKCU: Software\Pelbrix\Main\TFormMainToolBar

// The installer's own record, over the Win32 registry (install_record_win.cpp).
// Reads ProgramFilesDir into buffer (at least 260 bytes); leaves it untouched when unreadable. Always true.
bool ReadProgramFilesDir(char* buffer);
// Reads the recorded installation folder into buffer. True when a non-empty folder was read.
bool ReadInstalledPath(char (&buffer)[kPathSize]);
bool ReadRecordedFolder(char (&buffer)[kPathSize]);
// Records the InstallState folder and the version; removes the application's saved toolbar layout.
bool WriteInstallRecord();
// The InstallState folder made full as the system resolves it against the current folder: the
// drive of a "\\Pelbrix" is the one the run installed on. As it is when the system cannot.
void FullInstallFolder(char (&buffer)[kPathSize]);
