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
    const char* const accepted[] = {"Pelbrix.exe", u8"Отчёт.txt", u8"№ 5 € ‰", ".hidden", "a..b",
                                    "COM10",       "console.txt", "LPT",       "CONOUT",  "~pe.tmp"};
    const char* const refused[] = {
        // Characters Windows refuses in names.
        "a?b", "a*b", "a<b>", "a\"b", "a|b", "a:b", "tab\there",
        // A trailing dot or space: Windows drops it, so "Tolva.dat." would replace "Tolva.dat".
        "Tolva.dat.", "Tolva.dat ", ".", "..", ". .",
        // Devices, with any extension or letter case: the data would go to the device.
        "CON", "con.txt", "nul.tar.gz", "Aux", "PRN", "com1", "COM9.dat", "LPT1", "lpt9.log", "prn .txt", "CONIN$",
        "conout$.x",
        // The extraction's own names: "~pel" and anything after it.
        "~pel.tmp", "~PEL", "~pEl1234abcd-Pelbrix.exe"};
    auto check = [](const char* utf8, bool ok) {
        SCOPED_TRACE(utf8);
        std::string name1251, problem;
        EXPECT_EQ(PackName(utf8, name1251, problem), ok);
        EXPECT_EQ(problem.empty(), ok);
        char converted[64];
        ASSERT_EQ(Utf8ToCp1251(converted, sizeof converted, utf8), Utf8ToCp1251Result::Ok);
        const std::string nested = std::string("HlpPic\\") + converted + "\\x";
        EXPECT_EQ(CheckFileName(converted, strlen(converted)) == ArchiveFault::None, ok);
        EXPECT_EQ(CheckDirectoryName(converted, strlen(converted)) == ArchiveFault::None, ok);
        EXPECT_EQ(CheckDirectoryName(nested.data(), nested.size()) == ArchiveFault::None, ok);
    };
    for (const char* name : accepted) check(name, true);
    for (const char* name : refused) check(name, false);
    // pack alone: names without a Windows-1251 form, or not UTF-8 at all.
    std::string name1251, problem;
    for (const char* name : {u8"smile😀.txt", u8"日本", "bad\xFFutf8"})
        EXPECT_FALSE(PackName(name, name1251, problem)) << name;
    EXPECT_TRUE(PackName(std::string(1023, 'a'), name1251, problem));
    EXPECT_FALSE(PackName(std::string(1024, 'a'), name1251, problem));
}

TEST(PelpackNames, FoldsLetterCaseAsWindowsCompares) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"readme.txt", "README.TXT", true}, {u8"Отчёт папа", u8"ОТЧЁТ ПАПА", true},
        {u8"Їжак", u8"їжак", true},         {u8"ЂЃЉЊЌЋЏЎЈҐЁЄЇІЅ", u8"ђѓљњќћџўјґёєїіѕ", true},
        {u8"файл", u8"фаил", false},        {"a", "b", false},
    };
    for (const auto& [a, b, same] : cases) {
        SCOPED_TRACE(std::string(a) + " / " + b);
        std::string a1251, b1251, problem;
        ASSERT_TRUE(PackName(a, a1251, problem));
        ASSERT_TRUE(PackName(b, b1251, problem));
        EXPECT_EQ(FoldCase1251(a1251) == FoldCase1251(b1251), same);
    }
}
