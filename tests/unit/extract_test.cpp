// ExtractPayload over a fault-injecting host that records every call in order.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "payload/archive_builder.h"
#include "base/messages.h"
#include "payload/extract.h"

namespace {

// Each call is one line in calls; a line listed in fail fails, one listed in present finds
// something already there (an existing directory, a data file the probe can open).
struct FakeHost : ExtractHost {
    std::vector<uint8_t> payload;
    std::set<std::string> fail, present;
    int failObtainAt = -1;  // 0: first copy, 1: second copy, 2: directory table
    std::vector<std::string> calls;
    std::set<FileHandle> open;
    int obtained = 0, outstanding = 0;
    FileHandle nextHandle = 100;

    bool Log(const std::string& call) {
        calls.push_back(call);
        return fail.count(call) == 0;
    }
    FileHandle Open(bool ok) {
        if (!ok) return kNoFile;
        open.insert(nextHandle);
        return nextHandle++;
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
        const std::string call = std::string("probe ") + path;
        Log(call);
        return Open(present.count(call) != 0);
    }
    FileHandle CreateForWrite(const char* path) override {
        const std::string call = std::string("create ") + path;
        return Open(Log(call));
    }
    void WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        EXPECT_TRUE(open.count(file));
        Log("write " + std::string(reinterpret_cast<const char*>(data), length));
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        EXPECT_TRUE(open.count(file));
        Log("times " + std::to_string(time));
    }
    void CloseFile(FileHandle file) override {
        EXPECT_EQ(open.erase(file), 1u);
        Log("close");
    }
    void SetAttributes(const char* path, uint32_t attributes) override {
        Log(std::string("attr ") + path + " " + std::to_string(attributes));
    }
    void ShowMessage(const char* text) override { Log(std::string("message ") + text); }
    void PostQuitRequest(int exitCode) override { Log("quit " + std::to_string(exitCode)); }
    void RunClosingActions() override { Log("closing"); }

    bool Called(const std::string& prefix) const {
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.compare(0, prefix.size(), prefix) == 0; });
    }
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
    return Archive({{0x30, 7, "HlpPic"}, {0x30, 8, "HlpPic\\Big"}},
                   {{0x20, 11, 0, "Pelbrix.exe", B("MZ..")}, {0x20, 12, 2, "arrow.gif", B("GIF")},
                    {0x21, 13, 1, "empty.txt", {}}});
}

InstallState State(const std::string& folder) {
    InstallState s = {};
    strcpy(s.folder, folder.c_str());
    return s;
}

const std::string kFolder = "C:\\Program Files\\Pelbrix";

}  // namespace

TEST(Extract, CompleteRunInOrder) {
    FakeHost host;
    host.payload = ShippedLike();
    const size_t size = host.payload.size();
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    const std::vector<std::string> expected = {
        "load",
        "obtain " + std::to_string(size),           // first copy: the whole resource
        "obtain " + std::to_string(size - 12),      // second copy: from position 12 on
        "release",                                  // first copy gone before the walk
        "obtain " + std::to_string(2 * (1024 + 2)),  // directory-name table
        "mkdir " + kFolder, "cd " + kFolder, "mkdir HlpPic", "mkdir HlpPic\\Big",
        "create Pelbrix.exe", "write MZ..", "times 11", "close", "attr Pelbrix.exe 32",
        "create HlpPic\\Big\\arrow.gif", "write GIF", "times 12", "close", "attr HlpPic\\Big\\arrow.gif 32",
        "create HlpPic\\empty.txt", "write ", "times 13", "close", "attr HlpPic\\empty.txt 33",
        "release", "release", "closing",
    };
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.outstanding, 0);
}

