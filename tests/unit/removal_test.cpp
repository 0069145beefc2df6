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
#include <vector>

#include "base/ansi_text.h"
#include "base/cp1251.h"
#include "base/messages.h"
#include "system/shortcuts.h"

namespace {

const char kFolder[] = "C:\\Pelbrix";
const char kGroup[] = "C:\\Menu\\Пелбриксон";
const std::string kSetup = "Software\\Pelbrix\\Setup";
const char kNames[] =
    "HlpPic\\\r\nHlpPic\\Deep\\\r\nHlpPic\\Deep\\a.gif\t10\t50000000\r\n"
    "HlpPic\\logo.gif\t10\t50000000\r\nPelbrix.exe\t10\t50000000\r\nTolva.dat\t10\t50000000\r\n"
    "uninstall.exe\t-\t-\r\n";
const EntryFacts kWritten = {EntryKind::File, 10, 50000000};  // as the installer wrote each file

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

struct FakeSystem final : UninstallHost {
    std::map<std::string, EntryFacts> files;
    std::set<std::string> folders, reparse;             // reparse: paths that are links, to anything
    std::map<std::string, std::string> links;           // link file -> target
    std::map<std::string, std::set<std::string>> keys;  // HKCU key -> "name=value"
    std::map<std::string, std::vector<Answer>> held;    // file -> answers given while it stays held
    std::map<EntryRoot, std::string> entries;           // Installed-apps entry -> InstallLocation
    EntryFacts self = kWritten;                         // the running program's own file
    std::u16string runningTitle = u"-";                 // "-": no running window
    std::string recorded = kFolder;
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
        if (held.count(path)) return RemoveResult::Failed;
        links.erase(path);
        return files.erase(path) ? RemoveResult::Removed : RemoveResult::Missing;
    }
    bool RemoveEmptyFolder(const char* marked) override {
        const std::string path = Plain(marked), prefix = path + "\\";
        for (const auto& f : files)
            if (StartsWith(f.first, prefix)) return false;
        for (const std::string& p : folders)
            if (StartsWith(p, prefix)) return false;
        for (const auto& l : links)
            if (StartsWith(l.first, prefix)) return false;
        log.push_back(std::string("rmdir ") + path);
        return folders.erase(path) != 0;
    }
    EntryFacts Inspect(const char* marked) override {
        const std::string path = Plain(marked);
        if (reparse.count(path)) return {EntryKind::Link, 0, 0};
        if (folders.count(path)) return {EntryKind::Folder, 0, 0};
        return files.count(path) ? files[path] : EntryFacts{EntryKind::Missing, 0, 0};
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
        const std::string linkPath = Plain(marked);
        return links.count(linkPath) && snprintf(target, cap, "%s", links[linkPath].c_str());
    }
    bool ReadInstalledPath(char (&buffer)[kPathSize]) override {
        return keys[kSetup].count("Path=" + recorded) && snprintf(buffer, sizeof buffer, "%s", recorded.c_str());
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
        folders = {kFolder, std::string(kFolder) + "\\HlpPic", std::string(kFolder) + "\\HlpPic\\Deep", kGroup};
        for (const char* f : {"HlpPic\\Deep\\a.gif", "HlpPic\\logo.gif", "Pelbrix.exe", "Tolva.dat", "uninstall.exe"})
            files[std::string(kFolder) + "\\" + f] = kWritten;
        for (const LinkRow& l : kStartMenuLinks)
            links[std::string(kGroup) + "\\" + l.title + ".lnk"] = std::string(kFolder) + "\\" + l.target;
        links["C:\\Desk\\Пелбриксон.lnk"] = std::string(kFolder) + "\\Pelbrix.exe";
        keys[kSetup] = {"Path=" + recorded, "Version=1.8.3"};
        keys["Software\\Pelbrix"] = {};
        entries[EntryRoot::Machine] = kFolder;
    }
    std::set<std::string> FileNames() const {
        std::set<std::string> names;
        for (const auto& f : files) names.insert(f.first);
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
              "regdel Path\nregdel Version\n"
              "keydel Software\\Pelbrix\\Setup\nkeydel Software\\Pelbrix\n"
              "entrydel HKLM\nentrydel HKCU\n"
              "rm C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk\n"
              "rmdir C:\\Menu\\Пелбриксон\n"
              "rm C:\\Pelbrix\\uninstall.exe\n"
              "ask Пелбриксон: Программа 'Пелбриксон' удалена с компьютера.\n"
              "Файл данных Tolva.dat сохранён в папке C:\\Pelbrix\n");
    EXPECT_EQ(system.FileNames(), std::set<std::string>{"C:\\Pelbrix\\Tolva.dat"});
}

