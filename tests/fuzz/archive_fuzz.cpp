// Fuzz target: the archive check and the whole extraction over an in-memory host that aborts when
// a path would leave the installation folder or a write would read outside the working copy. The
// extraction reads the archive's body from a copy of its own; its outcome is checked against the
// items the whole archive gives.
#include <iterator>
#include <map>
#include <set>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/messages.h"
#include "payload/archive.h"
#include "payload/extract.h"
#include "tests/memory_folder.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

const char kFolder[] = "C:\\Install";

// Every path the extraction hands over is the installation folder itself or a relative path
// whose parts are all plain names.
void CheckInside(const char* path) {
    const size_t length = strnlen(path, kArchivePathCapacity);
    Check(length < kArchivePathCapacity, "path text without terminator in 1024 bytes");
    Check(length > 0, "empty path");
    Check(path[0] != '\\' && path[0] != '/', "absolute path");
    Check(strchr(path, ':') == nullptr, "drive or stream in path");
    std::string part;
    for (size_t i = 0; i <= length; ++i) {
        const char c = i < length ? path[i] : '\\';
        if (c != '\\' && c != '/') {
            part += c;
            continue;
        }
        Check(!part.empty(), "empty path part");
        Check(part.find_first_not_of(". ") != std::string::npos, "dot part in path");
        part.clear();
    }
}

// A folder in memory under the installation folder, keyed by path without case as Windows
// compares names. From the input's last 8 bytes come the earlier state (files with bytes, times
// and attributes, links, a data file or none), the host calls that fail (one, or up to four in a
// row), the user's answers, what the user changes while a question is open, and the call at
// which the run is killed: from then on nothing changes and every question is Abort. A path
// through a link, a link written, renamed or removed, a folder renamed, or an earlier file that is
// as the archive has it written, renamed, removed or restored over, stops the fuzzer.

std::string Folded(const char* path) {
    std::string key;
    for (; *path != 0; ++path) key += *path == '/' ? '\\' : FoldLetter1251(*path);
    return key;
}
bool IsLink(const Node& n) { return (n.attributes & kAttributeReparsePoint) != 0; }
bool IsReserved(const std::string& key) {
    const size_t slash = key.rfind('\\');
    return key.compare(slash == std::string::npos ? 0 : slash + 1, 4, "~pel") == 0;
}

struct MemoryHost : ExtractHost {
    const uint8_t* input;
    size_t size;
    std::map<const uint8_t*, size_t> blocks;
    std::map<FileHandle, std::string> open;
    FileHandle next = 1;
    bool inFolder = false, quit = false, created = false, killed = false, ignored = false;
    bool folderThere = false, changed = false;
    int messages = 0, questions = 0;
    uint32_t calls = 0, failAt = 0, failSpan = 0, killAt = 0, answerBits = 0, change = 0, tag = 0;
    Disk disk;
    Disk* expected = nullptr;       // the earlier folder, as the user's changes leave it
    std::set<std::string> restart;  // removed when the system next starts
    std::set<std::string> inPlace;  // earlier files as the archive has them: never touched