TEST(Extract, FailureTable) {
    // The longest folder text (1023 bytes) must reach its message whole.
    const std::string folder = "D:\\" + std::string(1020, 'x');
    struct Case { const char* what; void (*setup)(FakeHost&, const std::string&); std::string message; bool quit; bool folderTried; };
    const std::string memory = "Ошибка. Недостаточно памяти.", broken = "(0004) Ошибка. Архив программы повреждён.";
    const Case cases[] = {
        {"resource cannot be loaded", [](FakeHost& h, const std::string&) { h.fail.insert("load"); }, "(0001) " + memory, true, false},
        {"no memory for the first copy", [](FakeHost& h, const std::string&) { h.failObtainAt = 0; }, "(0002) " + memory, true, false},
        {"no memory for the second copy", [](FakeHost& h, const std::string&) { h.failObtainAt = 1; }, "(0003) " + memory, true, false},
        {"no memory for the name table", [](FakeHost& h, const std::string&) { h.failObtainAt = 2; }, "(0003) " + memory, true, false},
        {"folder cannot be made current", [](FakeHost& h, const std::string& f) { h.fail.insert("cd " + f); },
         "(0001) Ошибка при создании папки " + folder, true, true},
        {"directory cannot be created: no later directory, no file", [](FakeHost& h, const std::string&) { h.fail.insert("mkdir HlpPic"); },
         "0002 Ошибка при создании папки HlpPic", false, true},
        {"broken archive", [](FakeHost& h, const std::string&) { h.payload[70] = 0xFF; }, broken, true, false},
        {"archiveLength past the resource", [](FakeHost& h, const std::string&) { h.payload.resize(40); }, broken, true, false},
        {"resource shorter than a header", [](FakeHost& h, const std::string&) { h.payload.resize(11); }, broken, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = ShippedLike();
        c.setup(host, folder);
        EXPECT_FALSE(ExtractPayload(host, State(folder)));
        // The message, then the quit request as the very last call.
        ASSERT_GE(host.calls.size(), 2u);
        EXPECT_EQ(host.calls.end()[c.quit ? -2 : -1], "message " + c.message);
        EXPECT_EQ(host.calls.back(), c.quit ? "quit 1" : "message " + c.message);
        EXPECT_EQ(std::count_if(host.calls.begin(), host.calls.end(),
                                [](const std::string& s) { return s.compare(0, 8, "message ") == 0; }), 1);
        EXPECT_EQ(host.Called("mkdir " + folder), c.folderTried);
        EXPECT_FALSE(host.Called("create"));
        EXPECT_FALSE(host.Called("closing"));
        EXPECT_EQ(host.outstanding, 0);
    }
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

TEST(Extract, FileThatCannotBeCreatedIsSkippedAndTheWalkGoesOn) {
    FakeHost host;
    host.payload = ShippedLike();
    host.fail.insert("create Pelbrix.exe");
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_FALSE(host.Called("message"));
    EXPECT_FALSE(host.Called("attr Pelbrix.exe"));
    const auto next = std::find(host.calls.begin(), host.calls.end(), "create Pelbrix.exe") + 1;
    EXPECT_EQ(*next, "create HlpPic\\Big\\arrow.gif");
    EXPECT_EQ(*(next + 1), "write GIF");  // the next record's data, not the skipped one's
    EXPECT_TRUE(host.Called("attr HlpPic\\empty.txt 33"));
    EXPECT_EQ(host.calls.back(), "closing");
}

TEST(Extract, DataFileRule) {
    struct Case { const char* name; uint32_t directory; bool openable; bool probed; bool created; };
    const Case cases[] = {
        {"Tolva.dat", 0, true, true, false},
        {"TOLVA.DAT", 0, true, true, false},
        {"tOlVa.dAt", 1, true, true, false},   // the directory plays no part
        {"Tolva.dat", 0, false, true, true},   // probe fails: created like any file
        {"Tolva.da", 0, true, false, true},
        {"Tolva.dat ", 0, true, false, true},
        {"Tolva\xE0.dat", 0, true, false, true},  // non-ASCII bytes must be equal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.payload = Archive({{0x30, 0, "HlpPic"}}, {{0x20, 5, c.directory, c.name, B("data")}, {0x20, 6, 0, "after", B("z")}});
        const std::string path = c.directory ? std::string("HlpPic\\") + c.name : std::string(c.name);
        if (c.openable) host.present.insert("probe " + path);
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_EQ(host.Called("probe " + path), c.probed);
        EXPECT_EQ(host.Called("create " + path), c.created);
        EXPECT_EQ(host.Called("attr " + path), c.created);
        EXPECT_TRUE(host.Called("write z"));
        if (c.probed && !c.created) {  // probe, close at once, nothing else on that file
            auto at = std::find(host.calls.begin(), host.calls.end(), "probe " + path);
            ASSERT_LT(at + 2, host.calls.end());
            EXPECT_EQ(*(at + 1), "close");
            EXPECT_EQ(*(at + 2), "create after");
        }
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