// Abort at any file leaves what runs the removal again: this program, its link, the record and
// the entry; the next run finds what went as missing and finishes.
TEST(Removal, AbortAtEachFileThenAgain) {
    for (const char* held : {"HlpPic\\Deep\\a.gif", "HlpPic\\logo.gif", "Pelbrix.exe", "uninstall.exe"}) {
        SCOPED_TRACE(held);
        FakeSystem system;
        system.held[std::string(kFolder) + "\\" + held] = {Answer::Abort};
        EXPECT_EQ(system.Run(), 1);
        const bool last = std::string(held) == "uninstall.exe";
        EXPECT_EQ(system.files.count("C:\\Pelbrix\\uninstall.exe"), 1u);
        EXPECT_EQ(system.links.count("C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk"), last ? 0u : 1u);
        EXPECT_EQ(system.keys[kSetup].count("Path=C:\\Pelbrix"), last ? 0u : 1u);
        EXPECT_EQ(system.entries.size(), last ? 0u : 1u);
        system.log.clear();
        EXPECT_EQ(system.Run(), 0);
        EXPECT_EQ(system.FileNames(), std::set<std::string>{"C:\\Pelbrix\\Tolva.dat"});
        EXPECT_EQ(system.links.size(), 0u);
        EXPECT_EQ(system.keys[kSetup].size(), 0u);
        EXPECT_EQ(system.log.back().find("Часть"), std::string::npos);
        for (const std::string& line : system.log) EXPECT_EQ(line.find("(0006)"), std::string::npos);
    }
}

