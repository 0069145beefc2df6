// The installation record and the "Installed apps" entry over the Win32 registry.
#pragma once
#include <stdint.h>

#include "base/install_state.h"
#include "base/text.h"
#include "system/registry.h"

// Reads ProgramFilesDir into buffer (at least 260 bytes); leaves it untouched when unreadable. Always true.
bool ReadProgramFilesDir(char* buffer);
// The recorded installation folder made full, as UTF-8 (ReadRecordedFolder over any registry).
bool ReadRecordedFolder(char (&buffer)[kPathSize]);
// Records state's folder and the version; removes the application's saved toolbar layout.
bool WriteInstallRecord(const InstallState& state);
// folder (ANSI) made full as the system resolves it against the current folder, as UTF-8: the
// drive of a "\Pelbrix" is the one the run installed on. As typed when the system cannot. True
// when the full form differs from the folder as typed.
bool FullInstallFolder(const char* folder, char (&buffer)[kPathSize]);
// The entry of the installation in state's folder, with today's local date; installedBytes: the
// archive's files.
bool WriteUninstallEntry(const InstallState& state, uint64_t installedBytes);

// The uninstaller's side. Removes a value of HKCU\Software\Pelbrix\Setup; a missing one is no failure.
void DeleteSetupValue(const char* name);
// Removes the HKCU key at path when it holds no values and no subkeys.
void DeleteKeyIfEmpty(const char* path);
// Reads the entry's InstallLocation (a text, as UTF-8) under root, in the registry view native to
// the build, as the installer writes it. True when a non-empty text was read.
bool ReadEntryLocation(RegistryRoot root, char (&buffer)[kPathSize]);
// Removes the entry's key under root.
void DeleteUninstallEntry(RegistryRoot root);
