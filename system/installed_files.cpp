// The installed files by the uninstaller's list: its lines, which files are the installer's, and
// what an update leaves of the version it replaced.
#include "system/installed_files.h"

#include <string.h>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "base/product.h"
#include "payload/archive.h"
#include "payload/extract.h"

namespace {

// FAT keeps a file's last write time to 2 seconds: times that close are the same time.
const uint64_t kTimeTolerance = 2 * 10000000ull;

const char* FindChar(const char* p, const char* end, char c) {
    while (p != end && *p != c) ++p;
    return p;
}

// A decimal number of 1 to 19 digits, from p to end: any such fits 64 bits, and no size or time
// has more.
bool ParseNumber(const char* p, const char* end, uint64_t& value) {
    value = 0;
    if (p == end || end - p > 19) return false;
    for (; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
    }
    return true;
}

// Exactly 8 hex digits, either case.
bool ParseChecksum(const char* p, const char* end, uint32_t& value) {
    value = 0;
    if (end - p != 8) return false;
    for (; p != end; ++p) {
        const char c = *p >= 'A' && *p <= 'F' ? static_cast<char>(*p + ('a' - 'A')) : *p;
        const bool digit = c >= '0' && c <= '9', letter = c >= 'a' && c <= 'f';
        if (!digit && !letter) return false;
        value = value << 4 | static_cast<uint32_t>(digit ? c - '0' : c - 'a' + 10);
    }
    return true;
}

// A file line's facts after its path: "SIZE\tTIME\tCHECKSUM", "SIZE\tTIME" or "-\t-".
void ParseFacts(const char* p, const char* end, ListedName& out) {
    out.facts = out.self = out.summed = false;
    out.size = out.time = 0;
    out.checksum = 0;
    const char* tab = FindChar(p, end, '\t');
    if (tab == end) return;
    if (tab - p == 1 && *p == '-' && end - tab == 2 && tab[1] == '-') {
        out.self = true;
        return;
    }
    const char* timeEnd = FindChar(tab + 1, end, '\t');
    out.facts = ParseNumber(p, tab, out.size) && ParseNumber(tab + 1, timeEnd, out.time);
    out.summed = out.facts && timeEnd != end && ParseChecksum(timeEnd + 1, end, out.checksum);
}

// The path of the line [line, end): up to its tab, without the "\" that marks a folder.
size_t PathLength(const char* line, const char* end, bool& folder) {
    const size_t length = static_cast<size_t>(FindChar(line, end, '\t') - line);
    folder = length > 0 && line[length - 1] == '\\';
    return length - (folder ? 1 : 0);
}

// A path names a place inside the folder only when every part between its "\" is a name the
// archive could hold: so no "/", no drive, no leading "\", no "." or "..", no device, no "~pel".
bool IsListedPath(const char* path, size_t length) {
    if (length == 0 || length >= kPathSize) return false;
    for (size_t partStart = 0, i = 0; i <= length; ++i) {
        if (i < length && path[i] != '\\') continue;
        if (CheckNamePart(path + partStart, i - partStart) != NameFault::None) return false;
        partStart = i + 1;
    }
    return true;
}

// One line [line, end) without its line feed; false when it names no place.
bool ParseLine(const char* line, const char* end, ListedName& out) {
    if (end > line && end[-1] == '\r') --end;
    const size_t length = PathLength(line, end, out.folder);
    if (!IsListedPath(line, length)) return false;
    const char* facts = line + length + (out.folder ? 1 : 0);
    ParseFacts(facts + (facts < end ? 1 : 0), end, out);
    CopyTextN(out.path, sizeof out.path, line, length);
    return true;
}

// The same text without letter case, as Windows compares names.
bool SameFolded(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (FoldLetter1251(a[i]) != FoldLetter1251(b[i])) return false;
    return true;
}

uint32_t HashFolded(const char* p, size_t length) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<uint8_t>(FoldLetter1251(p[i]))) * 16777619u;
    return hash;
}

}  // namespace

bool ParseNextName(const char*& cursor, const char* end, ListedName& out) {
    while (cursor < end) {
        const char* line = cursor;
        cursor = FindChar(cursor, end, '\n');
        const char* lineEnd = cursor;
        if (cursor < end) ++cursor;  // past the line feed
        if (ParseLine(line, lineEnd, out)) return true;
    }
    return false;
}

bool ParsePreviousName(const char* list, const char*& cursor, ListedName& out) {
    while (cursor > list) {
        const char* lineEnd = cursor;
        if (lineEnd[-1] == '\n') --lineEnd;  // cursor is past a line feed: the line before it
        const char* line = lineEnd;
        while (line > list && line[-1] != '\n') --line;
        cursor = line;
        if (ParseLine(line, lineEnd, out)) return true;
    }
    return false;
}

bool IsDataFile(const ListedName& name) {
    const char* file = name.path;
    for (const char* p = name.path; *p != 0; ++p)
        if (*p == '\\') file = p + 1;
    return !name.folder && IsDataFileName(file);
}

