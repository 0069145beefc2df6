// ExtractPayload over a fault-injecting host that records every call in order.
#include "payload/extract.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string.h>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/messages.h"
#include "payload/archive_builder.h"
#include "tests/memory_folder.h"
#include "tests/unit/test_util.h"

namespace {

const std::string kFolder = "C:\\Program Files\\Pelbrix";

// A folder in memory (paths relative to the installation folder) under a host that records every
// call in order. A call listed in fail fails (once for each time it is listed) and changes
// nothing, as does every call naming held; a read-only file cannot be removed, and nothing is
// created where a name exists. As NTFS, a name given to a file right after another left it takes
// that file's creation time (here the one time).

struct FakeHost : ExtractHost {
    Bytes payload;
    std::multiset<std::string> fail;
    std::string held = "\x01";
    std::string root = kFolder;  // the installation folder's text
    Disk disk;
    uint32_t folder = kNoAttributes;  // the installation folder's attributes; kNoAttributes: none
    std::vector<FileAnswer> answers;  // given in turn to each question
    std::function<void()> onAsk;      // what happens while the question is open
    int failObtainAt = -1;            // 0: first copy, 1: second copy, 2: directory table
    std::vector<std::string> calls;
    std::map<FileHandle, std::string> open;
    std::map<std::string, uint64_t> tunnel;  // names removed, with their files' times
    int obtained = 0, outstanding = 0;
    FileHandle nextHandle = 100;

