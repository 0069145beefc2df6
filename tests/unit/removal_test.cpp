// The uninstaller's removal over a fake system: which paths go, in which order, what is kept,
// and what each answer to a failed file does.
#include "uninstall/removal.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/messages.h"

namespace {

const char kFolder[] = "C:\\Pelbrix";
const char kGroup[] = "C:\\Menu\\Пелбриксон";
const std::string kSetup = "Software\\Pelbrix\\Setup";
const char kNames[] =
    "HlpPic\\\r\nHlpPic\\Deep\\\r\nHlpPic\\Deep\\a.gif\r\nHlpPic\\logo.gif\r\nPelbrix.exe\r\n"
    "Tolva.dat\r\nuninstall.exe\r\n";

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

struct FakeSystem final : UninstallHost {
    std::set<std::string> files, folders;
    std::map<std::string, std::string> links;            // link file -> target
    std::map<std::string, std::set<std::string>> keys;   // HKCU key -> "name=value"
    std::map<std::string, std::vector<Answer>> held;     // file -> answers given while it stays held
    std::string runningTitle = "-", recorded = kFolder;  // "-": no running window
    Answer confirm = Answer::Yes;
    std::vector<std::string> log;

    bool FindWindowTitle(const char* windowClass, char* title, size_t cap) override {
        return runningTitle != "-" && std::string(windowClass) == "TFormMain" &&
               snprintf(title, cap, "%s", runningTitle.c_str());
    }
    Answer Ask(const char* text, const char* caption, Prompt prompt) override {
        log.push_back(std::string("ask ") + caption + ": " + text);
        if (prompt != Prompt::AbortRetryIgnore) return prompt == Prompt::YesNo ? confirm : Answer::Ok;
        for (auto& h : held) {
            if (std::string(text).find(h.first.substr(strlen(kFolder) + 1)) == std::string::npos) continue;
            const Answer answer = h.second.front();
            h.second.erase(h.second.begin());
            if (h.second.empty()) held.erase(h.first);  // released after the last scripted answer
            return answer;
        }
        return Answer::Abort;
    }
    RemoveResult RemoveFile(const char* path) override {
        log.push_back(std::string("rm ") + path);
        if (held.count(path)) return RemoveResult::Failed;
        links.erase(path);
        return files.erase(path) ? RemoveResult::Removed : RemoveResult::Missing;
    }
    bool RemoveEmptyFolder(const char* path) override {
        const std::string prefix = std::string(path) + "\\";
        for (const std::set<std::string>* s : {&files, &folders})
            for (const std::string& p : *s)
                if (StartsWith(p, prefix)) return false;
        for (const auto& l : links)
            if (StartsWith(l.first, prefix)) return false;
        log.push_back(std::string("rmdir ") + path);
        return folders.erase(path) != 0;
    }
    bool FileExists(const char* path) override { return files.count(path) != 0; }
    bool FindLinksFolder(LinksFolder which, char* out, size_t cap) override {
        return snprintf(out, cap, "%s", which == LinksFolder::Programs ? "C:\\Menu" : "C:\\Desk");
    }
    bool ReadLinkTarget(const char* linkPath, char* target, size_t cap) override {
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

    // A complete installation in kFolder, its links and record.
    FakeSystem() {
        folders = {kFolder, std::string(kFolder) + "\\HlpPic", std::string(kFolder) + "\\HlpPic\\Deep", kGroup};
        for (const char* f : {"HlpPic\\Deep\\a.gif", "HlpPic\\logo.gif", "Pelbrix.exe", "Tolva.dat", "uninstall.exe"})
            files.insert(std::string(kFolder) + "\\" + f);
        const char* const links6[][2] = {{"Программа", "Pelbrix.exe"},    {"Инструкция", "Help.htm"},
                                         {"Новости", "News.htm"},         {"Лицензионное соглашение", "Licence.txt"},
                                         {"Особенности", "features.htm"}, {"Удалить Пелбриксон", "uninstall.exe"}};
        for (const auto& l : links6)
            links[std::string(kGroup) + "\\" + l[0] + ".lnk"] = std::string(kFolder) + "\\" + l[1];
        links["C:\\Desk\\Пелбриксон.lnk"] = std::string(kFolder) + "\\Pelbrix.exe";
        keys[kSetup] = {"Path=" + recorded, "Version=1.8.3"};
        keys["Software\\Pelbrix"] = {};
    }
    int Run() { return RemoveInstallation(*this, kFolder, kNames, sizeof kNames - 1); }
};

std::string Lines(const std::vector<std::string>& log) {
    std::string all;
    for (const std::string& line : log) all += line + "\n";
    return all;
}

TEST(Removal, StartChecks) {
    struct Case {
        bool running;
        const char* title;
        Answer answer;
        bool proceeds;
        const char* shown;
    };
    const Case cases[] = {
        {true, "Пелбриксон - Tolva.dat", Answer::Yes, false,
         "ask Ошибка: Программа 'Пелбриксон' уже выполняется на этом компьютере.\n"},
        {true, "Пелбрикс", Answer::Yes, true, "ask Пелбриксон: Удалить программу 'Пелбриксон' с этого компьютера?\n"},
        {false, "", Answer::No, false, "ask Пелбриксон: Удалить программу 'Пелбриксон' с этого компьютера?\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        FakeSystem system;
        system.runningTitle = c.running ? c.title : "-";
        system.confirm = c.answer;
        EXPECT_EQ(ConfirmUninstall(system), c.proceeds);
        EXPECT_EQ(Lines(system.log), c.shown);
    }
}

TEST(Removal, WholeInstallationInOrder) {
    FakeSystem system;
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(Lines(system.log),
              "rm C:\\Pelbrix\\HlpPic\\Deep\\a.gif\n"
              "rm C:\\Pelbrix\\HlpPic\\logo.gif\n"
              "rm C:\\Pelbrix\\Pelbrix.exe\n"
              "rm C:\\Pelbrix\\uninstall.exe\n"
              "rmdir C:\\Pelbrix\\HlpPic\\Deep\n"
              "rmdir C:\\Pelbrix\\HlpPic\n"
              "rm C:\\Menu\\Пелбриксон\\Программа.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Инструкция.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Новости.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Лицензионное соглашение.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Особенности.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk\n"
              "rmdir C:\\Menu\\Пелбриксон\n"
              "rm C:\\Desk\\Пелбриксон.lnk\n"
              "regdel Path\nregdel Version\n"
              "keydel Software\\Pelbrix\\Setup\nkeydel Software\\Pelbrix\n"
              "ask Пелбриксон: Программа 'Пелбриксон' удалена с компьютера.\n"
              "Файл данных Tolva.dat сохранён в папке C:\\Pelbrix\n");
    EXPECT_EQ(system.files, std::set<std::string>{"C:\\Pelbrix\\Tolva.dat"});
}

// What belongs to the user or to another installation stays.
TEST(Removal, KeepsWhatIsNotThisInstallations) {
    FakeSystem system;
    system.files.erase("C:\\Pelbrix\\Tolva.dat");
    system.files.insert("C:\\Pelbrix\\HlpPic\\mine.txt");
    system.links["C:\\Desk\\Пелбриксон.lnk"] = "D:\\Other\\Pelbrix.exe";
    system.links["C:\\Menu\\Пелбриксон\\Новости.lnk"] = "C:\\PELBRIX\\\\Deep\\News.htm";
    system.links["C:\\Menu\\Пелбриксон\\Программа.lnk"] = "c:/pelbrix//Pelbrix.exe";
    system.recorded = "D:\\Other";
    system.keys[kSetup] = {"Path=D:\\Other", "Version=1.8.3", "Extra=1"};
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(system.files, std::set<std::string>{"C:\\Pelbrix\\HlpPic\\mine.txt"});
    EXPECT_EQ(system.folders, (std::set<std::string>{"C:\\Pelbrix", "C:\\Pelbrix\\HlpPic", kGroup}));
    EXPECT_EQ(system.links.size(), 2u);
    EXPECT_EQ(system.links.count("C:\\Desk\\Пелбриксон.lnk"), 1u);
    EXPECT_EQ(system.links.count("C:\\Menu\\Пелбриксон\\Новости.lnk"), 1u);
    EXPECT_EQ(system.keys[kSetup].size(), 3u);
    EXPECT_EQ(system.log.back(), "ask Пелбриксон: Программа 'Пелбриксон' удалена с компьютера.");

    // The record of this folder in other letter case goes; the key's other values stay, and keep it.
    FakeSystem other;
    other.recorded = "c:\\pelbrix\\";
    other.keys[kSetup] = {"Path=c:\\pelbrix\\", "Version=1.8.3", "Extra=1"};
    other.Run();
    EXPECT_EQ(other.keys[kSetup], std::set<std::string>{"Extra=1"});
    EXPECT_EQ(other.keys.count("Software\\Pelbrix"), 1u);
}

TEST(Removal, AnswersToAFailedFile) {
    const char kAsk[] = "ask Пелбриксон: (0006) Ошибка при удалении файла HlpPic\\logo.gif";
    struct Case {
        std::vector<Answer> answers;
        int exitCode;
        size_t asks;
        bool logoStays;
        bool recordStays;
    };
    const Case cases[] = {
        {{Answer::Retry, Answer::Retry}, 0, 2, false, false},  // released on the third try
        {{Answer::Ignore}, 0, 1, true, false},                 // skipped; the rest goes on
        {{Answer::Retry, Answer::Abort}, 1, 2, true, true},    // stops: what went stays gone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.size());
        FakeSystem system;
        system.held["C:\\Pelbrix\\HlpPic\\logo.gif"] = c.answers;
        EXPECT_EQ(system.Run(), c.exitCode);
        size_t asks = 0;
        for (const std::string& line : system.log) asks += line == kAsk;
        EXPECT_EQ(asks, c.asks);
        EXPECT_EQ(system.files.count("C:\\Pelbrix\\HlpPic\\logo.gif"), c.logoStays ? 1u : 0u);
        EXPECT_EQ(system.files.count("C:\\Pelbrix\\HlpPic\\Deep\\a.gif"), 0u);
        EXPECT_EQ(system.files.count("C:\\Pelbrix\\Pelbrix.exe"), c.exitCode == 0 ? 0u : 1u);
        EXPECT_EQ(system.keys.count(kSetup), c.recordStays ? 1u : 0u);
    }
}

TEST(Removal, SameFolder) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Pelbrix", "c:\\PROGRAM FILES\\pelbrix", true},
        {"C:\\Pelbrix\\", "C:\\Pelbrix", true},
        {"C:\\\\Pelbrix", "C:/Pelbrix/", true},
        {"C:\\Pelbrix", "C:\\Pelbrix2", false},
        {"C:\\Pelbrix", "C:\\Pel", false},
        {"C:\\Пелбриксон", "C:\\пелбриксон", false},  // only ASCII letters fold
        {"", "\\", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b);
        EXPECT_EQ(SameFolder(c.a, c.b), c.same);
        EXPECT_EQ(SameFolder(c.b, c.a), c.same);
    }
}

TEST(Removal, ListLines) {
    const char list[] = "\r\nA\\\nA\\b.txt\r\n\\abs\nC:x\nA\\..\\x\n..\\y\nlast";
    struct Row {
        const char* path;
        bool folder;
    };
    const Row expected[] = {{"A", true}, {"A\\b.txt", false}, {"last", false}};
    const char* cursor = list;
    ListedName name;
    for (const Row& row : expected) {
        ASSERT_TRUE(ParseNextName(cursor, list + sizeof list - 1, name));
        EXPECT_STREQ(name.path, row.path);
        EXPECT_EQ(name.folder, row.folder);
    }
    EXPECT_FALSE(ParseNextName(cursor, list + sizeof list - 1, name));
}

}  // namespace
