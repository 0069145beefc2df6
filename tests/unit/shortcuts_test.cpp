// The closing actions' link table and the texts each link is built from.
#include "system/shortcuts.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "tests/unit/test_util.h"

namespace {

TEST(Shortcuts, WorkingDirectory) {
    struct WorkingDirCase {
        const char* target;
        const char* expected;
        bool fits;
    };
    const std::string deep = "C:\\" + std::string(256, 'd') + "\\Pelbrix.exe";  // folder of 259 bytes
    const std::string deepFolder = deep.substr(0, 259);
    const std::string deeper = "C:\\" + std::string(257, 'd') + "\\Pelbrix.exe";  // folder of 260 bytes
    const WorkingDirCase cases[] = {
        {"C:\\Program Files\\Pelbrix\\Pelbrix.exe", "C:\\Program Files\\Pelbrix", true},
        {"C:\\Pelbrix\\\\Pelbrix.exe", "C:\\Pelbrix\\", true},  // folder ending in "\": doubled separator
        {"C:\\Pelbrix.exe", "C:", true},
        {"\\Pelbrix.exe", "", true},  // only backslash at position 0
        {deep.c_str(), deepFolder.c_str(), true},
        {deeper.c_str(), "", false},  // would not fit: not cut to another folder
    };
    for (const WorkingDirCase& c : cases) {
        SCOPED_TRACE(c.target);
        GuardedText<kWorkingDirSize> out;
        const bool fits = LinkWorkingDirectory(out.text, c.target);
        EXPECT_STREQ(out.text, c.expected);
        EXPECT_EQ(fits, c.fits);
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

TEST(Shortcuts, TargetJoin) {
    char target[1024];
    EXPECT_TRUE(JoinLinkPath(target, sizeof target, "C:\\", "Help.htm"));
    EXPECT_STREQ(target, "C:\\\\Help.htm");
    // A 1023-byte folder leaves no room for a target: the link is skipped rather than cut.
    EXPECT_FALSE(JoinLinkPath(target, sizeof target, std::string(1023, 'f').c_str(), "Pelbrix.exe"));
    EXPECT_TRUE(JoinLinkPath(target, sizeof target, std::string(1011, 'f').c_str(), "Pelbrix.exe"));
}

}  // namespace