    bool Log(const std::string& call) {
        calls.push_back(call);
        const auto failing = fail.find(call);
        if (failing != fail.end()) return fail.erase(failing), false;
        return call.find(held) == std::string::npos;
    }
    bool Has(const std::string& path) const { return disk.count(path) != 0; }
    bool Use(FileHandle file, const std::string& call) {
        EXPECT_EQ(open.count(file), 1u) << call;
        return Log(call + " " + open[file]);
    }
    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        bytes = payload.data();
        size = payload.size();
        return Log("load");
    }
    void* ObtainMemory(size_t size) override {
        calls.push_back("obtain " + std::to_string(size));
        if (obtained++ == failObtainAt) return nullptr;
        ++outstanding;
        return new uint8_t[size];
    }
    void ReleaseMemory(void* block) override {
        calls.push_back("release");
        --outstanding;
        delete[] static_cast<uint8_t*>(block);
    }
    uint32_t RunTag() override { return 0x1234abcd; }
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        const std::string p = path;
        if (!Log("mkdir " + p)) return DirectoryResult::Failed;
        if (p == root ? folder != kNoAttributes : Has(p)) return DirectoryResult::AlreadyExists;
        const size_t slash = p.rfind('\\');
        if (p == root) {
            folder = 0x10;
        } else if (slash != std::string::npos &&
                   !(Has(p.substr(0, slash)) && disk[p.substr(0, slash)].attributes & 0x10)) {
            return DirectoryResult::Failed;
        } else {
            disk[p] = {0x10, "", 0};
        }
        return DirectoryResult::Created;
    }
    bool RemoveDirectoryLevel(const char* path) override {
        const std::string p = path;
        if (!Log("rmdir " + p)) return false;
        if (p == root) return disk.empty() ? (folder = kNoAttributes, true) : false;
        const auto next = disk.upper_bound(p);
        if (!Has(p) || (next != disk.end() && next->first.compare(0, p.size() + 1, p + "\\") == 0)) return false;
        return disk.erase(p), true;
    }
    bool SetCurrentFolder(const char* path) override { return Log(std::string("cd ") + path); }
    bool ListFolder(const char* path, FolderVisitor visit, void* context) override {
        if (!Log("list " + std::string(path))) return false;
        ListDisk(disk, *path ? std::string(path) + "\\" : "", visit, context);
        return true;
    }
    FileHandle CreateNewFile(const char* path) override {
        if (!Log(std::string("create ") + path) || Has(path)) return kNoFile;
        disk[path] = {0x20, "", 0};
        open[nextHandle] = path;
        return nextHandle++;
    }
    bool WriteBlock(FileHandle f, const uint8_t* data, uint32_t n) override {
        const std::string bytes(reinterpret_cast<const char*>(data), n);
        return Use(f, "write " + bytes) && (disk[open[f]].data += bytes, true);
    }
    void SetFileTimes(FileHandle f, uint64_t time) override {
        if (Use(f, "times " + std::to_string(time))) disk[open[f]].time = time;
    }
    bool CloseFile(FileHandle f) override {
        const bool ok = Use(f, "close");
        open.erase(f);
        return ok;
    }
    uint32_t GetAttributes(const char* path, FileTimes* times) override {
        calls.push_back(std::string("look ") + path);
        if (path == root || !Has(path)) return path == root ? folder : kNoAttributes;
        if (times != nullptr) *times = {disk[path].time, disk[path].time, disk[path].time};
        return disk[path].attributes;
    }
    bool SetAttributes(const char* path, uint32_t value) override {
        if (!Log(std::string("attr ") + path + " " + std::to_string(value)) || !Has(path)) return false;
        return disk[path].attributes = value, true;
    }
    bool SameContents(const char* path, const uint8_t* data, uint32_t n) override {
        return Log(std::string("read ") + path) && Has(path) && disk[path].data == std::string((const char*)data, n);
    }
    bool Rename(const char* from, const char* to) override {
        if (!Log(std::string("rename ") + from + " " + to) || !Has(from) || Has(to)) return false;
        disk[to] = disk[from];
        disk.erase(from);
        if (tunnel.count(to) != 0) disk[to].time = tunnel[to];
        for (auto& handle : open)
            if (handle.second == from) handle.second = to;
        return true;
    }
    void RestoreTimes(const char* path, const FileTimes& times, uint32_t attributes) override {
        if (Log(std::string("times ") + path + " " + std::to_string(attributes)) && Has(path))
            disk[path] = {attributes, disk[path].data, times.written};
    }
    bool RemoveFile(const char* path) override {
        if (!Log(std::string("delete ") + path) || !Has(path) || (disk[path].attributes & 0x11) != 0) return false;
        tunnel[path] = disk[path].time;
        return disk.erase(path), true;
    }
    void RemoveAtRestart(const char* path) override { Log(std::string("at restart ") + path); }
    void ShowMessage(const char* text) override { Log(std::string("message ") + text); }
    FileAnswer AskAboutFile(const char* text) override {
        Log(std::string("ask ") + text);
        if (onAsk) onAsk();
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return FileAnswer::Abort;
        }
        const FileAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void PostQuitRequest(int exitCode) override { Log("quit " + std::to_string(exitCode)); }

    // The calls from the first one that begins with prefix on (none: empty).
    std::vector<std::string> From(const std::string& prefix) const {
        auto at = std::find_if(calls.begin(), calls.end(),
                               [&](const std::string& c) { return c.compare(0, prefix.size(), prefix) == 0; });
        return std::vector<std::string>(at, calls.end());
    }
    bool Called(const std::string& prefix) const { return !From(prefix).empty(); }
};

// Two directories and three files (4 + 3 + 0 data bytes).
Bytes ShippedLike() {
    return BuiltArchive({{0x30, 7, "HlpPic"}, {0x30, 8, "HlpPic\\Big"}}, {{0x20, 11, 0, "Pelbrix.exe", B("MZ..")},
                                                                          {0x20, 12, 2, "arrow.gif", B("GIF")},
                                                                          {0x21, 13, 1, "empty.txt", {}}});
}

InstallState State(const std::string& folder) {
    InstallState s = {};
    strcpy(s.folder, folder.c_str());
    return s;
}

}  // namespace

