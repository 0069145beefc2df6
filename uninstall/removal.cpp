// The uninstaller's decisions: the start checks, then the removal in its fixed order.
#include "uninstall/removal.h"

#include "base/ansi_text.h"
#include "base/messages.h"
#include "base/running_app.h"
#include "base/text.h"
#include "payload/archive.h"
#include "payload/extract.h"
#include "system/install_record.h"
#include "system/shortcuts.h"

namespace {

const int kExitDone = 0;
const int kExitStopped = 1;
const size_t kNoLimit = static_cast<size_t>(-1);
// FAT keeps a file's last write time to 2 seconds: times that close are the same time.
const uint64_t kTimeTolerance = 2 * 10000000ull;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The next part of a folder text: from p to the next separator or the end, by characters.
const char* PartEnd(const char* p) {
    while (*p != 0 && !(AnsiCharSize(p) == 1 && IsSeparator(*p))) p += AnsiCharSize(p);
    return p;
}

// The full form of an absolute folder text, without asking the system: "\\?\" (and "\\?\UNC\")
// taken off, "/" as "\", runs of separators as one, "." and ".." parts resolved (never above the
// drive or the share), trailing dots and spaces of every part and trailing separators dropped; a
// drive alone keeps its "\". False when the text does not fit.
bool FullFolderText(const char* in, char (&out)[kPathSize]) {
    const char* p = in;
    out[0] = 0;
    if (IsSeparator(p[0]) && IsSeparator(p[1]) && p[2] == '?' && IsSeparator(p[3])) {
        p += 4;
        if ((p[0] == 'U' || p[0] == 'u') && (p[1] == 'N' || p[1] == 'n') && (p[2] == 'C' || p[2] == 'c') &&
            IsSeparator(p[3])) {
            p += 4;
            CopyText(out, "\\\\");
        }
    }
    size_t root = 0;  // what ".." never takes off
    bool drive = false;
    if (out[0] == 0 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        CopyText(out, "\\\\");
        p += 2;
    }
    if (out[0] != 0) {
        // A share: its server and share name are the root.
        for (int level = 0; level < 2; ++level) {
            while (IsSeparator(*p)) ++p;
            const char* end = PartEnd(p);
            if (level == 1 && !AppendText(out, "\\")) return false;
            if (!AppendTextN(out, sizeof out, p, static_cast<size_t>(end - p))) return false;
            p = end;
        }
        root = TextLength(out);
    } else if (p[0] != 0 && p[1] == ':') {
        CopyTextN(out, sizeof out, p, 2);
        p += 2;
        root = 2;
        drive = true;
    }
    for (;;) {
        while (IsSeparator(*p)) ++p;
        if (*p == 0) break;
        const char* end = PartEnd(p);
        size_t length = static_cast<size_t>(end - p);
        const char* part = p;
        p = end;
        if (length == 1 && part[0] == '.') continue;
        if (length == 2 && part[0] == '.' && part[1] == '.') {
            const ptrdiff_t cut = FindLastAnsiChar(out, IsSeparator);
            out[cut >= static_cast<ptrdiff_t>(root) ? static_cast<size_t>(cut) : root] = 0;
            continue;
        }
        while (length > 0 && (part[length - 1] == '.' || part[length - 1] == ' ')) --length;
        if (length == 0) continue;
        if (!AppendText(out, "\\") || !AppendTextN(out, sizeof out, part, length)) return false;
    }
    if (drive && TextLength(out) == root) return AppendText(out, "\\");
    return true;
}

// The folder part of an ANSI path: the text before its last separator (empty when there is none).
void FolderPart(const char* path, char (&out)[kPathSize]) {
    const ptrdiff_t end = FindLastAnsiChar(path, IsSeparator);
    CopyTextN(out, sizeof out, path, end > 0 ? static_cast<size_t>(end) : 0);
}

// The marked path of a place under an ANSI folder: the folder, then "\" and relative (Windows-1251)
// unless it is empty. False when it does not fit.
bool MarkedPath(char (&out)[kPathSize], const char* folder, const char* relative) {
    out[0] = 0;
    return AppendAnsiPart(out, sizeof out, folder) &&
           (*relative == 0 || (AppendText(out, "\\") && AppendText(out, relative)));
}

// A link points into the folder when the folder part of its target is that folder.
bool PointsInto(UninstallHost& host, const char* target, const char* folder) {
    char targetFolder[kPathSize];
    FolderPart(target, targetFolder);
    return targetFolder[0] != 0 && SameFolder(host, targetFolder, folder);
}

// Length of the directory part of a listed path ("HlpPic" of "HlpPic\logo.gif"; 0 at the top).
size_t DirectoryPartLength(const char* path) {
    size_t end = TextLengthN(path, kNoLimit);
    while (end > 0 && path[end - 1] != '\\') --end;
    return end > 0 ? end - 1 : 0;
}

// What stands at folder\relative, looked at level by level from the installation folder down:
// a link at any level is reported as the Link it is, and nothing below it is looked at.
EntryFacts InspectListed(UninstallHost& host, const char* folder, const char* relative) {
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

// The installer's own file: the size and the time it gave it (the program's own file for "-").
bool WrittenByInstaller(UninstallHost& host, const ListedName& name, const EntryFacts& found) {
    EntryFacts expected = {EntryKind::File, name.size, name.time};
    if (name.self && !host.InspectSelf(expected)) return false;
    if (!name.self && !name.facts) return false;
    const uint64_t apart = found.time > expected.time ? found.time - expected.time : expected.time - found.time;
    return found.kind == EntryKind::File && found.size == expected.size && apart <= kTimeTolerance;
}

enum class Outcome { Gone, Kept, Aborted };

// Removes one listed file when it is the installer's, asking after each failure.
Outcome RemoveListedFile(UninstallHost& host, const char* folder, const ListedName& name) {
    char path[kPathSize];
    if (!MarkedPath(path, folder, name.path)) return Outcome::Gone;  // no such file can exist
    const EntryFacts found = InspectListed(host, folder, name.path);
    if (found.kind == EntryKind::Missing) return Outcome::Gone;
    if (!WrittenByInstaller(host, name, found)) return Outcome::Kept;  // the user's, or behind a link
    while (host.RemoveFile(path) == RemoveResult::Failed) {
        char message[64 + kArchivePathCapacity];
        CopyText(message, kMessageRemoveFilePrefix);
        AppendText(message, name.path);
        const Answer answer = host.Ask(message, kCaptionProduct, Prompt::AbortRetryIgnore);
        if (answer == Answer::Abort) return Outcome::Aborted;
        if (answer != Answer::Retry) return Outcome::Kept;  // Ignore: the file stays, the rest goes on
    }
    return Outcome::Gone;
}

// The k-th folder of the list (0-based), or false when there are fewer.
bool FindListedFolder(const char* names, const char* end, size_t k, ListedName& out) {
    const char* cursor = names;
    while (ParseNextName(cursor, end, out)) {
        if (out.folder && k-- == 0) return true;
    }
    return false;
}

// Removes the link linksFolder\title.lnk (linksFolder a marked text) when it leads into the installation folder: a
// later installation elsewhere may have rewritten it, and then it is that installation's.
void RemoveLinkInto(UninstallHost& host, const char* linksFolder, const char* title, const char* folder) {
    char link[kLinkPathSize];
    char target[kPathSize];
    if (!LinkFilePath(link, linksFolder, title)) return;
    if (!host.ReadLinkTarget(link, target, sizeof target)) return;
    if (PointsInto(host, target, folder)) host.RemoveFile(link);  // a link that stays is not reported
}

// The Start-menu links but the one that runs this program (uninstallLink false), or that one and
// then the group folder when it is empty (true); the desktop link with the others.
void RemoveLinks(UninstallHost& host, const char* folder, bool uninstallLink) {
    char links[kPathSize], group[kPathSize];
    if (host.FindLinksFolder(LinksFolder::Programs, links, sizeof links)) {
        if (MarkedPath(group, links, kGroupFolderName)) {
            for (const LinkRow& row : kStartMenuLinks) {
                if ((row.title == kLinkUninstall) == uninstallLink) RemoveLinkInto(host, group, row.title, folder);
            }
            if (uninstallLink) host.RemoveEmptyFolder(group);  // the user's own links keep it
        }
    }
    if (!uninstallLink && host.FindLinksFolder(LinksFolder::Desktop, links, sizeof links) &&
        MarkedPath(group, links, "")) {
        RemoveLinkInto(host, group, kDesktopLink.title, folder);
    }
}

// The record and the Installed-apps entries go only when they name this folder: otherwise they
// are a later installation's.
void RemoveRecord(UninstallHost& host, const char* folder) {
    char recorded[kPathSize] = {};
    if (host.ReadInstalledPath(recorded) && SameFolder(host, recorded, folder)) {
        host.DeleteSetupValue(kPathValue);
        host.DeleteSetupValue(kVersionValue);
        host.DeleteKeyIfEmpty(kSetupKey);  // other values of the key are kept, and keep it
        host.DeleteKeyIfEmpty(kProductKey);
    }
    const EntryRoot roots[] = {EntryRoot::Machine, EntryRoot::User};
    for (EntryRoot root : roots) {
        char location[kPathSize] = {};
        if (host.ReadEntryLocation(root, location) && SameFolder(host, location, folder)) host.DeleteEntry(root);
    }
}

// A decimal number of up to 20 digits that fits 64 bits, from p to end.
bool ParseNumber(const char* p, const char* end, uint64_t& value) {
    value = 0;
    if (p == end) return false;
    for (; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// A file line's facts after its path: "SIZE\tTIME" or "-\t-".
void ParseFacts(const char* p, const char* end, ListedName& out) {
    out.facts = out.self = false;
    out.size = out.time = 0;
    const char* tab = p;
    while (tab != end && *tab != '\t') ++tab;
    if (tab == end) return;
    if (tab - p == 1 && *p == '-' && end - tab == 2 && tab[1] == '-') {
        out.self = true;
        return;
    }
    out.facts = ParseNumber(p, tab, out.size) && ParseNumber(tab + 1, end, out.time);
}

}  // namespace

bool SameFolder(UninstallHost& host, const char* a, const char* b) {
    char fullA[kPathSize], fullB[kPathSize];
    if (!FullFolderText(a, fullA) || !FullFolderText(b, fullB)) return false;
    host.FullLongPath(fullA);
    host.FullLongPath(fullB);
    return host.SameTextIgnoringCase(fullA, fullB);
}

bool ParseNextName(const char*& cursor, const char* end, ListedName& out) {
    while (cursor < end) {
        const char* line = cursor;
        while (cursor < end && *cursor != '\n') ++cursor;
        size_t length = static_cast<size_t>(cursor - line);
        if (cursor < end) ++cursor;  // past the line feed
        if (length > 0 && line[length - 1] == '\r') --length;
        size_t pathLength = 0;
        while (pathLength < length && line[pathLength] != '\t') ++pathLength;
        ParseFacts(line + pathLength + (pathLength < length ? 1 : 0), line + length, out);
        out.folder = pathLength > 0 && line[pathLength - 1] == '\\';
        if (out.folder) --pathLength;
        // Relative and inside the folder: no drive, no leading separator, no "." or ".." part.
        if (CheckDirectoryName(line, pathLength) != ArchiveFault::None) continue;
        CopyTextN(out.path, sizeof out.path, line, pathLength);
        return true;
    }
    return false;
}

bool ConfirmUninstall(UninstallHost& host) {
    char16_t title[kPathSize] = {};
    if (host.FindWindowTitle(kRunningWindowClass, title, kPathSize) && IsRunningProductTitle(title)) {
        host.Ask(kMessageAlreadyRunning, kCaptionError, Prompt::Error);
        return false;
    }
    return host.Ask(kMessageConfirmUninstall, kCaptionProduct, Prompt::YesNo) == Answer::Yes;
}

int RemoveInstallation(UninstallHost& host, const char* folder, const char* names, size_t namesSize) {
    const char* end = names + namesSize;
    ListedName name;
    char keptIn[kPathSize] = {};  // the folder of a data file that stays
    bool filesKept = false;       // a listed file other than the data file stays

    // 1. Files but this program, in list order; the user's data file is never removed.
    const char* cursor = names;
    size_t folders = 0;
    while (ParseNextName(cursor, end, name)) {
        if (name.folder) {
            ++folders;
            continue;
        }
        if (name.self) continue;
        const size_t directory = DirectoryPartLength(name.path);
        if (IsDataFileName(name.path + (directory > 0 ? directory + 1 : 0))) {
            const EntryKind data = InspectListed(host, folder, name.path).kind;
            if (keptIn[0] == 0 && data != EntryKind::Missing && data != EntryKind::Folder) {
                char directoryPart[kPathSize];
                CopyTextN(directoryPart, sizeof directoryPart, name.path, directory);
                MarkedPath(keptIn, folder, directoryPart);
            }
            continue;
        }
        const Outcome outcome = RemoveListedFile(host, folder, name);
        if (outcome == Outcome::Aborted) return kExitStopped;
        filesKept = filesKept || outcome == Outcome::Kept;
    }

    // 2. Folders, children before parents (the list has parents first); a folder that still
    // holds the user's files stays, and a link in a folder's place is not followed.
    char path[kPathSize];
    for (size_t k = folders; k-- > 0;) {
        if (FindListedFolder(names, end, k, name) && MarkedPath(path, folder, name.path) &&
            InspectListed(host, folder, name.path).kind == EntryKind::Folder)
            host.RemoveEmptyFolder(path);
    }

    // 3. Links, 4. the record and the entries, 5. what runs the removal again: its link and this
    // program, then the installation folder when nothing else is left in it.
    RemoveLinks(host, folder, false);
    RemoveRecord(host, folder);
    RemoveLinks(host, folder, true);
    cursor = names;
    while (ParseNextName(cursor, end, name)) {
        if (!name.self) continue;
        const Outcome outcome = RemoveListedFile(host, folder, name);
        if (outcome == Outcome::Aborted) return kExitStopped;
        filesKept = filesKept || outcome == Outcome::Kept;
    }
    if (MarkedPath(path, folder, "") && host.Inspect(path).kind == EntryKind::Folder) host.RemoveEmptyFolder(path);

    char message[3 * kPathSize + 128];
    CopyText(message, kMessageUninstalled);
    if (filesKept) {
        AppendText(message, "\n");
        AppendText(message, kMessageFilesKeptPrefix);
        AppendAnsiPart(message, sizeof message, folder);
    }
    if (keptIn[0] != 0) {
        AppendText(message, "\n");
        AppendText(message, kMessageDataFileKeptPrefix);
        AppendText(message, keptIn);
    }
    host.Ask(message, kCaptionProduct, Prompt::Information);
    return kExitDone;
}
