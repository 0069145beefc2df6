// ExtractPayload over a fault-injecting host that records every call in order.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "payload/archive_builder.h"
#include "payload/extract.h"

namespace {

struct FakeHost : ExtractHost {
    std::vector<uint8_t> payload;
    bool loadFails = false;
    int failObtainAt = -1;                  // 0: first copy, 1: second copy, 2: directory table
    std::set<std::string> existingDirs;     // CreateDirectoryLevel: AlreadyExists
    std::set<std::string> failingDirs;      // CreateDirectoryLevel: Failed
    bool currentFolderFails = false;
    std::set<std::string> openableFiles;    // the probe opens these
    std::set<std::string> uncreatable;      // CreateForWrite fails

    std::vector<std::string> calls;
    std::vector<std::string> messages;
    std::map<std::string, std::string> written;  // path -> data
    std::map<FileHandle, std::string> open;
    int obtained = 0;
    int outstanding = 0;
    FileHandle nextHandle = 100;

    bool LoadPayload(const uint8_t*& bytes, size_t& size) override {
        calls.push_back("load");
        if (loadFails) return false;
        bytes = payload.data();
        size = payload.size();
        return true;
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
        calls.push_back(std::string("mkdir ") + path);
        if (failingDirs.count(path)) return DirectoryResult::Failed;
        if (existingDirs.count(path)) return DirectoryResult::AlreadyExists;
        return DirectoryResult::Created;
    }
    bool SetCurrentFolder(const char* path) override {
        calls.push_back(std::string("cd ") + path);
        return !currentFolderFails;
    }
    FileHandle OpenExistingForWrite(const char* path) override {
        calls.push_back(std::string("probe ") + path);
        if (!openableFiles.count(path)) return kNoFile;
        open[nextHandle] = path;
        return nextHandle++;
    }
    FileHandle CreateForWrite(const char* path) override {
        calls.push_back(std::string("create ") + path);
        if (uncreatable.count(path)) return kNoFile;
        open[nextHandle] = path;
        return nextHandle++;
    }
    void WriteBlock(FileHandle file, const uint8_t* data, uint32_t length) override {
        calls.push_back("write " + std::to_string(length));
        written[open.at(file)] = std::string(reinterpret_cast<const char*>(data), length);
    }
    void SetFileTimes(FileHandle file, uint64_t time) override {
        calls.push_back("times " + std::to_string(time));
        EXPECT_TRUE(open.count(file));
    }
    void CloseFile(FileHandle file) override {
        calls.push_back("close");
        EXPECT_EQ(open.erase(file), 1u);
    }
    void SetAttributes(const char* path, uint32_t attributes) override {
        calls.push_back(std::string("attr ") + path + " " + std::to_string(attributes));
    }
    void ShowMessage(const char* text) override {
        calls.push_back("message");
        messages.push_back(text);
    }
    void PostQuitRequest(int exitCode) override { calls.push_back("quit " + std::to_string(exitCode)); }
    void RunClosingActions() override { calls.push_back("closing"); }

