// The uninstaller's decisions, over the few services it needs: whether it may start, then which
// files, folders, links, record values and Installed-apps entries go, in which order, and what
// each answer does.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "base/text.h"
#include "system/installed_files.h"

enum class Prompt { Error, YesNo, AbortRetryIgnore, Information };
enum class Answer { Ok, Yes, No, Abort, Retry, Ignore };
enum class LinksFolder { Programs, Desktop };
enum class EntryRoot { Machine, User };  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER

// Called by ListFolder for each entry of a folder but "." and ".." (its name Windows-1251); false
// stops the listing.
typedef bool (*EntryVisitor)(void* context, const char* name, EntryKind kind);

// What the uninstaller needs of the system. The Win32 host lives in uninstall/host_win.cpp;
// tests script a fake. Folder texts (the installation folder, the links folders, the record and
// the entry, link targets) are the system's UTF-16 texts as UTF-8, whatever the code page (a
// recorded Path in the ANSI code page is converted to UTF-16 first); the paths of files, folders
// and links are marked texts (base/ansi_text.h): the folder marked, the listed names and the link
// titles Windows-1251. Messages are marked texts too.
struct UninstallHost : FilesHost {
    // Finds a top-level window of windowClass and reads its title (UTF-16, terminated, at most
    // cap-1 units). False when no such window exists.
    virtual bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) = 0;
    // A modal message box without owner; the answer is the button pressed.
    virtual Answer Ask(const char* text, const char* caption, Prompt prompt) = 0;
    // Gives the file the name to, beside it (marked paths, inside the folder of their marked part,
    // as FilesHost's removals); false when to exists or the rename fails.
    virtual bool RenameFile(const char* from, const char* to) = 0;
    // The entries of a folder (a marked path); a name without a Windows-1251 form is left out.
    virtual void ListFolder(const char* path, EntryVisitor visit, void* context) = 0;
    // The facts of this program's own file (the list cannot carry the size of the program that
    // carries the list). False when they cannot be read.
    virtual bool InspectSelf(EntryFacts& facts) = 0;
    // Makes an absolute folder text full as the system makes it, in its long form where it
    // exists; leaves it as it is when the system cannot.
    virtual void FullLongPath(char (&path)[kPathSize]) = 0;
    // True when two texts are equal without regard to letter case, as the system compares them.
    virtual bool SameTextIgnoringCase(const char* a, const char* b) = 0;
    // The shell's folder of the user's Start-menu programs or desktop (out: 260 bytes or more).
    virtual bool FindLinksFolder(LinksFolder which, char* out, size_t cap) = 0;
    // The target path that a link file names; false when there is no such link or it cannot be read.
    virtual bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) = 0;
    // The recorded installation folder as the installer made it full; false when there is none.
    virtual bool ReadRecordedFolder(char (&buffer)[kPathSize]) = 0;
    // Removes one value of the per-user Setup key; a missing value is no failure.
    virtual void DeleteSetupValue(const char* name) = 0;
    // Removes a per-user key (path under HKEY_CURRENT_USER) only when it has neither values nor subkeys.
    virtual void DeleteKeyIfEmpty(const char* path) = 0;
    // The Installed-apps entry under root: its InstallLocation; false when there is none.
    virtual bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) = 0;
    virtual void DeleteEntry(EntryRoot root) = 0;

protected:
    ~UninstallHost() = default;
};

// The original program's part: refuses beside the running application, then asks. True when the
// user chose to remove the program; false ends the process with exit code 1, nothing changed.
bool ConfirmUninstall(UninstallHost& host);

// The removal itself, run from outside the installation folder once the original has ended.
// folder: the installation folder (UTF-8); names: the list of packed paths (ParseNextName).
// A folder that holds no installation (nothing of the list as the installer wrote it, and neither
// the record nor an Installed-apps entry naming it) is left as it is, and the user told so.
// Order: what a killed installer left beside the listed files (settled as the installer settles
// it), the files of the earlier version a killed update left (by the list of that version's
// uninstaller, kept aside), the listed files but this program, the folders, the links but the
// one that runs this program; then, unless listed files stay, the earlier uninstaller and this
// program, the record and the Installed-apps entry, that link: an Abort anywhere, or files that
// stay, leave what runs the removal again.
// Returns the exit code: 0 when done, 1 when the user aborted after a failed file or the folder
// holds no installation.
int RemoveInstallation(UninstallHost& host, const char* folder, const char* names, size_t namesSize);

// True when two absolute folder texts name one folder: both made full ("\\?\" taken off, "/"
// taken as "\", runs of separators as one, "." and ".." parts resolved, trailing dots and
// spaces of every part and trailing separators dropped), then long, then compared without
// regard to letter case.
bool SameFolder(UninstallHost& host, const char* a, const char* b);
