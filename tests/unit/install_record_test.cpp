// The installation record against a fake registry: what is read, written and deleted, and that
// every text read ends inside its buffer whatever the registry returns.
#include "system/install_record.h"

#include <gtest/gtest.h>
#include <map>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "base/product.h"
#include "base/text.h"
#include "system/uninstall_entry.h"
#include "tests/unit/test_util.h"

namespace {

typedef std::map<std::string, std::string> Values;  // raw bytes, stored as given
Values& Of(RegistryKey key) { return *static_cast<Values*>(key); }

// Keys by "HKLM\..." / "HKCU\..." path; a handle points at the key's values.
struct FakeRegistry final : Registry {
    std::map<std::string, Values> keys;
    bool failReads = false;
    std::string createFailsUnder;  // "HKLM", "HKCU" or both: no key of that root can be created
    std::string keyClass, query;   // of the last key created; the last value asked for, and its limit
    int openKeys = 0;

    static std::string Full(RegistryRoot root, const char* path) {
        return std::string(root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
    }
    bool OpenKey(RegistryRoot root, const char* path, RegistryKey* key) override {
        const auto it = keys.find(Full(root, path));
        return it != keys.end() && (*key = &it->second, ++openKeys);
    }
    bool CreateKey(RegistryRoot root, const char* path, const char* cls, RegistryKey* key) override {
        keyClass = cls;
        return createFailsUnder.find(Full(root, path).substr(0, 4)) == std::string::npos &&
               (*key = &keys[Full(root, path)], ++openKeys);
    }
    // Like RegQueryValueExA: a value longer than the limit fails and leaves the buffer scribbled.
    bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size, TextCode) override {
        query = std::string(name) + " limit " + std::to_string(limit);
        const auto it = Of(key).find(name);
        if (it == Of(key).end() || failReads) return false;
        if (it->second.size() > limit) return memset(data, '#', limit) == nullptr;
        return *size = static_cast<uint32_t>(it->second.copy(data, limit)), true;
    }
    bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length, TextCode) override {
        return Of(key)[name].assign(text, length), true;
    }
    bool SetNumberValue(RegistryKey key, const char* name, uint32_t value) override {
        return Of(key)[name] = "dword " + std::to_string(value), true;
    }
    void DeleteValue(RegistryKey key, const char* name) override { Of(key).erase(name); }
    void CloseKey(RegistryKey) override { --openKeys; }
    bool DeleteKey(RegistryRoot root, const char* path) override { return keys.erase(Full(root, path)) != 0; }
};

const char kVersionKeyPath[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetupKeyPath[] = "HKCU\\Software\\Pelbrix\\Setup";

const char* const kKeyMissing = "<no key>";
const char* const kValueMissing = "<no value>";

}  // namespace

// Both reads over one table. ProgramFilesDir changes the caller's buffer only with a whole,
// terminated folder; the recorded folder (here without FullPath) empties it whenever the Setup
// key exists. Values that
// exist but cannot be read count as missing.
TEST(InstallRecord, ReadsEndInsideTheirBuffers) {
    const std::string p259(259, 'p'), f1023(1023, 'f');
    // path, name, value, expected (nullptr: "before" kept)
    const std::tuple<bool, const char*, std::string, const char*> cases[] = {
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
    for (const auto& [path, name, value, expected] : cases) {
        for (bool failReads : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << (path ? "Path, " : "ProgramFilesDir, ") << name << (failReads ? ", unreadable" : ""));
            const std::string key = path ? kSetupKeyPath : kVersionKeyPath;
            FakeRegistry registry;
            registry.failReads = failReads;
            if (value != kKeyMissing) registry.keys[key];
            if (value != kKeyMissing && value != kValueMissing)
                registry.keys[key][path ? "Path" : "ProgramFilesDir"] = value;
            GuardedText<1024> buffer;  // a caller's buffer holding "before"
            strcpy(buffer.text, "before");
            const char* left = failReads && expected ? (path ? "" : nullptr) : expected;
            EXPECT_EQ(path ? ReadRecordedFolder(registry, buffer.text) : ReadProgramFilesDir(registry, buffer.text),
                      !path || (left != nullptr && left[0] != 0));
            EXPECT_STREQ(buffer.text, left ? left : "before");
            EXPECT_TRUE(buffer.UnwrittenFrom(path ? 1024 : left ? 260 : 7));  // nothing else written
            EXPECT_EQ(registry.openKeys, 0);
            if (value != kKeyMissing) EXPECT_EQ(registry.query, path ? "Path limit 1023" : "ProgramFilesDir limit 260");
        }
    }
}

