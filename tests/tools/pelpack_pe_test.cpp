// The PE resource lookup of pelpack over PE files built here byte by byte: what real MinGW files
// cannot show (every truncation and corrupted byte), which must give an error and never a read
// outside the buffer (ASan build). Sound installers are read by the signing test and by every Wine
// scenario, a bare archive and files that are no PE at all by pelpack_cli_test.sh.
#include <gtest/gtest.h>
#include <map>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "tests/unit/test_util.h"
#include "tools/pe_resource.h"

namespace {

struct Res {  // of type RCDATA
    uint32_t id;
    uint16_t language;
    const char* data;
};

const uint32_t kSectionRva = 0x1000;
const size_t kSectionFileOffset = 0x200;

// The .rsrc section: the type directory (RCDATA alone), name and language directories (id entries
// only, languages in the given order), each language's data entry and data after its directory.
Bytes BuildTree(const std::vector<Res>& resources) {
    std::map<uint32_t, std::vector<const Res*>> names;
    for (const Res& r : resources) names[r.id].push_back(&r);
    Bytes s;
    auto directory = [&s](size_t count, size_t parentEntry, uint32_t id) {
        const size_t at = s.size();
        s.resize(at + 16 + 8 * count);
        s[at + 14] = static_cast<uint8_t>(count);
        if (parentEntry)
            SetU32(s, parentEntry, id), SetU32(s, parentEntry + 4, 0x80000000u | static_cast<uint32_t>(at));
        return at + 16;
    };
    size_t nameEntry = directory(names.size(), directory(1, 0, 0), 10);
    for (auto& name : names) {
        size_t languageEntry = directory(name.second.size(), nameEntry, name.first);
        nameEntry += 8;
        for (const Res* r : name.second) {  // its data entry and its data next
            const size_t entry = s.size(), length = strlen(r->data);
            SetU32(s, languageEntry, r->language);
            SetU32(s, languageEntry + 4, static_cast<uint32_t>(entry));
            SetU32(s, entry, kSectionRva + static_cast<uint32_t>(entry + 16));
            SetU32(s, entry + 4, static_cast<uint32_t>(length));
            s.resize(entry + 16);
            s.insert(s.end(), r->data, r->data + length);
            languageEntry += 8;
        }
    }
    return s;
}

Bytes BuildPe(bool plus, const std::vector<Res>& resources) {
    const Bytes section = BuildTree(resources);
    Bytes f(kSectionFileOffset, 0);
    const size_t coff = 0x44, optional = coff + 20, optionalSize = plus ? 240 : 224;
    const size_t directories = optional + (plus ? 112 : 96), header = optional + optionalSize;
    const uint32_t size = static_cast<uint32_t>(section.size());
    f[0] = 'M', f[1] = 'Z';
    SetU32(f, 0x3C, 0x40);
    memcpy(&f[0x40], "PE\0\0", 4);
    SetU32(f, coff, (plus ? 0x8664 : 0x14C) | 1u << 16);  // machine, one section
    SetU32(f, coff + 16, static_cast<uint32_t>(optionalSize));
    SetU32(f, optional, plus ? 0x20B : 0x10B);
    SetU32(f, optional + (plus ? 108 : 92), 16);
    SetU32(f, directories + 16, kSectionRva);
    SetU32(f, directories + 20, size);
    memcpy(&f[header], ".rsrc\0\0\0", 8);
    const uint32_t sectionHeader[] = {size, kSectionRva, size, static_cast<uint32_t>(kSectionFileOffset)};
    for (int i = 0; i < 4; ++i) SetU32(f, header + 8 + 4 * i, sectionHeader[i]);
    f.insert(f.end(), section.begin(), section.end());
    return f;
}

// Looks for RCDATA 101 in an exact-size copy, so that ASan sees a read one past the end; any
// span found lies inside the file, any failure has its reason.
PeLookup Find(const Bytes& file, PeResourceSpan& span) {
    Bytes exact(file);
    exact.shrink_to_fit();
    const char* why = nullptr;
    const PeLookup result = FindPeResource(exact.data(), exact.size(), 10, 101, &span, &why);
    if (result == PeLookup::Found) {
        EXPECT_LE(span.length, exact.size() - span.offset);
    } else {
        EXPECT_NE(why, nullptr);
    }
    return result;
}

}  // namespace

TEST(PelpackPeResource, EveryTruncationAndCorruptionIsSafe) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const Bytes file = BuildPe(plus, {{101, 1049, "ru"}, {101, 0, "payload"}, {100, 0, "licence"}});
        PeResourceSpan span{};
        ASSERT_EQ(Find(file, span), PeLookup::Found);
        EXPECT_EQ(span.language, 0);  // the neutral language first, though listed second
        for (size_t length = 0; length < file.size(); ++length)
            EXPECT_NE(Find(Bytes(file.begin(), file.begin() + length), span), PeLookup::Found) << length;
        for (size_t at = 0; at < file.size(); ++at) {
            for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                Bytes bad = file;
                bad[at] = value;
                Find(bad, span);
            }
        }
    }
}
