// The texts each link is built from: its working folder and its file's path.
#include "system/shortcuts.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "tests/unit/test_util.h"

namespace {

TEST(Shortcuts, WorkingDirectory) {
    // The folder of an installed file (under 260 bytes: the extraction refuses longer ones).
    const char* const cases[][2] = {
        {"C:\\Program Files\\Pelbrix\\Pelbrix.exe", "C:\\Program Files\\Pelbrix"},
        {"C:\\Pelbrix\\\\Pelbrix.exe", "C:\\Pelbrix\\"},  // folder ending in "\": doubled separator
    };
    for (const auto& c : cases) {
        GuardedText<kWorkingDirSize> out;
        EXPECT_TRUE(LinkWorkingDirectory(out.text, c[0])) << c[0];
        EXPECT_STREQ(out.text, c[1]);
        EXPECT_TRUE(out.UnwrittenFrom());
    }
}

TEST(Shortcuts, LinkFilePathFitsTheWindowsLimit) {
    char path[kLinkPathSize];
    // 250 + "\" + 4 + ".lnk" = 259 bytes: fits with its terminator; one more byte does not.
    const std::string folder(250, 'm');
    EXPECT_TRUE(LinkFilePath(path, folder.c_str(), "abcd"));
    EXPECT_EQ(strlen(path), 259u);
    EXPECT_FALSE(LinkFilePath(path, folder.c_str(), "abcde"));
    EXPECT_FALSE(LinkFilePath(path, std::string(300, 'm').c_str(), "x"));
}

}  // namespace
