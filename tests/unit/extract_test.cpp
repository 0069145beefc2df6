// ExtractPayload over a fault-injecting host that records every call in order.
#include "payload/extract.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string.h>
#include <string>
#include <vector>

#include "base/messages.h"
#include "payload/archive_builder.h"

namespace {

// Each call is one line in calls; a line listed in fail fails (once for each time it is
// listed), one listed in present finds something already there (an existing directory, a data
// file the probe can open). attributes holds the files already on disk.
struct FakeHost : ExtractHost {
    std::vector<uint8_t> payload;
    std::multiset<std::string> fail;
    std::set<std::string> present;
    std::map<std::string, uint32_t> attributes;
    std::vector<FileAnswer> answers;  // given in turn to each question
    int failObtainAt = -1;            // 0: first copy, 1: second copy, 2: directory table
    std::vector<std::string> calls;
    std::set<FileHandle> open;
    int obtained = 0, outstanding = 0;
    FileHandle nextHandle = 100;

    bool Log(const std::string& call) {
        calls.push_back(call);
        const auto failing = fail.find(call);
        if (failing == fail.end()) return true;
        fail.erase(failing);
        return false;
    }
    FileHandle Open(bool ok) { return ok ? *open.insert(nextHandle++).first : kNoFile; }
    bool Use(FileHandle file, const std::string& call) {
        EXPECT_EQ(open.count(file), 1u) << call;
        return Log(call);
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
    DirectoryResult CreateDirectoryLevel(const char* path) override {
        const std::string call = std::string("mkdir ") + path;
        if (!Log(call)) return DirectoryResult::Failed;
        return present.count(call) ? DirectoryResult::AlreadyExists : DirectoryResult::Created;
    }
    bool SetCurrentFolder(const char* path) override { return Log(std::string("cd ") + path); }
    FileHandle OpenExistingForWrite(const char* path) override {
        return Log(std::string("probe ") + path), Open(present.count(calls.back()) != 0);
    }
    FileHandle CreateForWrite(const char* path) override { return Open(Log(std::string("create ") + path)); }
    bool WriteBlock(FileHandle f, const uint8_t* data, uint32_t n) override {
        return Use(f, "write " + std::string(reinterpret_cast<const char*>(data), n));
    }
    void SetFileTimes(FileHandle file, uint64_t time) override { Use(file, "times " + std::to_string(time)); }
    bool CloseFile(FileHandle file) override {
        const bool ok = Use(file, "close");
        open.erase(file);
        return ok;
    }
    uint32_t GetAttributes(const char* path) override {
        return attributes.count(path) ? attributes[path] : kNoAttributes;
    }
    bool SetAttributes(const char* path, uint32_t value) override {
        if (!Log(std::string("attr ") + path + " " + std::to_string(value))) return false;
        if (attributes.count(path)) attributes[path] = value;
        return true;
    }
    bool MoveIntoPlace(const char* from, const char* to) override {
        if (!Log(std::string("replace ") + from + " " + to)) return false;
        attributes[to] = 0x20;
        return true;
    }
    void RemoveFile(const char* path) override { Log(std::string("delete ") + path); }
    void ShowMessage(const char* text) override { Log(std::string("message ") + text); }
    FileAnswer AskAboutFile(const char* text) override {
        Log(std::string("ask ") + text);
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

std::vector<uint8_t> B(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Archive(const std::vector<ArchiveDirectorySpec>& dirs, const std::vector<ArchiveFileSpec>& files) {
    std::vector<uint8_t> out;
    std::string message;
    EXPECT_TRUE(BuildArchive(dirs, files, out, message)) << message;
    return out;
}

// Two directories and three files (4 + 3 + 0 data bytes); the first dataLength is at 70.
std::vector<uint8_t> ShippedLike() {
    return Archive({{0x30, 7, "HlpPic"}, {0x30, 8, "HlpPic\\Big"}}, {{0x20, 11, 0, "Pelbrix.exe", B("MZ..")},
                                                                     {0x20, 12, 2, "arrow.gif", B("GIF")},
                                                                     {0x21, 13, 1, "empty.txt", {}}});
}

InstallState State(const std::string& folder) {
    InstallState s = {};
    strcpy(s.folder, folder.c_str());
    return s;
}

const std::string kFolder = "C:\\Program Files\\Pelbrix";

}  // namespace

// The calls that write one file that was not there: working file, data, times, then into place.
std::vector<std::string> Written(const std::string& path, const std::string& data, uint64_t time, uint32_t attributes) {
    const size_t slash = path.rfind('\\');
    const std::string working = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "~pel.tmp";
    return {"create " + working,
            "write " + data,
            "times " + std::to_string(time),
            "close",
            "replace " + working + " " + path,
            "attr " + path + " " + std::to_string(attributes)};
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(Extract, CompleteRunInOrder) {
    FakeHost host;
    host.payload = ShippedLike();
    const size_t size = host.payload.size();
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    const std::vector<std::string> expected = Join({
        {"load",
         "obtain " + std::to_string(size),            // first copy: the whole resource
         "obtain " + std::to_string(size - 12),       // second copy: from position 12 on
         "release",                                   // first copy gone before the walk
         "obtain " + std::to_string(2 * (1024 + 2)),  // directory-name table
         "mkdir " + kFolder, "cd " + kFolder, "mkdir HlpPic", "mkdir HlpPic\\Big"},
        Written("Pelbrix.exe", "MZ..", 11, 32),
        Written("HlpPic\\Big\\arrow.gif", "GIF", 12, 32),
        Written("HlpPic\\empty.txt", "", 13, 33),
        {"release", "release"},
    });
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.outstanding, 0);
}

TEST(Extract, FailureTable) {
    // The longest folder text (1023 bytes) must reach its message whole.
    const std::string longest = "D:\\" + std::string(1020, 'x');
    struct Case {
        const char* what;
        std::string folder;
        void (*setup)(FakeHost&, const std::string&);
        std::string message;
        bool quit;
        bool folderTried;
    };
    const std::string memory = "Ошибка. Недостаточно памяти.", broken = "(0004) Ошибка. Архив программы повреждён.";
    const std::string folderMessage = "(0001) Ошибка при создании папки ";
    auto none = [](FakeHost&, const std::string&) {};
    const Case cases[] = {
        {"resource cannot be loaded", longest, [](FakeHost& h, const std::string&) { h.fail.insert("load"); },
         "(0001) " + memory, true, false},
        {"no memory for the first copy", longest, [](FakeHost& h, const std::string&) { h.failObtainAt = 0; },
         "(0002) " + memory, true, false},
        {"no memory for the second copy", longest, [](FakeHost& h, const std::string&) { h.failObtainAt = 1; },
         "(0003) " + memory, true, false},
        {"no memory for the name table", longest, [](FakeHost& h, const std::string&) { h.failObtainAt = 2; },
         "(0003) " + memory, true, false},
        {"folder cannot be made current", longest, [](FakeHost& h, const std::string& f) { h.fail.insert("cd " + f); },
         folderMessage + longest, true, true},
        // A relative folder would land wherever the current directory is: never created.
        {"drive-relative", "C:Pelbrix", none, folderMessage + "C:Pelbrix", true, false},
        {"directory cannot be created: no later directory, no file", longest,
         [](FakeHost& h, const std::string&) { h.fail.insert("mkdir HlpPic"); },
         "0002 Ошибка при создании папки HlpPic", false, true},
        {"broken archive", longest, [](FakeHost& h, const std::string&) { h.payload[70] = 0xFF; }, broken, true, false},
        {"archiveLength past the resource", longest, [](FakeHost& h, const std::string&) { h.payload.resize(40); },
         broken, true, false},
        {"resource shorter than a header", longest, [](FakeHost& h, const std::string&) { h.payload.resize(11); },
         broken, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = ShippedLike();
        c.setup(host, c.folder);
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
        EXPECT_EQ(host.outstanding, 0);
    }
}

TEST(Extract, AbsoluteFolders) {
    struct Case {
        const char* folder;
        bool absolute;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Pelbrix", true},
        {"d:/Pelbrix", true},
        {"\\\\server\\share\\Pelbrix", true},
        {"\\Pelbrix", true},
        {"Z:\\", true},
        {"C:", false},
        {"C:Pelbrix", false},
        {"Pelbrix", false},
        {"..\\x", false},
        {"", false},
        {"\\\\", false},
        {"1:\\x", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsAbsoluteFolder(c.folder), c.absolute) << c.folder;
}

TEST(Extract, ExistingFolderAndDirectoryAreFineAndFolderOutcomeIsIgnored) {
    for (bool folderCreationFails : {false, true}) {
        SCOPED_TRACE(folderCreationFails);
        FakeHost host;
        host.payload = ShippedLike();
        host.present = {"mkdir " + kFolder, "mkdir HlpPic"};
        if (folderCreationFails) host.fail.insert("mkdir " + kFolder);  // only the change decides
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_FALSE(host.Called("message"));
        EXPECT_TRUE(host.Called("write GIF"));
    }
}

// A file that cannot be written in full never leaves a broken file behind a success: the earlier
// file stays (the working file is deleted, cleared bits come back), the user is asked, and the
// answer decides. Archive: "a" (an earlier copy on disk with the given attributes), then "b".
TEST(Extract, FileFailureTable) {
    const std::string ask = "ask (0005) Ошибка при записи файла a";
    const std::vector<std::string> b = Written("b", "2", 6, 32);
    struct Case {
        const char* what;
        std::vector<std::string> failing;  // calls that fail, once each
        uint32_t earlier;                  // attributes of the earlier "a"; kNoAttributes: none
        std::vector<FileAnswer> answers;
        bool result;
        std::vector<std::string> tail;  // the calls from the first failing one to the end
    };
    const Case cases[] = {
        {"create fails, Retry succeeds",
         {"create ~pel.tmp"},
         kNoAttributes,
         {FileAnswer::Retry},
         true,
         Join({{"create ~pel.tmp", ask}, Written("a", "1", 5, 32), b, {"release"}})},
        {"create fails, Abort: false, no quit request",
         {"create ~pel.tmp"},
         kNoAttributes,
         {FileAnswer::Abort},
         false,
         {"create ~pel.tmp", ask, "release"}},
        {"create fails, Ignore: skipped, the walk goes on",
         {"create ~pel.tmp"},
         kNoAttributes,
         {FileAnswer::Ignore},
         true,
         Join({{"create ~pel.tmp", ask}, b, {"release"}})},
        {"short write: nothing replaced",
         {"write 1"},
         0x20,
         {FileAnswer::Abort},
         false,
         {"write 1", "times 5", "close", "delete ~pel.tmp", ask, "release"}},
        {"close fails: nothing replaced",
         {"close"},
         0x20,
         {FileAnswer::Ignore},
         true,
         Join({{"close", "delete ~pel.tmp", ask}, b, {"release"}})},
        {"replace fails twice: the earlier read-only file keeps its bits",
         {"replace ~pel.tmp a", "replace ~pel.tmp a"},
         0x21,
         {FileAnswer::Retry, FileAnswer::Abort},
         false,
         {"replace ~pel.tmp a", "attr a 33", "delete ~pel.tmp", ask, "create ~pel.tmp", "write 1", "times 5", "close",
          "attr a 32", "replace ~pel.tmp a", "attr a 33", "delete ~pel.tmp", ask, "release"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = Archive({}, {{0x20, 5, 0, "a", B("1")}, {0x20, 6, 0, "b", B("2")}});
        host.fail.insert(c.failing.begin(), c.failing.end());
        if (c.earlier != kNoAttributes) host.attributes["a"] = c.earlier;
        host.answers = c.answers;
        EXPECT_EQ(ExtractPayload(host, State(kFolder)), c.result);
        EXPECT_EQ(host.From(c.failing.front()), c.tail);
        EXPECT_TRUE(host.answers.empty());
        EXPECT_FALSE(host.Called("quit"));
        EXPECT_FALSE(host.Called("message"));
        EXPECT_EQ(host.outstanding, 0);
    }
}

// An earlier file that is read-only, hidden or system would refuse its replacement: those bits
// go first, and the archive's attributes come after. The user's data file keeps them: they
// protect the user's records, so its replacement may fail and ask.
TEST(Extract, EarlierFileWithBitsInTheWayIsReplaced) {
    struct Case {
        const char* name;
        uint32_t earlier;
        bool cleared;
    };
    const Case cases[] = {{"a", 0x21, true}, {"a", 0x22, true},          {"a", 0x24, true},
                          {"a", 0x27, true}, {"Tolva.dat", 0x21, false}, {"Tolva.dat", 0x26, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.earlier);
        FakeHost host;
        host.payload = Archive({}, {{0x20, 5, 0, c.name, B("1")}});
        host.attributes[c.name] = c.earlier;
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        const std::string a = c.name;
        std::vector<std::string> expected = Join({{"create ~pel.tmp", "write 1", "times 5", "close"},
                                                  {"attr " + a + " " + std::to_string(c.earlier & ~7u)},
                                                  {"replace ~pel.tmp " + a, "attr " + a + " 32", "release"}});
        if (!c.cleared) expected.erase(expected.begin() + 4);
        EXPECT_EQ(host.From("create"), expected);
    }
}

TEST(Extract, DataFileRule) {
    const struct {
        const char* name;
        bool data;
    } names[] = {{"Tolva.dat", true},   {"TOLVA.DAT", true},     {"tOlVa.dAt", true}, {"Tolva.da", false},
                 {"Tolva.data", false}, {"Tolva\xE0.dat", false}};  // non-ASCII bytes must be equal
    for (const auto& n : names) EXPECT_EQ(IsDataFileName(n.name), n.data) << n.name;
    // Probed where it lies; an openable one is closed at once and kept, any other written as usual.
    struct Case {
        const char* path;
        bool openable;
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"HlpPic\\tOlVa.dAt", true, {"probe HlpPic\\tOlVa.dAt", "close"}},
        {"Tolva.dat", false, Join({{"probe Tolva.dat"}, Written("Tolva.dat", "data", 5, 32)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FakeHost host;
        const bool inDirectory = strchr(c.path, '\\') != nullptr;
        host.payload =
            Archive({{0x30, 0, "HlpPic"}}, {{0x20, 5, inDirectory, c.path + (inDirectory ? 7 : 0), B("data")}});
        if (c.openable) host.present.insert(std::string("probe ") + c.path);
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        const std::vector<std::string> tail = host.From("probe");
        EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.end() - 2), c.tail);  // then the releases
    }
}

TEST(Extract, WrongChecksumNoDirectoriesAndLargerWorkingCopy) {
    FakeHost host;
    host.payload = Archive({}, {{0x20, 1, 0, "a", B("x")}});
    host.payload[4] ^= 0x55;                        // checksum is never read
    host.payload.resize(host.payload.size() - 16);  // no tail: archiveLength == resource size
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    // The second copy holds at least archiveLength bytes, even when the resource is that short.
    EXPECT_EQ(host.calls[2], "obtain " + std::to_string(host.payload.size()));
    EXPECT_EQ(host.calls[3], "release");
    EXPECT_EQ(host.calls[4], "mkdir " + kFolder);  // no table for no directories
    EXPECT_TRUE(host.Called("write x"));
}
