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
