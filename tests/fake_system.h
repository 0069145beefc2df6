// The uninstaller's system as a folder in memory, shared by the removal tests and the names-list
// fuzz target: an installation in kFolder with its links and record. A removal, rename or
// folder removal at or through a link aborts.
#pragma once
#include <algorithm>
#include <map>
#include <set>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "payload/archive.h"
#include "system/shortcuts.h"
#include "tests/memory_folder.h"
#include "uninstall/removal.h"

const char kFolder[] = "C:\\Pelbrix";
const char kMarkedFolder[] = "\001C:\\Pelbrix\001";  // as the installer marks its folder
const char kGroup[] = "C:\\Menu\\Пелбриксон";
const std::string kSetup = "Software\\Pelbrix\\Setup";
const char kNames[] =
    "HlpPic\\\r\nHlpPic\\Deep\\\r\nHlpPic\\Deep\\a.gif\t10\t50000000\t597b3839\r\n"
    "HlpPic\\logo.gif\t10\t50000000\t597b3839\r\nPelbrix.exe\t10\t50000000\t597b3839\r\n"
    "Tolva.dat\t10\t50000000\t597b3839\r\nuninstall.exe\t-\t-\r\n";
const Node kWritten = {0x20, "0123456789", 50000000};  // as the installer wrote each file (597b3839)

// A marked text as a Windows-1251 system shows it: the marks around the folder dropped.
std::string Plain(std::string text) {
    for (char mark : {kAnsiMark, kUtf8Mark}) text.erase(std::remove(text.begin(), text.end(), mark), text.end());
    return text;
}

// Windows-1251 letters in one case, as Windows compares names.
std::string Folded(std::string text) {
    for (char& c : text) c = FoldLetter1251(c);
    return text;
}

// The system as a folder in memory (tests/memory_folder.h): files, folders and links of any kind
// (the reparse-point bit); a link file (.lnk) holds its target.
struct FakeSystem final : UninstallHost {
    Disk disk;
    std::set<std::string> setup = {std::string("Path=") + kFolder, "Version=1.8.3"};  // the Setup key's values
    bool setupKey = true;                                                             // and the key
    std::map<std::string, Answer> held;  // file -> the answer while it stays held
    std::map<EntryRoot, std::string> entries = {{EntryRoot::Machine, kFolder}};  // entry -> InstallLocation
    EntryFacts self = {EntryKind::File, 10, 50000000};                           // the running program's own file
    std::u16string runningTitle = u"-";                                          // "-": no running window
    std::string log;                                                             // a line a call

    bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) override {
        if (runningTitle == u"-" || std::string(windowClass) != "TFormMain") return false;
        CopyTextN(title, cap, runningTitle.c_str());
        return true;
    }
    Answer Ask(const char* marked, const char* caption, Prompt prompt) override {
        const std::string text = Plain(marked);
        log += std::string("ask ") + caption + ": " + text + "\n";
        if (prompt != Prompt::AbortRetryIgnore) return prompt == Prompt::YesNo ? Answer::Yes : Answer::Ok;
        for (const auto& h : held)
            if (text.find(h.first.substr(strlen(kFolder) + 1)) != std::string::npos) return h.second;
        return Answer::Abort;
    }
    // Nothing the removal changes is a link or lies below one.
    void CheckNoLink(const std::string& path) const {
        CheckNoLinkAbove(disk, path);
        Check(disk.count(path) == 0 || !IsLink(disk.at(path)), "a link changed");
    }
    RemoveResult RemoveFile(const char* marked) override {
        const std::string path = Plain(marked);
        CheckNoLink(path);
        log += "rm " + path + "\n";
        const auto n = disk.find(path);
        if (held.count(path)) return RemoveResult::Failed;
        if (n == disk.end() || (n->second.attributes & kAttributeDirectory) != 0) return RemoveResult::Missing;
        return disk.erase(n), RemoveResult::Removed;
    }
    bool RenameFile(const char* from, const char* to) override {
        const std::string path = Plain(from), target = Plain(to);
        CheckNoLink(path);
        CheckNoLink(target);
        log += "mv " + path + " " + target + "\n";
        const auto n = disk.find(path);
        if (held.count(path) || held.count(target) || n == disk.end() || disk.count(target)) return false;
        disk[target] = n->second;
        return disk.erase(path), true;
    }
    // An uninstaller's bytes are its list here.
    bool ReadNamesList(const char* marked, char*& list, size_t& size) override {
        const auto n = disk.find(Plain(marked));
        if (n == disk.end()) return false;
        size = n->second.data.size();
        list = static_cast<char*>(ObtainMemory(size + 1));
        return memcpy(list, n->second.data.data(), size), true;
    }
    void* ObtainMemory(size_t size) override { return malloc(size); }
    void ReleaseMemory(void* block) override { free(block); }
    bool RemoveEmptyFolder(const char* marked) override {
        const std::string path = Plain(marked);
        CheckNoLink(path);
        if (HoldsAnything(disk, path)) return false;
        log += "rmdir " + path + "\n";
        return disk.erase(path) != 0;
    }
    EntryFacts Inspect(const char* marked) override {
        const auto n = disk.find(Plain(marked));
        if (n == disk.end()) return {EntryKind::Missing, 0, 0};
        const uint32_t a = n->second.attributes;
        return {IsLink(n->second)           ? EntryKind::Link
                : (a & kAttributeDirectory) ? EntryKind::Folder
                                            : EntryKind::File,
                n->second.data.size(), n->second.time};
    }
    bool FileChecksum(const char* marked, uint32_t& checksum) override {
        const std::string path = Plain(marked);
        log += "read " + path + "\n";
        const auto n = disk.find(path);
        if (n == disk.end()) return false;
        checksum = ChecksumCrc32(reinterpret_cast<const uint8_t*>(n->second.data.data()), n->second.data.size());
        return true;
    }
    // From a copy: the visitor may remove what it is shown.
    void ListFolder(const char* marked, EntryVisitor visit, void* context) override {
        const std::string prefix = Plain(marked) + "\\";
        const Disk listed = disk;
        for (const auto& e : listed)
            if (Begins(prefix)(e.first) && e.first.find('\\', prefix.size()) == std::string::npos &&
                !visit(context, e.first.c_str() + prefix.size(), Inspect(e.first.c_str()).kind))
                return;
    }
    bool InspectSelf(EntryFacts& facts) override {
        facts = self;
        return true;
    }
    void FullLongPath(char (&path)[kPathSize]) override {
        if (std::string(path) == "C:\\PELBRI~1") snprintf(path, sizeof path, "C:\\Pelbrix");
    }
    bool SameTextIgnoringCase(const char* a, const char* b) override { return Folded(a) == Folded(b); }
    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override {
        return snprintf(out, cap, "%s", which == LinksFolder::Programs ? "C:\\Menu" : "C:\\Desk");
    }
    bool ReadLinkTarget(const char* marked, char* target, size_t cap) override {
        const auto n = disk.find(Plain(marked));
        return n != disk.end() && snprintf(target, cap, "%s", n->second.data.c_str());
    }
    // The record's Path (its FullPath, read before Path, is install_record_test's).
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override {
        for (const std::string& value : setup)
            if (Begins("Path=")(value)) return snprintf(buffer, sizeof buffer, "%s", value.c_str() + 5);
        return false;
    }
    void DeleteSetupValue(const char* name) override {
        log += std::string("regdel ") + name + "\n";
        for (auto it = setup.begin(); it != setup.end();)
            it = Begins(name + std::string("="))(*it) ? setup.erase(it) : std::next(it);
    }
    void DeleteKeyIfEmpty(const char* path) override {  // the Setup key, then its parent
        if (path == kSetup ? !setup.empty() : setupKey) return;
        log += std::string("keydel ") + path + "\n";
        setupKey = setupKey && path != kSetup;
    }
    bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) override {
        return entries.count(root) && snprintf(buffer, sizeof buffer, "%s", entries[root].c_str());
    }
    void DeleteEntry(EntryRoot root) override {
        log += root == EntryRoot::Machine ? "entrydel HKLM\n" : "entrydel HKCU\n";
        entries.erase(root);
    }

    // A complete installation in kFolder, its links and record.
    FakeSystem() {
        for (const std::string& f : {std::string(kFolder), std::string(kFolder) + "\\HlpPic",
                                     std::string(kFolder) + "\\HlpPic\\Deep", std::string(kGroup)})
            disk[f] = {kAttributeDirectory, "", 0};
        for (const char* f : {"HlpPic\\Deep\\a.gif", "HlpPic\\logo.gif", "Pelbrix.exe", "Tolva.dat", "uninstall.exe"})
            disk[std::string(kFolder) + "\\" + f] = kWritten;
        for (const LinkRow& l : kStartMenuLinks)
            disk[std::string(kGroup) + "\\" + l.title + ".lnk"] = {0x20, std::string(kFolder) + "\\" + l.target, 0};
        disk["C:\\Desk\\Пелбриксон.lnk"] = {0x20, std::string(kFolder) + "\\Pelbrix.exe", 0};
    }
    // The files left in the installation folder.
    std::set<std::string> FileNames() const {
        std::set<std::string> names;
        for (const auto& e : disk)
            if (Begins(std::string(kFolder) + "\\")(e.first) && (e.second.attributes & kAttributeDirectory) == 0)
                names.insert(e.first);
        return names;
    }
    int Run(const std::string& names = kNames) {
        return RemoveInstallation(*this, kFolder, names.data(), names.size());
    }
};
