// pelpack's name rules: what goes into an archive must be a Windows-1251 name that Windows can
// create as it stands, and names equal but for letter case must be seen as one. Inputs are u8
// literals (plain ones become Windows-1251 in this build); expected bytes are written in hex.
#include <gtest/gtest.h>

#include "tools/pack_names.h"

TEST(PelpackNames, AcceptsOrRefusesEachName) {
  const char* const accepted[][2] = {
      {"Pelbrix.exe", "Pelbrix.exe"}, {u8"Отчёт.txt", "\xCE\xF2\xF7\xB8\xF2.txt"}, {u8"№ 5 € ‰", "\xB9 5 \x88 \x89"},
      {".hidden", ".hidden"},         {"COM10", "COM10"},                          {"console.txt", "console.txt"},
  };
  for (const auto& c : accepted) {
    std::string name1251, problem;
    EXPECT_TRUE(PackName(c[0], name1251, problem)) << c[0];
    EXPECT_EQ(name1251, c[1]);
    EXPECT_TRUE(problem.empty());
  }
  // No Windows-1251 form, not UTF-8, characters Windows refuses, a trailing dot or space that
  // Windows drops, device names that open the device rather than a file.
  const char* const refused[] = {u8"smile😀.txt", u8"日本", "bad\xFFutf8", "a?b", "a*b", "a<b>", "a\"b", "a|b", "a:b",
                                 "a\\b", "tab\there", "ends.", "ends ", "con", "CON.txt", "nul.tar.gz", "Aux", "com1",
                                 "LPT9.log", "prn .txt"};
  for (const char* name : refused) {
    std::string name1251, problem;
    EXPECT_FALSE(PackName(name, name1251, problem)) << name;
    EXPECT_FALSE(problem.empty()) << name;
  }
  std::string name1251, problem;
  EXPECT_TRUE(PackName(std::string(1023, 'a'), name1251, problem));
  EXPECT_FALSE(PackName(std::string(1024, 'a'), name1251, problem));
}

TEST(PelpackNames, FoldsLetterCaseAsWindowsCompares) {
  struct Case { const char* a; const char* b; bool same; };
  const Case cases[] = {
      {"readme.txt", "README.TXT", true}, {u8"Отчёт папа", u8"ОТЧЁТ ПАПА", true}, {u8"Їжак", u8"їжак", true},
      {u8"ґанок", u8"Ґанок", true},       {u8"файл", u8"фаил", false},            {"a", "b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    std::string a1251, b1251, problem;
    ASSERT_TRUE(PackName(c.a, a1251, problem));
    ASSERT_TRUE(PackName(c.b, b1251, problem));
    EXPECT_EQ(FoldCase1251(a1251) == FoldCase1251(b1251), c.same);
  }
}
