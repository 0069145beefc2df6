// The per-user installation record and the system's Program Files folder.
#pragma once
#include "base/install_state.h"
#include "base/text.h"
#include "system/registry.h"

// The installation record over any registry.
bool ReadProgramFilesDir(Registry& registry, char* buffer);  // buffer: 260 bytes or more
// The recorded folder as the installer made it full, as UTF-8: FullPath when the record has it,
// else Path. True when a non-empty folder was read; the buffer is untouched without a Setup key.
bool ReadRecordedFolder(Registry& registry, char (&buffer)[kPathSize]);
// Path keeps the folder as typed (the installed program reads it); FullPath, the folder made full
// (fullFolder, UTF-8: "\Pelbrix" on the drive the installer ran on), is there only when the two
// differ ("" when they do not).
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
