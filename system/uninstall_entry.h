// The "Installed apps" entry: how the system's list of programs shows the installation and removes it.
#pragma once
#include <stdint.h>

#include "system/registry.h"

struct LocalDate {
    uint16_t year;
    uint8_t month;  // 1..12
    uint8_t day;    // 1..31
};

// Size in KiB, rounded up; a size that does not fit a DWORD gives the largest DWORD.
uint32_t SizeInKiB(uint64_t bytes);

// Writes the entry of the installation in folder (made full, as UTF-8: the system runs its
// uninstaller from a folder of its own) under HKLM, or under HKCU when the machine key cannot be created (no
// administrator rights). installedBytes: the archive's files. A failed write is silent; returns
// true always.
bool WriteUninstallEntry(Registry& registry, const char* folder, uint64_t installedBytes, LocalDate today);

// The value names of the entry.
extern const char kDisplayNameValue[];      // DisplayName
extern const char kDisplayVersionValue[];   // DisplayVersion
extern const char kInstallLocationValue[];  // InstallLocation
extern const char kUninstallStringValue[];  // UninstallString
extern const char kDisplayIconValue[];      // DisplayIcon
extern const char kEstimatedSizeValue[];    // EstimatedSize
extern const char kNoModifyValue[];         // NoModify
extern const char kNoRepairValue[];         // NoRepair
extern const char kInstallDateValue[];      // InstallDate
