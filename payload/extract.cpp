// ExtractPayload: the installer's unpacking, written once over the host's operations.
#include "payload/extract.h"

#include <new>
#include <stdint.h>
#include <string.h>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "base/messages.h"
#include "base/path_text.h"
#include "base/product.h"
#include "base/reserved_name.h"
#include "base/text.h"
#include "payload/archive.h"

namespace {

const size_t kSlotSize = kArchivePathCapacity;  // one directory name with its zero
const int kQuitExitCode = 1;
const uint32_t kWriteChunk = 1u << 24;  // a file up to 16 MB in one write, larger ones in such blocks
const size_t kWindowsPathLimit = 260;   // a full path and its zero, for the uninstaller and the links
const uint32_t kNoEntry = 0xFFFFFFFFu;

// The coded failures and their messages; a prefix is followed by the folder or directory name.
enum class Failure { NoResource, NoFirstCopy, NoSecondCopy, BrokenArchive, Folder, Directory };
struct FailureRow {
    const char* text;
    bool quit;      // post the quit request after the message
    bool ansiName;  // the name is the installation folder, a text in the ANSI code page
};
const FailureRow kFailures[] = {
    {kMessageNoResource, true, false},    {kMessageNoFirstCopy, true, false}, {kMessageNoSecondCopy, true, false},
    {kMessageBrokenArchive, true, false}, {kMessageFolderPrefix, true, true}, {kMessageDirectoryPrefix, false, false},
};

// What this run knows of and did to one file of the archive: what is where, kept true after
// every call, so that a Retry, an Ignore and the rollback start from the truth on disk.
enum : uint8_t {
    kWork = 1,      // this run's working file is beside the place
    kOurs = 2,      // a file this run wrote is at the place
    kAside = 4,     // the earlier file is beside it under this run's backup name
    kLeftover = 8,  // a killed run's backup of it is beside it (tag backupTag)
};
struct FileState {
    const char* name;  // in the second copy
    uint32_t directoryIndex;
    uint32_t attributes;  // the record's
    uint32_t earlier;     // what the listing or a Retry's look saw at the place; kNoAttributes: none
    uint32_t backupTag, backupAttributes;
    FileTimes earlierTimes, backupTimes;
    uint64_t earlierSize, backupSize;  // as listed
    uint8_t flags;
};

// One run's private memory and walk, released on every way out. The rollback needs no more than
// the flags in the file states and the created-directory bytes: names are derived again.
struct Extraction {
    ExtractHost& host;
    const InstallState& state;
    uint8_t* firstCopy = nullptr;
    uint8_t* secondCopy = nullptr;
    char* directoryTable = nullptr;  // directoryCount slots of 1024 bytes, u16 lengths, created bytes
    FileState* files = nullptr;      // fileCount states, then the path table
    uint32_t* paths = nullptr;       // open addressing over files and directories: entry + 1, 0 free
    uint32_t directoryCount = 0, fileCount = 0, pathMask = 0, tag = 0;
    uint64_t installedBytes = 0;  // the files' data, for the list of installed programs
    size_t longest = 0;           // the longest path, or working name in a file's place
    uint32_t finished[4] = {};    // the tags of runs that succeeded, as their names beside our files tell
    uint32_t finishedCount = 0;
    uint32_t marker = kNoEntry;  // the file beside which this run marked itself as one that succeeded
    bool folderCreated = false;
    ArchiveReader reader = {};