// Only what the installer wrote goes: a file of another size or time is the user's, and nothing
// at or below a link is touched. The final message says that files stayed.
TEST(Removal, KeepsFilesNotAsWritten) {
    const std::string logo = "C:\\Pelbrix\\HlpPic\\logo.gif", deep = "C:\\Pelbrix\\HlpPic\\Deep\\a.gif";
    const std::string exe = "C:\\Pelbrix\\Pelbrix.exe", self = "C:\\Pelbrix\\uninstall.exe";
    struct Case {
        const char* change;
        std::set<std::string> kept;  // besides Tolva.dat
    };
    const Case cases[] = {
        {"size", {logo}},
        {"time +2.1 s", {logo}},
        {"time -2.1 s", {logo}},
        {"time +2 s", {}},
        {"own size", {self}},
        {"link file", {logo}},
        {"link HlpPic", {logo, deep}},
        {"link Deep", {deep}},
        {"link folder", {logo, deep, exe, self}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        FakeSystem system;
        const std::string change = c.change;
        if (change == "size") system.files[logo].size = 11;
        if (change == "time +2.1 s") system.files[logo].time += 21000000;
        if (change == "time -2.1 s") system.files[logo].time -= 21000000;
        if (change == "time +2 s") system.files[logo].time += 20000000;
        if (change == "own size") system.self.size = 12;
        if (change == "link file") system.reparse.insert(logo);
        if (change == "link HlpPic") system.reparse.insert("C:\\Pelbrix\\HlpPic");
        if (change == "link Deep") system.reparse.insert("C:\\Pelbrix\\HlpPic\\Deep");
        if (change == "link folder") system.reparse.insert(kFolder);
        EXPECT_EQ(system.Run(), 0);
        std::set<std::string> expected = c.kept;
        expected.insert("C:\\Pelbrix\\Tolva.dat");
        EXPECT_EQ(system.FileNames(), expected);
        for (const std::string& line : system.log)
            for (const std::string& link : system.reparse) EXPECT_FALSE(StartsWith(line, "rm " + link)) << line;
        const bool told = system.log.back().find(
                              "удалена с компьютера.\nЧасть файлов не удалена и осталась в папке "
                              "C:\\Pelbrix\nФайл данных") != std::string::npos;
        EXPECT_EQ(told, !c.kept.empty());
    }
}

// Retry and Abort are proven under Wine and above; Ignore skips the file and the rest goes.
TEST(Removal, IgnoreKeepsTheFailedFile) {
    FakeSystem system;
    system.held["C:\\Pelbrix\\HlpPic\\logo.gif"] = {Answer::Ignore};
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(system.FileNames(), (std::set<std::string>{"C:\\Pelbrix\\HlpPic\\logo.gif", "C:\\Pelbrix\\Tolva.dat"}));
    EXPECT_EQ(system.keys.count(kSetup), 0u);
}

// Folders compared as Windows compares them: made full, long, letters of either case.
TEST(Removal, SameFolder) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Pelbrix", "c:\\PROGRAM FILES\\pelbrix", true},
        {"C:\\Пелбриксон", "c:\\пелбриксОН", true},
        {"C:\\Ёлка", "C:\\ёлка", true},
        {"C:\\Pelbrix\\", "C:\\Pelbrix", true},
        {"C:\\\\Pelbrix", "C:/Pelbrix/", true},
        {"C:\\Tmp\\..\\Pelbrix\\.", "C:\\Pelbrix", true},
        {"C:\\..\\..\\Pelbrix", "C:\\Pelbrix", true},
        {"C:\\Pelbrix. . ", "C:\\Pelbrix", true},
        {"C:\\Pelbrix.\\HlpPic ", "C:\\Pelbrix\\HlpPic", true},
        {"\\\\?\\C:\\Pelbrix", "C:\\Pelbrix", true},
        {"\\\\?\\UNC\\srv\\share\\Pelbrix", "\\\\srv\\share\\Pelbrix", true},
        {"\\\\srv\\share\\..\\Pelbrix", "\\\\srv\\share\\Pelbrix", true},
        {"C:\\PELBRI~1", "C:\\Pelbrix", true},
        {"C:\\Pelbrix", "C:\\Pelbrix2", false},
        {"C:\\Pelbrix", "C:\\Pel", false},
        {"C:\\Pelbrix", "D:\\Pelbrix", false},
        {"C:\\Пелбриксон", "C:\\Пелбриксан", false},
        {"\\\\srv\\share\\Pelbrix", "\\\\srv\\other\\Pelbrix", false},
    };
    FakeSystem system;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b);
        EXPECT_EQ(SameFolder(system, c.a, c.b), c.same);
        EXPECT_EQ(SameFolder(system, c.b, c.a), c.same);
    }
}

TEST(Removal, ListLines) {
    const char list[] =
        "\r\nA\\\nA\\b.txt\t12\t345\r\n\\abs\t1\t2\nC:x\nA\\..\\x\n..\\y\nuninstall.exe\t-\t-\n"
        "big\t18446744073709551616\t1\nodd\t1x\t2\nlast";
    struct Row {
        const char* path;
        bool folder, facts, self;
        uint64_t size, time;
    };
    const Row expected[] = {{"A", true, false, false, 0, 0},
                            {"A\\b.txt", false, true, false, 12, 345},
                            {"uninstall.exe", false, false, true, 0, 0},
                            {"big", false, false, false, 0, 0},
                            {"odd", false, false, false, 0, 0},
                            {"last", false, false, false, 0, 0}};
    const char* cursor = list;
    ListedName name;
    for (const Row& row : expected) {
        ASSERT_TRUE(ParseNextName(cursor, list + sizeof list - 1, name));
        EXPECT_STREQ(name.path, row.path);
        EXPECT_EQ(name.folder, row.folder);
        EXPECT_EQ(name.facts, row.facts) << row.path;
        EXPECT_EQ(name.self, row.self) << row.path;
        if (row.facts) EXPECT_EQ(name.size * 1000 + name.time, row.size * 1000 + row.time);
    }
    EXPECT_FALSE(ParseNextName(cursor, list + sizeof list - 1, name));
}

}  // namespace