    MemoryHost(const uint8_t* d, size_t s) : input(d), size(s) {}
    // A call that changes the folder: false when it is the failing one or the run is dead.
    bool Step(bool mayFail = true) {
        if (++calls == killAt) killed = true;
        return !killed && (failAt == 0 || calls < failAt || calls > failAt + failSpan || !mayFail);
    }
    // The key of a path the run changes (a file already in place must not be one).
    std::string Changed(const char* path) {
        const std::string key = Key(path);
        Check(inPlace.count(key) == 0, "a file already in place touched");
        return key;
    }
    std::string Key(const char* path) {
        CheckInside(path);
        const std::string key = Folded(path);
        for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
            const auto parent = disk.find(key.substr(0, at));
            Check(parent == disk.end() || !IsLink(parent->second), "path through a link");
        }
        return key;
    }
    Node* Find(const std::string& key) {
        const auto n = disk.find(key);
        return n == disk.end() ? nullptr : &n->second;
    }
    bool LoadPayload(const uint8_t*& bytes, size_t& length) override {
        bytes = input;
        length = size;
        return true;
    }
    void* ObtainMemory(size_t n) override {
        if (n > (64u << 20)) return nullptr;  // as a machine without that much memory
        uint8_t* p = static_cast<uint8_t*>(malloc(n == 0 ? 1 : n));
        blocks[p] = n;
        return p;
    }
    void ReleaseMemory(void* p) override {
        Check(blocks.erase(static_cast<uint8_t*>(p)) == 1, "release of unknown memory");
        free(p);
    }
    uint32_t RunTag() override { return tag = 0x0badf00d + calls; }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (!inFolder) {
            Check(strcmp(path, kFolder) == 0, "directory created before the folder was entered");
            if (folderThere) return DirectoryResult::AlreadyExists;
            if (!Step()) return DirectoryResult::Failed;
            created = folderThere = true;
            return DirectoryResult::Created;
        }
        const std::string key = Key(path);
        if (Find(key) != nullptr) return DirectoryResult::AlreadyExists;
        const size_t slash = key.rfind('\\');
        const Node* parent = slash == std::string::npos ? nullptr : Find(key.substr(0, slash));
        if ((slash != std::string::npos && (parent == nullptr || !(parent->attributes & kAttributeDirectory))) ||
            !Step())
            return DirectoryResult::Failed;
        created = true;
        disk[key] = {kAttributeDirectory, "", 0};
        return DirectoryResult::Created;
    }
    bool RemoveDirectoryLevel(const char* path) override {
        if (strcmp(path, kFolder) == 0) return disk.empty() && Step() && !(folderThere = false);
        const std::string key = Key(path);
        const auto n = disk.find(key);
        const auto after = n == disk.end() ? n : std::next(n);
        if (n == disk.end() || (after != disk.end() && after->first.compare(0, key.size() + 1, key + "\\") == 0))
            return false;
        Check(!IsLink(n->second), "link removed");
        return Step() && (disk.erase(n), true);
    }
    bool SetCurrentFolder(const char* path) override {
        if (strcmp(path, kFolder) != 0) return !(inFolder = false);  // out of it, to remove it
        inFolder = folderThere;
        return inFolder;
    }
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        ListDisk(disk, *path != 0 ? Key(path) + "\\" : "", visit, context);
        return true;
    }
    FileHandle CreateNewFile(const char* path) override {
        Check(inFolder, "file opened outside the installation folder");
        const std::string key = Key(path);
        if (Find(key) != nullptr || !Step()) return kNoFile;
        created = true;
        disk[key] = {kAttributeArchive, "", 0};
        open[next] = key;
        return next++;
    }
    bool WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        Check(open.count(file) == 1, "write to a closed file");
        bool inside = length == 0;
        for (const auto& b : blocks)
            inside |= data >= b.first && data <= b.first + b.second && length <= b.second - (data - b.first);
        Check(inside, "file data outside the working copy");
        if (!Step()) return false;
        // Half of it, as a disk that fills up, when the next call is the failing one.
        const uint32_t written = calls + 1 == failAt ? length / 2 : length;
        disk[open[file]].data.append(reinterpret_cast<const char*>(data), written);
        return written == length;
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        Check(open.count(file) == 1, "times on a closed file");
        if (Step(false)) disk[open[file]].time = time;  // its outcome is not tested: it fails only by a kill
    }
    bool CloseFile(FileHandle file) override {
        Check(open.count(file) == 1, "close of a closed file");
        open.erase(file);
        return Step();
    }
    uint32_t GetAttributes(const char* path, FileTimes* times) override {
        if (strcmp(path, kFolder) == 0) return folderThere ? kAttributeDirectory : kNoAttributes;
        const Node* n = Find(Key(path));
        if (n != nullptr && times != nullptr) *times = {n->time, n->time, n->time};
        return n == nullptr ? kNoAttributes : n->attributes;
    }
    bool SetAttributes(const char* path, uint32_t attributes) override {
        Node* n = Find(Changed(path));
        if (n == nullptr) return false;
        Check(!IsLink(*n), "attributes set on a link");
        // As Windows: the directory and reparse bits are not the caller's to set.
        const uint32_t kept = kAttributeDirectory | kAttributeReparsePoint;
        return Step(false) && (n->attributes = (attributes & ~kept) | (n->attributes & kept), true);
    }
    bool Rename(const char* from, const char* to) override {
        const std::string a = Changed(from), b = Changed(to);
        Node* n = Find(a);
        if (n == nullptr || Find(b) != nullptr) return false;
        Check(!IsLink(*n), "link renamed");
        Check((n->attributes & kAttributeDirectory) == 0, "folder renamed");
        if (!Step()) return false;
        disk[b] = *n;
        disk.erase(a);
        for (auto& handle : open)
            if (handle.second == a) handle.second = b;
        return true;
    }
    void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) override {
        Node* n = Find(Changed(path));
        Check(n != nullptr && !IsLink(*n) && (attributes & kAttributeDirectory) == 0, "times restored on no file");
        if (Step(false)) *n = {attributes, n->data, times.written};
    }
    void RemoveAtRestart(const char* path) override {
        Check(IsReserved(Key(path)), "one of the user's files marked for removal");
        if (Step(false)) restart.insert(Key(path));
    }
    bool SameContents(const char* path, const uint8_t* data, uint32_t length) override {
        const Node* n = Find(Key(path));
        return n != nullptr && n->data == std::string(reinterpret_cast<const char*>(data), length);
    }
    bool RemoveFile(const char* path) override {
        const std::string key = Changed(path);
        Node* n = Find(key);
        if (n == nullptr || (n->attributes & (kAttributeReadOnly | kAttributeDirectory)) != 0) return false;
        Check(!IsLink(*n), "link removed");
        return Step() && (disk.erase(key), true);
    }
    FileAnswer AskAboutFile(const char* text) override {
        const int bits = (answerBits >> (2 * (questions++ % 8))) & 3;
        if (killed || questions > 12) return FileAnswer::Abort;
        if (questions == static_cast<int>((change >> 2) & 3) + 1)
            ChangeWhileAsked(text + strlen(kMessageWriteFilePrefix));
        if (bits == 0 || questions > 8) return ignored = true, FileAnswer::Ignore;
        return bits == 1 ? FileAnswer::Abort : FileAnswer::Retry;
    }
    // What the user does at the asked place meanwhile (change bits 0-1): 1 removes the file or the
    // empty folder there, 2 puts a file there (unless the run keeps the earlier one aside, which
    // then could not come back), 3 puts a folder of a reserved name beside it. The expected earlier
    // folder follows: what of the user's was removed is gone, what was put there is the user's.
    void ChangeWhileAsked(const char* path) {
        const std::string key = Folded(path), folder = key.substr(0, key.rfind('\\') + 1);
        const std::string name = key.substr(folder.size()), reserved = folder + "~pel00000000-" + name;
        char aside[16];
        snprintf(aside, sizeof aside, "~pel%08x-", tag);
        const Node* n = Find(key);
        const auto next = disk.upper_bound(key);
        const bool empty = next == disk.end() || next->first.compare(0, key.size() + 1, key + "\\") != 0;
        if ((change & 3) == 1 && n != nullptr && !IsLink(*n) && empty) {
            if (expected->count(key) != 0 && (expected->at(key) == *n || (n->attributes & kAttributeDirectory)))
                expected->erase(key);
            disk.erase(key);
        } else if ((change & 3) == 2 && n == nullptr && Find(folder + aside + name) == nullptr) {
            disk[key] = (*expected)[key] = {kAttributeArchive, "appeared", 4};
        } else if ((change & 3) == 3 && Find(reserved) == nullptr) {
            disk[reserved] = (*expected)[reserved] = {kAttributeDirectory, "", 5};
        } else {
            return;
        }
        changed = true;
    }
    void ShowMessage(const char*) override { ++messages; }
    void PostQuitRequest(int code) override { Check(code == 1, "quit code"), quit = true; }
};

