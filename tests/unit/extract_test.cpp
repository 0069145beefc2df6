// ExtractPayload over the memory host (tests/memory_folder.h), which records every call in order.
#include "payload/extract.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "base/ansi_text.h"
#include "tests/memory_folder.h"
#include "tests/unit/test_util.h"

namespace {

const std::string kFolder = "C:\\Program Files\\Pelbrix";

// Two directories and three files (4 + 3 + 0 data bytes).
Bytes ShippedLike() {
    return BuiltArchive({{0x30, 7, "HlpPic"}, {0x30, 8, "HlpPic\\Big"}}, {{0x20, 11, 0, "Pelbrix.exe", B("MZ..")},
                                                                          {0x20, 12, 2, "arrow.gif", B("GIF")},
                                                                          {0x21, 13, 1, "empty.txt", {}}});
}

// The memory host over an archive, answering each question in turn from answers; onAsk is what
// the user does while a question is open.
struct FakeHost : MemoryHost {
    std::vector<FileAnswer> answers;
    std::function<void()> onAsk;

    explicit FakeHost(const Bytes& archive = ShippedLike(), uint32_t folderAttributes = kNoAttributes) {
        payload = archive;
        folder = folderAttributes;
    }
    FileAnswer AskAboutFile(const char* text) override {
        calls.push_back(std::string("ask ") + text);
        if (onAsk) onAsk();
        EXPECT_FALSE(answers.empty()) << "unexpected question: " << text;
        const FileAnswer answer = answers.empty() ? FileAnswer::Abort : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        return answer;
    }
};

InstallState State(const std::string& folder) {
    InstallState s = {};
    strcpy(s.folder, folder.c_str());
    return s;
}

// An earlier file's name while the run keeps it aside.
std::string Aside(const std::string& path) {
    const size_t leaf = path.rfind('\\') + 1;  // none: npos + 1 is 0
    return path.substr(0, leaf) + "~pel1234abcd-" + path.substr(leaf);
}

// The calls that replace an earlier file: moved aside, then created new at its place, data, times,
// close.
std::vector<std::string> Replaced(const std::string& path, const std::string& data, uint64_t time) {
    return {"rename " + path + " " + Aside(path), "create " + path, "write " + data + " " + path,
            "times " + std::to_string(time) + " " + path, "close " + path};
}

// A first installation into folder succeeds.
bool ExtractsInto(const std::string& folder) {
    FakeHost host;
    host.root = folder;
    return ExtractPayload(host, State(folder));
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

// An update: the blocks of memory first (the whole resource, the body from position 12 on, the
// first gone before the directory table); one listing a folder; an earlier file whose attributes,
// time, size or bytes are not the record's is moved aside, kept there until the end (its read-only
// bit cleared only to remove it), and the new one created in its place; only one with the record's
// attributes, time and size is read, and left alone when its bytes are the record's; a user's file
// stays. The folder's creation fails (as at a drive root): only the change into it decides.
TEST(Extract, UpdateInOrder) {
    std::vector<ArchiveFileSpec> files = {{0x20, 11, 0, "uninstall.exe", B("MZ..")}};
    for (const char* gif : {"a", "same", "b", "c"}) files.push_back({0x20, 12, 1, gif + std::string(".gif"), B("GIF")});
    FakeHost host(BuiltArchive({{0x30, 7, "HlpPic"}}, files), 0x10);
    host.fail.insert("mkdir " + kFolder);
    Disk installed = {{"HlpPic", {0x10, "", 0}}, {"notes.txt", {0x22, "mine", 2}}};
    for (const auto& f : files)
        installed[(f.directoryIndex ? "HlpPic\\" : "") + f.name] = {0x20, std::string(f.data.begin(), f.data.end()),
                                                                    f.time};
    host.disk = installed;  // but same.gif, each earlier file the archive's but for one thing
    host.disk["uninstall.exe"].attributes = 0x21;
    host.disk["HlpPic\\a.gif"].time = 9;
    host.disk["HlpPic\\b.gif"].data = "GIT";
    host.disk["HlpPic\\c.gif"].data = "GIFs";
    const size_t size = host.payload.size();
    ASSERT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_EQ(std::vector<std::string>(host.calls.begin(), host.calls.begin() + 5),
              (std::vector<std::string>{"load", "obtain " + std::to_string(size), "obtain " + std::to_string(size - 12),
                                        "release", "obtain 1027"}));
    const std::string backup = Aside("uninstall.exe");
    const std::vector<std::string> expected =
        Join({{"mkdir " + kFolder, "look " + kFolder, "cd " + kFolder, "list ", "mkdir HlpPic", "look HlpPic",
               "list HlpPic"},
              Replaced("uninstall.exe", "MZ..", 11),
              Replaced("HlpPic\\a.gif", "GIF", 12),
              {"read HlpPic\\same.gif", "read HlpPic\\b.gif"},
              Replaced("HlpPic\\b.gif", "GIF", 12),
              Replaced("HlpPic\\c.gif", "GIF", 12),
              {"remove earlier by " + backup, "attr " + backup + " 32", "delete " + backup,
               "delete " + Aside("HlpPic\\a.gif"), "delete " + Aside("HlpPic\\b.gif"),
               "delete " + Aside("HlpPic\\c.gif"), "release", "release", "release"}});
    EXPECT_EQ(host.From("mkdir"), expected);
    EXPECT_EQ(host.disk, installed);
}

// Each failure before any file gives one message and, but for a directory, the quit request as
// the very last call; nothing is created, or what was is gone again.
void ExpectRefused(FakeHost& host, const std::string& folder, const std::string& message, bool folderTried) {
    const Disk before = host.disk;
    const uint32_t folderBefore = host.folder;
    EXPECT_FALSE(ExtractPayload(host, State(folder)));
    const std::vector<std::string> last = {"message " + message, "quit 1"};
    const bool quit = message[0] == '(';  // the directory's message has no parentheses
    EXPECT_EQ(host.From("message "), std::vector<std::string>(last.begin(), last.end() - (quit ? 0 : 1)));
    EXPECT_EQ(host.Called("mkdir"), folderTried);
    EXPECT_FALSE(host.Called("create"));
    EXPECT_EQ(host.disk, before);
    EXPECT_EQ(host.folder, folderBefore);
    EXPECT_EQ(host.blocks.size(), 0u);
}

TEST(Extract, FailureTable) {
    const std::string memoryMessage = "Ошибка. Недостаточно памяти.",
                      folderMessage = "(0001) Ошибка при создании папки ";
    // The longest path, "HlpPic\Big\arrow.gif", with a working name in place: 33 characters.
    const std::string fits = "C:\\" + std::string(222, 'f'), tooLong = fits + "f";
    // Refused before anything is made: relative (as "C:" and "Pelbrix" in the Wine scenarios), too
    // long for the deepest working name (and the longest text, 1023 bytes, reaching its message
    // whole), or a character Windows refuses in a path (the ANSI code page's "?" for a character
    // it lacks among them).
    for (const std::string& folder :
         {std::string("C:Pelbrix"), std::string("..\\x"), std::string(), std::string("\\\\"), std::string("1:\\x"),
          tooLong, "D:\\" + std::string(1020, 'x'), std::string("C:\\Caf?"), std::string("C:\\Pel:brix"),
          std::string("C:\\a|b"), std::string("C:\\a\tb")}) {
        SCOPED_TRACE(folder);
        FakeHost host;
        ExpectRefused(host, folder, folderMessage + kAnsiMark + folder + kAnsiMark, false);
    }
    // The resource, then each of the four blocks of memory.
    for (int at = -1; at < 4; ++at) {
        SCOPED_TRACE(at);
        FakeHost host;
        if (at < 0) host.fail.insert("load");
        host.failObtainAt = at;
        ExpectRefused(host, kFolder, (at < 0 ? "(0001) " : at == 0 ? "(0002) " : "(0003) ") + memoryMessage, false);
    }
    // After the folder is made: it cannot be made current (the one created goes), it is a link, a
    // directory cannot be created (no later directory, no file, the folder gone), or a file is
    // where a directory goes.
    const std::string marked = folderMessage + kAnsiMark + kFolder + kAnsiMark,
                      directory = "0002 Ошибка при создании папки HlpPic";
    const std::tuple<std::string, uint32_t, bool, std::string> cases[] = {
        {"cd " + kFolder, kNoAttributes, false, marked},
        {"", 0x410, false, marked},
        {"mkdir HlpPic", kNoAttributes, false, directory},
        {"", 0x10, true, directory},
    };
    for (const auto& [failing, folder, fileThere, message] : cases) {
        SCOPED_TRACE(message + failing);
        FakeHost host(ShippedLike(), folder);
        host.fail.insert(failing);
        if (fileThere) host.disk["HlpPic"] = {0x20, "mine", 1};
        ExpectRefused(host, kFolder, message, true);
    }
    // Two records for one place (Ї, ї; A, a): broken, refused before the folder.
    FakeHost twice(
        BuiltArchive({{0x30, 7, "\xAF"}, {0x30, 7, "\xBF"}}, {{0x20, 1, 1, "A", B("1")}, {0x20, 1, 2, "a", {}}}));
    ExpectRefused(twice, kFolder, "(0004) Ошибка. Архив программы повреждён.", false);
    // The folder that just leaves room, and others that name one place whatever the current one.
    for (const std::string& folder :
         {fits, std::string("\\\\?\\C:\\Pelbrix"), std::string("d:/Pelbrix"), std::string("\\\\server\\share\\Pelbrix"),
          std::string("\\Pelbrix"), std::string("Z:\\")})
        EXPECT_TRUE(ExtractsInto(folder)) << folder;
    // In a double-byte code page (932) a letter's second byte may be "|" or "\\": the folder is
    // read by letters, so "C:\ポ表" is taken, and a rollback leaves it for its real parent.
    const uint8_t kLeadBytes932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    SetAnsiLeadBytes(kLeadBytes932, sizeof kLeadBytes932);
    const std::string japanese = "C:\\\x83\x7C\x95\x5C";
    FakeHost host;
    host.root = japanese;
    host.fail.insert("create Pelbrix.exe");
    host.answers = {FileAnswer::Abort};
    EXPECT_FALSE(ExtractPayload(host, State(japanese)));
    const auto out = std::find(host.calls.begin(), host.calls.end(), "cd C:\\");
    ASSERT_NE(out, host.calls.end());
    EXPECT_EQ(out[1], "rmdir " + japanese);
    // The limit counts UTF-16 units as Windows does, whatever the code page: the folder that just
    // leaves room takes as many letters of two bytes (936) or of three (65001) as "fits" has, and
    // half as many of four (two units each); one more is refused.
    const uint8_t kLeadBytes936[] = {0x81, 0xFE, 0, 0};
    for (const char* letter : {"\xD6\xD0", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"}) {
        SetAnsiLeadBytes(kLeadBytes936, strlen(letter) > 2 ? 0 : sizeof kLeadBytes936);
        SetAnsiUtf8(strlen(letter) > 2);
        std::string folder = "C:\\";
        for (size_t i = 0; i < (strlen(letter) == 4 ? 111u : 222u); ++i) folder += letter;
        EXPECT_TRUE(ExtractsInto(folder)) << strlen(letter);
        FakeHost more;
        ExpectRefused(more, folder + letter, folderMessage + kAnsiMark + folder + letter + kAnsiMark, false);
    }
    SetAnsiUtf8(false);
    SetAnsiLeadBytes(nullptr, 0);
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
        FakeHost host(BuiltArchive({{0x30, 1, "d"}},
                                   {{0x20, 5, 0, "a", B("1")}, {0x21, 6, 0, "b", B("2")}, {0x20, 9, 1, "c", {}}}),
                      0x10);
        host.fail.insert(c.failing.begin(), c.failing.end());
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
// finished run could not remove only goes. Names of those forms beside no file of the archive are
// the user's. The earlier version's own files go by the list of its uninstaller as it was before
// the killed run: the one that came back and this run moved aside, or the killed run's backup
// where that could not come back (a program held the file in its place).
TEST(Extract, KilledRunIsSettled) {
    const std::tuple<FileAnswer, const char*, const char*> cases[] = {
        {FileAnswer::Abort, "", "-"},
        {FileAnswer::Ignore, "", "~pel1234abcd-uninstall.exe"},
        {FileAnswer::Ignore, "delete uninstall.exe", "~pel00c0ffee-uninstall.exe"},
    };
    for (const auto& [answer, failing, earlier] : cases) {
        FakeHost host(BuiltArchive({}, {{0x20, 5, 0, "uninstall.exe", B("1")}, {0x20, 6, 0, "b", B("2")}}), 0x10);
        const Disk users = {{"~pel00000000=notes.txt", {0x20, "mine", 1}},
                            {"~pelcafebabe+report.doc", {0x20, "mine", 1}}};
        host.disk = {{"uninstall.exe", {0x20, "half", 3}},
                     {"~pel00c0ffee-uninstall.exe", {0x21, "old", 2}},
                     {"~pel00c0ffee+b", {0x20, "x", 1}},
                     {"~pel0000beef=b", {0x21, "a finished run's", 4}}};
        host.disk.insert(users.begin(), users.end());
        host.fail.insert({"create b", failing});
        host.answers = {answer};
        EXPECT_EQ(ExtractPayload(host, State(kFolder)), answer == FileAnswer::Ignore);
        Disk expected = users;
        expected["uninstall.exe"] = answer == FileAnswer::Ignore ? Node{0x20, "1", 5} : Node{0x21, "old", 2};
        EXPECT_EQ(host.disk, expected);
        EXPECT_EQ(host.Called("remove earlier by " + std::string(earlier)), answer == FileAnswer::Ignore);
    }
}

// In two steps, the earlier file kept aside goes after the run's last page; the run marks itself
// as one that succeeded first (a finished run's name beside its first file), so that the next run
// after a kill in between lets the backup go rather than bring it back.
TEST(Extract, SucceededRunKilledBeforeItsBackupsWent) {
    const Bytes archive = BuiltArchive({}, {{0x20, 5, 0, "a", B("1")}, {0x20, 6, 0, "b", B("2")}});
    FakeHost first(archive, 0x10);
    first.disk = {{"a", {0x20, "old", 1}}};
    uint64_t bytes = 0;
    ExtractionRun* run = ExtractKeepingBackups(first, State(kFolder), bytes);
    ASSERT_NE(run, nullptr);
    const Disk killed = first.disk;
    EXPECT_EQ(killed.count("~pel1234abcd=a") + killed.count("~pel1234abcd-a"), 2u);
    FinishExtraction(run);
    const Disk done = {{"a", {0x20, "1", 5}}, {"b", {0x20, "2", 6}}};
    EXPECT_EQ(first.disk, done);
    FakeHost next(archive, 0x10);
    next.disk = killed;
    next.tag = 0x0badf00d;
    EXPECT_TRUE(ExtractPayload(next, State(kFolder)));
    EXPECT_FALSE(next.Called("rename ~pel1234abcd-a a"));
    EXPECT_EQ(next.disk, done);
}

// Only name surrogates are links; a reparse point without a tag (Wine's links) counts as one.
TEST(Extract, OnlyNameSurrogatesAreLinks) {
    const std::tuple<const char*, uint32_t, uint32_t, uint32_t> cases[] = {
        {"symbolic link", 0x420, 0xA000000C, 0x420},
        {"junction", 0x410, 0xA0000003, 0x410},
        {"Wine's link", 0x410, 0, 0x410},
        {"cloud placeholder", 0x420, 0x9000001A, 0x20},
        {"deduplicated", 0x421, 0x80000013, 0x21},
        {"nothing", kNoAttributes, 5, kNoAttributes}};
    for (const auto& [what, attributes, tag, read] : cases) EXPECT_EQ(LinkAttributes(attributes, tag), read) << what;
}

// Anything of the data file's name that is there stays untouched and nothing is asked about it,
// from the listing alone; an absent one is written; one that appears while a question about it
// is open is the user's on Retry.
TEST(Extract, DataFileRule) {
    const std::pair<const char*, bool> names[] = {
        {"Tolva.dat", true}, {"TOLVA.DAT", true},   {"tOlVa.dAt", true},
        {"Tolva.da", false}, {"Tolva.data", false}, {"Tolva\xE0.dat", false}};  // non-ASCII bytes must be equal
    for (const auto& [name, data] : names) EXPECT_EQ(IsDataFileName(name), data) << name;
    // earlier attributes (kNoAttributes: none), held
    const std::tuple<const char*, uint32_t, bool> cases[] = {
        {"writable", 0x20, false}, {"read-only", 0x21, false}, {"hidden", 0x22, false},
        {"held", 0x20, true},      {"a folder", 0x10, false},  {"absent", kNoAttributes, false}};
    for (const auto& [what, earlier, held] : cases) {
        SCOPED_TRACE(what);
        FakeHost host(BuiltArchive({}, {{0x20, 5, 0, "tOlVa.dAt", B("data")}}), 0x10);
        if (earlier != kNoAttributes) host.disk["tOlVa.dAt"] = {earlier, "mine", 1};
        if (held) host.held = "tOlVa.dAt";
        Disk expected = host.disk;
        if (earlier == kNoAttributes) expected["tOlVa.dAt"] = {0x20, "data", 5};
        EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
        EXPECT_EQ(host.disk, expected);
    }
    FakeHost host(BuiltArchive({}, {{0x20, 5, 0, "Tolva.dat", B("data")}}));
    host.fail.insert("create ~pel1234abcd+Tolva.dat");
    host.onAsk = [&] { host.disk["Tolva.dat"] = {0x20, "mine", 1}; };
    host.answers = {FileAnswer::Retry};
    EXPECT_TRUE(ExtractPayload(host, State(kFolder)));
    EXPECT_EQ(host.disk["Tolva.dat"].data, "mine");
}
