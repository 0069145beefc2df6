// The uninstaller's removal over a fake system: which paths go, in which order, what is kept,
// and what each answer to a failed file does.
#include "uninstall/removal.h"

#include <gtest/gtest.h>
#include <tuple>

#include "base/messages.h"
#include "tests/fake_system.h"

namespace {

// The program's window under another title does not stop the removal; the whole installation goes
// in this order, but for what a second installation elsewhere has rewritten since: the user's
// Installed-apps entry and a Start-menu link that lead there stay. (The refusal while the program
// runs and the answer "Нет" are Wine scenarios.)
TEST(Removal, WholeInstallationInOrder) {
    FakeSystem system;
    system.runningTitle = u"Пелбрикс";
    system.entries[EntryRoot::User] = "C:\\Pelbrix2";
    system.disk["C:\\Menu\\Пелбриксон\\Новости.lnk"].data = "C:\\Pelbrix2\\news.htm";
    EXPECT_TRUE(ConfirmUninstall(system));
    EXPECT_EQ(system.Run(), 0);
    EXPECT_EQ(system.log,
              "ask Пелбриксон: Удалить программу 'Пелбриксон' с этого компьютера?\n"
              "rm C:\\Pelbrix\\HlpPic\\Deep\\a.gif\n"
              "rm C:\\Pelbrix\\HlpPic\\logo.gif\n"
              "rm C:\\Pelbrix\\Pelbrix.exe\n"
              "rmdir C:\\Pelbrix\\HlpPic\\Deep\n"
              "rmdir C:\\Pelbrix\\HlpPic\n"
              "rm C:\\Menu\\Пелбриксон\\Программа.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Инструкция.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Лицензионное соглашение.lnk\n"
              "rm C:\\Menu\\Пелбриксон\\Особенности.lnk\n"
              "rm C:\\Desk\\Пелбриксон.lnk\n"
              "rm C:\\Pelbrix\\uninstall.exe\n"
              "regdel Path\nregdel Version\nregdel FullPath\n"
              "keydel Software\\Pelbrix\\Setup\nkeydel Software\\Pelbrix\n"
              "entrydel HKLM\n"
              "rm C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk\n"
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
        if (change == "Ignore") system.held[logo] = Answer::Ignore;
        if (change == "link folder") system.disk[kFolder].attributes |= kAttributeReparsePoint;
        EXPECT_EQ(system.Run(), 0);
        std::set<std::string> expected = kept;
        expected.insert("C:\\Pelbrix\\Tolva.dat");
        if (!kept.empty()) expected.insert(self);
        EXPECT_EQ(system.FileNames(), expected);
        EXPECT_EQ(system.disk.count("C:\\Menu\\Пелбриксон\\Удалить Пелбриксон.lnk"), kept.empty() ? 0u : 1u);
        EXPECT_EQ(system.setup.size(), kept.empty() ? 0u : 2u);
        const std::string told = kept.empty() ? "Программа 'Пелбриксон' удалена с компьютера.\nФайл данных"
                                              : "Часть файлов не удалена и осталась в папке C:\\Pelbrix\nФайл данных";
        EXPECT_NE(system.log.find(told), std::string::npos) << system.log;
    }
}

// A copy of this program in a folder that neither the record nor an entry names, beside the
// user's own files of the listed names: no installation is there, and nothing goes.
TEST(Removal, FolderWithoutInstallation) {
    FakeSystem system;
    system.setup = {"Path=C:\\Other"};
    system.entries.clear();
    for (const std::string& file : system.FileNames()) system.disk[file].data = "mine";
    const Disk before = system.disk;
    EXPECT_EQ(system.Run(), 1);
    EXPECT_EQ(system.disk, before);
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
    EXPECT_EQ(system.log.find("rm C:\\Pelbrix\\~pel0badcafe-Pelbrix.exe\n"), 0u);
    EXPECT_NE(system.log.find("удалена с компьютера.\nФайл данных Tolva.dat"), std::string::npos);
}

// After a killed update the removal is finished as the installer would finish it. Run by the
// earlier version's uninstaller: each earlier file the update had moved aside comes back over the
// update's file (or into its empty place) and goes as written. Run by the new one: the earlier
// version's uninstaller kept aside names the files only it had, which go too, and goes last.
TEST(Removal, KilledUpdateIsFinished) {
    const std::string top = "C:\\Pelbrix\\";
    const Node newer = {0x20, "the newer program", 90000000};
    FakeSystem earlierRun;
    earlierRun.disk[top + "~pel0badcafe-Pelbrix.exe"] = earlierRun.disk[top + "HlpPic\\~pel0badcafe-logo.gif"] =
        kWritten;
    earlierRun.disk[top + "Pelbrix.exe"] = newer;
    earlierRun.disk.erase(top + "HlpPic\\logo.gif");
    EXPECT_EQ(earlierRun.Run(), 0);
    EXPECT_EQ(earlierRun.FileNames(), std::set<std::string>{top + "Tolva.dat"});

    FakeSystem newerRun;
    const std::string earlierNames = std::string(kNames) + "old.txt\t10\t50000000\r\nHlpPic\\old.gif\t10\t50000000\r\n";
    newerRun.disk[top + "~pel0badcafe-uninstall.exe"] = {0x20, earlierNames, 1};
    newerRun.disk[top + "old.txt"] = newerRun.disk[top + "HlpPic\\old.gif"] = kWritten;
    EXPECT_EQ(newerRun.Run(), 0);
    EXPECT_EQ(newerRun.FileNames(), std::set<std::string>{top + "Tolva.dat"});
    EXPECT_NE(newerRun.log.find("удалена"), std::string::npos) << newerRun.log;
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
    RemoveEarlierFiles(system, kMarkedFolder, earlier, sizeof earlier - 1, kNames, sizeof kNames - 1);
    expected.erase(top + "Old\\Deep\\a.gif");
    expected.erase(top + "old.txt");
    EXPECT_EQ(system.FileNames(), expected);
    EXPECT_EQ(system.disk.count(top + "Old\\Deep"), 0u);
    EXPECT_EQ(system.disk.count(top + "Old"), 1u);
    EXPECT_EQ(system.disk.count(top + "HlpPic"), 1u);
}

// Folders compared as Windows compares them: made full, long, letters of either case (which the
// system compares: uninstall-cyrillic, a Wine scenario).
TEST(Removal, SameFolder) {
    FakeSystem system;
    for (const auto& [a, b, same] : std::vector<std::tuple<std::string, std::string, bool>>{
             {"C:\\Program Files\\Pelbrix", "c:\\PROGRAM FILES\\pelbrix", true},
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
             {"\\\\srv\\share\\Pelbrix", "\\\\srv\\other\\Pelbrix", false}}) {
        SCOPED_TRACE(a + " | " + b);
        EXPECT_EQ(SameFolder(system, a.c_str(), b.c_str()), same);
        EXPECT_EQ(SameFolder(system, b.c_str(), a.c_str()), same);
    }
}

TEST(Removal, ListLines) {
    const char list[] =
        "\r\nA\\\nA\\b.txt\t12\t345\t0BadCafe\r\n\\abs\t1\t2\nC:x\nA\\..\\x\n..\\y\nuninstall.exe\t-\t-\n"
        "Docs/v1.txt\t1\t2\nA\\\\b\nA\\LPT1.txt\n~pel00000000-x\nA\\x.\\y\n"
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