    Extraction(ExtractHost& h, const InstallState& s) : host(h), state(s) {}
    ~Extraction() { ReleaseAll(); }
    void ReleaseAll() {
        Release(firstCopy);
        Release(files);
        Release(directoryTable);
        Release(secondCopy);
    }
    template <typename T>
    void Release(T*& block) {
        if (block != nullptr) host.ReleaseMemory(block);
        block = nullptr;
    }
    char* Slot(uint32_t index) const { return directoryTable + static_cast<size_t>(index) * kSlotSize; }
    uint8_t& DirectoryCreated(uint32_t index) const {
        return reinterpret_cast<uint8_t*>(directoryTable +
                                          static_cast<size_t>(directoryCount) * (kSlotSize + sizeof(uint16_t)))[index];
    }
};

typedef char PathText[kSlotSize];

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// A fixed text and the whole name after it: the buffer holds any 1023-byte name.
typedef char MessageText[64 + kArchivePathCapacity];
void ComposeMessage(MessageText& message, const char* prefix, const char* name) {
    CopyText(message, prefix);
    AppendTextN(message, sizeof message, name, kArchivePathCapacity);
}

void RollBack(Extraction& x);

// Undoes what the run did when asked, releases the working memory, shows the failure's message,
// posts the quit request if its row asks; gives false.
bool Fail(Extraction& x, Failure failure, const char* name = "", bool rollBack = false) {
    const FailureRow& row = kFailures[static_cast<int>(failure)];
    MessageText message;
    ComposeMessage(message, row.text, "");  // before the release: name may lie in the table
    if (row.ansiName)
        AppendAnsiPart(message, sizeof message, name);
    else
        AppendTextN(message, sizeof message, name, kArchivePathCapacity);
    if (rollBack) RollBack(x);
    x.ReleaseAll();
    x.host.ShowMessage(message);
    if (row.quit) x.host.PostQuitRequest(kQuitExitCode);
    return false;
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Letters as Windows compares names, without case; "/" is "\".
uint8_t Fold(char c) { return static_cast<uint8_t>(c == '/' ? '\\' : FoldLetter1251(c)); }

// The path of a file (kind 0), or its working ("+"), backup ("-") or finished run's backup ("=")
// name of the run tagged tag; a directory's entry (past the files) gives its name.
void NameOf(const Extraction& x, uint32_t entry, PathText& out, char kind = 0, uint32_t tag = 0) {
    out[0] = 0;
    if (entry >= x.fileCount) {
        CopyText(out, x.Slot(entry - x.fileCount));
        return;
    }
    const FileState& f = x.files[entry];
    if (f.directoryIndex != 0) {
        CopyText(out, x.Slot(f.directoryIndex - 1));
        AppendText(out, "\\");
    }
    if (kind != 0) {
        char reserved[kReservedHeadLength + 1];
        FormatReservedHead(tag, kind, reserved);
        AppendText(out, reserved);
    }
    AppendText(out, f.name);
}

// The entry filed under path (names compared without case), or kNoEntry. With add (an entry
// whose own path this is), files it there when no entry has that path yet.
uint32_t FindPath(Extraction& x, const char* path, uint32_t add = kNoEntry) {
    uint32_t hash = 2166136261u;
    for (const char* p = path; *p != 0; ++p) hash = (hash ^ Fold(*p)) * 16777619u;
    for (uint32_t i = hash & x.pathMask;; i = (i + 1) & x.pathMask) {
        if (x.paths[i] == 0) {
            if (add != kNoEntry) x.paths[i] = add + 1;
            return kNoEntry;
        }
        PathText other;
        NameOf(x, x.paths[i] - 1, other);
        size_t k = 0;
        while (Fold(other[k]) == Fold(path[k]) && path[k] != 0) ++k;
        if (Fold(other[k]) == Fold(path[k])) return x.paths[i] - 1;
    }
}

// Loading: the payload and the whole-archive check: both working copies, the walk over the second, the
// directory-name table, the file states. The first copy is gone when this returns true.
bool LoadArchive(Extraction& x) {
    const uint8_t* resource = nullptr;
    size_t resourceSize = 0;
    if (!x.host.LoadPayload(resource, resourceSize) || resource == nullptr) return Fail(x, Failure::NoResource);
    // A resource without a whole header holds no archive; nothing is read from it.
    if (resourceSize < kArchiveHeaderSize) return Fail(x, Failure::BrokenArchive);

    x.firstCopy = static_cast<uint8_t*>(x.host.ObtainMemory(resourceSize));
    if (x.firstCopy == nullptr) return Fail(x, Failure::NoFirstCopy);
    memcpy(x.firstCopy, resource, resourceSize);

    // Header limits before the second copy is sized by archiveLength.
    ArchiveError error;
    if (!OpenArchive(x.reader, x.firstCopy, resourceSize, error)) return Fail(x, Failure::BrokenArchive);
    const uint32_t archiveLength = ReadU32(x.firstCopy);
    const size_t bodySize = resourceSize - kArchiveHeaderSize;
    x.secondCopy = static_cast<uint8_t*>(x.host.ObtainMemory(archiveLength > bodySize ? archiveLength : bodySize));
    if (x.secondCopy == nullptr) return Fail(x, Failure::NoSecondCopy);

    // The archive without its header; checksum is not read.
    memcpy(x.secondCopy, x.firstCopy + kArchiveHeaderSize, bodySize);
    x.directoryCount = ReadU32(x.firstCopy + 8);
    x.Release(x.firstCopy);

    // The whole archive is checked now, before anything is created on disk. The directory-name
    // table comes first because the check needs the names' lengths; directoryCount has been
    // checked against archiveLength, so the table's size is bounded by the archive's.
    if (!OpenArchiveBody(x.reader, x.secondCopy, bodySize, archiveLength, x.directoryCount, error))
        return Fail(x, Failure::BrokenArchive);
    // No message of its own exists for the tables: they are working memory like the second copy.
    const uint64_t tableSize = static_cast<uint64_t>(x.directoryCount) * (kSlotSize + sizeof(uint16_t) + 1);
    if (tableSize != static_cast<size_t>(tableSize)) return Fail(x, Failure::NoSecondCopy);
    uint16_t* nameLengths = nullptr;
    if (x.directoryCount != 0) {
        x.directoryTable = static_cast<char*>(x.host.ObtainMemory(static_cast<size_t>(tableSize)));
        if (x.directoryTable == nullptr) return Fail(x, Failure::NoSecondCopy);
        memset(x.directoryTable, 0, static_cast<size_t>(tableSize));
        nameLengths = reinterpret_cast<uint16_t*>(x.directoryTable + static_cast<size_t>(x.directoryCount) * kSlotSize);
    }
    if (!ValidateArchiveWalk(x.reader, nameLengths, error)) return Fail(x, Failure::BrokenArchive);

    ArchiveReader walk = x.reader;
    DirectoryEntry directory;
    for (uint32_t k = 0; NextDirectoryEntry(walk, directory, error) == ArchiveStep::Item; ++k)
        CopyTextN(x.Slot(k), kSlotSize, directory.name, directory.nameLength);
    FileEntry file;
    for (; NextFileEntry(walk, file, error) == ArchiveStep::Item; ++x.fileCount) x.installedBytes += file.dataLength;

    // The file states and the path table, each bounded by the archive's entries.
    const uint32_t entries = x.fileCount + x.directoryCount;
    while (x.pathMask + 1 < 2 * static_cast<uint64_t>(entries) + 1) x.pathMask = x.pathMask * 2 + 1;
    const size_t statesSize = static_cast<size_t>(x.fileCount) * sizeof(FileState);
    const size_t filesSize = statesSize + (static_cast<size_t>(x.pathMask) + 1) * sizeof(uint32_t);
    x.files = static_cast<FileState*>(x.host.ObtainMemory(filesSize));
    if (x.files == nullptr) return Fail(x, Failure::NoSecondCopy);
    memset(static_cast<void*>(x.files), 0, filesSize);
    x.paths = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(x.files) + statesSize);
    walk = x.reader;
    for (uint32_t i = 0; NextFileEntry(walk, file, error) == ArchiveStep::Item; ++i) {
        FileState& f = x.files[i];
        f.name = file.name;
        f.directoryIndex = file.directoryIndex;
        f.attributes = file.attributes;
        f.earlier = kNoAttributes;
    }
    // Two entries for one place (names equal without case) would write it twice: broken. The
    // longest path, or working name in a file's place, decides how long the folder may be.
    for (uint32_t e = 0; e < entries; ++e) {
        PathText path;
        NameOf(x, e, path);
        if (FindPath(x, path, e) != kNoEntry) return Fail(x, Failure::BrokenArchive);
        const size_t length = strlen(path) + (e < x.fileCount ? kReservedHeadLength : 0);
        if (length > x.longest) x.longest = length;
    }
    return true;
}

// The folder text names one place, holds only what Windows accepts in a path ("\\?\" aside), and
// leaves room for every path of the archive and every working name below 260 characters.
bool IsUsableFolder(const char* folder, size_t longest) {
    if (!IsAbsoluteFolder(folder)) return false;
    const bool verbatim = folder[0] == '\\' && folder[1] == '\\' && folder[2] == '?' && folder[3] == '\\';  // "\\?\"
    const char* start = verbatim ? folder + 4 : folder;
    // By characters: the second byte of a double-byte letter may be "|" or "\\".
    for (const char* p = start; *p != 0; p += AnsiCharSize(p)) {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (AnsiCharSize(p) != 1) continue;
        if (c < 0x20 || strchr("?*<>|\"", c) != nullptr || (c == ':' && p - start != 1)) return false;
    }
    return AnsiWideLength(folder) + 1 + longest < kWindowsPathLimit;  // as Windows counts: UTF-16 units
}

// Files read-only so far lose that bit first: a read-only file cannot be removed.
bool RemoveOurs(ExtractHost& host, const char* path, uint32_t attributes) {
    const bool unlock = (attributes & kAttributeReadOnly) != 0;
    if (unlock) host.SetAttributes(path, attributes & ~kAttributeReadOnly);
    if (host.RemoveFile(path)) return true;
    if (unlock) host.SetAttributes(path, attributes);  // a file that stays keeps its protection
    return false;
}

bool IsPlainFile(uint32_t attributes) {
    return attributes != kNoAttributes && (attributes & (kAttributeDirectory | kAttributeReparsePoint)) == 0;
}

// A backup that no run may restore any more: removed, or when it cannot go now (a program still
// runs from it) given the finished run's name, which no later run restores, and removed when the
// system next starts (or, read-only, by the next run).
void Discard(ExtractHost& host, const char* path, uint32_t attributes, const char* finished) {
    if (RemoveOurs(host, path, attributes)) return;
    host.RemoveAtRestart(finished != nullptr && host.Rename(path, finished) ? finished : path);
}

// One folder's listing: the earlier attributes and times of the archive's files, and what other
// runs left beside them. Only plain files of this extraction's making are settled: a folder or a
// link of a reserved name is the user's. A killed run's working file goes at once, and so does a
// backup that a run which succeeded could not remove; a killed run's backup is noted. Anything
// else there is none of this run's business.
struct Listing {
    Extraction* x;
    uint32_t directory;  // 0: the installation folder; k: the k-th directory entry
};
void VisitListed(void* context, const char* name, uint32_t attributes, const FileTimes& times, uint64_t size) {
    const Listing& l = *static_cast<Listing*>(context);
    PathText path = "", place;
    if (l.directory != 0) {
        CopyText(path, l.x->Slot(l.directory - 1));
        AppendText(path, "\\");
    }
    ReservedName reserved = {0, 0, nullptr};
    const char kind = ParseReservedName(name, reserved) ? reserved.kind : 0;
    CopyText(place, path);
    if (!AppendText(path, name) || !AppendText(place, kind != 0 ? reserved.name : name)) return;
    // Only the archive's files, and the plain files this extraction makes beside them, are its
    // business: a reserved name beside no file of the archive, a folder or a link is the user's.
    const uint32_t e = FindPath(*l.x, place);
    if (e >= l.x->fileCount || (kind != 0 && !IsPlainFile(attributes))) return;
    FileState& f = l.x->files[e];
    if (kind == kReservedWork) l.x->host.RemoveFile(path);
    if (kind == kReservedLeftover) {
        Discard(l.x->host, path, attributes, nullptr);
        if (l.x->finishedCount < 4) l.x->finished[l.x->finishedCount++] = reserved.tag;
    }
    if (kind == 0) {
        f.earlier = attributes;
        f.earlierTimes = times;
        f.earlierSize = size;
    } else if (kind == kReservedBackup) {
        f.flags |= kLeftover;
        f.backupTag = reserved.tag;
        f.backupAttributes = attributes;
        f.backupTimes = times;
        f.backupSize = size;
    }
}

bool Finished(const Extraction& x, uint32_t tag) {
    for (uint32_t i = 0; i < x.finishedCount; ++i)
        if (x.finished[i] == tag) return true;
    return false;
}

// Lists a folder that existed before the run, then settles what a killed run left there: each
// earlier file it had moved aside comes back to its place (over that run's new file) with its
// times, so that this run starts from the folder as it was before that one. A backup that cannot
// come back stays noted, to go once this run has written its file. A run that had succeeded and
// was killed while its earlier files went marked itself so (a finished run's name in the
// installation folder, listed first): its backups go.
bool ListAndSettle(Extraction& x, uint32_t directory) {
    Listing listing = {&x, directory};
    if (!x.host.ListFolder(directory == 0 ? "" : x.Slot(directory - 1), VisitListed, &listing)) return false;
    for (uint32_t e = 0; e < x.fileCount; ++e) {
        FileState& f = x.files[e];
        if (f.directoryIndex != directory || (f.flags & kLeftover) == 0) continue;
        PathText path, aside;
        NameOf(x, e, path);
        NameOf(x, e, aside, kReservedBackup, f.backupTag);
        if (Finished(x, f.backupTag)) {
            Discard(x.host, aside, f.backupAttributes, nullptr);
            f.flags = 0;
            continue;
        }
        if (IsPlainFile(f.earlier) && !IsDataFileName(f.name) && RemoveOurs(x.host, path, f.earlier))
            f.earlier = kNoAttributes;
        if (f.earlier == kNoAttributes && x.host.Rename(aside, path)) {
            x.host.RestoreTimes(path, f.backupTimes, f.backupAttributes);
            f.earlier = f.backupAttributes;
            f.earlierTimes = f.backupTimes;
            f.earlierSize = f.backupSize;
            f.flags = 0;
        }
    }
    return true;
}

// Folders: the installation folder made current, then every directory before any file.
// Each folder that was there already must be a folder and no link, and is listed once.
bool CreateFolders(Extraction& x) {
    const char* folder = x.state.folder;
    if (!IsUsableFolder(folder, x.longest)) return Fail(x, Failure::Folder, folder);
    // One level, outcome ignored: the change decides.
    x.folderCreated = x.host.CreateDirectoryLevel(folder) == DirectoryResult::Created;
    const bool link = !x.folderCreated && (x.host.GetAttributes(folder) & kAttributeReparsePoint) != 0;
    if (link || !x.host.SetCurrentFolder(folder) || (!x.folderCreated && !ListAndSettle(x, 0)))
        return Fail(x, Failure::Folder, folder, true);
    for (uint32_t k = 0; k < x.directoryCount; ++k) {
        const char* slot = x.Slot(k);
        const DirectoryResult result = x.host.CreateDirectoryLevel(slot);
        x.DirectoryCreated(k) = result == DirectoryResult::Created;
        const bool existed = result == DirectoryResult::AlreadyExists;
        const uint32_t attributes = existed ? x.host.GetAttributes(slot) : kAttributeDirectory;
        const bool folderThere = attributes != kNoAttributes &&
                                 (attributes & (kAttributeDirectory | kAttributeReparsePoint)) == kAttributeDirectory;
        if (result == DirectoryResult::Failed || !folderThere || (existed && !ListAndSettle(x, k + 1)))
            return Fail(x, Failure::Directory, slot, true);
    }
    return true;
}

// The place of file e as it was before the run: this run's working file gone, a file it wrote
// there removed, the earlier file back from its backup with the times the listing saw (a name
// given back right after another file left it would take that file's creation time: NTFS name
// tunnelling). After a question the place is looked at first: what is no longer a plain file
// there (the user removed it, or put a folder or a link in its place) is not ours to remove.
// True when nothing of this run's is left there; otherwise the flags say what is where.
bool PutBack(Extraction& x, uint32_t e, bool look) {
    FileState& f = x.files[e];
    if ((f.flags & (kWork | kOurs | kAside)) == 0) return true;
    ExtractHost& host = x.host;
    PathText path, aside;
    NameOf(x, e, path);
    NameOf(x, e, aside, kReservedWork, x.tag);
    if ((f.flags & kWork) != 0 && host.RemoveFile(aside)) f.flags &= ~kWork;
    if ((f.flags & kOurs) != 0 && look && !IsPlainFile(host.GetAttributes(path))) f.flags &= ~kOurs;
    if ((f.flags & kOurs) != 0 && RemoveOurs(host, path, f.attributes)) f.flags &= ~kOurs;
    NameOf(x, e, aside, kReservedBackup, x.tag);
    if ((f.flags & (kOurs | kAside)) == kAside && host.Rename(aside, path)) {
        f.flags &= ~kAside;
        host.RestoreTimes(path, f.earlierTimes, f.earlier);
    }
    return (f.flags & (kWork | kOurs | kAside)) == 0;
}

// An earlier file that the listing (or a Retry's look) shows with the record's size, last-write
// time and attributes, and whose bytes are the record's, is what writing the record would leave
// there (but its creation time): it stays as it is, nothing written, kept aside or asked. One
// that cannot be read is replaced. A killed run's backup beside it is settled by a replacement.
// A Retry's look gives no size: the read tells it.
bool AlreadyInPlace(Extraction& x, const FileState& f, const FileEntry& file, const char* path, bool retry) {
    const uint32_t written = file.attributes & ~(kAttributeDirectory | kAttributeReparsePoint);  // not settable
    return (f.flags & kLeftover) == 0 && f.earlier == written && f.earlierTimes.written == file.time &&
           (retry || f.earlierSize == file.dataLength) && x.host.SameContents(path, file.data, file.dataLength);
}

// Creates file e's data at its place, or for the data file at its working name first: a killed
// run must not leave a short data file that the next run would keep as the user's. The times are
// set after the data, which would move them, and after the place's name is taken (a name another
// file just left lends it that file's creation time). False after undoing what it can.
bool CreateFromRecord(Extraction& x, uint32_t e, const FileEntry& file, const char* path) {
    ExtractHost& host = x.host;
    FileState& f = x.files[e];
    const bool viaWork = IsDataFileName(f.name);
    PathText work;
    NameOf(x, e, work, kReservedWork, x.tag);
    const FileHandle out = host.CreateNewFile(viaWork ? work : path);
    if (out == kNoFile) {
        PutBack(x, e, false);
        return false;
    }
    f.flags |= viaWork ? kWork : kOurs;
    bool ok = true;
    for (uint32_t done = 0; ok && done < file.dataLength; done += kWriteChunk) {
        const uint32_t left = file.dataLength - done;
        ok = host.WriteBlock(out, file.data + done, left < kWriteChunk ? left : kWriteChunk);
    }
    if (ok) host.SetFileTimes(out, file.time);
    if (ok && viaWork) {
        ok = host.Rename(work, path);
        if (ok) f.flags = static_cast<uint8_t>((f.flags & ~kWork) | kOurs);
    }
    ok = host.CloseFile(out) && ok;
    if (!ok) {
        PutBack(x, e, false);
        return false;
    }
    if (file.attributes != kAttributeArchive) host.SetAttributes(path, file.attributes);
    return true;
}

// An earlier file at file e's place: left as it is when it is already what the record would
// write, else moved aside under the run's backup name, kept there until the run ends, and the
// new file created at its place. Only a plain file is replaced.
bool ReplaceEarlier(Extraction& x, uint32_t e, const FileEntry& file, const char* path, bool retry) {
    FileState& f = x.files[e];
    if (!IsPlainFile(f.earlier)) return false;
    if (AlreadyInPlace(x, f, file, path, retry)) return true;
    PathText backup;
    NameOf(x, e, backup, kReservedBackup, x.tag);
    if (!x.host.Rename(path, backup)) return false;
    f.flags |= kAside;
    return CreateFromRecord(x, e, file, path);
}

// One file: created new where there is none, an earlier one replaced; a data file that is there,
// whatever it is, is the user's. A Retry first undoes what an earlier attempt left, then looks at
// the place again: the user may have removed, released or put something there meanwhile.
bool WriteOneFile(Extraction& x, uint32_t e, const FileEntry& file, bool retry) {
    FileState& f = x.files[e];
    if (!PutBack(x, e, retry)) return false;
    PathText path;
    NameOf(x, e, path);
    if (retry) f.earlier = x.host.GetAttributes(path, &f.earlierTimes);
    if (f.earlier == kNoAttributes) return CreateFromRecord(x, e, file, path);
    return IsDataFileName(f.name) || ReplaceEarlier(x, e, file, path, retry);
}

// "(0005)" and the path of file e: Abort, Retry or Ignore.
FileAnswer AskAbout(Extraction& x, uint32_t e) {
    PathText path;
    NameOf(x, e, path);
    MessageText message;
    ComposeMessage(message, kMessageWriteFilePrefix, path);
    return x.host.AskAboutFile(message);
}

// The installation folder as it was before the run: every file it wrote gone, every earlier file
// back from its backup (a rename keeps its bytes and attributes), every directory it created
// gone, the folder too when it created it. A file that cannot be put back (a program holds it)
// is asked about again until it can; when the user gives up (Abort or Ignore) it stays as a
// killed run would leave it, which the next run settles.
void RollBack(Extraction& x) {
    for (uint32_t e = x.fileCount; e-- > 0;)
        while (!PutBack(x, e, true) && AskAbout(x, e) == FileAnswer::Retry) {
        }
    for (uint32_t k = x.directoryCount; k-- > 0;)
        if (x.DirectoryCreated(k)) x.host.RemoveDirectoryLevel(x.Slot(k));
    if (!x.folderCreated) return;
    // Out of the folder first: a current folder cannot be removed.
    PathText parent;
    size_t lastPart = 0;  // where the folder's last name begins, by characters
    bool afterSeparator = true;
    for (const char* p = x.state.folder; *p != 0; p += AnsiCharSize(p)) {
        const bool separator = AnsiCharSize(p) == 1 && IsPathSeparator(*p);
        if (!separator && afterSeparator) lastPart = static_cast<size_t>(p - x.state.folder);
        afterSeparator = separator;
    }
    CopyTextN(parent, sizeof parent, x.state.folder, lastPart);
    x.host.SetCurrentFolder(parent);
    x.host.RemoveDirectoryLevel(x.state.folder);
}

// The earlier version's uninstaller, which carries its list of files, as it stands once every
// file is in place: a killed run's backup of it that could not come back, else this run's;
// false when this run left the earlier one in place (the same file) or there was none.
bool EarlierUninstaller(Extraction& x, PathText& out) {
    const uint32_t e = FindPath(x, PEL_UNINSTALL_FILE);
    if (e >= x.fileCount) return false;
    const FileState& f = x.files[e];
    if ((f.flags & kLeftover) != 0)
        NameOf(x, e, out, kReservedBackup, f.backupTag);
    else if ((f.flags & kAside) != 0)
        NameOf(x, e, out, kReservedBackup, x.tag);
    return (f.flags & (kLeftover | kAside)) != 0;
}

// Files: every file record. A file that cannot be written asks the user: Retry writes it again,
// Ignore skips it once its place is as it was (the earlier file stays), Abort rolls the whole run
// back and gives false. After the last file, the earlier version's own files go while its
// uninstaller and every earlier file kept aside can still come back (a run killed meanwhile is
// settled by the next, which reads that list again).
bool WriteFiles(Extraction& x) {
    ArchiveReader walk = x.reader;
    FileEntry file;
    ArchiveError error;
    for (uint32_t e = 0; NextFileEntry(walk, file, error) == ArchiveStep::Item; ++e) {
        for (bool retry = false; !WriteOneFile(x, e, file, retry); retry = true) {
            FileAnswer answer = AskAbout(x, e);
            while (answer == FileAnswer::Ignore && !PutBack(x, e, true)) answer = AskAbout(x, e);
            if (answer == FileAnswer::Abort) {
                RollBack(x);
                return false;
            }
            if (answer == FileAnswer::Ignore) break;
        }
    }
    PathText earlier;
    x.host.RemoveEarlierVersion(EarlierUninstaller(x, earlier) ? earlier : nullptr);
    return true;
}

// Marks the run as one that succeeded, before the earlier files it kept aside go: a finished
// run's name beside its first file in the installation folder (no run restores such a name) tells
// the next run that this one's backups are not to come back either. False when nothing was kept
// aside, or the mark cannot be made.
bool MarkSucceeded(Extraction& x) {
    bool kept = false;
    for (uint32_t e = 0; e < x.fileCount; ++e) {
        kept = kept || (x.files[e].flags & kAside) != 0;
        if (x.marker == kNoEntry && x.files[e].directoryIndex == 0) x.marker = e;
    }
    PathText marker;
    if (!kept || x.marker == kNoEntry) return false;
    NameOf(x, x.marker, marker, kReservedLeftover, x.tag);
    const FileHandle file = x.host.CreateNewFile(marker);
    if (file != kNoFile && x.host.CloseFile(file)) return true;
    if (file != kNoFile) x.host.RemoveFile(marker);
    x.marker = kNoEntry;
    return false;
}

// The earlier files kept aside go, and so do the backups killed runs left of the files written;
// then the run's mark.
void DiscardBackups(Extraction& x) {
    for (uint32_t e = 0; e < x.fileCount; ++e) {
        const FileState& f = x.files[e];
        if ((f.flags & kOurs) == 0) continue;
        PathText backup, finished;
        if ((f.flags & kAside) != 0) {
            NameOf(x, e, backup, kReservedBackup, x.tag);
            NameOf(x, e, finished, kReservedLeftover, x.tag);
            Discard(x.host, backup, f.earlier, finished);
        }
        if ((f.flags & kLeftover) != 0) {
            NameOf(x, e, backup, kReservedBackup, f.backupTag);
            NameOf(x, e, finished, kReservedLeftover, f.backupTag);
            Discard(x.host, backup, f.backupAttributes, finished);
        }
    }
    PathText marker;
    if (x.marker == kNoEntry) return;
    NameOf(x, x.marker, marker, kReservedLeftover, x.tag);
    Discard(x.host, marker, kAttributeArchive, nullptr);
}

bool Extract(Extraction& x, uint64_t* installedBytes) {
    x.tag = x.host.RunTag();
    if (!(LoadArchive(x) && CreateFolders(x) && WriteFiles(x))) return false;
    if (installedBytes != nullptr) *installedBytes = x.installedBytes;
    return true;
}

}  // namespace

