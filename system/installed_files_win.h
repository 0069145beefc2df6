// The installed files over Win32: the file operations the uninstaller and the installer share.
// A marked path's marked part is the folder inside which a removal or rename acts (base/inside_win.h).
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
bool RenameMarkedFile(const char* from, const char* to);
bool MarkedFileChecksum(const char* path, uint32_t& checksum);
bool ReadMarkedNamesList(const char* path, char*& list, size_t& size);
void* ObtainWorkingMemory(size_t size);
void ReleaseWorkingMemory(void* block);

// RemoveEarlierFiles over the Win32 file system, for the installation in folder (ANSI): the
// installer's EarlierRemoval.
void RemoveEarlierFiles(const char* folder, const char* earlierUninstaller);
