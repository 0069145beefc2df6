// The installation record against a fake registry: what is read, written and deleted, and that
// every text read ends inside its buffer whatever the registry returns.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "installer/product.h"
#include "system/registry.h"

namespace {

struct FakeKey {
    std::string keyClass;
    std::map<std::string, std::string> values;  // raw bytes, stored as given
};

// Keys by "HKLM\..." / "HKCU\..." path; handles are pointers to the FakeKey.
struct FakeRegistry final : Registry {
    std::map<std::string, FakeKey> keys;
    bool createFails = false;
    bool failReads = false;  // values exist but cannot be read
    std::vector<std::string> calls;
    int openKeys = 0;

    static std::string Full(RegistryRoot root, const char* path) {
        return std::string(root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
    }
    bool OpenKey(RegistryRoot root, const char* path, RegistryKey* key) override {
        calls.push_back("open " + Full(root, path));
        auto it = keys.find(Full(root, path));
        if (it == keys.end()) return false;
        *key = &it->second;
        ++openKeys;
        return true;
    }
    bool CreateKey(RegistryRoot root, const char* path, const char* keyClass, RegistryKey* key) override {
        calls.push_back("create " + Full(root, path) + " class " + keyClass);
        if (createFails) return false;
        auto inserted = keys.emplace(Full(root, path), FakeKey{keyClass, {}});
        *key = &inserted.first->second;
        ++openKeys;
        return true;
    }
    // Like RegQueryValueExA: a value longer than the limit fails and leaves the buffer scribbled.
    bool QueryValue(RegistryKey key, const char* name, char* data, uint32_t limit, uint32_t* size) override {
        calls.push_back(std::string("query ") + name + " limit " + std::to_string(limit));
        auto& values = static_cast<FakeKey*>(key)->values;
        auto it = values.find(name);
        if (it == values.end() || failReads) return false;
        if (it->second.size() > limit) {
            memset(data, '#', limit);
            return false;
        }
        memcpy(data, it->second.data(), it->second.size());
        *size = static_cast<uint32_t>(it->second.size());
        return true;
    }
    bool SetTextValue(RegistryKey key, const char* name, const char* text, uint32_t length) override {
        calls.push_back(std::string("set ") + name + " " + std::to_string(length));
        static_cast<FakeKey*>(key)->values[name] = std::string(text, length);
        return true;
    }
    void CloseKey(RegistryKey) override { --openKeys; }
    bool DeleteKey(RegistryRoot root, const char* path) override {
        calls.push_back("delete " + Full(root, path));
        return keys.erase(Full(root, path)) != 0;
    }
};

const char kVersionKeyPath[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetupKeyPath[] = "HKCU\\Software\\Pelbrix\\Setup";
const char kToolBarKeyPath[] = "HKCU\\Software\\Pelbrix\\Main\\TFormMainToolBar";

// A caller's buffer with a sentinel run after it, pre-filled with a pattern.
template <size_t N>
struct Guarded {
    char text[N];
    char after[16];
    Guarded() { memset(this, 'X', sizeof *this); }
    bool AfterIntact() const { return std::string(after, sizeof after) == std::string(sizeof after, 'X'); }
};

struct ProgramFilesCase {
    const char* name;
    bool keyPresent;
    bool valuePresent;
    std::string value;
    const char* expected;  // nullptr: caller's buffer unchanged
};

TEST(InstallRecord, ReadProgramFilesDir) {
    const std::string full259(259, 'p');
    const ProgramFilesCase cases[] = {
        {"stored with terminator", true, true, std::string("C:\\Program Files\0", 17), "C:\\Program Files"},
        {"stored without terminator", true, true, "D:\\Programs", "D:\\Programs"},
        {"259 characters and terminator", true, true, full259 + '\0', full259.c_str()},
        {"259 characters, no terminator", true, true, full259, full259.c_str()},
        // Fills all 260 bytes without a terminator: once left the caller's buffer unterminated.
        {"260 bytes, no terminator", true, true, std::string(260, 'q'), nullptr},
        {"longer than 260 bytes", true, true, std::string(400, 'q'), nullptr},
        {"value missing", true, false, "", nullptr},
        {"key missing", false, false, "", nullptr},
    };
    for (const ProgramFilesCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        if (c.keyPresent) registry.keys[kVersionKeyPath] = {};
        if (c.valuePresent) registry.keys[kVersionKeyPath].values["ProgramFilesDir"] = c.value;
        Guarded<260> buffer;
        strcpy(buffer.text, "before");
        EXPECT_TRUE(ReadProgramFilesDir(registry, buffer.text));
        if (c.expected) {
            EXPECT_STREQ(buffer.text, c.expected);
        } else {
            EXPECT_STREQ(buffer.text, "before");
            EXPECT_EQ(std::string(buffer.text + 7, 253), std::string(253, 'X'));  // nothing else written
        }
        EXPECT_TRUE(buffer.AfterIntact());
        EXPECT_EQ(registry.openKeys, 0);
        if (c.valuePresent) {
            EXPECT_EQ(registry.calls.back(), "query ProgramFilesDir limit 260");
        }
    }
}

struct InstalledPathCase {
    const char* name;
    bool keyPresent;
    bool valuePresent;
    std::string value;
    bool expectedResult;
    const char* expected;  // nullptr: caller's buffer unchanged
};

TEST(InstallRecord, ReadInstalledPath) {
    const std::string full1023(1023, 'f');
    const InstalledPathCase cases[] = {
        {"as the installer writes it", true, true, "C:\\Program Files\\Pelbrix", true, "C:\\Program Files\\Pelbrix"},
        {"stored with terminator", true, true, std::string("D:\\Pelbrix\0", 11), true, "D:\\Pelbrix"},
        {"Cyrillic folder", true, true, "D:\\Финансы", true, "D:\\Финансы"},
        {"1023 bytes without terminator", true, true, full1023, true, full1023.c_str()},
        {"1023 characters and terminator: does not fit", true, true, full1023 + '\0', false, ""},
        {"far too long", true, true, std::string(5000, 'f'), false, ""},
        {"empty value", true, true, "", false, ""},
        {"only a terminator", true, true, std::string(1, '\0'), false, ""},
        {"value missing", true, false, "", false, ""},
        {"no Setup key", false, false, "", false, nullptr},
    };
    for (const InstalledPathCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        if (c.keyPresent) registry.keys[kSetupKeyPath] = {};
        if (c.valuePresent) registry.keys[kSetupKeyPath].values["Path"] = c.value;
        Guarded<1024> buffer;
        strcpy(buffer.text, "before");
        EXPECT_EQ(ReadInstalledPath(registry, buffer.text), c.expectedResult);
        EXPECT_STREQ(buffer.text, c.expected ? c.expected : "before");
        EXPECT_TRUE(buffer.AfterIntact());
        EXPECT_EQ(registry.openKeys, 0);
        if (c.keyPresent) {
            EXPECT_EQ(registry.calls.back(), "query Path limit 1023");
        }
    }
}

TEST(InstallRecord, UnreadablePathCountsAsMissing) {
    FakeRegistry registry;
    registry.keys[kSetupKeyPath].values["Path"] = "C:\\Pelbrix";
    registry.failReads = true;
    char buffer[1024] = "before";
    EXPECT_FALSE(ReadInstalledPath(registry, buffer));
    EXPECT_STREQ(buffer, "");
}

TEST(InstallRecord, WriteStoresPathAndVersionAndDropsToolBar) {
    FakeRegistry registry;
    registry.keys[kSetupKeyPath].values["Other"] = "kept";
    registry.keys[kSetupKeyPath].values["Path"] = "C:\\Old";
    registry.keys[kToolBarKeyPath].values["Layout"] = "x";
    InstallState state = {};
    strcpy(state.folder, "D:\\Пелбриксон");
    EXPECT_TRUE(WriteInstallRecord(registry, state));

    const std::vector<std::string> expected = {
        std::string("create ") + kSetupKeyPath + " class VORTA", "set Path 13", "set Version 5",
        std::string("delete ") + kToolBarKeyPath};
    EXPECT_EQ(registry.calls, expected);
    const auto& values = registry.keys[kSetupKeyPath].values;
    EXPECT_EQ(values.at("Path"), "D:\\Пелбриксон");  // no terminator stored
    EXPECT_EQ(values.at("Version"), PEL_VERSION);
    EXPECT_EQ(values.at("Other"), "kept");
    EXPECT_EQ(values.size(), 3u);
    EXPECT_EQ(registry.keys.count(kToolBarKeyPath), 0u);
    EXPECT_EQ(registry.openKeys, 0);

    // What was written reads back as the same folder.
    char buffer[1024];
    EXPECT_TRUE(ReadInstalledPath(registry, buffer));
    EXPECT_STREQ(buffer, state.folder);
}

TEST(InstallRecord, WriteWithoutSetupKeyStillDropsToolBar) {
    FakeRegistry registry;
    registry.createFails = true;
    InstallState state = {};
    strcpy(state.folder, "C:\\Pelbrix");
    EXPECT_TRUE(WriteInstallRecord(registry, state));
    const std::vector<std::string> expected = {std::string("create ") + kSetupKeyPath + " class VORTA",
                                               std::string("delete ") + kToolBarKeyPath};
    EXPECT_EQ(registry.calls, expected);
}

TEST(InstallRecord, WriteLongestFolder) {
    // A folder text filling all 1023 bytes is stored whole and reads back whole.
    FakeRegistry registry;
    InstallState state = {};
    memset(state.folder, 'f', 1023);
    WriteInstallRecord(registry, state);
    EXPECT_EQ(registry.keys[kSetupKeyPath].values["Path"].size(), 1023u);
    char buffer[1024];
    EXPECT_TRUE(ReadInstalledPath(registry, buffer));
    EXPECT_EQ(strlen(buffer), 1023u);
}

}  // namespace
