// The uninstaller's removal over a fake system: which paths go, in which order, what is kept,
// and what each answer to a failed file does.
#include "uninstall/removal.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stdio.h>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "base/messages.h"
#include "payload/archive.h"
#include "system/shortcuts.h"
#include "tests/memory_folder.h"

namespace {

const char kFolder[] = "C:\\Pelbrix";
const char kGroup[] = "C:\\Menu\\Пелбриксон";
const std::string kSetup = "Software\\Pelbrix\\Setup";
const char kNames[] =
    "HlpPic\\\r\nHlpPic\\Deep\\\r\nHlpPic\\Deep\\a.gif\t10\t50000000\t597b3839\r\n"
    "HlpPic\\logo.gif\t10\t50000000\t597b3839\r\nPelbrix.exe\t10\t50000000\t597b3839\r\n"
    "Tolva.dat\t10\t50000000\t597b3839\r\nuninstall.exe\t-\t-\r\n";
const Node kWritten = {0x20, "0123456789", 50000000};  // as the installer wrote each file (597b3839)

// A marked text as a Windows-1251 system shows it: the marks around the folder dropped.
std::string Plain(const char* marked) {
    std::string text = marked;
    text.erase(std::remove(text.begin(), text.end(), kAnsiMark), text.end());
    return text;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Windows-1251 letters in one case, as Windows compares names.
std::string Folded(std::string text) {
    for (char& c : text) c = FoldLetter1251(c);
    return text;
}

// The system as a folder in memory (tests/memory_folder.h): files, folders and links of any kind
// (the reparse-point bit); a link file (.lnk) holds its target.
struct FakeSystem final : UninstallHost {
    Disk disk;
    std::map<std::string, std::set<std::string>> keys;  // HKCU key -> "name=value"
    std::map<std::string, std::vector<Answer>> held;    // file -> answers given while it stays held
    std::map<EntryRoot, std::string> entries;           // Installed-apps entry -> InstallLocation
    EntryFacts self = {EntryKind::File, 10, 50000000};  // the running program's own file
    std::u16string runningTitle = u"-";                 // "-": no running window
    std::vector<std::string> log;

    bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) override {
        if (runningTitle == u"-" || std::string(windowClass) != "TFormMain") return false;
        CopyTextN(title, cap, runningTitle.c_str());
        return true;
    }
    Answer Ask(const char* marked, const char* caption, Prompt prompt) override {
        const std::string text = Plain(marked);
        log.push_back(std::string("ask ") + caption + ": " + text);
        if (prompt != Prompt::AbortRetryIgnore) return prompt == Prompt::YesNo ? Answer::Yes : Answer::Ok;
        for (auto& h : held) {
            if (text.find(h.first.substr(strlen(kFolder) + 1)) == std::string::npos) continue;
            const Answer answer = h.second.front();
            h.second.erase(h.second.begin());
            if (h.second.empty()) held.erase(h.first);  // released after the last scripted answer
            return answer;
        }
        return Answer::Abort;
    }
    RemoveResult RemoveFile(const char* marked) override {
        const std::string path = Plain(marked);
        log.push_back(std::string("rm ") + path);
        const auto n = disk.find(path);
        if (held.count(path)) return RemoveResult::Failed;
        if (n == disk.end() || (n->second.attributes & kAttributeDirectory) != 0) return RemoveResult::Missing;
        return disk.erase(n), RemoveResult::Removed;
    }
    bool RemoveEmptyFolder(const char* marked) override {
        const std::string path = Plain(marked);
        if (HoldsAnything(disk, path)) return false;
        log.push_back(std::string("rmdir ") + path);
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
        log.push_back("read " + path);
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
            if (StartsWith(e.first, prefix) && e.first.find('\\', prefix.size()) == std::string::npos &&
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
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override {  // FullPath, else Path
        for (const std::string name : {"FullPath=", "Path="})
            for (const std::string& value : keys[kSetup])
                if (StartsWith(value, name)) return snprintf(buffer, sizeof buffer, "%s", value.c_str() + name.size());
        return false;
    }
    void DeleteSetupValue(const char* name) override {
        log.push_back(std::string("regdel ") + name);
        auto& values = keys[kSetup];
        for (auto it = values.begin(); it != values.end();)
            it = StartsWith(*it, name + std::string("=")) ? values.erase(it) : std::next(it);
    }
    void DeleteKeyIfEmpty(const char* path) override {
        for (const auto& k : keys)
            if (StartsWith(k.first, std::string(path) + "\\")) return;
        if (!keys[path].empty()) return;
        log.push_back(std::string("keydel ") + path);
        keys.erase(path);
    }
    bool ReadEntryLocation(EntryRoot root, char (&buffer)[kPathSize]) override {
        return entries.count(root) && snprintf(buffer, sizeof buffer, "%s", entries[root].c_str());
    }
    void DeleteEntry(EntryRoot root) override {
        log.push_back(root == EntryRoot::Machine ? "entrydel HKLM" : "entrydel HKCU");
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
        keys[kSetup] = {std::string("Path=") + kFolder, "Version=1.8.3"};
        keys["Software\\Pelbrix"] = {};
        entries[EntryRoot::Machine] = kFolder;
    }
    // The files left in the installation folder.
    std::set<std::string> FileNames() const {
        std::set<std::string> names;
        for (const auto& e : disk)
            if (StartsWith(e.first, std::string(kFolder) + "\\") && (e.second.attributes & kAttributeDirectory) == 0)
                names.insert(e.first);
        return names;
    }
    int Run() { return RemoveInstallation(*this, kFolder, kNames, sizeof kNames - 1); }
};

std::string Lines(const std::vector<std::string>& log) {
    std::string all;
    for (const std::string& line : log) all += line + "\n";
    return all;
}

// The refusal while the program runs and the answer "Нет" are Wine scenarios; here a window of
// the program's class whose title is not the product's does not stop the removal.
TEST(Removal, StartChecks) {
    FakeSystem system;
    system.runningTitle = u"Пелбрикс";
    EXPECT_TRUE(ConfirmUninstall(system));
    EXPECT_EQ(Lines(system.log), "ask Пелбриксон: Удалить программу 'Пелбриксон' с этого компьютера?\n");
}

TEST(Removal, WholeInstallationInOrder) {
    FakeSystem system;
    system.entries[EntryRoot::User] = "C:\\Pelbrix";
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(Lines(system.log),
              "rm C:\\Pelbrix\\HlpPic\\Deep\\a.gif\n"
              "rm C:\\Pelbrix\\HlpPic\\logo.gif\n"
              "rm C:\\Pelbrix\\Pelbrix.exe\n"
              "rmdir C:\\Pelbrix\\HlpPic\\Deep\n"
              "rmdir C:\\Pelbrix\\HlpPic\n"
              "rm C:\\Menu\\Пелбриксон\\Программа.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Инструкция.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Новости.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Лицензионное соглашение.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Особенности.lnk\n"
              "rm C:\\Desk\\Пелбриксон.lnk\n"
              "rm C:\\Pelbrix\\uninstall.exe\n"
              "regdel Path\nregdel Version\nregdel FullPath\n"
              "keydel Software\\Pelbrix\\Setup\nkeydel Software\\Pelbrix\n"
              "entrydel HKLM\nentrydel HKCU\n"
              "rm C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk\n"
              "rmdir C:\\Menu\\Пелбриксон\n"
              "ask Пелбриксон: Программа 'Пелбриксон' удалена с компьютера.\n"
              "Файл данных Tolva.dat сохранён в папке C:\\Pelbrix\n");
    EXPECT_EQ(system.FileNames(), std::set<std::string>{"C:\\Pelbrix\\Tolva.dat"});
}

// Only what the installer wrote goes: a file of another size, or of another time and other
// bytes, is the user's, and nothing at or below a link is touched (a time moved by an hour, FAT's
// across a daylight-saving change, is a Wine scenario). A file held and ignored stays. When
// listed files stay, this program, its link and the record stay too, and the final message says
// where the files are.
TEST(Removal, KeepsFilesNotAsWritten) {
    const std::string logo = "C:\\Pelbrix\\HlpPic\\logo.gif", deep = "C:\\Pelbrix\\HlpPic\\Deep\\a.gif";
    const std::string exe = "C:\\Pelbrix\\Pelbrix.exe", self = "C:\\Pelbrix\\uninstall.exe";
    const std::pair<std::string, std::set<std::string>> cases[] = {
        // kept: besides Tolva.dat and, when any, this program
        {"size", {logo}},     {"time +1 h, other bytes", {logo}}, {"time +2.1 s, other bytes", {logo}},
        {"own size", {self}}, {"time +2 s, other bytes", {}},     {"link file", {logo}},
        {"Ignore", {logo}},   {"link HlpPic", {logo, deep}},      {"link folder", {logo, deep, exe, self}},
    };
    for (const auto& [change, kept] : cases) {
        SCOPED_TRACE(change);
        FakeSystem system;
        Node& file = system.disk[logo];
        if (change == "size") file.data += "x";
        if (change.find("other bytes") != std::string::npos) file.data = "9876543210";
        if (change == "time +1 h, other bytes") file.time += 36000000000ull;  // an hour
        if (change == "time +2.1 s, other bytes") file.time += 21000000;
        if (change == "time +2 s, other bytes") file.time += 20000000;
        if (change == "own size") system.self.size = 12;
        if (change == "link file") file.attributes |= kAttributeReparsePoint;
        if (change == "link HlpPic") system.disk["C:\\Pelbrix\\HlpPic"].attributes |= kAttributeReparsePoint;
        if (change == "Ignore") system.held[logo] = {Answer::Ignore};
        if (change == "link folder") system.disk[kFolder].attributes |= kAttributeReparsePoint;
        std::vector<std::string> links;
        for (const auto& e : system.disk)
            if (IsLink(e.second)) links.push_back(e.first);
        EXPECT_EQ(system.Run(), 0);
        std::set<std::string> expected = kept;
        expected.insert("C:\\Pelbrix\\Tolva.dat");
        if (!kept.empty()) expected.insert(self);
        EXPECT_EQ(system.FileNames(), expected);
        for (const std::string& line : system.log)
            for (const std::string& link : links) EXPECT_FALSE(StartsWith(line, "rm " + link)) << line;
        EXPECT_EQ(system.disk.count("C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk"), kept.empty() ? 0u : 1u);
        EXPECT_EQ(system.keys[kSetup].size(), kept.empty() ? 0u : 2u);
        const std::string told = kept.empty() ? "Программа 'Пелбриксон' удалена с компьютера.\nФайл данных"
                                              : "Часть файлов не удалена и осталась в папке C:\\Pelbrix\nФайл данных";
        EXPECT_NE(system.log.back().find(told), std::string::npos) << system.log.back();
    }
}

// What a killed update left beside the listed files goes before them: working files, backups,
// a finished run's leftovers, plain files only, of listed names only; the data file's earlier
// copy stays as the user's. (A folder holding no installation is a Wine scenario.)
TEST(Removal, LeftoversGoFirst) {
    FakeSystem system;
    const std::string top = "C:\\Pelbrix\\", pic = top + "HlpPic\\";
    for (const char* name :
         {"~pel0badcafe-Pelbrix.exe", "~pel0badcafe=uninstall.exe", "~pel12345678-Tolva.dat", "~pel12345678+Tolva.dat",
          "~pel0badcafe-notes.txt", "~pel0BADCAFE-Pelbrix.exe", "~pel0badcafe*Pelbrix.exe", "~pel0badcafe-logo.gif",
          "HlpPic\\~pel0badcafe+logo.gif", "HlpPic\\~pel0badcafe-Deep", "HlpPic\\~pel0badcafe-HlpPic"})
        system.disk[top + name] = {0x20, "abc", 7};
    system.disk[pic + "~pel0badcafe-logo.gif"] = {kAttributeDirectory, "", 0};
    system.disk[pic + "Deep\\~pel0badcafe-a.gif"] = {0x420, kWritten.data, kWritten.time};
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(system.FileNames(),
              (std::set<std::string>{top + "Tolva.dat", top + "~pel12345678-Tolva.dat", top + "~pel0badcafe-notes.txt",
                                     top + "~pel0BADCAFE-Pelbrix.exe", top + "~pel0badcafe*Pelbrix.exe",
                                     top + "~pel0badcafe-logo.gif", pic + "~pel0badcafe-Deep",
                                     pic + "~pel0badcafe-HlpPic", pic + "Deep\\~pel0badcafe-a.gif"}));
    EXPECT_EQ(system.log.front(), "rm C:\\Pelbrix\\~pel0badcafe-Pelbrix.exe");
    EXPECT_NE(system.log.back().find("удалена с компьютера.\nФайл данных Tolva.dat"), std::string::npos);
}

// The record goes by the folder the installer made full: "\\Pelbrix" typed on drive C: is
// recorded with FullPath C:\\Pelbrix; a record without it is compared by Path as it stands.
TEST(Removal, RecordOfARootedFolder) {
    for (bool full : {true, false}) {
        FakeSystem system;
        system.keys[kSetup] = {"Path=\\Pelbrix", "Version=1.8.3"};
        if (full) system.keys[kSetup].insert("FullPath=C:\\Pelbrix");
        EXPECT_EQ(system.Run(), 0);
        EXPECT_EQ(system.keys.count(kSetup), full ? 0u : 1u);
    }
}

// After an update: the files and folders that only the earlier list has go when they are as
// that installer wrote them (a time an hour off recognised by the bytes, where that list has
// them); what the current list has (letter case aside), the data file, the uninstaller's own
// line and files changed since stay.
TEST(Removal, EarlierVersionsFiles) {
    const char earlier[] =
        "Old\\\r\nOld\\Deep\\\r\nHlpPic\\\r\nOld\\Deep\\a.gif\t10\t50000000\t597b3839\r\n"
        "Old\\b.gif\t10\t50000000\r\nOld\\Tolva.dat\t10\t50000000\r\nold.txt\t10\t50000000\r\n"
        "mine.txt\t10\t50000000\r\nPELBRIX.EXE\t10\t50000000\r\nuninstall.exe\t-\t-\r\n";
    const std::string top = "C:\\Pelbrix\\";
    FakeSystem system;
    system.disk[top + "Old"] = system.disk[top + "Old\\Deep"] = {kAttributeDirectory, "", 0};
    for (const char* name : {"Old\\Deep\\a.gif", "Old\\b.gif", "Old\\Tolva.dat", "old.txt", "mine.txt"})
        system.disk[top + name] = kWritten;
    system.disk[top + "Old\\Deep\\a.gif"].time += 36000000000ull;
    system.disk[top + "Old\\b.gif"].time += 36000000000ull;
    system.disk[top + "mine.txt"].data += "x";
    std::set<std::string> expected = system.FileNames();
    RemoveEarlierFiles(system, kFolder, earlier, sizeof earlier - 1, kNames, sizeof kNames - 1);
    expected.erase(top + "Old\\Deep\\a.gif");
    expected.erase(top + "old.txt");
    EXPECT_EQ(system.FileNames(), expected);
    EXPECT_EQ(system.disk.count(top + "Old\\Deep"), 0u);
    EXPECT_EQ(system.disk.count(top + "Old"), 1u);
    EXPECT_EQ(system.disk.count(top + "HlpPic"), 1u);
}

// Folders compared as Windows compares them: made full, long, letters of either case.
TEST(Removal, SameFolder) {
    FakeSystem system;
    for (const auto& [a, b, same] : std::vector<std::tuple<std::string, std::string, bool>>{
             {"C:\\Program Files\\Pelbrix", "c:\\PROGRAM FILES\\pelbrix", true},
             {"C:\\Пелбриксон", "c:\\пелбриксОН", true},
             {"C:\\Ёлка", "C:\\ёлка", true},
             {"C:\\\\Pelbrix", "C:/Pelbrix/", true},
             {"C:\\Tmp\\..\\Pelbrix\\.", "C:\\Pelbrix", true},
             {"C:\\..\\..\\Pelbrix", "C:\\Pelbrix", true},
             {"C:\\Pelbrix.\\HlpPic ", "C:\\Pelbrix\\HlpPic", true},
             {"\\\\?\\C:\\Pelbrix", "C:\\Pelbrix", true},
             {"\\\\?\\UNC\\srv\\share\\Pelbrix", "\\\\srv\\share\\Pelbrix", true},
             {"\\\\srv\\share\\..\\Pelbrix", "\\\\srv\\share\\Pelbrix", true},
             {"C:\\PELBRI~1", "C:\\Pelbrix", true},
             {"C:\\Pelbrix", "C:\\Pelbrix2", false},
             {"C:\\Pelbrix", "D:\\Pelbrix", false},
             {"C:\\Пелбриксон", "C:\\Пелбриксан", false},
             {"\\\\srv\\share\\Pelbrix", "\\\\srv\\other\\Pelbrix", false}}) {
        SCOPED_TRACE(a + " | " + b);
        EXPECT_EQ(SameFolder(system, a.c_str(), b.c_str()), same);
        EXPECT_EQ(SameFolder(system, b.c_str(), a.c_str()), same);
    }
}

TEST(Removal, ListLines) {
    const char list[] =
        "\r\nA\\\nA\\b.txt\t12\t345\t0BadCafe\r\n\\abs\t1\t2\nC:x\nA\\..\\x\n..\\y\nuninstall.exe\t-\t-\n"
        "big\t18446744073709551616\t1\nodd\t1x\t2\nsum\t1\t2\t0badcafe0\nlast";
    std::string parsed;  // a name per line: "\\" after a folder, then the facts and checksum read
    ListedName n;
    for (const char* cursor = list; parsed.size() < 1000 && ParseNextName(cursor, list + sizeof list - 1, n);) {
        parsed += n.path + std::string(n.folder ? "\\" : "") + (n.self ? " self" : "");
        if (n.facts) parsed += " " + std::to_string(n.size) + " " + std::to_string(n.time);
        if (n.summed) parsed += " " + std::to_string(n.checksum);
        parsed += "\n";
    }
    EXPECT_EQ(parsed, "A\\\nA\\b.txt 12 345 195939070\nuninstall.exe self\nbig\nodd\nsum 1 2\nlast\n");
}

}  // namespace
