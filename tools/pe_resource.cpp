// PE resource lookup: every read goes through ReadU16/ReadU32, which refuse a position whose
// bytes are not all inside the file.
#include "tools/pe_resource.h"

namespace {

struct Reader {
    const uint8_t* bytes;
    size_t size;
};

bool Fits(const Reader& r, uint64_t offset, uint64_t length) { return offset <= r.size && length <= r.size - offset; }

bool ReadU16(const Reader& r, uint64_t offset, uint16_t* value) {
    if (!Fits(r, offset, 2)) return false;
    *value = static_cast<uint16_t>(r.bytes[offset] | (r.bytes[offset + 1] << 8));
    return true;
}

bool ReadU32(const Reader& r, uint64_t offset, uint32_t* value) {
    if (!Fits(r, offset, 4)) return false;
    const uint8_t* p = r.bytes + offset;
    *value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
             (static_cast<uint32_t>(p[3]) << 24);
    return true;
}

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

struct Image {
    Reader file;
    uint64_t sectionTable;  // file offset of the first section header
    uint16_t sectionCount;
};

// Maps an RVA range onto file bytes through the section that holds it. The range must lie in
// the section's raw data (bytes past the raw data exist only in memory, as zeros).
bool RvaToOffset(const Image& image, uint32_t rva, uint32_t length, uint64_t* offset) {
    for (uint16_t i = 0; i < image.sectionCount; ++i) {
        uint64_t header = image.sectionTable + uint64_t{i} * 40;
        Section s{};
        if (!ReadU32(image.file, header + 8, &s.virtualSize) || !ReadU32(image.file, header + 12, &s.virtualAddress) ||
            !ReadU32(image.file, header + 16, &s.rawSize) || !ReadU32(image.file, header + 20, &s.rawOffset))
            return false;
        if (rva < s.virtualAddress) continue;
        uint64_t delta = uint64_t{rva} - s.virtualAddress;
        if (delta > s.rawSize || (delta == s.rawSize && length != 0)) continue;  // empty may end it
        if (uint64_t{length} > uint64_t{s.rawSize} - delta) return false;
        uint64_t start = uint64_t{s.rawOffset} + delta;
        if (!Fits(image.file, start, length)) return false;
        *offset = start;
        return true;
    }
    return false;
}

enum class Step { Found, Missing, Broken };

// Looks for an entry of the directory at `dir` (relative to the tree's start). With `anyId`
// set, takes the entry whose id equals `id` if present, else the first entry of any kind.
// `wantDirectory` says whether the entry must lead to a subdirectory or to a data entry.
Step FindEntry(const Reader& tree, uint32_t dir, uint32_t id, bool anyId, bool wantDirectory, uint32_t* target,
               uint16_t* foundId) {
    uint16_t named = 0, ids = 0;
    if (!ReadU16(tree, uint64_t{dir} + 12, &named) || !ReadU16(tree, uint64_t{dir} + 14, &ids)) return Step::Broken;
    uint32_t count = uint32_t{named} + ids;
    if (!Fits(tree, uint64_t{dir} + 16, uint64_t{count} * 8)) return Step::Broken;
    bool haveFallback = false;
    uint32_t fallbackTarget = 0;
    uint16_t fallbackId = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t entry = uint64_t{dir} + 16 + uint64_t{i} * 8;
        uint32_t name = 0, offset = 0;
        ReadU32(tree, entry, &name);
        ReadU32(tree, entry + 4, &offset);
        bool isNamed = (name & 0x80000000u) != 0;
        bool isDirectory = (offset & 0x80000000u) != 0;
        uint32_t where = offset & 0x7FFFFFFFu;
        bool match = !isNamed && name == id;
        if (!match && !(anyId && !haveFallback)) continue;
        if (isDirectory != wantDirectory) return Step::Broken;
        if (match) {
            *target = where;
            *foundId = static_cast<uint16_t>(name);
            return Step::Found;
        }
        haveFallback = true;
        fallbackTarget = where;
        fallbackId = isNamed ? 0xFFFF : static_cast<uint16_t>(name);
    }
    if (!haveFallback) return Step::Missing;
    *target = fallbackTarget;
    *foundId = fallbackId;
    return Step::Found;
}