// The calls that write a file with no earlier copy: created new at its place, data, times, close.
std::vector<std::string> Written(const std::string& path, const std::string& data, uint64_t time, uint32_t attributes) {
    std::vector<std::string> calls = {"create " + path, "write " + data + " " + path,
                                      "times " + std::to_string(time) + " " + path, "close " + path};
    if (data.empty()) calls.erase(calls.begin() + 1);
    if (attributes != 0x20) calls.push_back("attr " + path + " " + std::to_string(attributes));
    return calls;
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A first installation: no listing, no look at any file, four calls a file (an attribute call
// only where the record's attributes are not what creation gives).
TEST(Extract, FirstInstallationInOrder) {
    FakeHost host;
    host.payload = ShippedLike();
    const size_t size = host.payload.size();
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_EQ(std::vector<std::string>(host.calls.begin(), host.calls.begin() + 5),
              (std::vector<std::string>{"load", "obtain " + std::to_string(size),  // the whole resource
                                        "obtain " + std::to_string(size - 12),     // from position 12 on
                                        "release",                                 // first copy gone before the walk
                                        "obtain " + std::to_string(2 * (1024 + 2 + 1))}));  // directory table
    const std::vector<std::string> expected = Join({
        {"mkdir " + kFolder, "cd " + kFolder, "mkdir HlpPic", "mkdir HlpPic\\Big"},
        Written("Pelbrix.exe", "MZ..", 11, 32),
        Written("HlpPic\\Big\\arrow.gif", "GIF", 12, 32),
        Written("HlpPic\\empty.txt", "", 13, 33),
        {"release", "release", "release"},
    });
    EXPECT_EQ(host.From("mkdir"), expected);
    EXPECT_EQ(host.outstanding, 0);
}

// An update: one listing a folder; an earlier file moved aside, kept there until the end (its
// read-only bit cleared only to remove it), and the new one created in its place, also when only
// its time differs; one listed with the record's size, time and attributes is read, and left alone
// when its bytes are the record's; a user's file stays.
// The folder's creation fails (as at a drive root): only the change into it decides.
TEST(Extract, UpdateInOrder) {
    FakeHost host;
    host.payload = BuiltArchive({{0x30, 7, "HlpPic"}}, {{0x20, 11, 0, "Pelbrix.exe", B("MZ..")},
                                                        {0x20, 12, 1, "a.gif", B("GIF")},
                                                        {0x20, 12, 1, "same.gif", B("GIF")},
                                                        {0x20, 12, 1, "b.gif", B("GIF")}});
    host.folder = 0x10;
    host.fail.insert("mkdir " + kFolder);
    host.disk = {{"Pelbrix.exe", {0x21, "old", 1}},
                 {"notes.txt", {0x22, "mine", 2}},
                 {"HlpPic", {0x10, "", 0}},
                 {"HlpPic\\same.gif", {0x20, "GIF", 12}},
                 {"HlpPic\\b.gif", {0x20, "GIT", 12}},
                 {"HlpPic\\a.gif", {0x20, "GIF", 9}}};
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    const std::string backup = "~pel1234abcd-Pelbrix.exe", a = "HlpPic\\~pel1234abcd-a.gif",
                      b = "HlpPic\\~pel1234abcd-b.gif";
    const std::vector<std::string> expected = Join({
        {"mkdir " + kFolder, "look " + kFolder, "cd " + kFolder, "list ", "mkdir HlpPic", "look HlpPic", "list HlpPic"},
        {"rename Pelbrix.exe " + backup},
        Written("Pelbrix.exe", "MZ..", 11, 32),
        {"rename HlpPic\\a.gif " + a},
        Written("HlpPic\\a.gif", "GIF", 12, 32),
        {"read HlpPic\\same.gif", "read HlpPic\\b.gif", "rename HlpPic\\b.gif " + b},
        Written("HlpPic\\b.gif", "GIF", 12, 32),
        {"attr " + backup + " 32", "delete " + backup, "delete " + a, "delete " + b, "release", "release", "release"},
    });
    EXPECT_EQ(host.From("mkdir"), expected);
    EXPECT_EQ(host.disk, (Disk{{"HlpPic", {0x10, "", 0}},
                               {"HlpPic\\a.gif", {0x20, "GIF", 12}},
                               {"HlpPic\\b.gif", {0x20, "GIF", 12}},
                               {"HlpPic\\same.gif", {0x20, "GIF", 12}},
                               {"Pelbrix.exe", {0x20, "MZ..", 11}},
                               {"notes.txt", {0x22, "mine", 2}}}));
}

// The folder in a message: a text in the ANSI code page, marked as such.
std::string Marked(const std::string& folder) { return kAnsiMark + folder + kAnsiMark; }

TEST(Extract, FailureTable) {
    // The longest folder text (1023 bytes) must reach its message whole.
    const std::string longest = "D:\\" + std::string(1020, 'x');
    struct Case {
        const char* what;
        std::string folder;
        void (*setup)(FakeHost&);
        std::string message;
        bool quit;
        bool folderTried;
    };
    const std::string memory = "Ошибка. Недостаточно памяти.", broken = "(0004) Ошибка. Архив программы повреждён.";
    const std::string folderMessage = "(0001) Ошибка при создании папки ",
                      directory = "0002 Ошибка при создании папки ";
    auto none = [](FakeHost&) {};
    // The longest path, "HlpPic\Big\arrow.gif", with a working name in place: 33 characters.
    const std::string fits = "C:\\" + std::string(222, 'f'), tooLong = fits + "f";
    const Case cases[] = {
        {"resource cannot be loaded", kFolder, [](FakeHost& h) { h.fail.insert("load"); }, "(0001) " + memory, true,
         false},
        {"no memory for the first copy", kFolder, [](FakeHost& h) { h.failObtainAt = 0; }, "(0002) " + memory, true,
         false},
        {"no memory for the second copy", kFolder, [](FakeHost& h) { h.failObtainAt = 1; }, "(0003) " + memory, true,
         false},
        {"no memory for the name table", kFolder, [](FakeHost& h) { h.failObtainAt = 2; }, "(0003) " + memory, true,
         false},
        {"no memory for the file states", kFolder, [](FakeHost& h) { h.failObtainAt = 3; }, "(0003) " + memory, true,
         false},
        {"folder cannot be made current: the one created goes", kFolder,
         [](FakeHost& h) { h.fail.insert("cd " + kFolder); }, folderMessage + Marked(kFolder), true, true},
        {"folder is a link", kFolder, [](FakeHost& h) { h.folder = 0x410; }, folderMessage + Marked(kFolder), true,
         true},
        // A relative folder would land wherever the current directory is: never created.
        {"drive-relative", "C:Pelbrix", none, folderMessage + Marked("C:Pelbrix"), true, false},
        {"no room for a working name in the deepest place", tooLong, none, folderMessage + Marked(tooLong), true,
         false},
        {"1023 bytes", longest, none, folderMessage + Marked(longest), true, false},
        {"a character the ANSI code page could not hold", "C:\\Caf?", none, folderMessage + Marked("C:\\Caf?"), true,
         false},
        {"a stream", "C:\\Pel:brix", none, folderMessage + Marked("C:\\Pel:brix"), true, false},
        {"a pipe", "C:\\a|b", none, folderMessage + Marked("C:\\a|b"), true, false},
        {"a control character", "C:\\a\tb", none, folderMessage + Marked("C:\\a\tb"), true, false},
        {"directory cannot be created: no later directory, no file, the folder gone", kFolder,
         [](FakeHost& h) { h.fail.insert("mkdir HlpPic"); }, directory + "HlpPic", false, true},
        {"a file where a directory goes", kFolder,
         [](FakeHost& h) {
             h.folder = 0x10, h.disk["HlpPic"] = {0x20, "mine", 1};
         },
         directory + "HlpPic", false, true},
        {"two records for one place", kFolder,
         [](FakeHost& h) {
             h.payload = BuiltArchive({{0x30, 7, "\xAF"}, {0x30, 7, "\xBF"}},  // Ї, ї
                                      {{0x20, 1, 1, "A", B("1")}, {0x20, 1, 2, "a", {}}});
         },
         broken, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = ShippedLike();
        c.setup(host);
        const Disk before = host.disk;
        const uint32_t folderBefore = host.folder;
        EXPECT_FALSE(ExtractPayload(host, State(c.folder)));
        // The message, then the quit request as the very last call.
        ASSERT_GE(host.calls.size(), 2u);
        EXPECT_EQ(host.calls.end()[c.quit ? -2 : -1], "message " + c.message);
        EXPECT_EQ(host.calls.back(), c.quit ? "quit 1" : "message " + c.message);
        EXPECT_EQ(std::count_if(host.calls.begin(), host.calls.end(),
                                [](const std::string& s) { return s.compare(0, 8, "message ") == 0; }),
                  1);
        EXPECT_EQ(host.Called("mkdir"), c.folderTried);
        EXPECT_FALSE(host.Called("create"));
        EXPECT_EQ(host.disk, before);
        EXPECT_EQ(host.folder, folderBefore);
        EXPECT_EQ(host.outstanding, 0);
    }
    // The folder that just leaves room, and one written as "\\?\" and a drive.
    for (const std::string& folder : {fits, std::string("\\\\?\\C:\\Pelbrix")}) {
        FakeHost host;
        host.payload = ShippedLike();
        host.root = folder;
        EXPECT_TRUE(ExtractPayload(host, State(folder))) << folder;
    }
    // In a double-byte code page (932) a letter's second byte may be "|" or "\\": the folder is
    // read by letters, so "C:\ポ表" is taken, and a rollback leaves it for its real parent.
    const uint8_t kLeadBytes932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    SetAnsiLeadBytes(kLeadBytes932, sizeof kLeadBytes932);
    const std::string japanese = "C:\\\x83\x7C\x95\x5C";
    FakeHost host;
    host.payload = ShippedLike();
    host.root = japanese;
    host.fail.insert("create Pelbrix.exe");
    host.answers = {FileAnswer::Abort};
    EXPECT_FALSE(ExtractPayload(host, State(japanese)));
    const auto out = std::find(host.calls.begin(), host.calls.end(), "cd C:\\");
    ASSERT_NE(out, host.calls.end());
    EXPECT_EQ(out[1], "rmdir " + japanese);
    SetAnsiLeadBytes(nullptr, 0);
}

// "C:" and "Pelbrix" are Wine scenarios.
TEST(Extract, AbsoluteFolders) {
    struct Case {
        const char* folder;
        bool absolute;
    };
    const Case cases[] = {
        {"d:/Pelbrix", true}, {"\\\\server\\share\\Pelbrix", true},
        {"\\Pelbrix", true},  {"Z:\\", true},
        {"C:Pelbrix", false}, {"..\\x", false},
        {"", false},          {"\\\\", false},
        {"1:\\x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsAbsoluteFolder(c.folder), c.absolute) << c.folder;
}

// Abort after each step of a replaced file ("a", read-only and hidden before the run) and of new
// ones ("b"; "d\c" in a new directory) puts everything back: the earlier file with its bytes,
// times and attributes, nothing new left, also when a step's undoing fails once too. Ignore keeps
// the earlier file, once nothing of the run's is left in its place; Retry looks at the place
// again. A user's folder of a reserved name is never taken for a backup.
TEST(Extract, FileFailureTable) {
    const std::string backup = "~pel1234abcd-a";
    const Disk earlier = {{"a", {0x23, "old", 7}}, {"keep", {0x20, "mine", 8}}, {"~pel00000000-b", {0x10, "", 3}}};
    struct Case {
        const char* what;
        std::vector<std::string> failing;  // calls that fail, once each
        std::vector<FileAnswer> answers;
        bool result;
        std::string skipped = "";            // true runs: this file as before the run
        void (*onAsk)(FakeHost&) = nullptr;  // what the user does while asked
        Disk left = {};                      // beside the outcome
    };
    const FileAnswer abort = FileAnswer::Abort, retry = FileAnswer::Retry, ignore = FileAnswer::Ignore;
    const auto removeA = [](FakeHost& h) { h.disk.erase("a"); };
    const Disk finished = {{"~pel1234abcd=a", {0x23, "old", 7}}};  // removed at restart
    const Case cases[] = {
        {"replaced: new file not created", {"create a"}, {abort}, false},
        {"replaced: short write", {"write 1 a"}, {abort}, false},
        {"replaced: earlier file not moved aside", {"rename a " + backup}, {abort}, false},
        {"replaced: close fails in place", {"close a"}, {abort}, false},
        {"new: not created", {"create b"}, {abort}, false},
        {"new: short write", {"write 2 b"}, {abort}, false},
        {"new: close fails", {"close b"}, {abort}, false},
        {"Ignore: the earlier file stays", {"rename a " + backup}, {ignore}, true, "a"},
        {"Retry: replaced after all", {"create a", "close b"}, {retry, retry}, true},
        {"new: partial, not removed: Retry removes it", {"write 2 b", "delete b", "close d\\c"}, {retry, abort}, false},
        {"... Ignore once it is gone", {"write 2 b", "delete b", "delete b"}, {ignore, ignore}, true, "b"},
        {"replaced: not created nor put back", {"create a", "rename " + backup + " a"}, {abort}, false},
        {"replaced, then held at Abort: asked till it goes back", {"create b", "delete a"}, {abort, retry}, false},
        {"Retry after the earlier file was removed", {"rename a " + backup}, {retry}, true, "", removeA},
        {"backup not removed: a finished run's", {"delete " + backup}, {}, true, "", nullptr, finished},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = BuiltArchive({{0x30, 1, "d"}},
                                    {{0x20, 5, 0, "a", B("1")}, {0x21, 6, 0, "b", B("2")}, {0x20, 9, 1, "c", {}}});
        host.fail.insert(c.failing.begin(), c.failing.end());
        host.folder = 0x10;
        host.disk = earlier;
        host.answers = c.answers;
        if (c.onAsk != nullptr) host.onAsk = [&] { c.onAsk(host); };
        EXPECT_EQ(ExtractPayload(host, State(kFolder)), c.result);
        EXPECT_TRUE(host.answers.empty());
        EXPECT_TRUE(host.open.empty());
        EXPECT_FALSE(host.Called("message"));
        EXPECT_EQ(host.Called("at restart"), !c.left.empty());
        Disk expected = earlier;
        if (c.result) {
            expected.insert({{"b", {0x21, "2", 6}}, {"d", {0x10, "", 0}}, {"d\\c", {0x20, "", 9}}});
            expected["a"] = {0x20, "1", 5};
            if (c.skipped == "a") expected["a"] = earlier.at("a");
            if (c.skipped == "b") expected.erase("b");
        }
        expected.insert(c.left.begin(), c.left.end());
        EXPECT_EQ(host.disk, expected);
    }
}

// What a killed run left is settled before anything is written: its working file goes, the
// earlier file it had moved aside comes back over that run's new one with its times. A backup a
// finished run could not remove only goes.
TEST(Extract, KilledRunIsSettled) {
    for (FileAnswer answer : {FileAnswer::Abort, FileAnswer::Ignore}) {
        FakeHost host;
        host.payload = BuiltArchive({}, {{0x20, 5, 0, "a", B("1")}, {0x20, 6, 0, "b", B("2")}});
        host.folder = 0x10;
        host.disk = {{"a", {0x20, "half", 3}},
                     {"~pel00c0ffee-a", {0x21, "old", 2}},
                     {"~pel00c0ffee+b", {0x20, "x", 1}},
                     {"~pel0000beef=b", {0x21, "a finished run's", 4}}};
        host.fail.insert("create b");
        host.answers = {answer};
        EXPECT_EQ(ExtractPayload(host, State(kFolder)), answer == FileAnswer::Ignore);
        Disk expected = {{"a", {0x21, "old", 2}}};
        if (answer == FileAnswer::Ignore) expected["a"] = {0x20, "1", 5};
        EXPECT_EQ(host.disk, expected);
    }
}

// Only name surrogates are links; a reparse point without a tag (Wine's links) counts as one.
TEST(Extract, OnlyNameSurrogatesAreLinks) {
    const struct {
        const char* what;
        uint32_t attributes, tag, read;
    } cases[] = {
        {"symbolic link", 0x420, 0xA000000C, 0x420},
        {"junction", 0x410, 0xA0000003, 0x410},
        {"Wine's link", 0x410, 0, 0x410},
        {"cloud placeholder", 0x420, 0x9000001A, 0x20},
        {"deduplicated", 0x421, 0x80000013, 0x21},
        {"nothing", kNoAttributes, 5, kNoAttributes},
    };
    for (const auto& c : cases) EXPECT_EQ(LinkAttributes(c.attributes, c.tag), c.read) << c.what;
}

// Anything of the data file's name that is there stays untouched and nothing is asked about it,
// from the listing alone; an absent one is written; one that appears while a question about it
// is open is the user's on Retry.
TEST(Extract, DataFileRule) {
    const struct {
        const char* name;
        bool data;
    } names[] = {{"Tolva.dat", true},   {"TOLVA.DAT", true},     {"tOlVa.dAt", true}, {"Tolva.da", false},
                 {"Tolva.data", false}, {"Tolva\xE0.dat", false}};  // non-ASCII bytes must be equal
    for (const auto& n : names) EXPECT_EQ(IsDataFileName(n.name), n.data) << n.name;
    struct Case {
        const char* what;
        uint32_t earlier;  // kNoAttributes: none
        bool held;
    };
    const Case cases[] = {{"writable", 0x20, false}, {"read-only", 0x21, false}, {"hidden", 0x22, false},
                          {"held", 0x20, true},      {"a folder", 0x10, false},  {"absent", kNoAttributes, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = BuiltArchive({}, {{0x20, 5, 0, "tOlVa.dAt", B("data")}});
        host.folder = 0x10;
        if (c.earlier != kNoAttributes) host.disk["tOlVa.dAt"] = {c.earlier, "mine", 1};
        if (c.held) host.held = "tOlVa.dAt";
        Disk expected = host.disk;
        if (c.earlier == kNoAttributes) expected["tOlVa.dAt"] = {0x20, "data", 5};
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_EQ(host.disk, expected);
    }
    FakeHost host;
    host.payload = BuiltArchive({}, {{0x20, 5, 0, "Tolva.dat", B("data")}});
    host.fail.insert("create ~pel1234abcd+Tolva.dat");
    host.onAsk = [&] { host.disk["Tolva.dat"] = {0x20, "mine", 1}; };
    host.answers = {FileAnswer::Retry};
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_EQ(host.disk["Tolva.dat"].data, "mine");
}

TEST(Extract, WrongChecksumNoDirectoriesAndLargerWorkingCopy) {
    FakeHost host;
    host.payload = BuiltArchive({}, {{0x20, 1, 0, "a", B("x")}});
    host.payload[4] ^= 0x55;                        // checksum is never read
    host.payload.resize(host.payload.size() - 16);  // no tail: archiveLength == resource size
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    // The second copy holds at least archiveLength bytes, even when the resource is that short.
    EXPECT_EQ(host.calls[2], "obtain " + std::to_string(host.payload.size()));
    EXPECT_EQ(host.calls[3], "release");
    EXPECT_EQ(host.calls[5], "mkdir " + kFolder);  // no table for no directories, then the file states
    EXPECT_EQ(host.disk["a"].data, "x");
}