// Offset 0 marks a free slot, so each line is filed as its offset + 1.
bool IndexNames(FilesHost& host, const char* list, size_t size, NamesIndex& index) {
    index = {list, list + size, nullptr, 0};
    if (size > kNamesLimit) return false;
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += list[i] == '\n';
    uint32_t slots = 2;
    while (slots < 2 * lines) slots *= 2;
    index.mask = slots - 1;
    index.slots = static_cast<uint32_t*>(host.ObtainMemory(slots * sizeof(uint32_t)));
    if (index.slots == nullptr) return false;
    memset(index.slots, 0, slots * sizeof(uint32_t));
    ListedName name;
    for (const char* line = list; line < index.end;) {
        const char* lineEnd = FindChar(line, index.end, '\n');
        if (ParseLine(line, lineEnd, name)) {
            uint32_t i = HashFolded(name.path, TextLengthN(name.path, kPathSize)) & index.mask;
            while (index.slots[i] != 0) i = (i + 1) & index.mask;
            index.slots[i] = static_cast<uint32_t>(line - list) + 1;
        }
        line = lineEnd + (lineEnd < index.end ? 1 : 0);
    }
    return true;
}

void ReleaseIndex(FilesHost& host, NamesIndex& index) {
    if (index.slots != nullptr) host.ReleaseMemory(index.slots);
    index.slots = nullptr;
}

bool FindListed(const NamesIndex& index, const char* path, bool filesOnly, ListedName& out) {
    const size_t length = TextLengthN(path, kPathSize);
    if (index.slots == nullptr) return false;
    for (uint32_t i = HashFolded(path, length) & index.mask; index.slots[i] != 0; i = (i + 1) & index.mask) {
        const char* line = index.list + index.slots[i] - 1;
        if (ParseLine(line, FindChar(line, index.end, '\n'), out) && (!filesOnly || !out.folder) &&
            TextLengthN(out.path, kPathSize) == length && SameFolded(out.path, path, length))
            return true;
    }
    return false;
}

bool MarkedPath(char (&out)[kPathSize], const char* folder, const char* relative) {
    return CopyText(out, folder) && (*relative == 0 || (AppendText(out, "\\") && AppendText(out, relative)));
}

EntryFacts InspectListed(FilesHost& host, const char* folder, const char* relative) {
    const EntryFacts missing = {EntryKind::Missing, 0, 0};
    char path[kPathSize];
    if (!MarkedPath(path, folder, "")) return missing;
    EntryFacts facts = host.Inspect(path);
    for (const char* p = relative;;) {
        if (facts.kind == EntryKind::Link) return facts;
        if (facts.kind != EntryKind::Folder) return missing;
        const char* end = p;
        while (*end != 0 && *end != '\\') ++end;
        if (!AppendText(path, "\\") || !AppendTextN(path, sizeof path, p, static_cast<size_t>(end - p))) return missing;
        facts = host.Inspect(path);
        if (*end == 0) return facts;
        p = end + 1;
    }
}

bool IsAsWritten(FilesHost& host, const char* path, const ListedName& name, const EntryFacts& found) {
    if (found.kind != EntryKind::File || !name.facts || found.size != name.size) return false;
    const uint64_t apart = found.time > name.time ? found.time - name.time : name.time - found.time;
    if (apart <= kTimeTolerance) return true;
    uint32_t checksum = 0;
    return name.summed && host.FileChecksum(path, checksum) && checksum == name.checksum;
}

void RemoveEarlierFiles(FilesHost& host, const char* folder, const char* earlier, size_t earlierSize,
                        const char* current, size_t currentSize) {
    // The same list again (a repair, the same version once more): none of its names is gone.
    if (earlierSize == currentSize && memcmp(earlier, current, earlierSize) == 0) return;
    NamesIndex index;
    if (IndexNames(host, current, currentSize, index)) {
        const char* const earlierEnd = earlier + earlierSize;
        ListedName name, listed;
        char path[kPathSize];
        for (const char* cursor = earlier; ParseNextName(cursor, earlierEnd, name);) {
            if (name.folder || name.self || IsDataFile(name) || FindListed(index, name.path, false, listed) ||
                !MarkedPath(path, folder, name.path))
                continue;
            if (IsAsWritten(host, path, name, InspectListed(host, folder, name.path))) host.RemoveFile(path);
        }
        // Children before parents: the list has parents first.
        for (const char* cursor = earlierEnd; ParsePreviousName(earlier, cursor, name);) {
            if (name.folder && !FindListed(index, name.path, false, listed) && MarkedPath(path, folder, name.path) &&
                InspectListed(host, folder, name.path).kind == EntryKind::Folder)
                host.RemoveEmptyFolder(path);
        }
    }
    ReleaseIndex(host, index);
}

void RemoveEarlierFiles(FilesHost& host, const char* folder, const char* earlierUninstaller) {
    char path[kPathSize];
    char *earlier = nullptr, *current = nullptr;
    size_t earlierSize = 0, currentSize = 0;
    if (MarkedPath(path, folder, earlierUninstaller) && host.ReadNamesList(path, earlier, earlierSize) &&
        MarkedPath(path, folder, PEL_UNINSTALL_FILE) && host.ReadNamesList(path, current, currentSize))
        RemoveEarlierFiles(host, folder, earlier, earlierSize, current, currentSize);
    if (earlier != nullptr) host.ReleaseMemory(earlier);
    if (current != nullptr) host.ReleaseMemory(current);
}
