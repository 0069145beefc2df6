// The PE resource lookup of pelpack over PE files built here byte by byte: sound files of both
// widths, language choice, and malformed files (every truncation, every byte corrupted), which
// must give an error and never a read outside the buffer (the test build runs under ASan).
#include <gtest/gtest.h>
#include <map>
#include <string.h>
#include <vector>

#include "tools/pe_resource.h"

namespace {

struct Res {
    uint32_t type;
    uint32_t id;
    uint16_t language;
    std::vector<uint8_t> data;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

const uint32_t kSectionRva = 0x1000;
const size_t kSectionFileOffset = 0x200;

// The .rsrc section: type, name and language directories (id entries only, in the given
// order), then the data entries, then the data.
std::vector<uint8_t> BuildTree(const std::vector<Res>& resources) {
    std::map<uint32_t, std::map<uint32_t, std::vector<size_t>>> tree;
    for (size_t i = 0; i < resources.size(); ++i) tree[resources[i].type][resources[i].id].push_back(i);
    std::vector<uint8_t> s;
    auto directory = [&s](size_t count) {
        size_t at = s.size();
        s.resize(at + 16 + 8 * count);
        Put16(s, at + 14, static_cast<uint32_t>(count));
        return at;
    };
    std::vector<std::pair<size_t, size_t>> leaves;  // language entry position, resource index
    size_t root = directory(tree.size());
    size_t t = 0;
    for (auto& type : tree) {
        size_t typeDir = directory(type.second.size());
        Put32(s, root + 16 + 8 * t, type.first);
        Put32(s, root + 20 + 8 * t, 0x80000000u | static_cast<uint32_t>(typeDir));
        size_t n = 0;
        for (auto& name : type.second) {
            size_t nameDir = directory(name.second.size());
            Put32(s, typeDir + 16 + 8 * n, name.first);
            Put32(s, typeDir + 20 + 8 * n, 0x80000000u | static_cast<uint32_t>(nameDir));
            for (size_t l = 0; l < name.second.size(); ++l) {
                Put32(s, nameDir + 16 + 8 * l, resources[name.second[l]].language);
                leaves.push_back({nameDir + 20 + 8 * l, name.second[l]});
            }
            ++n;
        }
        ++t;
    }
    std::vector<size_t> dataEntries;
    for (auto& leaf : leaves) {
        size_t at = s.size();
        s.resize(at + 16);
        Put32(s, leaf.first, static_cast<uint32_t>(at));
        dataEntries.push_back(at);
    }
    for (size_t i = 0; i < leaves.size(); ++i) {
        const Res& r = resources[leaves[i].second];
        size_t at = s.size();
        s.insert(s.end(), r.data.begin(), r.data.end());
        Put32(s, dataEntries[i], kSectionRva + static_cast<uint32_t>(at));
        Put32(s, dataEntries[i] + 4, static_cast<uint32_t>(r.data.size()));
    }
    return s;
}

std::vector<uint8_t> BuildPe(bool plus, const std::vector<Res>& resources) {
    std::vector<uint8_t> section = BuildTree(resources);
    std::vector<uint8_t> f(kSectionFileOffset, 0);
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, 0x40);
    memcpy(&f[0x40], "PE\0\0", 4);
    size_t coff = 0x44, optional = coff + 20;
    uint32_t optionalSize = plus ? 240 : 224;
    Put16(f, coff, plus ? 0x8664 : 0x14C);
    Put16(f, coff + 2, 1);
    Put16(f, coff + 16, optionalSize);
    Put16(f, optional, plus ? 0x20B : 0x10B);
    Put32(f, optional + (plus ? 108 : 92), 16);
    size_t dirs = optional + (plus ? 112 : 96);
    Put32(f, dirs + 16, kSectionRva);
    Put32(f, dirs + 20, static_cast<uint32_t>(section.size()));
    size_t header = optional + optionalSize;
    memcpy(&f[header], ".rsrc\0\0\0", 8);
    Put32(f, header + 8, static_cast<uint32_t>(section.size()));
    Put32(f, header + 12, kSectionRva);
    Put32(f, header + 16, static_cast<uint32_t>(section.size()));
    Put32(f, header + 20, static_cast<uint32_t>(kSectionFileOffset));
    f.insert(f.end(), section.begin(), section.end());
    return f;
}

std::vector<uint8_t> Bytes(const char* text) { return std::vector<uint8_t>(text, text + strlen(text)); }

PeLookup Find(const std::vector<uint8_t>& file, PeResourceSpan& span) {
    const char* why = nullptr;
    PeLookup result = FindPeResource(file.data(), file.size(), 10, 101, &span, &why);
    if (result != PeLookup::Found) {
        EXPECT_NE(why, nullptr);
    }
    return result;
}

TEST(PelpackPeResource, FindsPayloadByTypeIdAndLanguage) {
    struct Case {
        const char* what;
        bool plus;
        std::vector<Res> resources;
        PeLookup expected;
        const char* data;
        uint16_t language;
    };
    const Case cases[] = {
        {"PE32, neutral", false, {{10, 101, 0, Bytes("payload")}}, PeLookup::Found, "payload", 0},
        {"PE32+, neutral", true, {{10, 101, 0, Bytes("payload")}}, PeLookup::Found, "payload", 0},
        {"neutral preferred though listed second",
         true,
         {{10, 101, 1049, Bytes("ru")}, {10, 101, 0, Bytes("neutral")}},
         PeLookup::Found,
         "neutral",
         0},
        {"first language when no neutral one",
         false,
         {{10, 101, 1033, Bytes("en")}, {10, 101, 1049, Bytes("ru")}},
         PeLookup::Found,
         "en",
         1033},
        {"among other resources",
         false,
         {{3, 101, 0, Bytes("icon")},
          {10, 100, 0, Bytes("licence")},
          {10, 101, 0, Bytes("archive")},
          {10, 102, 0, Bytes("other")}},
         PeLookup::Found,
         "archive",
         0},
        {"empty resource", false, {{10, 101, 0, {}}}, PeLookup::Found, "", 0},
        {"only the licence", false, {{10, 100, 0, Bytes("licence")}}, PeLookup::NoResource, "", 0},
        {"id 101 of another type", true, {{6, 101, 0, Bytes("strings")}}, PeLookup::NoResource, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = BuildPe(c.plus, c.resources);
        PeResourceSpan span{};
        ASSERT_EQ(Find(file, span), c.expected);
        if (c.expected != PeLookup::Found) continue;
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + span.offset, file.begin() + span.offset + span.length),
                  Bytes(c.data));
        EXPECT_EQ(span.language, c.language);
        EXPECT_EQ(span.pe32Plus, c.plus);
    }
}

