// pelpack's name rules: what goes into an archive must be a Windows-1251 name that Windows can
// create as it stands, and names equal but for letter case must be seen as one. Inputs are u8
// literals (plain ones become Windows-1251 in this build); expected bytes are written in hex.
#include <gtest/gtest.h>

#include "tools/pack_names.h"

namespace {

TEST(PelpackNames, AcceptsOrRefusesEachName) {
  struct Case {
    const char* utf8;
    bool accepted;
    const char* name1251;  // expected bytes when accepted
  };
  const Case cases[] = {
      {"Pelbrix.exe", true, "Pelbrix.exe"},
      {u8"Отчёт.txt", true, "\xCE\xF2\xF7\xB8\xF2.txt"},
      {u8"№ 5 € ‰", true, "\xB9 5 \x88 \x89"},
      {".hidden", true, ".hidden"},
      {"COM10", true, "COM10"},
      {"console.txt", true, "console.txt"},
      {u8"smile😀.txt", false, nullptr},   // no Windows-1251 form
      {u8"日本", false, nullptr},
      {"bad\xFFutf8", false, nullptr},   // not UTF-8
      {"a?b", false, nullptr},
      {"a*b", false, nullptr},
      {"a<b>", false, nullptr},
      {"a\"b", false, nullptr},
      {"a|b", false, nullptr},
      {"a:b", false, nullptr},
      {"a\\b", false, nullptr},
      {"tab\there", false, nullptr},
      {"ends.", false, nullptr},          // Windows drops a trailing dot: "ends" on disk
      {"ends ", false, nullptr},
      {"con", false, nullptr},            // opens the console, not a file
      {"CON.txt", false, nullptr},
      {"nul.tar.gz", false, nullptr},
      {"Aux", false, nullptr},
      {"com1", false, nullptr},
      {"LPT9.log", false, nullptr},
      {"prn .txt", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string name1251 = "unchanged", problem;
    ASSERT_EQ(PackName(c.utf8, name1251, problem), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(name1251, c.name1251);
      EXPECT_TRUE(problem.empty());
    } else {
      EXPECT_FALSE(problem.empty());
    }
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
      {"readme.txt", "README.TXT", true},
      {u8"Отчёт", u8"ОТЧЁТ", true},
      {u8"ёлка", u8"Ёлка", true},
      {u8"Їжак", u8"їжак", true},
      {u8"ґанок", u8"Ґанок", true},
      {u8"файл", u8"фаил", false},
      {"a", "b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    std::string a1251, b1251, problem;
    ASSERT_TRUE(PackName(c.a, a1251, problem));
    ASSERT_TRUE(PackName(c.b, b1251, problem));
    EXPECT_EQ(FoldCase1251(a1251) == FoldCase1251(b1251), c.same);
  }
}

}  // namespace