    bool Called(const std::string& prefix) const {
        for (const std::string& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }
};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Archive(const std::vector<ArchiveDirectorySpec>& dirs, const std::vector<ArchiveFileSpec>& files) {
    std::vector<uint8_t> out;
    std::string message;
    EXPECT_TRUE(BuildArchive(dirs, files, out, message)) << message;
    return out;
}

// "HlpPic" and three files: 4 + 3 + 0 data bytes.
std::vector<uint8_t> ShippedLike() {
    return Archive({{0x30, 7, "HlpPic"}},
                   {{0x20, 11, 0, "Pelbrix.exe", Bytes("MZ..")}, {0x20, 12, 1, "arrow.gif", Bytes("GIF")},
                    {0x21, 13, 0, "empty.txt", {}}});
}

InstallState State(const char* folder) {
    InstallState s = {};
    strcpy(s.folder, folder);
    return s;
}

const char kFolder[] = "C:\\Program Files\\Pelbrix";

}  // namespace

TEST(Extract, CompleteRunInOrder) {
    FakeHost host;
    host.payload = ShippedLike();
    const size_t size = host.payload.size();
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    const std::vector<std::string> expected = {
        "load",
        "obtain " + std::to_string(size),       // first copy: the whole resource
        "obtain " + std::to_string(size - 12),  // second copy: from position 12 on
        "release",                              // first copy gone before the walk
        "obtain " + std::to_string(1024 + 2),   // directory-name table
        std::string("mkdir ") + kFolder, std::string("cd ") + kFolder,
        "mkdir HlpPic",
        "create Pelbrix.exe", "write 4", "times 11", "close", "attr Pelbrix.exe 32",
        "create HlpPic\\arrow.gif", "write 3", "times 12", "close", "attr HlpPic\\arrow.gif 32",
        "create empty.txt", "write 0", "times 13", "close", "attr empty.txt 33",
        "release", "release", "closing",
    };
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.written["HlpPic\\arrow.gif"], "GIF");
    EXPECT_EQ(host.outstanding, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(Extract, FailureTable) {
    struct Case {
        const char* what;
        void (*setup)(FakeHost&);
        const char* message;
        bool quit;
        bool folderTried;  // the installation folder's creation was tried
    };
    const Case cases[] = {
        {"resource cannot be loaded", [](FakeHost& h) { h.loadFails = true; },
         "(0001) Ошибка. Недостаточно памяти.", true, false},
        {"no memory for the first copy", [](FakeHost& h) { h.failObtainAt = 0; },
         "(0002) Ошибка. Недостаточно памяти.", true, false},
        {"no memory for the second copy", [](FakeHost& h) { h.failObtainAt = 1; },
         "(0003) Ошибка. Недостаточно памяти.", true, false},
        {"no memory for the directory-name table", [](FakeHost& h) { h.failObtainAt = 2; },
         "(0003) Ошибка. Недостаточно памяти.", true, false},
        {"folder cannot be made current", [](FakeHost& h) { h.currentFolderFails = true; },
         "(0001) Ошибка при создании папки C:\\Program Files\\Pelbrix", true, true},
        {"directory cannot be created", [](FakeHost& h) { h.failingDirs.insert("HlpPic"); },
         "0002 Ошибка при создании папки HlpPic", false, true},
        {"broken archive", [](FakeHost& h) { h.payload[31 + 16] = 0xFF; },  // first dataLength
         "(0004) Ошибка. Архив программы повреждён.", true, false},
        {"archiveLength past the resource", [](FakeHost& h) { h.payload.resize(40); },
         "(0004) Ошибка. Архив программы повреждён.", true, false},
        {"resource shorter than a header", [](FakeHost& h) { h.payload.resize(11); },
         "(0004) Ошибка. Архив программы повреждён.", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.payload = ShippedLike();
        c.setup(host);
        EXPECT_FALSE(ExtractPayload(host, State(kFolder)));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0], c.message);
        // The quit request comes after the message box, as the very last call.
        EXPECT_EQ(host.calls.back(), c.quit ? "quit 1" : "message");
        EXPECT_EQ(host.Called(std::string("mkdir ") + kFolder), c.folderTried);
        EXPECT_FALSE(host.Called("create"));
        EXPECT_FALSE(host.Called("closing"));
        EXPECT_EQ(host.outstanding, 0);
    }
}

TEST(Extract, FolderMessageCarriesTheWholeFolderText) {
    FakeHost host;
    host.payload = ShippedLike();
    host.currentFolderFails = true;
    const std::string folder = "D:\\" + std::string(1020, 'x');  // 1023 bytes
    EXPECT_FALSE(ExtractPayload(host, State(folder.c_str())));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "(0001) Ошибка при создании папки " + folder);
}

TEST(Extract, ExistingFolderAndDirectoryAreFineAndFolderOutcomeIsIgnored) {
    for (bool folderCreationFails : {false, true}) {
        SCOPED_TRACE(folderCreationFails);
        FakeHost host;
        host.payload = ShippedLike();
        host.existingDirs = {kFolder, "HlpPic"};
        if (folderCreationFails) host.failingDirs.insert(kFolder);  // only the change decides
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.written["HlpPic\\arrow.gif"], "GIF");
    }
}

