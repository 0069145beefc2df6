// The installed files by the uninstaller's list: its lines, which files are the installer's, and
// what an update leaves of the version it replaced.
#include "system/installed_files.h"

#include <string.h>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "payload/archive.h"
#include "payload/extract.h"

namespace {

const size_t kNoLimit = static_cast<size_t>(-1);
// FAT keeps a file's last write time to 2 seconds: times that close are the same time.
const uint64_t kTimeTolerance = 2 * 10000000ull;

const char* FindChar(const char* p, const char* end, char c) {
    while (p != end && *p != c) ++p;
    return p;
}

// A decimal number of up to 20 digits that fits 64 bits, from p to end.
bool ParseNumber(const char* p, const char* end, uint64_t& value) {
    value = 0;
    if (p == end) return false;
    for (; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        // No division at run time: a 32-bit build would take a 64-bit one from the compiler's library.
        if (value > UINT64_MAX / 10 || (value == UINT64_MAX / 10 && digit > UINT64_MAX % 10)) return false;
        value = value * 10 + digit;
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

// True when the list line at p names path (a folder line by its path without the final "\"),
// names compared as Windows compares them.
bool LineNames(const char* p, const char* end, const char* path, bool filesOnly) {
    while (*path != 0 && p != end && FoldLetter1251(*p) == FoldLetter1251(*path)) ++p, ++path;
    if (*path != 0) return false;
    if (p != end && *p == '\\') {
        if (filesOnly) return false;
        ++p;
    }
    return p == end || *p == '\t' || *p == '\r' || *p == '\n';
}

}  // namespace

// Two lists written in one order meet line by line, so a search mostly takes one step.
bool ListsPath(const char* list, const char* end, const char*& hint, const char* path, bool filesOnly) {
    for (int round = 0; round < 2; ++round) {
        const char* line = round == 0 ? hint : list;
        const char* stop = round == 0 ? end : hint;
        while (line < stop) {
            const char* next = FindChar(line, end, '\n');
            if (next != end) ++next;
            if (LineNames(line, end, path, filesOnly)) {
                hint = next;
                return true;
            }
            line = next;
        }
    }
    return false;
}

bool ParseNextName(const char*& cursor, const char* end, ListedName& out) {
    while (cursor < end) {
        const char* line = cursor;
        cursor = FindChar(cursor, end, '\n');
        size_t length = static_cast<size_t>(cursor - line);
        if (cursor < end) ++cursor;  // past the line feed
        if (length > 0 && line[length - 1] == '\r') --length;
        const size_t pathLength = static_cast<size_t>(FindChar(line, line + length, '\t') - line);
        ParseFacts(line + pathLength + (pathLength < length ? 1 : 0), line + length, out);
        out.folder = pathLength > 0 && line[pathLength - 1] == '\\';
        // Relative and inside the folder: no drive, no leading separator, no "." or ".." part.
        if (CheckDirectoryName(line, pathLength - (out.folder ? 1 : 0)) != ArchiveFault::None) continue;
        CopyTextN(out.path, sizeof out.path, line, pathLength - (out.folder ? 1 : 0));
        return true;
    }
    return false;
}

bool IsDataFile(const ListedName& name) {
    const char* file = name.path;
    for (const char* p = name.path; *p != 0; ++p)
        if (*p == '\\') file = p + 1;
    return !name.folder && IsDataFileName(file);
}

bool FindListedFolder(const char* names, const char* end, size_t k, ListedName& out) {
    const char* cursor = names;
    while (ParseNextName(cursor, end, out)) {
        if (out.folder && k-- == 0) return true;
    }
    return false;
}

bool MarkedPath(char (&out)[kPathSize], const char* folder, const char* relative) {
    out[0] = 0;
    return AppendAnsiPart(out, sizeof out, folder) &&
           (*relative == 0 || (AppendText(out, "\\") && AppendText(out, relative)));
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
    const char* const earlierEnd = earlier + earlierSize;
    const char* const currentEnd = current + currentSize;
    const char* hint = current;
    const char* cursor = earlier;
    ListedName name;
    char path[kPathSize];
    size_t folders = 0, lastGone = 0;  // folders listed; 1 + the last one the new list lacks
    while (ParseNextName(cursor, earlierEnd, name)) {
        if (name.folder) {
            ++folders;
            if (!ListsPath(current, currentEnd, hint, name.path, false)) lastGone = folders;
            continue;
        }
        if (name.self || IsDataFile(name)) continue;
        if (ListsPath(current, currentEnd, hint, name.path, false) || !MarkedPath(path, folder, name.path)) continue;
        if (IsAsWritten(host, path, name, InspectListed(host, folder, name.path))) host.RemoveFile(path);
    }
    // Children before parents: the list has parents first.
    for (size_t k = lastGone; k-- > 0;) {
        if (FindListedFolder(earlier, earlierEnd, k, name) && !ListsPath(current, currentEnd, hint, name.path, false) &&
            MarkedPath(path, folder, name.path) && InspectListed(host, folder, name.path).kind == EntryKind::Folder)
            host.RemoveEmptyFolder(path);
    }
}
