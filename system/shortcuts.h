// The links of the closing actions: the table and the texts each link is built from.
#pragma once
#include <stddef.h>

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

// folder + "\" + name into out (1024 bytes). False when it does not fit: the text is unusable.
bool JoinLinkPath(char* out, size_t cap, const char* folder, const char* name);

// The link's target: folder + "\" + name. False when it does not fit kLinkTargetSize bytes:
// a link is never saved with a cut target, which would point somewhere else or nowhere.
bool LinkTargetPath(char (&out)[kLinkTargetSize], const char* folder, const char* name);

// The folder part of a link target: the text before its last backslash at a position above 0;
// empty when the only backslash is the first character or there is none. A folder that does
// not fit kWorkingDirSize bytes gives an empty text and false.
bool LinkWorkingDirectory(char (&out)[kWorkingDirSize], const char* target);

// The link file: links folder + "\" + title + ".lnk". False when it does not fit kLinkPathSize
// bytes with its terminator; the link is then not saved.
bool LinkFilePath(char (&out)[kLinkPathSize], const char* linksFolder, const char* title);
