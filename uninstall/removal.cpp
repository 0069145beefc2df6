// The uninstaller's decisions: the start checks, then the removal in its fixed order.
#include "uninstall/removal.h"

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

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The next unit of a folder text for comparison: a letter in one case, one "\" for a run of
// separators, or 0 at the end (trailing separators included).
char NextFolderUnit(const char*& p, const char* end) {
    if (p == end) return 0;
    if (!IsSeparator(*p)) return ToLowerAscii(*p++);
    while (p != end && IsSeparator(*p)) ++p;
    return p == end ? 0 : '\\';
}

bool SameFolderN(const char* a, size_t aLength, const char* b, size_t bLength) {
    const char* aEnd = a + aLength;
    const char* bEnd = b + bLength;
    for (;;) {
        const char unit = NextFolderUnit(a, aEnd);
        if (unit != NextFolderUnit(b, bEnd)) return false;
        if (unit == 0) return true;
    }
}

const size_t kNoLimit = static_cast<size_t>(-1);

// A link points into the folder when the folder part of its target is that folder.
bool PointsInto(const char* target, const char* folder) {
    size_t end = TextLengthN(target, kNoLimit);
    while (end > 0 && !IsSeparator(target[end - 1])) --end;
    return end > 0 && SameFolderN(target, end, folder, TextLengthN(folder, kNoLimit));
}

// Length of the directory part of a listed path ("HlpPic" of "HlpPic\logo.gif"; 0 at the top).
size_t DirectoryPartLength(const char* path) {
    size_t end = TextLengthN(path, kNoLimit);
    while (end > 0 && path[end - 1] != '\\') --end;
    return end > 0 ? end - 1 : 0;
}

// Removes one listed file, asking after each failure. False when the user chose Abort.
bool RemoveListedFile(UninstallHost& host, const char* path, const char* listed) {
    while (host.RemoveFile(path) == RemoveResult::Failed) {
        char message[64 + kArchivePathCapacity];
        CopyText(message, kMessageRemoveFilePrefix);
        AppendText(message, listed);
        const Answer answer = host.Ask(message, kCaptionProduct, Prompt::AbortRetryIgnore);
        if (answer == Answer::Abort) return false;
        if (answer != Answer::Retry) return true;  // Ignore: the file stays, the rest goes on
    }
    return true;
}

// The k-th folder of the list (0-based), or false when there are fewer.
bool FindListedFolder(const char* names, const char* end, size_t k, ListedName& out) {
    const char* cursor = names;
    while (ParseNextName(cursor, end, out)) {
        if (out.folder && k-- == 0) return true;
    }
    return false;
}

// Removes the link linksFolder\title.lnk when it leads into the installation folder: a later
// installation elsewhere may have rewritten it, and then it is that installation's.
void RemoveLinkInto(UninstallHost& host, const char* linksFolder, const char* title, const char* folder) {
    char link[kLinkPathSize];
    char target[kPathSize];
    if (!LinkFilePath(link, linksFolder, title)) return;
    if (!host.ReadLinkTarget(link, target, sizeof target)) return;
    if (PointsInto(target, folder)) host.RemoveFile(link);  // a link that stays is not reported
}

void RemoveLinks(UninstallHost& host, const char* folder) {
    char links[kPathSize];
    if (host.FindLinksFolder(LinksFolder::Programs, links, sizeof links)) {
        char group[kPathSize];
        if (JoinLinkPath(group, sizeof group, links, kGroupFolderName)) {
            for (const LinkRow& row : kStartMenuLinks) RemoveLinkInto(host, group, row.title, folder);
            host.RemoveEmptyFolder(group);  // the user's own links keep it
        }
    }
    if (host.FindLinksFolder(LinksFolder::Desktop, links, sizeof links)) {
        RemoveLinkInto(host, links, kDesktopLink.title, folder);
    }
}

// The record goes only when it names this folder: otherwise it is a later installation's.
void RemoveRecord(UninstallHost& host, const char* folder) {
    char recorded[kPathSize] = {};
    if (!host.ReadInstalledPath(recorded) || !SameFolder(recorded, folder)) return;
    host.DeleteSetupValue(kPathValue);
    host.DeleteSetupValue(kVersionValue);
    host.DeleteKeyIfEmpty(kSetupKey);  // other values of the key are kept, and keep it
    host.DeleteKeyIfEmpty(kProductKey);
}

}  // namespace

bool SameFolder(const char* a, const char* b) {
    return SameFolderN(a, TextLengthN(a, kNoLimit), b, TextLengthN(b, kNoLimit));
}

bool ParseNextName(const char*& cursor, const char* end, ListedName& out) {
    while (cursor < end) {
        const char* line = cursor;
        while (cursor < end && *cursor != '\n') ++cursor;
        size_t length = static_cast<size_t>(cursor - line);
        if (cursor < end) ++cursor;  // past the line feed
        if (length > 0 && line[length - 1] == '\r') --length;
        out.folder = length > 0 && line[length - 1] == '\\';
        if (out.folder) --length;
        // Relative and inside the folder: no drive, no leading separator, no "." or ".." part.
        if (CheckDirectoryName(line, length) != ArchiveFault::None) continue;
        CopyTextN(out.path, sizeof out.path, line, length);
        return true;
    }
    return false;
}

bool ConfirmUninstall(UninstallHost& host) {
    char title[kPathSize] = {};
    if (host.FindWindowTitle(kRunningWindowClass, title, sizeof title) && IsRunningProductTitle(title)) {
        host.Ask(kMessageAlreadyRunning, kCaptionError, Prompt::Error);
        return false;
    }
    return host.Ask(kMessageConfirmUninstall, kCaptionProduct, Prompt::YesNo) == Answer::Yes;
}

int RemoveInstallation(UninstallHost& host, const char* folder, const char* names, size_t namesSize) {
    const char* end = names + namesSize;
    ListedName name;
    char path[kPathSize];
    char keptIn[kPathSize] = {};  // the folder of a data file that stays

    // 1. Files, in list order; the user's data file is never removed.
    const char* cursor = names;
    size_t folders = 0;
    while (ParseNextName(cursor, end, name)) {
        if (name.folder) {
            ++folders;
            continue;
        }
        if (!JoinLinkPath(path, sizeof path, folder, name.path)) continue;  // no such file can exist
        const size_t directory = DirectoryPartLength(name.path);
        if (IsDataFileName(name.path + (directory > 0 ? directory + 1 : 0))) {
            if (keptIn[0] == 0 && host.FileExists(path)) {
                CopyText(keptIn, folder);
                if (directory > 0) {
                    AppendText(keptIn, "\\");
                    AppendTextN(keptIn, sizeof keptIn, name.path, directory);
                }
            }
            continue;
        }
        if (!RemoveListedFile(host, path, name.path)) return kExitStopped;
    }

    // 2. Folders, children before parents (the list has parents first), then the folder itself;
    // a folder that still holds the user's files stays.
    for (size_t k = folders; k-- > 0;) {
        if (FindListedFolder(names, end, k, name) && JoinLinkPath(path, sizeof path, folder, name.path))
            host.RemoveEmptyFolder(path);
    }
    host.RemoveEmptyFolder(folder);

    // 3. Links, 4. the record.
    RemoveLinks(host, folder);
    RemoveRecord(host, folder);

    char message[2 * kPathSize + 128];
    CopyText(message, kMessageUninstalled);
    if (keptIn[0] != 0) {
        AppendText(message, "\n");
        AppendText(message, kMessageDataFileKeptPrefix);
        AppendText(message, keptIn);
    }
    host.Ask(message, kCaptionProduct, Prompt::Information);
    return kExitDone;
}