uint32_t LinkAttributes(uint32_t attributes, uint32_t reparseTag) {
    const uint32_t kNameSurrogate = 0x20000000;  // IsReparseTagNameSurrogate
    if (attributes == kNoAttributes || reparseTag == 0 || (reparseTag & kNameSurrogate) != 0) return attributes;
    return attributes & ~kAttributeReparsePoint;
}

bool IsDataFileName(const char* name) {
    static const char kDataFileName[] = PEL_DATA_FILE;
    for (size_t i = 0;; ++i) {
        if (ToLowerAscii(name[i]) != ToLowerAscii(kDataFileName[i])) return false;
        if (name[i] == 0) return true;
    }
}

bool IsAbsoluteFolder(const char* folder) {
    const bool letter = (folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z');
    if (letter && folder[1] == ':') return IsPathSeparator(folder[2]);
    return IsPathSeparator(folder[0]) &&
           (!IsPathSeparator(folder[1]) || (folder[2] != 0 && !IsPathSeparator(folder[2])));
}

bool ExtractPayload(ExtractHost& host, const InstallState& state, uint64_t* installedBytes) {
    Extraction x(host, state);
    if (!Extract(x, installedBytes)) return false;
    DiscardBackups(x);
    return true;
}

struct ExtractionRun {
    Extraction x;
};

ExtractionRun* ExtractKeepingBackups(ExtractHost& host, const InstallState& state, uint64_t& installedBytes) {
    void* block = host.ObtainMemory(sizeof(ExtractionRun));
    if (block == nullptr) {  // the first memory it needs, as the first working copy
        host.ShowMessage(kMessageNoFirstCopy);
        host.PostQuitRequest(kQuitExitCode);
        return nullptr;
    }
    ExtractionRun* run = new (block) ExtractionRun{Extraction(host, state)};
    if (Extract(run->x, &installedBytes)) {
        if (!MarkSucceeded(run->x)) DiscardBackups(run->x);  // nothing to keep, or no mark: at once
        return run;
    }
    run->~ExtractionRun();
    host.ReleaseMemory(block);
    return nullptr;
}

void FinishExtraction(ExtractionRun* run) {
    ExtractHost& host = run->x.host;
    if (run->x.marker != kNoEntry) DiscardBackups(run->x);
    run->~ExtractionRun();
    host.ReleaseMemory(run);
}
