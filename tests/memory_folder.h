// A folder in memory (the removal tests' system too) and an extraction host over it, shared by
// the unit tests and the fuzz target. Each path (relative to the installation folder) has its
// attributes, bytes and time (one for all three). Every call is logged in order. A call fails,
// changing nothing, when it is listed in fail (once for each time it is listed) or names held,
// and, of the calls that change the folder, from the failAt-th for failSpan more; from the
// killAt-th on nothing changes (a killed run). A read-only file cannot be removed, nothing is
// created where a name exists, and, as NTFS, a name given to a file right after another left it
// takes that file's time. A path outside the folder or through a link, a link or a folder
// renamed, a link changed, an earlier file named in inPlace touched, or a handle or a block of
// memory misused aborts.
#pragma once
#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "payload/archive.h"
#include "payload/extract_host.h"

struct Node {
    uint32_t attributes;
    std::string data;
    uint64_t time;
    bool operator==(const Node& o) const { return attributes == o.attributes && data == o.data && time == o.time; }
};
typedef std::map<std::string, Node> Disk;

// How a failed expectation shows a node.
inline void PrintTo(const Node& n, std::ostream* os) {
    *os << std::hex << n.attributes << std::dec << " \"" << n.data << "\" " << n.time;
}

inline void Check(bool condition, const char* what) {
    if (!condition) fprintf(stderr, "memory folder check failed: %s\n", what), abort();
}

inline bool IsLink(const Node& n) { return (n.attributes & kAttributeReparsePoint) != 0; }

// True when anything lies below the folder key.
inline bool HoldsAnything(const Disk& disk, const std::string& key) {
    const auto inside = disk.lower_bound(key + "\\");
    return inside != disk.end() && inside->first.compare(0, key.size() + 1, key + "\\") == 0;
}

// Nothing above key (a path of parts joined by backslashes) is a link.
inline void CheckNoLinkAbove(const Disk& disk, const std::string& key) {
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        const auto parent = disk.find(key.substr(0, at));
        Check(parent == disk.end() || !IsLink(parent->second), "path through a link");
    }
}

// A name the extraction keeps for its own files ("~pel" and more), in whatever folder.
inline bool IsReserved(const std::string& key) {
    const size_t slash = key.rfind('\\');
    return key.compare(slash == std::string::npos ? 0 : slash + 1, 4, "~pel") == 0;
}

// Whether a text begins with prefix.
inline std::function<bool(const std::string&)> Begins(const std::string& prefix) {
    return [prefix](const std::string& text) { return text.compare(0, prefix.size(), prefix) == 0; };
}

// Every path the extraction hands over is relative, and its parts are all plain names.
inline void CheckInside(const char* path) {
    const size_t length = strnlen(path, kArchivePathCapacity);
    Check(length > 0 && length < kArchivePathCapacity, "empty path, or no terminator in 1024 bytes");
    Check(path[0] != '\\' && path[0] != '/' && strchr(path, ':') == nullptr, "absolute path, drive or stream");
    std::string part;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && path[i] != '\\' && path[i] != '/') {
            part += path[i];
            continue;
        }
        Check(part.find_first_not_of(". ") != std::string::npos, "empty or dot part in path");
        part.clear();
    }
}

struct MemoryHost : ExtractHost {
    std::vector<uint8_t> payload;
    std::string root = "C:\\Program Files\\Pelbrix";  // the installation folder's text
    uint32_t folder = kNoAttributes;                  // its attributes; kNoAttributes: none
    Disk disk;
    bool fold = false;       // keys without letter case, as Windows compares names
    bool tunnelling = true;  // a name given back takes the time of the file that left it
    std::multiset<std::string> fail;
    std::string held;                                          // "": none
    uint32_t steps = 0, failAt = 0, failSpan = 0, killAt = 0;  // steps: calls that change the folder
    int failObtainAt = -1, obtained = 0;                       // 0: first copy, 1: second, 2: table
    bool killed = false, inFolder = false;
    std::vector<std::string> calls;
    std::map<const uint8_t*, size_t> blocks;
    std::map<FileHandle, std::string> open;
    std::map<std::string, uint64_t> tunnel;  // names removed, with their files' times
    std::set<std::string> inPlace, restart;  // earlier files as the archive has them; marked for restart
    FileHandle next = 100;