// The Setup key's class and texts stored without terminator, its other values kept; FullPath only
// for a folder typed other than full (an earlier one goes); the toolbar layout gone, even when the
// Setup key cannot be created.
TEST(InstallRecord, WriteStoresPathAndVersionAndDropsToolBar) {
    const std::tuple<bool, const char*, const char*> cases[] = {
        {false, "D:\\Пелбриксон", ""}, {true, "D:\\P", ""}, {false, "\\P", "E:\\P"}};
    for (const auto& [createFails, folder, full] : cases) {
        SCOPED_TRACE(folder);
        FakeRegistry registry;
        registry.createFailsUnder = createFails ? "HKCU" : "";
        const Values before = {{"Other", "kept"}, {"Path", "\\Old"}, {"FullPath", "C:\\Old"}};
        registry.keys[kSetupKeyPath] = before;
        registry.keys["HKCU\\Software\\Pelbrix\\Main\\TFormMainToolBar"]["Layout"] = "x";
        InstallState state = {};
        CopyText(state.folder, folder);
        EXPECT_TRUE(WriteInstallRecord(registry, state, full));
        EXPECT_EQ(registry.keyClass, "VORTA");
        Values setup = before;
        if (!createFails) setup = {{"Other", "kept"}, {"Path", folder}, {"Version", PEL_VERSION}};
        if (!createFails && full[0] != 0) setup["FullPath"] = full;
        EXPECT_EQ(registry.keys, (std::map<std::string, Values>{{kSetupKeyPath, setup}}));
        char recorded[kPathSize];  // the uninstaller's reading: FullPath, else Path
        EXPECT_TRUE(ReadRecordedFolder(registry, recorded));
        EXPECT_STREQ(recorded, createFails ? "C:\\Old" : full[0] != 0 ? full : folder);
        EXPECT_EQ(registry.openKeys, 0);
    }
}

// The entry lands under HKLM, or under HKCU when the machine key cannot be created, with the
// size in KiB rounded up. (Its nine values, texts with their terminator and the date as
// YYYYMMDD, are checked by the Wine scenarios.)
TEST(UninstallEntry, RootAndSize) {
    // name, bytes, failsUnder, root (where the entry is, nullptr: nowhere), size
    const std::tuple<const char*, uint64_t, std::string, const char*, const char*> cases[] = {
        {"machine key", 1025, "", "HKLM", "dword 2"},
        {"no administrator rights: user key", 1024, "HKLM", "HKCU", "dword 1"},
        {"neither key: nothing, silently", 1, "HKLM HKCU", nullptr, ""},
    };
    for (const auto& [name, bytes, failsUnder, root, size] : cases) {
        SCOPED_TRACE(name);
        FakeRegistry registry;
        registry.createFailsUnder = failsUnder;
        EXPECT_TRUE(WriteUninstallEntry(registry, "D:\\Финансы", bytes, LocalDate{2026, 3, 7}));
        EXPECT_EQ(registry.openKeys, 0);
        EXPECT_EQ(registry.keys.size(), root ? 1u : 0u);
        if (root) EXPECT_EQ(registry.keys[std::string(root) + "\\" PEL_UNINSTALL_KEY]["EstimatedSize"], size);
    }
}
