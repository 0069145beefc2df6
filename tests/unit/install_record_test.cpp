// The installation record against a fake registry: what is read, written and deleted, and that
// every text read ends inside its buffer whatever the registry returns.
#include "system/install_record.h"

#include <gtest/gtest.h>
#include <map>
#include <string.h>
#include <string>
#include <vector>

#include "base/product.h"
#include "base/text.h"
#include "system/uninstall_entry.h"
#include "tests/unit/test_util.h"

namespace {

typedef std::map<std::string, std::string> Values;  // raw bytes, stored as given

// Keys by "HKLM\..." / "HKCU\..." path; a handle points at the key's values.
struct FakeRegistry final : Registry {
    std::map<std::string, Values> keys;
    bool failReads = false;
    std::string createFailsUnder;  // "HKLM", "HKCU" or both: no key of that root can be created
    std::string keyClass;          // of the last key created
    std::vector<std::string> calls;
    int openKeys = 0;

    static std::string Full(RegistryRoot root, const char* path) {
        return std::string(root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
    }
    bool OpenKey(RegistryRoot root, const char* path, RegistryKey* key) override {
        auto it = keys.find(Full(root, path));
        if (it == keys.end()) return false;
        *key = &it->second;
        return ++openKeys;
    }
    bool CreateKey(RegistryRoot root, const char* path, const char* cls, RegistryKey* key) override {
        keyClass = cls;
        if (createFailsUnder.find(Full(root, path).substr(0, 4)) != std::string::npos) return false;
        *key = &keys[Full(root, path)];
        return ++openKeys;
    }
    // Like RegQueryValueExA: a value longer than the limit fails and leaves the buffer scribbled.
    bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size) override {
        calls.push_back(std::string("query ") + name + " limit " + std::to_string(limit));
        const Values& values = *static_cast<Values*>(key);
        auto it = values.find(name);
        if (it == values.end() || failReads) return false;
        if (it->second.size() > limit) return memset(data, '#', limit) == nullptr;
        memcpy(data, it->second.data(), it->second.size());
        *size = static_cast<uint32_t>(it->second.size());
        return true;
    }
    bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length, TextCode) override {
        (*static_cast<Values*>(key))[name] = std::string(text, length);
        return true;
    }
    bool SetNumberValue(RegistryKey key, const char* name, uint32_t value) override {
        (*static_cast<Values*>(key))[name] = "dword " + std::to_string(value);
        return true;
    }
    void DeleteValue(RegistryKey key, const char* name) override { static_cast<Values*>(key)->erase(name); }
    void CloseKey(RegistryKey) override { --openKeys; }
    bool DeleteKey(RegistryRoot root, const char* path) override { return keys.erase(Full(root, path)) != 0; }
};

const char kVersionKeyPath[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetupKeyPath[] = "HKCU\\Software\\Pelbrix\\Setup";

const char* const kKeyMissing = "<no key>";
const char* const kValueMissing = "<no value>";

}  // namespace

// Both reads over one table. ProgramFilesDir changes the caller's buffer only with a whole,
// terminated folder; the installed path empties it whenever the Setup key exists. Values that
// exist but cannot be read count as missing.
TEST(InstallRecord, ReadsEndInsideTheirBuffers) {
    const std::string p259(259, 'p'), f1023(1023, 'f');
    struct Case {
        bool path;
        const char* name;
        std::string value;
        const char* expected;
    };  // nullptr: "before" kept
    const Case cases[] = {
        {false, "stored without terminator", "D:\\Programs", "D:\\Programs"},
        {false, "259 characters and terminator", p259 + '\0', p259.c_str()},
        {false, "259 characters, no terminator", p259, p259.c_str()},
        // Fills all 260 bytes without a terminator: once left the caller's buffer unterminated.
        {false, "260 bytes, no terminator", std::string(260, 'q'), nullptr},
        {false, "key missing", kKeyMissing, nullptr},
        {true, "1023 bytes without terminator", f1023, f1023.c_str()},
        {true, "1023 characters and terminator: does not fit", f1023 + '\0', ""},
        {true, "only a terminator", std::string(1, '\0'), ""},
        {true, "value missing", kValueMissing, ""},
        {true, "no Setup key", kKeyMissing, nullptr},
    };
    for (const Case& c : cases) {
        for (bool failReads : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << (c.path ? "Path, " : "ProgramFilesDir, ") << c.name << (failReads ? ", unreadable" : ""));
            const std::string key = c.path ? kSetupKeyPath : kVersionKeyPath;
            FakeRegistry registry;
            registry.failReads = failReads;
            if (c.value != kKeyMissing) registry.keys[key];
            if (c.value != kKeyMissing && c.value != kValueMissing)
                registry.keys[key][c.path ? "Path" : "ProgramFilesDir"] = c.value;
            GuardedText<1024> buffer;  // a caller's buffer holding "before"
            strcpy(buffer.text, "before");
            const char* expected = failReads && c.expected ? (c.path ? "" : nullptr) : c.expected;
            EXPECT_EQ(c.path ? ReadInstalledPath(registry, buffer.text) : ReadProgramFilesDir(registry, buffer.text),
                      !c.path || (expected != nullptr && expected[0] != 0));
            EXPECT_STREQ(buffer.text, expected ? expected : "before");
            EXPECT_TRUE(buffer.UnwrittenFrom(c.path ? 1024 : expected ? 260 : 7));  // nothing else written
            EXPECT_EQ(registry.openKeys, 0);
            if (c.value != kKeyMissing) {
                EXPECT_EQ(registry.calls.back(), c.path ? "query Path limit 1023" : "query ProgramFilesDir limit 260");
            }
        }
    }
}