    // Logs a call; false when it fails. counted: it changes the folder (a kill stops it); mayFail:
    // failAt may fail it too.
    bool Step(const std::string& call, bool counted = true, bool mayFail = true) {
        calls.push_back(call);
        const auto failing = fail.find(call);
        if (failing != fail.end()) return fail.erase(failing), false;
        if (!held.empty() && call.find(held) != std::string::npos) return false;
        if (!counted) return true;
        if (++steps == killAt) killed = true;
        return !killed && !(mayFail && failAt != 0 && steps >= failAt && steps <= failAt + failSpan);
    }
    std::string Key(const char* path) {
        CheckInside(path);
        std::string key;
        for (const char* p = path; *p != 0; ++p) key += *p == '/' ? '\\' : fold ? FoldLetter1251(*p) : *p;
        CheckNoLinkAbove(disk, key);
        return key;
    }
    // The key of a path the run changes: never an earlier file already as the archive has it.
    std::string Changed(const char* path) {
        const std::string key = Key(path);
        Check(inPlace.count(key) == 0, "a file already in place touched");
        return key;
    }
    Node* Find(const std::string& key) {
        const auto n = disk.find(key);
        return n == disk.end() ? nullptr : &n->second;
    }
    // The calls from the first one that begins with prefix on (none: empty), and how many begin so.
    std::vector<std::string> From(const std::string& prefix) const {
        return {std::find_if(calls.begin(), calls.end(), Begins(prefix)), calls.end()};
    }
    bool Called(const std::string& prefix) const { return !From(prefix).empty(); }
    size_t Count(const std::string& prefix) const { return std::count_if(calls.begin(), calls.end(), Begins(prefix)); }

    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        bytes = payload.data(), size = payload.size();
        return Step("load", false);
    }
    void* ObtainMemory(size_t size) override {
        calls.push_back("obtain " + std::to_string(size));
        if (obtained++ == failObtainAt || size > (64u << 20)) return nullptr;  // as a machine short of memory
        uint8_t* block = new uint8_t[size == 0 ? 1 : size];
        blocks[block] = size;
        return block;
    }
    void ReleaseMemory(void* block) override {
        calls.push_back("release");
        Check(blocks.erase(static_cast<uint8_t*>(block)) == 1, "release of unknown memory");
        delete[] static_cast<uint8_t*>(block);
    }
    uint32_t tag = 0x1234abcd;
    uint32_t RunTag() override { return tag; }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        if (path == root) {
            if (!Step("mkdir " + root)) return DirectoryResult::Failed;
            if (folder != kNoAttributes) return DirectoryResult::AlreadyExists;
            return folder = kAttributeDirectory, DirectoryResult::Created;
        }
        Check(inFolder, "directory created outside the installation folder");
        const std::string key = Key(path);
        if (!Step(std::string("mkdir ") + path)) return DirectoryResult::Failed;
        if (Find(key) != nullptr) return DirectoryResult::AlreadyExists;
        const size_t slash = key.rfind('\\');
        const Node* parent = slash == std::string::npos ? nullptr : Find(key.substr(0, slash));
        if (slash != std::string::npos && (parent == nullptr || !(parent->attributes & kAttributeDirectory)))
            return DirectoryResult::Failed;
        disk[key] = {kAttributeDirectory, "", 0};
        return DirectoryResult::Created;
    }
    bool RemoveDirectoryLevel(const char* path) override {
        if (path == root) return Step("rmdir " + root) && disk.empty() && (folder = kNoAttributes, true);
        const std::string key = Key(path);
        const Node* n = Find(key);
        if (!Step(std::string("rmdir ") + path) || n == nullptr || HoldsAnything(disk, key)) return false;
        Check(!IsLink(*n), "link removed");
        return disk.erase(key), true;
    }
    bool SetCurrentFolder(const char* path) override {
        const bool changed = Step(std::string("cd ") + path, false);
        inFolder = changed && path == root && folder != kNoAttributes;
        return changed && (inFolder || path != root);
    }
    // Lists from a copy of the disk, so that the visitor's host may change it meanwhile.
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        const std::string prefix = *path != 0 ? Key(path) + "\\" : "";
        if (!Step("list " + std::string(path), false)) return false;
        const Disk listed = disk;
        for (const auto& e : listed)
            if (e.first.compare(0, prefix.size(), prefix) == 0 &&
                e.first.find('\\', prefix.size()) == std::string::npos)
                visit(context, e.first.c_str() + prefix.size(), e.second.attributes,
                      FileTimes{e.second.time, e.second.time, e.second.time}, e.second.data.size());
        return true;
    }
    FileHandle CreateNewFile(const char* path) override {
        Check(inFolder, "file created outside the installation folder");
        const std::string key = Key(path);
        if (!Step(std::string("create ") + path) || Find(key) != nullptr) return kNoFile;
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
        const std::string bytes(reinterpret_cast<const char*>(data), length);
        if (!Step("write " + bytes + " " + open[file])) return false;
        // Half of it, as a disk that fills up, when the next call is the failing one.
        const uint32_t written = steps + 1 == failAt ? length / 2 : length;
        disk[open[file]].data.append(bytes, 0, written);
        return written == length;
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        Check(open.count(file) == 1, "times on a closed file");
        if (Step("times " + std::to_string(time) + " " + open[file], true, false)) disk[open[file]].time = time;
    }
    bool CloseFile(FileHandle file) override {
        Check(open.count(file) == 1, "close of a closed file");
        const std::string path = open[file];
        open.erase(file);
        return Step("close " + path);
    }
    uint32_t GetAttributes(const char* path, FileTimes* times) override {
        calls.push_back(std::string("look ") + path);
        if (path == root) return folder;
        const Node* n = Find(Key(path));
        if (n != nullptr && times != nullptr) *times = {n->time, n->time, n->time};
        return n == nullptr ? kNoAttributes : n->attributes;
    }
    bool SetAttributes(const char* path, uint32_t attributes) override {
        Node* n = Find(Changed(path));
        if (!Step(std::string("attr ") + path + " " + std::to_string(attributes), true, false) || n == nullptr)
            return false;
        Check(!IsLink(*n), "attributes set on a link");
        const uint32_t kept = kAttributeDirectory | kAttributeReparsePoint;  // as on Windows: not the caller's
        return n->attributes = (attributes & ~kept) | (n->attributes & kept), true;
    }
    bool SameContents(const char* path, const uint8_t* data, uint32_t length) override {
        const Node* n = Find(Key(path));
        return Step(std::string("read ") + path, false) && n != nullptr &&
               n->data == std::string(reinterpret_cast<const char*>(data), length);
    }
    bool Rename(const char* from, const char* to) override {
        const std::string a = Changed(from), b = Changed(to);
        const Node* n = Find(a);
        if (!Step(std::string("rename ") + from + " " + to) || n == nullptr || Find(b) != nullptr) return false;
        Check(!IsLink(*n) && (n->attributes & kAttributeDirectory) == 0, "a link or a folder renamed");
        disk[b] = *n;
        disk.erase(a);
        if (tunnel.count(b) != 0) disk[b].time = tunnel[b];
        for (auto& handle : open)
            if (handle.second == a) handle.second = b;
        return true;
    }
    void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) override {
        Node* n = Find(Changed(path));
        Check(n != nullptr && !IsLink(*n) && (attributes & kAttributeDirectory) == 0, "times restored on no file");
        if (Step(std::string("times ") + path + " " + std::to_string(attributes), true, false))
            *n = {attributes, n->data, times.written};
    }
    bool RemoveFile(const char* path) override {
        const std::string key = Changed(path);
        const Node* n = Find(key);
        if (!Step(std::string("delete ") + path) || n == nullptr ||
            (n->attributes & (kAttributeReadOnly | kAttributeDirectory)) != 0)
            return false;
        Check(!IsLink(*n), "link removed");
        if (tunnelling) tunnel[key] = n->time;
        return disk.erase(key), true;
    }
    void RemoveAtRestart(const char* path) override {
        const std::string key = Key(path);
        Check(IsReserved(key), "one of the user's files marked for removal");
        if (Step(std::string("at restart ") + path, true, false)) restart.insert(key);
    }
    void RemoveEarlierVersion(const char* earlier) override {
        calls.push_back(std::string("remove earlier by ") + (earlier != nullptr ? earlier : "-"));
    }
    void ShowMessage(const char* text) override { calls.push_back(std::string("message ") + text); }
    void PostQuitRequest(int exitCode) override { calls.push_back("quit " + std::to_string(exitCode)); }
};
