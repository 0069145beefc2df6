// The files of an installation as the list that the build packs into the uninstaller names them:
// reading the list, telling the installer's files from the user's, removing the installer's. The
// uninstaller uses it for the whole installation; the installer for the files of the version it
// replaces that the new one no longer has. A list read from disk is untrusted: it is read only
// within its bytes, and a line names a place only under the strict rules of ParseNextName.
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

// The largest list a build makes, and so the largest one read.
const size_t kNamesLimit = 16u << 20;

// What the decisions need of the file system. Paths are marked texts (base/ansi_text.h): the
// installation folder marked, the listed names Windows-1251. A removal acts only on
// what the path names inside the installation folder, never through a link and never on a link
// in the place (Failed). Win32: installed_files_win.cpp.
struct FilesHost {
    // Removes one file; Missing when there is none to remove.
    virtual RemoveResult RemoveFile(const char* path) = 0;
    // Removes a folder only when it is empty; false otherwise (not empty, missing, refused).
    virtual bool RemoveEmptyFolder(const char* path) = 0;
    virtual EntryFacts Inspect(const char* path) = 0;
    // The ChecksumCrc32 of a file's bytes, read without following a link; false when it cannot be read.
    virtual bool FileChecksum(const char* path, uint32_t& checksum) = 0;
    // The names list carried by the uninstaller at path (a program file, read as data, never run),
    // in memory of its own (ReleaseMemory); false when there is none or it is larger than kNamesLimit.
    virtual bool ReadNamesList(const char* path, char*& list, size_t& size) = 0;
    // Working memory, or null.
    virtual void* ObtainMemory(size_t size) = 0;
    virtual void ReleaseMemory(void* block) = 0;

protected:
    ~FilesHost() = default;
};

// One line of the names list: a path relative to the installation folder, "\" between levels,
// a folder marked by a final "\"; a file's line goes on with a tab, its size, a tab and its time
// (FILETIME, decimal), then a tab and the ChecksumCrc32 of its bytes (8 hex digits; lists of
// earlier versions have none), or "-\t-" for the uninstaller's own file. Lines end with LF or CR LF.
// A line names a place only when every part between its "\" is a name the archive could hold
// (CheckNamePart: no "/", drive, empty, "." or ".." part, device or "~pel" name); any other line
// is skipped. A file line without readable facts has facts false.
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
// The next line from cursor that names a place; false at the end of the list.
bool ParseNextName(const char*& cursor, const char* end, ListedName& out);
// The same backwards: cursor starts at the list's end; false at its beginning.
bool ParsePreviousName(const char* list, const char*& cursor, ListedName& out);
// True for a file line of the user's data file (its name, in whatever folder).
bool IsDataFile(const ListedName& name);

// A list's lines by their paths, for a lookup in a step or two whatever the order of the lines:
// a table of line offsets in the list (zero: free), opened by the folded path's hash.
struct NamesIndex {
    const char* list;
    const char* end;
    uint32_t* slots;
    uint32_t mask;
};
// Indexes a list (memory from host); false when there is no memory.
bool IndexNames(FilesHost& host, const char* list, size_t size, NamesIndex& index);
void ReleaseIndex(FilesHost& host, NamesIndex& index);
// The line of the list that names path: a file line, or a folder line too unless filesOnly;
// names compared as Windows compares them. False when there is none.
bool FindListed(const NamesIndex& index, const char* path, bool filesOnly, ListedName& out);

// The marked path of a place under a folder (a marked text: the installation folder as the
// installer has it, ANSI, or as the system hands it over, UTF-8): the folder, then "\" and
// relative (Windows-1251) unless it is empty. False when it does not fit.
bool MarkedPath(char (&out)[kPathSize], const char* folder, const char* relative);

// What stands at folder\relative (folder marked), looked at level by level from the installation
// folder down: a link at any level is reported as the Link it is, and nothing below it is looked at.
EntryFacts InspectListed(FilesHost& host, const char* folder, const char* relative);

// True when found, the file at path, is the one the installer wrote for name: a file of the
// listed size whose time is the listed one to within 2 seconds (FAT keeps times to 2 seconds) or
// whose bytes give the listed checksum (a time that moved: FAT keeps local time, so a change of
// daylight-saving time shifts it by an hour; a copy that set its own time).
bool IsAsWritten(FilesHost& host, const char* path, const ListedName& name, const EntryFacts& found);

// After a successful update, before the earlier files kept aside go: reads the earlier list from
// the earlier version's uninstaller (earlierUninstaller, relative to folder, a marked text) and the current one
// from the uninstaller in place, then removes the files, then the folders (when empty), that only
// the earlier list names, each file only where it is as the earlier installer wrote it; the data
// file and the uninstaller's own line never. Silent.
void RemoveEarlierFiles(FilesHost& host, const char* folder, const char* earlierUninstaller);
// The same over two lists in memory.
void RemoveEarlierFiles(FilesHost& host, const char* folder, const char* earlier, size_t earlierSize,
                        const char* current, size_t currentSize);