PeLookup Fail(PeLookup result, const char* reason, const char** why) {
    if (why) *why = reason;
    return result;
}

}  // namespace

PeLookup FindPeResource(const uint8_t* file, size_t size, uint32_t type, uint32_t id, PeResourceSpan* span,
                        const char** why) {
    Reader r{file, size};
    uint16_t mz = 0;
    uint32_t peOffset = 0, signature = 0;
    if (!ReadU16(r, 0, &mz) || mz != 0x5A4D) return Fail(PeLookup::NotPe, "no MZ signature", why);
    if (!ReadU32(r, 0x3C, &peOffset) || !ReadU32(r, peOffset, &signature) || signature != 0x00004550)
        return Fail(PeLookup::NotPe, "no PE signature", why);

    uint64_t coff = uint64_t{peOffset} + 4;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (!ReadU16(r, coff + 2, &sectionCount) || !ReadU16(r, coff + 16, &optionalSize))
        return Fail(PeLookup::Malformed, "truncated COFF header", why);
    uint64_t optional = coff + 20;
    if (!ReadU16(r, optional, &magic)) return Fail(PeLookup::Malformed, "truncated optional header", why);
    bool plus = false;
    if (magic == 0x20B)
        plus = true;
    else if (magic != 0x10B)
        return Fail(PeLookup::Malformed, "unknown optional header magic", why);

    uint64_t countField = optional + (plus ? 108 : 92);
    uint64_t directories = optional + (plus ? 112 : 96);
    uint32_t rvaCount = 0;
    if (countField + 4 > optional + optionalSize || !ReadU32(r, countField, &rvaCount))
        return Fail(PeLookup::Malformed, "truncated optional header", why);
    if (rvaCount <= 2) return Fail(PeLookup::NoResource, "no resource table", why);
    uint64_t resourceDirectory = directories + 2 * 8;
    if (resourceDirectory + 8 > optional + optionalSize)
        return Fail(PeLookup::Malformed, "data directories exceed the optional header", why);
    uint32_t treeRva = 0, treeSize = 0;
    if (!ReadU32(r, resourceDirectory, &treeRva) || !ReadU32(r, resourceDirectory + 4, &treeSize))
        return Fail(PeLookup::Malformed, "truncated data directories", why);
    if (treeRva == 0 || treeSize == 0) return Fail(PeLookup::NoResource, "no resource table", why);

    Image image{r, optional + optionalSize, sectionCount};
    if (!Fits(r, image.sectionTable, uint64_t{sectionCount} * 40))
        return Fail(PeLookup::Malformed, "truncated section table", why);
    uint64_t treeOffset = 0;
    if (!RvaToOffset(image, treeRva, treeSize, &treeOffset))
        return Fail(PeLookup::Malformed, "resource table outside the file's sections", why);
    Reader tree{file + treeOffset, treeSize};

    uint32_t level = 0, leaf = 0;
    uint16_t foundId = 0, language = 0;
    Step step = FindEntry(tree, 0, type, false, true, &level, &foundId);
    if (step == Step::Found) step = FindEntry(tree, level, id, false, true, &level, &foundId);
    if (step == Step::Found) step = FindEntry(tree, level, 0, true, false, &leaf, &language);
    if (step == Step::Broken) return Fail(PeLookup::Malformed, "broken resource directory", why);
    if (step == Step::Missing) return Fail(PeLookup::NoResource, "resource not found", why);

    uint32_t dataRva = 0, dataSize = 0;
    if (!ReadU32(tree, uint64_t{leaf}, &dataRva) || !ReadU32(tree, uint64_t{leaf} + 4, &dataSize))
        return Fail(PeLookup::Malformed, "broken resource data entry", why);
    uint64_t dataOffset = 0;
    if (!RvaToOffset(image, dataRva, dataSize, &dataOffset))
        return Fail(PeLookup::Malformed, "resource data outside the file's sections", why);
    span->offset = static_cast<size_t>(dataOffset);
    span->length = dataSize;
    span->language = language;
    span->pe32Plus = plus;
    return PeLookup::Found;
}