TEST(Extract, DirectoriesInTableOrderBeforeAnyFileAndFailureStopsBeforeFiles) {
    FakeHost host;
    host.payload = Archive({{0x30, 0, "A"}, {0x30, 0, "A\\B"}, {0x30, 0, "C"}},
                           {{0x20, 0, 2, "f", Bytes("1")}});
    host.failingDirs.insert("C");
    EXPECT_FALSE(ExtractPayload(host, State(kFolder)));
    std::vector<std::string> mkdirs;
    for (const std::string& c : host.calls)
        if (c.compare(0, 6, "mkdir ") == 0) mkdirs.push_back(c);
    EXPECT_EQ(mkdirs, (std::vector<std::string>{std::string("mkdir ") + kFolder, "mkdir A", "mkdir A\\B", "mkdir C"}));
    EXPECT_FALSE(host.Called("create"));
    EXPECT_FALSE(host.Called("quit"));
}

TEST(Extract, FileThatCannotBeCreatedIsSkippedAndTheWalkGoesOn) {
    FakeHost host;
    host.payload = ShippedLike();
    host.uncreatable.insert("Pelbrix.exe");
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(host.Called("attr Pelbrix.exe"));
    EXPECT_EQ(host.written.count("Pelbrix.exe"), 0u);
    EXPECT_EQ(host.written["HlpPic\\arrow.gif"], "GIF");  // the next record's data, not the skipped one's
    EXPECT_TRUE(host.Called("attr empty.txt 33"));
    EXPECT_EQ(host.calls.back(), "closing");
}

TEST(Extract, DataFileRule) {
    struct Case {
        const char* name;
        uint32_t directory;
        bool openable;       // the probe opens an existing file
        bool probed;
        bool created;
    };
    const Case cases[] = {
        {"Tolva.dat", 0, true, true, false},
        {"TOLVA.DAT", 0, true, true, false},
        {"tOlVa.dAt", 1, true, true, false},   // the directory plays no part
        {"Tolva.dat", 0, false, true, true},   // probe fails: created like any file
        {"Tolva.da", 0, true, false, true},
        {"Tolva.dat.bak", 0, true, false, true},
        {"Tolva.dat ", 0, true, false, true},
        {"Tolva\xE0.dat", 0, true, false, true},  // non-ASCII bytes must be equal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.payload = Archive({{0x30, 0, "HlpPic"}},
                               {{0x20, 5, c.directory, c.name, Bytes("data")}, {0x20, 6, 0, "after", Bytes("z")}});
        const std::string path = c.directory ? std::string("HlpPic\\") + c.name : std::string(c.name);
        if (c.openable) host.openableFiles.insert(path);
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_EQ(host.Called("probe " + path), c.probed);
        EXPECT_EQ(host.Called("create " + path), c.created);
        EXPECT_EQ(host.Called("attr " + path), c.created);
        EXPECT_EQ(host.written["after"], "z");
        if (c.probed && !c.created) {
            // Probe, close at once, nothing else on that file.
            auto at = std::find(host.calls.begin(), host.calls.end(), "probe " + path);
            ASSERT_NE(at + 1, host.calls.end());
            EXPECT_EQ(*(at + 1), "close");
            EXPECT_EQ(*(at + 2), "create after");
        }
    }
    EXPECT_TRUE(IsDataFileName("tolva.DAT"));
    EXPECT_FALSE(IsDataFileName("Tolva"));
    EXPECT_FALSE(IsDataFileName(""));
}

TEST(Extract, WrongChecksumNoDirectoriesAndLargerWorkingCopy) {
    FakeHost host;
    host.payload = Archive({}, {{0x20, 1, 0, "a", Bytes("x")}});
    host.payload[4] ^= 0x55;                  // checksum is never read
    host.payload.resize(host.payload.size() - 16);  // no tail: archiveLength == resource size
    const size_t size = host.payload.size();
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    // The second copy holds at least archiveLength bytes, even when the resource is that short.
    EXPECT_EQ(host.calls[2], "obtain " + std::to_string(size));
    EXPECT_EQ(host.calls[3], "release");
    EXPECT_EQ(host.calls[4], std::string("mkdir ") + kFolder);  // no table for no directories
    EXPECT_EQ(host.written["a"], "x");
}
