// The links of the closing actions: the table and the texts each link is built from.
#pragma once
#include <stddef.h>

#include "base/text.h"

struct LinkRow {
    const char* target;  // file name in the installation folder
    const char* title;   // link title: description and file name
};

// The Start-menu group's links, in the order they are created.
extern const LinkRow kStartMenuLinks[6];
// The desktop link, made when the desktop flag is set.
extern const LinkRow kDesktopLink;
// The Start-menu group folder's name, inside the programs folder.
extern const char kGroupFolderName[];

const size_t kLinkPathSize = 260;  // Windows path limit of a link file, terminator included
const size_t kWorkingDirSize = 260;
const size_t kLinkTargetSize = 260;  // a shell link holds a target of at most 259 characters

// The texts below are built alike in bytes and in UTF-16 (for the W calls): paths in characters.

// folder + "\" + name into out. False when it does not fit: the text is unusable.
template <typename Char>
bool JoinLinkPath(Char* out, size_t cap, const Char* folder, const Char* name) {
    // Plain concatenation: a folder ending in "\" gets a second one.
    const Char separator[2] = {'\\', 0};
    return CopyTextN(out, cap, folder) && AppendTextN(out, cap, separator) && AppendTextN(out, cap, name);
}

// The link's target: folder + "\" + name. False when it does not fit kLinkTargetSize characters:
// a link is never saved with a cut target, which would point somewhere else or nowhere.
template <typename Char>
bool LinkTargetPath(Char (&out)[kLinkTargetSize], const Char* folder, const Char* name) {
    return JoinLinkPath(out, kLinkTargetSize, folder, name);
}

// The folder part of a link target: the text before its last backslash at a position above 0;
// empty when the only backslash is the first character or there is none. A folder that does
// not fit kWorkingDirSize characters gives an empty text and false. (A UTF-16 target: every
// "\\" is a separator.)
template <typename Char>
bool LinkWorkingDirectory(Char (&out)[kWorkingDirSize], const Char* target) {
    size_t end = TextLengthN(target, static_cast<size_t>(-1));
    while (end > 0 && target[end] != '\\') --end;
    if (end >= kWorkingDirSize) {
        out[0] = 0;  // a cut folder would name another place
        return false;
    }
    CopyTextN(out, kWorkingDirSize, target, end);
    return true;
}

// The link file: links folder + "\" + title + ".lnk". False when it does not fit kLinkPathSize
// characters with its terminator; the link is then not saved.
template <typename Char>
bool LinkFilePath(Char (&out)[kLinkPathSize], const Char* linksFolder, const Char* title) {
    static const Char extension[5] = {'.', 'l', 'n', 'k', 0};
    return JoinLinkPath(out, kLinkPathSize, linksFolder, title) && AppendText(out, extension);
}
