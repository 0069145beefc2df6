// The name rules: what goes into an archive, and what any reader accepts, is a Windows-1251 name
// that Windows creates as it stands; names equal but for letter case are one. Inputs are u8
// literals (plain ones become Windows-1251 in this build); expected bytes are written in hex.
#include <gtest/gtest.h>
#include <string.h>

#include "base/cp1251.h"
#include "payload/archive.h"
#include "tools/pack_names.h"

// One table for every reader of names: pelpack's pack, the archive reader (a file name, a
// directory name, a part of a directory name), and so verify, list, extract and the installer.
TEST(NameRules, OneTableForPackAndReader) {
    struct Case {
        const char* utf8;
        bool ok;
    };
    const Case cases[] = {
        {"Pelbrix.exe", true},
        {u8"Отчёт.txt", true},
        {u8"№ 5 € ‰", true},
        {".hidden", true},
        {"a..b", true},
        {"COM10", true},
        {"console.txt", true},
        {"LPT", true},
        {"CONOUT", true},
        {"~pe.tmp", true},
        // Characters Windows refuses in names.
        {"a?b", false},
        {"a*b", false},
        {"a<b>", false},
        {"a\"b", false},
        {"a|b", false},
        {"a:b", false},
        {"tab\there", false},
        // A trailing dot or space: Windows drops it, so "Tolva.dat." would replace "Tolva.dat".
        {"Tolva.dat.", false},
        {"Tolva.dat ", false},
        {".", false},
        {"..", false},
        {". .", false},
        // Devices, with any extension or letter case: the data would go to the device.
        {"CON", false},
        {"con.txt", false},
        {"nul.tar.gz", false},
        {"Aux", false},
        {"PRN", false},
        {"com1", false},
        {"COM9.dat", false},
        {"LPT1", false},
        {"lpt9.log", false},
        {"prn .txt", false},
        {"CONIN$", false},
        {"conout$.x", false},
        // The extraction's own names: "~pel" and anything after it.
        {"~pel.tmp", false},
        {"~PEL", false},
        {"~pEl1234abcd-Pelbrix.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::string name1251, problem;
        EXPECT_EQ(PackName(c.utf8, name1251, problem), c.ok);
        EXPECT_EQ(problem.empty(), c.ok);
        char converted[64];
        ASSERT_EQ(Utf8ToCp1251(converted, sizeof converted, c.utf8), Utf8ToCp1251Result::Ok);
        const std::string nested = std::string("HlpPic\\") + converted + "\\x";
        EXPECT_EQ(CheckFileName(converted, strlen(converted)) == ArchiveFault::None, c.ok);
        EXPECT_EQ(CheckDirectoryName(converted, strlen(converted)) == ArchiveFault::None, c.ok);
        EXPECT_EQ(CheckDirectoryName(nested.data(), nested.size()) == ArchiveFault::None, c.ok);
    }
    // pack alone: names without a Windows-1251 form, or not UTF-8 at all.
    for (const char* name : {u8"smile😀.txt", u8"日本", "bad\xFFutf8"}) {
        std::string name1251, problem;
        EXPECT_FALSE(PackName(name, name1251, problem)) << name;
    }
    std::string name1251, problem;
    EXPECT_TRUE(PackName(std::string(1023, 'a'), name1251, problem));
    EXPECT_FALSE(PackName(std::string(1024, 'a'), name1251, problem));
}

TEST(PelpackNames, FoldsLetterCaseAsWindowsCompares) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"readme.txt", "README.TXT", true}, {u8"Отчёт папа", u8"ОТЧЁТ ПАПА", true},
        {u8"Їжак", u8"їжак", true},         {u8"ЂЃЉЊЌЋЏЎЈҐЁЄЇІЅ", u8"ђѓљњќћџўјґёєїіѕ", true},
        {u8"файл", u8"фаил", false},        {"a", "b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        std::string a1251, b1251, problem;
        ASSERT_TRUE(PackName(c.a, a1251, problem));
        ASSERT_TRUE(PackName(c.b, b1251, problem));
        EXPECT_EQ(FoldCase1251(a1251) == FoldCase1251(b1251), c.same);
    }
}