// The files of a sound archive: folded path -> the record's node; data files apart.
struct Expected {
    Disk files;
    std::set<std::string> dataFiles, directories;
};
Expected ArchiveState(const uint8_t* data, size_t size) {
    Expected e;
    ArchiveReader reader;
    ArchiveError error;
    OpenArchive(reader, data, size, error);
    std::vector<std::string> names;
    DirectoryEntry d;
    while (NextDirectoryEntry(reader, d, error) == ArchiveStep::Item) {
        names.push_back(Folded(std::string(d.name, d.nameLength).c_str()));
        e.directories.insert(names.back());
    }
    FileEntry f;
    while (NextFileEntry(reader, f, error) == ArchiveStep::Item) {
        const std::string name(f.name, f.nameLength);
        const std::string key = (f.directoryIndex ? names[f.directoryIndex - 1] + "\\" : "") + Folded(name.c_str());
        e.files[key] = {f.attributes & ~(kAttributeDirectory | kAttributeReparsePoint),
                        std::string(reinterpret_cast<const char*>(f.data), f.dataLength), f.time};
        if (IsDataFileName(name.c_str())) e.dataFiles.insert(key);
    }
    return e;
}

// The earlier folder: some of the archive's files there already (old bytes, read-only, hidden,
// a link or a folder in a file's place, or as the archive has it), some directories there or
// links, a file of the user's.
void MakeEarlier(MemoryHost& host, const Expected& archive, uint32_t seed) {
    host.folderThere = seed & 1;
    if (!host.folderThere) return;
    host.disk["user.txt"] = {0x21, "mine", 3};
    uint32_t bits = seed >> 1;
    // Only where the parent folder is a folder (a set lists parents before their children).
    auto placeable = [&](const std::string& key) {
        const size_t slash = key.rfind('\\');
        const auto parent = slash == std::string::npos ? host.disk.end() : host.disk.find(key.substr(0, slash));
        return slash == std::string::npos || (parent != host.disk.end() && parent->second.attributes == 0x10);
    };
    for (const std::string& d : archive.directories) {
        bits = bits * 1103515245u + 12345u;
        const uint32_t choice = bits >> 28;
        if (choice < 6 && placeable(d))
            host.disk[d] = {kAttributeDirectory | (choice == 0 ? kAttributeReparsePoint : 0), "", 1};
    }
    for (const auto& f : archive.files) {
        bits = bits * 1103515245u + 12345u;
        const uint32_t choice = bits >> 28;
        if (choice > 7 || !placeable(f.first)) continue;
        const uint32_t kinds[] = {0x20, 0x21, 0x22, 0x27, 0x420, 0x10, 0x20};
        if (choice == 7) host.inPlace.insert(f.first);
        host.disk[f.first] = choice == 7 ? f.second : Node{kinds[choice], "old " + f.first, 2};
    }
}