// The Setup key's class and texts stored without terminator, its other values kept; FullPath only
// for a folder typed other than full (an earlier one goes); the toolbar layout gone, even when the
// Setup key cannot be created.
TEST(InstallRecord, WriteStoresPathAndVersionAndDropsToolBar) {
    struct Case {
        bool createFails;
        const char* folder;
        const char* full;
    };
    const Case cases[] = {
        {false, "D:\\Пелбриксон", "D:\\Пелбриксон"}, {true, "D:\\P", "D:\\P"}, {false, "\\P", "E:\\P"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        FakeRegistry registry;
        registry.createFailsUnder = c.createFails ? "HKCU" : "";
        const Values before = {{"Other", "kept"}, {"Path", "\\Old"}, {"FullPath", "C:\\Old"}};
        registry.keys[kSetupKeyPath] = before;
        registry.keys["HKCU\\Software\\Pelbrix\\Main\\TFormMainToolBar"]["Layout"] = "x";
        InstallState state = {};
        CopyText(state.folder, c.folder);
        EXPECT_TRUE(WriteInstallRecord(registry, state, c.full));
        EXPECT_EQ(registry.keyClass, "VORTA");
        Values setup = before;
        if (!c.createFails) setup = {{"Other", "kept"}, {"Path", c.folder}, {"Version", PEL_VERSION}};
        if (!c.createFails && strcmp(c.folder, c.full) != 0) setup["FullPath"] = c.full;
        EXPECT_EQ(registry.keys, (std::map<std::string, Values>{{kSetupKeyPath, setup}}));
        char recorded[kPathSize];  // the uninstaller's reading: FullPath, else Path
        EXPECT_TRUE(ReadRecordedFolder(registry, recorded));
        EXPECT_STREQ(recorded, c.createFails ? "C:\\Old" : c.full);
        EXPECT_EQ(registry.openKeys, 0);
    }
}

// The entry lands under HKLM, or under HKCU when the machine key cannot be created, with the
// size in KiB rounded up. (Its nine values, texts with their terminator and the date as
// YYYYMMDD, are checked by the Wine scenarios.)
TEST(UninstallEntry, RootAndSize) {
    struct Case {
        const char* name;
        uint64_t bytes;
        std::string failsUnder;
        const char* root;  // where the entry is, nullptr: nowhere
        const char* size;
    };
    const Case cases[] = {
        {"machine key", 1025, "", "HKLM", "dword 2"},
        {"no administrator rights: user key", 1024, "HKLM", "HKCU", "dword 1"},
        {"neither key: nothing, silently", 1, "HKLM HKCU", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        registry.createFailsUnder = c.failsUnder;
        EXPECT_TRUE(WriteUninstallEntry(registry, "D:\\Финансы", c.bytes, LocalDate{2026, 3, 7}));
        EXPECT_EQ(registry.openKeys, 0);
        EXPECT_EQ(registry.keys.size(), c.root ? 1u : 0u);
        if (c.root) EXPECT_EQ(registry.keys[std::string(c.root) + "\\" PEL_UNINSTALL_KEY]["EstimatedSize"], c.size);
    }
}