TEST(PelpackPeResource, TellsNonPeFromMalformedPe) {
    std::vector<uint8_t> sound = BuildPe(false, {{10, 101, 0, Bytes("payload")}});
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        PeLookup expected;
    };  // value: a u32 written at
    const size_t section = 0x44 + 20 + 224;
    const Case cases[] = {
        {"no MZ", 0, 0x00005A00, PeLookup::NotPe},
        {"e_lfanew past the end", 0x3C, 0x7FFFFFF0, PeLookup::NotPe},
        {"e_lfanew at the last bytes", 0x3C, static_cast<uint32_t>(sound.size() - 2), PeLookup::NotPe},
        {"no PE signature", 0x40, 0x00004551, PeLookup::NotPe},
        {"unknown magic", 0x58, 0x0107, PeLookup::Malformed},
        {"optional header too small for the directories", 0x44 + 16, 0x00000060, PeLookup::Malformed},
        {"section table past the end", 0x44 + 2, 0x0000FFFF, PeLookup::Malformed},
        {"resource table size past the section", 0x58 + 96 + 20, 0x7FFFFFFF, PeLookup::Malformed},
        {"resource table rva in no section", 0x58 + 96 + 16, 0x9000, PeLookup::Malformed},
        {"section raw data past the end", section + 20, 0xFFFFFF00, PeLookup::Malformed},
        {"no resource table", 0x58 + 96 + 16, 0, PeLookup::NoResource},
        {"two data directories only", 0x58 + 92, 2, PeLookup::NoResource},
        {"huge id count in the root", kSectionFileOffset + 12, 0xFFFF0000, PeLookup::Malformed},
        {"type entry leads to a data entry", kSectionFileOffset + 20, 0x00000018, PeLookup::Malformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = sound;
        Put32(file, c.at, c.value);
        file.resize(sound.size());
        PeResourceSpan span{};
        EXPECT_EQ(Find(file, span), c.expected);
    }
    PeResourceSpan span{};
    EXPECT_EQ(FindPeResource(nullptr, 0, 10, 101, &span, nullptr), PeLookup::NotPe);
    std::vector<uint8_t> mz = Bytes("MZ");
    EXPECT_EQ(Find(mz, span), PeLookup::NotPe);
}

TEST(PelpackPeResource, ResourceDataOutsideTheFileIsMalformed) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        std::vector<uint8_t> file = BuildPe(plus, {{10, 101, 0, Bytes("payload")}});
        PeResourceSpan span{};
        ASSERT_EQ(Find(file, span), PeLookup::Found);
        // The data entry sits right before the data: a size past the file, an RVA elsewhere, one that wraps.
        const uint32_t corrupt[][2] = {{0, 0x10000}, {0x00400000, 0}, {0xFFFFFFF0, 0x20}};  // RVA, size (0: kept)
        const size_t entry = span.offset - 16;
        for (const auto& c : corrupt) {
            std::vector<uint8_t> bad = file;
            if (c[0]) Put32(bad, entry, c[0]);
            if (c[1]) Put32(bad, entry + 4, c[1]);
            EXPECT_EQ(Find(bad, span), PeLookup::Malformed) << c[0];
        }
    }
}

// Any found span must lie inside the bytes given; ASan reports any read outside them.
void ExpectSafe(const std::vector<uint8_t>& file) {
    // A copy of exactly file.size() bytes, so that a read one past the end is caught.
    std::vector<uint8_t> exact(file);
    exact.shrink_to_fit();
    PeResourceSpan span{};
    if (FindPeResource(exact.data(), exact.size(), 10, 101, &span, nullptr) == PeLookup::Found) {
        EXPECT_LE(span.offset, exact.size());
        EXPECT_LE(span.length, exact.size() - span.offset);
    }
}

TEST(PelpackPeResource, EveryTruncationAndCorruptionIsSafe) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        std::vector<uint8_t> file = BuildPe(
            plus, {{10, 101, 1049, Bytes("ru")}, {10, 101, 0, Bytes("payload")}, {10, 100, 0, Bytes("licence")}});
        for (size_t length = 0; length < file.size(); ++length) {
            std::vector<uint8_t> cut(file.begin(), file.begin() + length);
            ExpectSafe(cut);
            PeResourceSpan span{};
            EXPECT_NE(Find(cut, span), PeLookup::Found) << length;
        }
        for (size_t at = 0; at < file.size(); ++at) {
            for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                std::vector<uint8_t> bad = file;
                bad[at] = value;
                ExpectSafe(bad);
            }
        }
    }
}

}  // namespace
