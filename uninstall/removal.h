// The uninstaller's decisions, over the few services it needs: whether it may start, then which
// files, folders, links and record values go, in which order, and what each answer does.
#pragma once
#include <stddef.h>

#include "base/text.h"

enum class Prompt { Error, YesNo, AbortRetryIgnore, Information };
enum class Answer { Ok, Yes, No, Abort, Retry, Ignore };
enum class RemoveResult { Removed, Missing, Failed };
enum class LinksFolder { Programs, Desktop };

// What the uninstaller needs of the system. The Win32 host lives in uninstall/main_win.cpp;
// tests script a fake. Paths are Windows-1251 texts.
struct UninstallHost {
    // Finds a top-level window of windowClass and reads its title (terminated, at most cap-1
    // bytes). False when no such window exists.
    virtual bool FindWindowTitle(const char* windowClass, char* title, size_t cap) = 0;
    // A modal message box without owner; the answer is the button pressed.
    virtual Answer Ask(const char* text, const char* caption, Prompt prompt) = 0;
    // Removes one file; Missing when there is none to remove.
    virtual RemoveResult RemoveFile(const char* path) = 0;
    // Removes a folder only when it is empty; false otherwise (not empty, missing, refused).
    virtual bool RemoveEmptyFolder(const char* path) = 0;
    virtual bool FileExists(const char* path) = 0;
    // The shell's folder of the user's Start-menu programs or desktop (out: 260 bytes or more).
    virtual bool FindLinksFolder(LinksFolder which, char* out, size_t cap) = 0;
    // The target path that a link file names; false when there is no such link or it cannot be read.
    virtual bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) = 0;
    // The recorded installation folder; false when there is none.
    virtual bool ReadInstalledPath(char (&buffer)[kPathSize]) = 0;
    // Removes one value of the per-user Setup key; a missing value is no failure.
    virtual void DeleteSetupValue(const char* name) = 0;
    // Removes a per-user key (path under HKEY_CURRENT_USER) only when it has neither values nor subkeys.
    virtual void DeleteKeyIfEmpty(const char* path) = 0;

protected:
    ~UninstallHost() = default;
};

// The original program's part: refuses beside the running application, then asks. True when the
// user chose to remove the program; false ends the process with exit code 1, nothing changed.
bool ConfirmUninstall(UninstallHost& host);

// The removal itself, run from outside the installation folder once the original has ended.
// folder: the installation folder; names: the list of packed paths (see ParseNextName).
// Returns the exit code: 0 when done, 1 when the user aborted after a failed file.
int RemoveInstallation(UninstallHost& host, const char* folder, const char* names, size_t namesSize);

// One line of the names list: a path relative to the installation folder, "\" between levels,
// a folder marked by a final "\". Lines end with LF or CR LF. Gives false at the end of the list.
// A line that is empty, absolute or climbs out of the folder is skipped (out stays valid).
struct ListedName {
    char path[kPathSize];
    bool folder;
};
bool ParseNextName(const char*& cursor, const char* end, ListedName& out);

// True when two folder texts name one folder: ASCII letters compared without case, "/" taken as
// "\", runs of separators counted as one and trailing separators ignored.
bool SameFolder(const char* a, const char* b);