// The run's outcome against the earlier folder: false, the earlier folder exactly; true, every
// file of the archive there, but for files skipped (the user's data file, an Ignore) as they were.
void CheckOutcome(const MemoryHost& host, bool extracted, const Disk& earlier, bool folderBefore,
                  const Expected& archive) {
    Check(host.open.empty(), "file left open");
    if (!extracted) {
        Check(host.disk == earlier && host.folderThere == folderBefore, "a false run changed the folder");
        return;
    }
    for (const auto& n : host.disk) {
        const auto file = archive.files.find(n.first);
        const auto before = earlier.find(n.first);
        const bool asBefore = before != earlier.end() && before->second == n.second;
        // Of the run's own names, only a backup whose removal failed may outlive a true run: the
        // earlier file whole (but its read-only bit), marked for removal at the next start, and
        // renamed as a finished run's unless that failed too. A user's folder of such a name stays.
        if (IsReserved(n.first)) {
            bool whole = false;
            for (const auto& e : earlier) whole |= e.second.data == n.second.data && e.second.time == n.second.time;
            const bool finished = host.restart.count(n.first) != 0;
            Check(asBefore || (finished && whole), "working file left");
            continue;
        }
        if (file != archive.files.end()) {
            const bool data = archive.dataFiles.count(n.first) != 0;
            const bool kept = asBefore && (host.ignored || data);
            // A data file a killed run wrote whole is kept, with whatever times and bits it got.
            Check(n.second == file->second || kept || (data && n.second.data == file->second.data),
                  "a file is neither the archive's nor a skipped one");
        } else {
            Check(asBefore || archive.directories.count(n.first) != 0, "a file not of the archive changed");
        }
    }
    for (const auto& n : earlier) Check(host.disk.count(n.first) != 0, "an earlier file is gone");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArchiveError error;
    const bool sound = ValidateArchive(data, size, error);
    char text[128];
    DescribeArchiveError(error, text, sizeof text);

    uint8_t control[8] = {};
    memcpy(control, data + (size > 8 ? size - 8 : 0), size < 8 ? size : 8);
    MemoryHost host(data, size);
    const Expected archive = sound ? ArchiveState(data, size) : Expected();
    MakeEarlier(host, archive, static_cast<uint32_t>(control[0] | control[1] << 8 | control[2] << 16));
    host.failAt = control[3];
    host.killAt = control[4] & 0x80 ? control[4] & 0x7F : 0;
    host.failSpan = control[4] & 0x80 ? 0 : control[4] & 3;
    host.answerBits = static_cast<uint32_t>(control[5] | control[6] << 8);
    host.change = control[7];
    Disk earlier = host.disk;
    host.expected = &earlier;
    const bool folderBefore = host.folderThere;
    InstallState state = {};
    memcpy(state.folder, kFolder, sizeof kFolder);
    const bool extracted = ExtractPayload(host, state);
    Check(host.blocks.empty(), "working memory not released");
    // False after one message, or after an Abort without one.
    Check(extracted ? host.messages == 0 : host.messages + (host.questions != 0) == 1, "message count");
    if (!sound) {
        Check(!extracted && host.quit, "broken archive not refused");
        Check(!host.created, "broken archive created something");
        return 0;
    }
    // A failure injected into the rollback itself (a removal or a rename back refused, and the
    // user gave up) cannot leave the folder as it was: what it leaves must be settled as a killed
    // run's is.
    const bool rollbackFailed = !extracted && host.failAt != 0 && host.calls >= host.failAt &&
                                !(host.disk == earlier && host.folderThere == folderBefore);
    if (!host.killed && !rollbackFailed) {
        CheckOutcome(host, extracted, earlier, folderBefore, archive);
        // A finished run's backup or a user's change: the next run must take them as they are.
        if (!host.changed && host.restart.empty()) return 0;
    } else {
        // Killed (or its rollback given up): every earlier file at its place or whole beside it
        // under a reserved name (its read-only bit may be gone: a killed run may have been
        // removing it after success); then a run without failures settles what was left and ends
        // as any run from the earlier folder. A run killed while it removed its backups had put
        // every file of the archive in place (or skipped it): the earlier copies it had already
        // removed are no loss then.
        bool installed = true;
        for (const auto& f : archive.files)
            installed &= (host.disk.count(f.first) != 0 && host.disk.at(f.first) == f.second) ||
                         (earlier.count(f.first) != 0 && host.disk.count(f.first) != 0 &&
                          host.disk.at(f.first) == earlier.at(f.first));  // skipped, or the user's data file
        for (const auto& n : earlier) {
            bool whole = (host.disk.count(n.first) != 0 && host.disk.at(n.first) == n.second) ||
                         (installed && archive.files.count(n.first) != 0);
            const size_t slash = n.first.rfind('\\');
            const std::string name = n.first.substr(slash == std::string::npos ? 0 : slash + 1);
            for (const auto& m : host.disk)
                whole |= IsReserved(m.first) && m.second.data == n.second.data && m.second.time == n.second.time &&
                         m.first.size() >= name.size() &&
                         m.first.compare(m.first.size() - name.size(), name.size(), name) == 0;
            Check(whole, "a killed run lost an earlier file");
        }
    }
    MemoryHost again(data, size);
    again.disk = host.disk;
    again.folderThere = host.folderThere;
    if (ExtractPayload(again, state)) {
        CheckOutcome(again, true, earlier, folderBefore, archive);
        return 0;
    }
    // A false run (a link or a file where a directory goes): the earlier files are back.
    for (const auto& n : earlier) Check(again.disk.count(n.first) && again.disk.at(n.first) == n.second, "not settled");
    return 0;
}
