// The files of an installation as the list that the build packs into the uninstaller names them:
// reading the list, telling the installer's files from the user's, removing the installer's. The
// uninstaller uses it for the whole installation; the installer for the files of the version it
// replaces that the new one no longer has.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "base/text.h"

enum class RemoveResult { Removed, Missing, Failed };

// What stands at a path, its own attributes (a link is never followed): Link is any reparse
// point, file or folder. size in bytes, time the last write as a FILETIME (100 ns since 1601).
enum class EntryKind { Missing, File, Folder, Link };
struct EntryFacts {
    EntryKind kind;
    uint64_t size;
    uint64_t time;
};

// What the decisions need of the file system. Paths are marked texts (base/ansi_text.h): the
// installation folder marked, the listed names Windows-1251. Win32: installed_files_win.cpp.
struct FilesHost {
    // Removes one file; Missing when there is none to remove.
    virtual RemoveResult RemoveFile(const char* path) = 0;
    // Removes a folder only when it is empty; false otherwise (not empty, missing, refused).
    virtual bool RemoveEmptyFolder(const char* path) = 0;
    virtual EntryFacts Inspect(const char* path) = 0;
    // The ChecksumCrc32 of a file's bytes, read without following a link; false when it cannot be read.
    virtual bool FileChecksum(const char* path, uint32_t& checksum) = 0;

protected:
    ~FilesHost() = default;
};

// One line of the names list: a path relative to the installation folder, "\" between levels,
// a folder marked by a final "\"; a file's line goes on with a tab, its size, a tab and its time
// (FILETIME, decimal), then a tab and the ChecksumCrc32 of its bytes (8 hex digits; lists of
// earlier versions have none), or "-\t-" for the uninstaller's own file. Lines end with LF or CR LF.
// Gives false at the end of the list. A line that is empty, absolute or climbs out of the folder
// is skipped (out stays valid); a file line without readable facts has facts false.
struct ListedName {
    char path[kPathSize];
    bool folder;
    bool facts;   // size and time were read
    bool self;    // "-": the uninstaller's own file
    bool summed;  // a checksum was read
    uint64_t size;
    uint64_t time;
    uint32_t checksum;
};
bool ParseNextName(const char*& cursor, const char* end, ListedName& out);
// True for a file line of the user's data file (its name, in whatever folder).
bool IsDataFile(const ListedName& name);
// The k-th folder line of the list (0-based), or false when there are fewer.
bool FindListedFolder(const char* names, const char* end, size_t k, ListedName& out);

// The marked path of a place under an ANSI folder: the folder, then "\" and relative (Windows-1251)
// unless it is empty. False when it does not fit.
bool MarkedPath(char (&out)[kPathSize], const char* folder, const char* relative);

// What stands at folder\relative, looked at level by level from the installation folder down:
// a link at any level is reported as the Link it is, and nothing below it is looked at.
EntryFacts InspectListed(FilesHost& host, const char* folder, const char* relative);

// True when found, the file at path, is the one the installer wrote for name: a file of the
// listed size whose time is the listed one to within 2 seconds (FAT keeps times to 2 seconds) or
// whose bytes give the listed checksum (a time that moved: FAT keeps local time, so a change of
// daylight-saving time shifts it by an hour; a copy that set its own time).
bool IsAsWritten(FilesHost& host, const char* path, const ListedName& name, const EntryFacts& found);

// True when the list names path, files only or folders too; names compared as Windows compares
// them. hint: where the search starts (at first, list); it goes on from where the last one ended.
bool ListsPath(const char* list, const char* end, const char*& hint, const char* path, bool filesOnly);

// After a successful update: removes the files, then the folders (when empty), that the earlier
// installation's list names and the current one does not, each file only when it is as the
// earlier installer wrote it; the data file and the uninstaller's own line never. Silent.
void RemoveEarlierFiles(FilesHost& host, const char* folder, const char* earlier, size_t earlierSize,
                        const char* current, size_t currentSize);
