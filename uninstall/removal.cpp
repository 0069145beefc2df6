// The uninstaller's decisions: the start checks, then the removal in its fixed order.
#include "uninstall/removal.h"

#include "base/ansi_text.h"
#include "base/messages.h"
#include "base/path_text.h"
#include "base/reserved_name.h"
#include "base/running_app.h"
#include "base/text.h"
#include "payload/archive.h"
#include "payload/extract.h"
#include "system/install_record.h"
#include "system/shortcuts.h"

namespace {

const int kExitDone = 0;
const int kExitStopped = 1;

// Folder texts here are UTF-8, whose characters of several bytes hold no ASCII byte: they are
// walked byte by byte.

// The next part of a folder text: from p to the next separator or the end.
const char* PartEnd(const char* p) {
    while (*p != 0 && !IsPathSeparator(*p)) ++p;
    return p;
}

// The offset of the last separator of a folder text, or -1.
ptrdiff_t LastSeparator(const char* text) {
    ptrdiff_t found = -1;
    for (const char* p = text; *p != 0; ++p)
        if (IsPathSeparator(*p)) found = p - text;
    return found;
}

// The full form of an absolute folder text, without asking the system: "\\?\" (and "\\?\UNC\")
// taken off, "/" as "\", runs of separators as one, "." and ".." parts resolved (never above the
// drive or the share), trailing dots and spaces of every part and trailing separators dropped; a
// drive alone keeps its "\". False when the text does not fit.
bool FullFolderText(const char* in, char (&out)[kPathSize]) {
    const char* p = in;
    out[0] = 0;
    if (IsPathSeparator(p[0]) && IsPathSeparator(p[1]) && p[2] == '?' && IsPathSeparator(p[3])) {
        p += 4;
        if ((p[0] == 'U' || p[0] == 'u') && (p[1] == 'N' || p[1] == 'n') && (p[2] == 'C' || p[2] == 'c') &&
            IsPathSeparator(p[3])) {
            p += 4;
            CopyText(out, "\\\\");
        }
    }
    size_t root = 0;  // what ".." never takes off
    bool drive = false;
    if (out[0] == 0 && IsPathSeparator(p[0]) && IsPathSeparator(p[1])) {
        CopyText(out, "\\\\");
        p += 2;
    }
    if (out[0] != 0) {
        // A share: its server and share name are the root.
        for (int level = 0; level < 2; ++level) {
            while (IsPathSeparator(*p)) ++p;
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
        while (IsPathSeparator(*p)) ++p;
        if (*p == 0) break;
        const char* end = PartEnd(p);
        size_t length = static_cast<size_t>(end - p);
        const char* part = p;
        p = end;
        if (length == 1 && part[0] == '.') continue;
        if (length == 2 && part[0] == '.' && part[1] == '.') {
            const ptrdiff_t cut = LastSeparator(out);
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

// The folder part of a path: the text before its last separator (empty when there is none).
void FolderPart(const char* path, char (&out)[kPathSize]) {
    const ptrdiff_t end = LastSeparator(path);
    CopyTextN(out, sizeof out, path, end > 0 ? static_cast<size_t>(end) : 0);
}

// A link points into the folder when the folder part of its target is that folder.
bool PointsInto(UninstallHost& host, const char* target, const char* folder) {
    char targetFolder[kPathSize];
    FolderPart(target, targetFolder);
    return targetFolder[0] != 0 && SameFolder(host, targetFolder, folder);
}

enum class Outcome { Gone, Kept, Aborted };

// Removes one file of the installer's (path marked, relative as the message names it), asking
// after each failure.
Outcome RemoveOurs(UninstallHost& host, const char* path, const char* relative) {
    while (host.RemoveFile(path) == RemoveResult::Failed) {
        char message[64 + kArchivePathCapacity];
        CopyText(message, kMessageRemoveFilePrefix);
        AppendText(message, relative);
        const Answer answer = host.Ask(message, kCaptionProduct, Prompt::AbortRetryIgnore);
        if (answer == Answer::Abort) return Outcome::Aborted;
        if (answer != Answer::Retry) return Outcome::Kept;  // Ignore: the file stays, the rest goes on
    }
    return Outcome::Gone;
}

// The listed file found at path is the installer's: as written, or for "-" as this program is.
bool IsOurs(UninstallHost& host, const char* path, const ListedName& name, const EntryFacts& found) {
    if (!name.self) return IsAsWritten(host, path, name, found);
    EntryFacts self;
    if (!host.InspectSelf(self)) return false;
    ListedName own = name;
    own.facts = true;
    own.size = self.size;
    own.time = self.time;
    return IsAsWritten(host, path, own, found);
}

// Removes one listed file when it is the installer's (folder: the installation folder, marked).
Outcome RemoveListedFile(UninstallHost& host, const char* folder, const ListedName& name) {
    char path[kPathSize];
    if (!MarkedPath(path, folder, name.path)) return Outcome::Gone;  // no such file can exist
    const EntryFacts found = InspectListed(host, folder, name.path);
    if (found.kind == EntryKind::Missing) return Outcome::Gone;
    if (!IsOurs(host, path, name, found)) return Outcome::Kept;  // the user's, or behind a link
    return RemoveOurs(host, path, name.path);
}

// Length of the directory part of a listed path ("HlpPic" of "HlpPic\logo.gif"; 0 at the top).
size_t DirectoryPartLength(const char* path) {
    size_t end = TextLengthN(path, kPathSize);
    while (end > 0 && path[end - 1] != '\\') --end;
    return end > 0 ? end - 1 : 0;
}

// Whether the folder holds an installation: the record or an Installed-apps entry names it, or
// a listed file there is as the installer wrote it (this program aside: a copy of it is no
// installation).
bool RecordNames(UninstallHost& host, const char* folder) {
    char recorded[kPathSize] = {};
    return host.ReadRecordedFolder(recorded) && SameFolder(host, recorded, folder);
}
bool EntryNames(UninstallHost& host, EntryRoot root, const char* folder) {
    char location[kPathSize] = {};
    return host.ReadEntryLocation(root, location) && SameFolder(host, location, folder);
}
bool HoldsInstallation(UninstallHost& host, const char* folder, const char* marked, const char* names,
                       const char* end) {
    if (RecordNames(host, folder) || EntryNames(host, EntryRoot::Machine, folder) ||
        EntryNames(host, EntryRoot::User, folder))
        return true;
    ListedName name;
    char path[kPathSize];
    for (const char* cursor = names; ParseNextName(cursor, end, name);) {
        if (name.folder || name.self || IsDataFile(name) || !MarkedPath(path, marked, name.path)) continue;
        if (IsAsWritten(host, path, name, InspectListed(host, marked, name.path))) return true;
    }
    return false;
}

// What a killed installer left beside the listed files: plain files of the reserved form whose
// name after it is a listed file's, in the listed file's folder. A working file or a finished
// run's backup goes. An earlier copy kept aside is settled as the installer settles it: it goes
// when the file in its place is as this installation wrote it, else it comes back to its place
// (over a file a killed run left there) and is judged as any listed file. The earlier copy of the
// data file stays, the user's; that of this program is the earlier version's uninstaller, whose
// list names files of that version, and goes with this program.
struct Leftovers {
    UninstallHost& host;
    const char* folder;  // marked
    const NamesIndex& index;
    const char* directory;       // the listed folder being listed, "" for the installation folder
    char (*keptIn)[kPathSize];   // the folder of a data file that stays
    char (*earlier)[kPathSize];  // the earlier version's uninstaller (relative), "" when none
    bool kept, aborted;
};
bool VisitLeftover(void* context, const char* name, EntryKind kind) {
    Leftovers& l = *static_cast<Leftovers*>(context);
    ReservedName reserved;
    if (kind != EntryKind::File || !ParseReservedName(name, reserved)) return true;
    char listed[kPathSize], relative[kPathSize], path[kPathSize], place[kPathSize];
    ListedName line;
    CopyText(listed, l.directory);
    if (listed[0] != 0) AppendText(listed, "\\");
    CopyText(relative, listed);
    if (!AppendText(listed, reserved.name) || !AppendText(relative, name) || !FindListed(l.index, listed, true, line) ||
        !MarkedPath(path, l.folder, relative) || !MarkedPath(place, l.folder, listed))
        return true;
    const bool backup = reserved.kind == kReservedBackup;
    if (IsDataFile(line) && reserved.kind != kReservedWork) {
        if ((*l.keptIn)[0] == 0) MarkedPath(*l.keptIn, l.folder, l.directory);
        return true;
    }
    if (backup && line.self) {
        if ((*l.earlier)[0] == 0) CopyText(*l.earlier, relative);
        return true;
    }
    const EntryFacts found = InspectListed(l.host, l.folder, listed);
    if (backup && (found.kind == EntryKind::Missing || found.kind == EntryKind::File) &&
        !IsOurs(l.host, place, line, found)) {
        if (found.kind == EntryKind::File) l.host.RemoveFile(place);
        // One that cannot come back (a program holds the file in its place) waits for another run.
        l.kept = l.kept || !l.host.RenameFile(path, place);
        return true;
    }
    const Outcome outcome = RemoveOurs(l.host, path, relative);
    l.kept = l.kept || outcome == Outcome::Kept;
    l.aborted = outcome == Outcome::Aborted;
    return !l.aborted;
}

// The shell's links folder, and marked.
bool MarkedFolder(UninstallHost& host, LinksFolder which, char (&folder)[kPathSize], char (&marked)[kPathSize]) {
    marked[0] = 0;
    return host.FindLinksFolder(which, folder, sizeof folder) && AppendUtf8Part(marked, sizeof marked, folder);
}

// Removes the link linksFolder\title.lnk (linksFolder a marked text) when it leads into the
// installation folder: a later installation elsewhere may have rewritten it, and then it is that
// installation's.
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
    char links[kPathSize], marked[kPathSize], group[kPathSize];
    if (MarkedFolder(host, LinksFolder::Programs, links, marked)) {
        if (MarkedPath(group, marked, kGroupFolderName)) {
            for (const LinkRow& row : kStartMenuLinks) {
                if ((row.title == kLinkUninstall) == uninstallLink) RemoveLinkInto(host, group, row.title, folder);
            }
            if (uninstallLink) host.RemoveEmptyFolder(group);  // the user's own links keep it
        }
    }
    if (!uninstallLink && MarkedFolder(host, LinksFolder::Desktop, links, marked) && MarkedPath(group, marked, "")) {
        RemoveLinkInto(host, group, kDesktopLink.title, folder);
    }
}

// The record and the Installed-apps entries go only when they name this folder: otherwise they
// are a later installation's.
void RemoveRecord(UninstallHost& host, const char* folder) {
    if (RecordNames(host, folder)) {
        host.DeleteSetupValue(kPathValue);
        host.DeleteSetupValue(kVersionValue);
        host.DeleteSetupValue(kFullPathValue);
        host.DeleteKeyIfEmpty(kSetupKey);  // other values of the key are kept, and keep it
        host.DeleteKeyIfEmpty(kProductKey);
    }
    const EntryRoot roots[] = {EntryRoot::Machine, EntryRoot::User};
    for (EntryRoot root : roots)
        if (EntryNames(host, root, folder)) host.DeleteEntry(root);
}

// Settles what a killed installer left in one folder (directory: "" for the installation folder,
// else a listed folder), when it is a folder there and no link leads to it.
void ListLeftovers(Leftovers& l, const char* directory) {
    char path[kPathSize];
    l.directory = directory;
    if (!MarkedPath(path, l.folder, directory)) return;
    const EntryKind kind =
        directory[0] == 0 ? l.host.Inspect(path).kind : InspectListed(l.host, l.folder, directory).kind;
    if (kind == EntryKind::Folder) l.host.ListFolder(path, VisitLeftover, &l);
}

// The installation folder and every listed folder; false after an Abort.
bool RemoveLeftovers(Leftovers& l, const char* names, const char* end) {
    ListLeftovers(l, "");
    ListedName name;
    for (const char* cursor = names; !l.aborted && ParseNextName(cursor, end, name);)
        if (name.folder) ListLeftovers(l, name.path);
    return !l.aborted;
}

// The earlier version's files that a killed update left: each one as that version's installer
// wrote it goes (also where this list names it: the update had not replaced it yet); one that is
// not, and that this list does not name, is the user's now and stays. False after an Abort.
bool RemoveEarlierVersion(UninstallHost& host, const char* folder, const char* earlier, size_t size,
                          const NamesIndex& index, bool& filesKept) {
    ListedName name, listed;
    char path[kPathSize];
    const char* const end = earlier + size;
    for (const char* cursor = earlier; ParseNextName(cursor, end, name);) {
        if (name.folder || name.self || IsDataFile(name) || !MarkedPath(path, folder, name.path)) continue;
        const EntryFacts found = InspectListed(host, folder, name.path);
        if (found.kind == EntryKind::Missing) continue;
        const Outcome outcome = IsAsWritten(host, path, name, found)          ? RemoveOurs(host, path, name.path)
                                : FindListed(index, name.path, false, listed) ? Outcome::Gone
                                                                              : Outcome::Kept;
        if (outcome == Outcome::Aborted) return false;
        filesKept = filesKept || outcome == Outcome::Kept;
    }
    return true;
}

// The listed folders, children before parents (a list has parents first); a folder that still
// holds the user's files stays, and a link in a folder's place is not followed.
void RemoveListedFolders(UninstallHost& host, const char* folder, const char* names, size_t size) {
    ListedName name;
    char path[kPathSize];
    for (const char* cursor = names + size; ParsePreviousName(names, cursor, name);) {
        if (name.folder && MarkedPath(path, folder, name.path) &&
            InspectListed(host, folder, name.path).kind == EntryKind::Folder)
            host.RemoveEmptyFolder(path);
    }
}

}  // namespace

bool SameFolder(UninstallHost& host, const char* a, const char* b) {
    char fullA[kPathSize], fullB[kPathSize];
    if (!FullFolderText(a, fullA) || !FullFolderText(b, fullB)) return false;
    host.FullLongPath(fullA);
    host.FullLongPath(fullB);
    return host.SameTextIgnoringCase(fullA, fullB);
}

bool ConfirmUninstall(UninstallHost& host) {
    char16_t title[kPathSize] = {};
    if (host.FindWindowTitle(kRunningWindowClass, title, kPathSize) && IsRunningProductTitle(title)) {
        host.Ask(kMessageAlreadyRunning, kCaptionError, Prompt::Error);
        return false;
    }
    return host.Ask(kMessageConfirmUninstall, kCaptionProduct, Prompt::YesNo) == Answer::Yes;
}

namespace {

// The removal over the indexed list and, when a killed update left it aside, the earlier
// version's uninstaller and its list.
int Remove(UninstallHost& host, const char* folder, const char* names, size_t namesSize, const NamesIndex& index,
           char*& earlierList, size_t& earlierSize) {
    const char* end = names + namesSize;
    char marked[kPathSize] = {};  // the paths of its files begin with it
    if (!AppendUtf8Part(marked, sizeof marked, folder)) return kExitStopped;
    ListedName name;
    char keptIn[kPathSize] = {};   // the folder of a data file that stays
    char earlier[kPathSize] = {};  // the earlier version's uninstaller kept aside
    char message[3 * kPathSize + 128];
    char path[kPathSize];

    // 0. A folder that holds no installation (a copy of this program elsewhere) stays as it is.
    if (!HoldsInstallation(host, folder, marked, names, end)) {
        CopyText(message, kMessageNotInstalledInPrefix);
        AppendText(message, marked);
        host.Ask(message, kCaptionProduct, Prompt::Information);
        return kExitStopped;
    }

    // 1. What a killed installer left beside the listed files, then what remains of the version
    // a killed update was replacing.
    Leftovers leftovers = {host, marked, index, "", &keptIn, &earlier, false, false};
    if (!RemoveLeftovers(leftovers, names, end)) return kExitStopped;
    bool filesKept = leftovers.kept;  // a listed file other than the data file stays
    if (earlier[0] != 0 && MarkedPath(path, marked, earlier) && host.ReadNamesList(path, earlierList, earlierSize) &&
        !RemoveEarlierVersion(host, marked, earlierList, earlierSize, index, filesKept))
        return kExitStopped;

    // 2. Files but this program, in list order; the user's data file is never removed.
    for (const char* cursor = names; ParseNextName(cursor, end, name);) {
        if (name.folder || name.self) continue;
        if (IsDataFile(name)) {
            const EntryKind data = InspectListed(host, marked, name.path).kind;
            if (keptIn[0] == 0 && data != EntryKind::Missing && data != EntryKind::Folder) {
                char directoryPart[kPathSize];
                CopyTextN(directoryPart, sizeof directoryPart, name.path, DirectoryPartLength(name.path));
                MarkedPath(keptIn, marked, directoryPart);
            }
            continue;
        }
        const Outcome outcome = RemoveListedFile(host, marked, name);
        if (outcome == Outcome::Aborted) return kExitStopped;
        filesKept = filesKept || outcome == Outcome::Kept;
    }

    // 3. Folders: the earlier version's, then this one's (which holds every parent of its own).
    if (earlierList != nullptr) RemoveListedFolders(host, marked, earlierList, earlierSize);
    RemoveListedFolders(host, marked, names, namesSize);

    // 4. Links but the one that runs this program. 5. Unless listed files stay: the earlier
    // uninstaller and this program, the record and the entries, its link, then the installation
    // folder when nothing else is in it.
    RemoveLinks(host, folder, false);
    if (!filesKept && earlier[0] != 0 && MarkedPath(path, marked, earlier)) {
        const Outcome outcome = RemoveOurs(host, path, earlier);
        if (outcome == Outcome::Aborted) return kExitStopped;
        filesKept = outcome == Outcome::Kept;
    }
    for (const char* cursor = names; !filesKept && ParseNextName(cursor, end, name);) {
        if (!name.self) continue;
        const Outcome outcome = RemoveListedFile(host, marked, name);
        if (outcome == Outcome::Aborted) return kExitStopped;
        filesKept = outcome == Outcome::Kept;
    }
    if (!filesKept) {
        RemoveRecord(host, folder);
        RemoveLinks(host, folder, true);
        if (host.Inspect(marked).kind == EntryKind::Folder) host.RemoveEmptyFolder(marked);
    }

    CopyText(message, filesKept ? kMessageFilesKeptPrefix : kMessageUninstalled);
    if (filesKept) AppendText(message, marked);
    if (keptIn[0] != 0) {
        AppendText(message, "\n");
        AppendText(message, kMessageDataFileKeptPrefix);
        AppendText(message, keptIn);
    }
    host.Ask(message, kCaptionProduct, Prompt::Information);
    return kExitDone;
}

}  // namespace

int RemoveInstallation(UninstallHost& host, const char* folder, const char* names, size_t namesSize) {
    NamesIndex index;
    IndexNames(host, names, namesSize, index);  // without memory nothing is found in it
    char* earlierList = nullptr;
    size_t earlierSize = 0;
    const int exitCode = Remove(host, folder, names, namesSize, index, earlierList, earlierSize);
    if (earlierList != nullptr) host.ReleaseMemory(earlierList);
    ReleaseIndex(host, index);
    return exitCode;
}
