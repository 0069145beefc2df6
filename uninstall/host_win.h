// The uninstaller's host over Win32: message boxes, the files of the installation, the links,
// the record and the entry (the last two through system/).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "base/text.h"
#include "uninstall/removal.h"

struct Win32UninstallHost final : UninstallHost {
    bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) override;
    Answer Ask(const char* text, const char* caption, Prompt prompt) override;
    RemoveResult RemoveFile(const char* path) override;
    bool RemoveEmptyFolder(const char* path) override;
    EntryFacts Inspect(const char* path) override;
    bool FileChecksum(const char* path, uint32_t& checksum) override;
    // Names in Windows-1251, as the list has them: a name without that form is no listed name.
    void ListFolder(const char* path, EntryVisitor visit, void* context) override;
    bool InspectSelf(EntryFacts& facts) override;
    void FullLongPath(char (&path)[kPathSize]) override;
    bool SameTextIgnoringCase(const char* a, const char* b) override;
    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override;
    bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) override;
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override;
    void DeleteSetupValue(const char* name) override;
    void DeleteKeyIfEmpty(const char* path) override;
    bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) override;
    void DeleteEntry(EntryRoot root) override;
};

// Runs the removal of the installation in folder over the list of packed paths that the build
// put into this program. Returns the exit code.
int RunRemoval(const char* folder);
