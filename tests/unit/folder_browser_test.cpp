// Folder browser model against a fake folder tree: what the walk through the Wine scenarios does
// not reach, odd entries and listings that fail.
#include "pages/folder_browser.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/text.h"
#include "tests/unit/test_util.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// The page over a fake tree, with the Win32 listing's habits: drives as [-d-], folders as [name],
// [..] except at a root, the work text shortened to "*", a failed listing changing nothing. Paths
// are shown as the tree spells them, the drive letter as asked.
struct FakeView final : FolderBrowserView {
    const std::string drives = "def", media = "de";  // f has no medium; Locked is listed, not entered
    const std::vector<std::string> folders = {"D:\\Programs", "D:\\Programs\\[x]", "D:\\Programs\\Locked"};
    std::vector<std::string> driveList, folderList, asked;  // asked: the texts given to ListDrives
    std::string current, pathField, driveCaption;
    int driveSelection = -1, folderSelection = -1;
    bool focused = false;

    bool ListDrives(char (&work)[kBrowserTextSize]) override {
        asked.push_back(work);
        std::string key = Lower(work);
        if (key.size() < 3 || key.compare(1, 2, ":\\") != 0 || media.find(key[0]) == std::string::npos) return false;
        const auto f =
            std::find_if(folders.begin(), folders.end(), [&](const std::string& f) { return Lower(f) == key; });
        if (key.size() > 3 && (f == folders.end() || f->find("Locked") != std::string::npos)) return false;
        current = std::string(work, 3) + (key.size() > 3 ? f->substr(3) : "");
        RefillDrives();
        return CopyText(work, "*");
    }
    bool ListFolders(char (&work)[kBrowserTextSize]) override {
        if (strcmp(work, "*") != 0) return false;  // only after ListDrives
        const std::string key = Lower(current.back() == '\\' ? current.substr(0, 2) : current);
        folderList.assign(current.back() == '\\' ? 0 : 1, "[..]");
        for (const std::string& f : folders)
            if (Lower(f.substr(0, f.rfind('\\'))) == key) folderList.push_back("[" + f.substr(f.rfind('\\') + 1) + "]");
        std::sort(folderList.begin(), folderList.end());
        folderSelection = -1;
        pathField = current;
        return true;
    }
    void RefillDrives() override {
        driveList.clear();
        for (char d : drives) driveList.push_back(std::string("[-") + d + "-]");
        SelectDrive(-1);
    }
    void GetPathField(char (&text)[kBrowserTextSize]) override { CopyText(text, pathField.c_str()); }
    void SetPathField(const char* text) override { pathField = text; }
    void SetDriveCaption(const char* caption) override { driveCaption = caption; }
    bool GetSelectedDrive(int* index, char (&entry)[kBrowserTextSize]) override {
        return (*index = driveSelection) >= 0 && CopyText(entry, driveList[driveSelection].c_str());
    }
    void SelectDrive(int index) override { driveCaption = (driveSelection = index) < 0 ? "" : driveList[index]; }
    bool GetSelectedFolder(char (&entry)[kBrowserTextSize]) override {
        return folderSelection >= 0 && CopyText(entry, folderList[folderSelection].c_str());
    }
    void FocusFolderList() override { focused = true; }
    void Close() override {}

    // What the user does: chooses a drive entry, or double-clicks a folder entry (one the list does
    // not hold stands alone in it).
    void Pick(FolderBrowserState& state, const std::string& entry) {
        const bool drive = entry.compare(0, 2, "[-") == 0;
        std::vector<std::string>& list = drive ? driveList : folderList;
        if (std::count(list.begin(), list.end(), entry) == 0) list = {entry};
        const int at = static_cast<int>(std::find(list.begin(), list.end(), entry) - list.begin());
        drive ? (SelectDrive(at), ChangeDrive(state, *this)) : (folderSelection = at, OpenEntry(state, *this));
    }
};

void ExpectAt(const FolderBrowserState& state, const FakeView& view, const char* root, const char* sub,
              const char* field, const char* caption) {
    EXPECT_STREQ(state.driveRoot, root);
    EXPECT_STREQ(state.subPath, sub);
    EXPECT_EQ(view.pathField, field);
    EXPECT_EQ(view.driveCaption, caption);
    EXPECT_EQ(view.driveList.size(), view.drives.size());  // the drives can always be chosen
}

}  // namespace

// The opening at Program Files (a root, an unreadable drive or none at all) and the walk down, up
// and across drives are Wine scenarios; here the opening over whatever the last one left, a
// folder named in brackets, and what leaves the browser on the folder it last listed: a folder or
// a drive that cannot be listed (the field never gains a second "Pelbrix", typed text is replaced)
// and "[...]" (only [..] goes up); "[" and "" are no entries and are not tried. Then it still
// moves on.
TEST(FolderBrowser, OddEntriesAndFailedListings) {
    FolderBrowserState state;
    FakeView view;
    memset(&state, '#', sizeof state);
    FolderBrowserOpen(state, view, "D:\\Programs");
    ExpectAt(state, view, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
    EXPECT_TRUE(view.focused);
    view.Pick(state, "[[x]]");
    ExpectAt(state, view, "D:\\", "Programs\\[x]", "D:\\Programs\\[x]\\Pelbrix", "[-D-]");
    view.Pick(state, "[..]");
    for (const char* entry : {"[Locked]", "[Locked]", "[-f-]", "[...]", "[", ""}) {
        SCOPED_TRACE(entry);
        if (entry[0] != 0 && entry[1] != 0) view.pathField = "typed";
        view.Pick(state, entry);
        ExpectAt(state, view, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
    }
    EXPECT_EQ(view.asked,
              (std::vector<std::string>{"D:\\Programs", "D:\\Programs\\[x]", "D:\\Programs", "D:\\Programs\\Locked",
                                        "D:\\Programs\\Locked", "f:\\", "D:\\Programs\\..."}));
    view.Pick(state, "[-e-]");
    ExpectAt(state, view, "e:\\", "", "e:\\Pelbrix", "[-e-]");
}
