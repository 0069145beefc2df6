// Fuzz target: the archive check and the whole extraction over an in-memory host that aborts when
// a path would leave the installation folder or a write would read outside the working copy. The
// extraction reads the archive's body from a copy of its own; its outcome is checked against the
// items the whole archive gives.
#include <set>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/messages.h"
#include "payload/extract.h"
#include "tests/memory_folder.h"

namespace {

// The memory host (tests/memory_folder.h) with names compared without letter case, as Windows
// compares them. From the input's last 8 bytes come the earlier state (files with bytes, times
// and attributes, links, a data file or none), the host calls that fail (one, or up to four in a
// row), the user's answers, what the user changes while a question is open, and the call at
// which the run is killed: from then on nothing changes and every question is Abort.
struct FuzzHost : MemoryHost {
    uint32_t answerBits = 0, change = 0;
    int questions = 0;
    bool ignored = false, changed = false;
    Disk* expected = nullptr;  // the earlier folder, as the user's changes leave it

    FuzzHost(const uint8_t* data, size_t size) {
        payload.assign(data, data + size);
        fold = true;
        tunnelling = false;  // one time stands for all three: a tunnelled creation time would move it
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
        const std::string key = Key(path), folder = key.substr(0, key.rfind('\\') + 1);
        const std::string name = key.substr(folder.size()), reserved = folder + "~pel00000000-" + name;
        const Node* n = Find(key);
        if ((change & 3) == 1 && n != nullptr && !IsLink(*n) && !HoldsAnything(disk, key)) {
            if (expected->count(key) != 0 && (expected->at(key) == *n || (n->attributes & kAttributeDirectory)))
                expected->erase(key);
            disk.erase(key);
        } else if ((change & 3) == 2 && n == nullptr && Find(folder + "~pel1234abcd-" + name) == nullptr) {
            disk[key] = (*expected)[key] = {kAttributeArchive, "appeared", 4};
        } else if ((change & 3) == 3 && Find(reserved) == nullptr) {
            disk[reserved] = (*expected)[reserved] = {kAttributeDirectory, "", 5};
        } else {
            return;
        }
        changed = true;
    }
};

// The files of a sound archive: the host's key -> the record's node; data files apart.
struct Expected {
    Disk files;
    std::set<std::string> dataFiles, directories;
};
Expected ArchiveState(FuzzHost& host, const uint8_t* data, size_t size) {
    Expected e;
    ArchiveReader reader;
    ArchiveError error;
    OpenArchive(reader, data, size, error);
    std::vector<std::string> names;
    DirectoryEntry d;
    while (NextDirectoryEntry(reader, d, error) == ArchiveStep::Item) {
        names.push_back(host.Key(std::string(d.name, d.nameLength).c_str()));
        e.directories.insert(names.back());
    }
    FileEntry f;
    while (NextFileEntry(reader, f, error) == ArchiveStep::Item) {
        const std::string name(f.name, f.nameLength);
        const std::string key = (f.directoryIndex ? names[f.directoryIndex - 1] + "\\" : "") + host.Key(name.c_str());
        e.files[key] = {f.attributes & ~(kAttributeDirectory | kAttributeReparsePoint),
                        std::string(reinterpret_cast<const char*>(f.data), f.dataLength), f.time};
        if (IsDataFileName(name.c_str())) e.dataFiles.insert(key);
    }
    return e;
}

// The earlier folder: some of the archive's files there already (old bytes, read-only, hidden,
// a link or a folder in a file's place, or as the archive has it), some directories there or
// links, a file of the user's. Only where the parent folder is a folder (a set lists parents
// before their children).
void MakeEarlier(FuzzHost& host, const Expected& archive, uint32_t seed) {
    if ((seed & 1) == 0) return;
    host.folder = kAttributeDirectory;
    host.disk["user.txt"] = {0x21, "mine", 3};
    uint32_t bits = seed >> 1;
    auto choose = [&bits] { return (bits = bits * 1103515245u + 12345u) >> 28; };  // one of 16
    auto placeable = [&](const std::string& key) {
        const size_t slash = key.rfind('\\');
        const Node* parent = slash == std::string::npos ? nullptr : host.Find(key.substr(0, slash));
        return slash == std::string::npos || (parent != nullptr && parent->attributes == kAttributeDirectory);
    };
    for (const std::string& d : archive.directories) {
        const uint32_t choice = choose();
        if (choice < 6 && placeable(d))
            host.disk[d] = {kAttributeDirectory | (choice == 0 ? kAttributeReparsePoint : 0), "", 1};
    }
    const uint32_t kinds[] = {0x20, 0x21, 0x22, 0x27, 0x420, 0x10, 0x20};
    for (const auto& f : archive.files) {
        const uint32_t choice = choose();
        if (choice > 7 || !placeable(f.first)) continue;
        if (choice == 7) host.inPlace.insert(f.first);
        host.disk[f.first] = choice == 7 ? f.second : Node{kinds[choice], "old " + f.first, 2};
    }
}

// The node at key is n.
bool Holds(const Disk& disk, const std::string& key, const Node& n) {
    const auto at = disk.find(key);
    return at != disk.end() && at->second == n;
}

// The same file but for its attributes: a backup a run may have begun to remove.
bool SameFile(const Node& a, const Node& b) { return a.data == b.data && a.time == b.time; }

// The run's outcome against the earlier folder: false, the earlier folder exactly; true, every
// file of the archive there, but for files skipped (the user's data file, an Ignore) as they were.
void CheckOutcome(const FuzzHost& host, bool extracted, const Disk& earlier, uint32_t folderBefore,
                  const Expected& archive) {
    Check(host.open.empty(), "file left open");
    if (!extracted) {
        Check(host.disk == earlier && host.folder == folderBefore, "a false run changed the folder");
        return;
    }
    for (const auto& n : host.disk) {
        const auto file = archive.files.find(n.first);
        const bool asBefore = Holds(earlier, n.first, n.second);
        // Of the run's own names, only a backup whose removal failed may outlive a true run: the
        // earlier file whole (but its read-only bit), marked for removal at the next start, and
        // renamed as a finished run's unless that failed too. A user's folder of such a name stays.
        if (IsReserved(n.first)) {
            bool whole = false;
            for (const auto& e : earlier) whole |= SameFile(e.second, n.second);
            Check(asBefore || (host.restart.count(n.first) != 0 && whole), "working file left");
        } else if (file != archive.files.end()) {
            // A data file a killed run wrote whole is kept, with whatever times and bits it got.
            const bool data = archive.dataFiles.count(n.first) != 0;
            Check(n.second == file->second || (asBefore && (host.ignored || data)) ||
                      (data && n.second.data == file->second.data),
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
    FuzzHost host(data, size);
    const Expected archive = sound ? ArchiveState(host, data, size) : Expected();
    MakeEarlier(host, archive, static_cast<uint32_t>(control[0] | control[1] << 8 | control[2] << 16));
    host.failAt = control[3];
    host.killAt = control[4] & 0x80 ? control[4] & 0x7F : 0;
    host.failSpan = control[4] & 0x80 ? 0 : control[4] & 3;
    host.answerBits = static_cast<uint32_t>(control[5] | control[6] << 8);
    host.change = control[7];
    Disk earlier = host.disk;
    host.expected = &earlier;
    const uint32_t folderBefore = host.folder;
    InstallState state = {};
    memcpy(state.folder, host.root.c_str(), host.root.size());
    const bool extracted = ExtractPayload(host, state);
    Check(host.blocks.empty(), "working memory not released");
    // False after one message, or after an Abort without one.
    const size_t messages = host.Count("message ");
    Check(extracted ? messages == 0 : messages + (host.questions != 0) == 1, "message count");
    if (!sound) {
        Check(!extracted && host.Called("quit 1"), "broken archive not refused");
        Check(!host.Called("mkdir") && !host.Called("create"), "broken archive created something");
        return 0;
    }
    // A failure injected into the rollback itself (a removal or a rename back refused, and the
    // user gave up) cannot leave the folder as it was: what it leaves must be settled as a killed
    // run's is.
    const bool rollbackFailed = !extracted && host.failAt != 0 && host.steps >= host.failAt &&
                                !(host.disk == earlier && host.folder == folderBefore);
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
        for (const auto& f : archive.files)  // or skipped, or the user's data file
            installed &= Holds(host.disk, f.first, f.second) ||
                         (earlier.count(f.first) != 0 && Holds(host.disk, f.first, earlier.at(f.first)));
        for (const auto& n : earlier) {
            bool whole = Holds(host.disk, n.first, n.second) || (installed && archive.files.count(n.first) != 0);
            const std::string name = n.first.substr(n.first.rfind('\\') + 1);  // none: npos + 1 is 0
            for (const auto& m : host.disk)
                whole |= IsReserved(m.first) && SameFile(m.second, n.second) && m.first.size() >= name.size() &&
                         m.first.compare(m.first.size() - name.size(), name.size(), name) == 0;
            Check(whole, "a killed run lost an earlier file");
        }
    }
    FuzzHost again(data, size);
    again.disk = host.disk;
    again.folder = host.folder;
    if (ExtractPayload(again, state)) {
        CheckOutcome(again, true, earlier, folderBefore, archive);
        return 0;
    }
    // A false run (a link or a file where a directory goes): the earlier files are back.
    for (const auto& n : earlier) Check(Holds(again.disk, n.first, n.second), "not settled");
    return 0;
}
