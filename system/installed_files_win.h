// The installed files over Win32: the file operations the uninstaller and the installer share,
// and the names list read from an uninstaller on disk.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "system/installed_files.h"

// What its attributes say a path holds: any reparse point is a Link, file or folder.
EntryKind KindOf(DWORD attributes);
// The facts of what stands at a path, its own attributes (a link is not followed).
EntryFacts InspectWide(const WCHAR* path);

// The FilesHost operations over marked paths.
EntryFacts InspectMarked(const char* path);
RemoveResult RemoveMarkedFile(const char* path);
bool RemoveEmptyMarkedFolder(const char* path);
bool MarkedFileChecksum(const char* path, uint32_t& checksum);

// A names list read into memory of its own.
struct NamesList {
    char* text;
    size_t size;
};
// Reads the names list (RCDATA PEL_RCDATA_NAMES) of the uninstaller in folder (an ANSI text)
// without running it; list stays empty when there is none. Release it with ReleaseNamesList.
void ReadNamesList(const char* folder, NamesList& list);
void ReleaseNamesList(NamesList& list);

// RemoveEarlierFiles over the Win32 file system, for the installation in folder (ANSI).
void RemoveEarlierFiles(const char* folder, const NamesList& earlier, const NamesList& current);
