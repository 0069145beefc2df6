// Folder browser model against a fake folder tree: opening, the walk down and up, drive changes,
// the answers, and what a folder that cannot be listed leaves behind.
#include "pages/folder_browser.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "tests/unit/test_util.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}
std::string Leaf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// The page over a fake tree, with the Win32 listing's habits: drives as [-d-], folders as [name],
// [..] except at a root, the work text shortened to "*", doubled backslashes read as one, a failed
// listing changing nothing. Paths are shown as the tree spells them, the drive letter as asked.
struct FakeView final : FolderBrowserView {
    std::string drives = "cdef", media = "cde";  // f has no medium
    std::vector<std::string> folders = {"C:\\Program Files",    "D:\\Programs",
                                        "D:\\Programs\\Games",  "D:\\Programs\\[x]",
                                        "D:\\Programs\\Locked", "E:\\Games"};  // Locked: listed only

    std::vector<std::string> driveList, folderList, asked;  // asked: the texts given to ListDrives
    std::string current, pathField, driveCaption;
    int driveSelection = -1, folderSelection = -1;
    bool focused = false, closed = false;

    bool Resolve(const std::string& path, std::string* shown) const {
        if (path.size() < 3 || path.compare(1, 2, ":\\") != 0 ||
            media.find(Lower(path.substr(0, 1))) == std::string::npos)
            return false;
        std::string key = Lower(path.substr(0, 2)), part;
        *shown = path.substr(0, 3);
        std::istringstream parts(path.substr(3));
        while (std::getline(parts, part, '\\')) {
            if (part.empty()) continue;
            key += "\\" + Lower(part);
            auto it =
                std::find_if(folders.begin(), folders.end(), [&](const std::string& f) { return Lower(f) == key; });
            if (it == folders.end() || Leaf(*it) == "Locked") return false;
            *shown += (shown->back() == '\\' ? "" : "\\") + Leaf(*it);
        }
        return true;
    }
    bool ListDrives(char (&work)[kBrowserTextSize]) override {
        asked.push_back(work);
        return Resolve(work, &current) && (RefillDrives(), CopyText(work, "*"));
    }
    bool ListFolders(char (&work)[kBrowserTextSize]) override {
        if (strcmp(work, "*") != 0) return false;  // only after ListDrives
        const std::string key = Lower(current.back() == '\\' ? current.substr(0, 2) : current);
        folderList.assign(current.back() == '\\' ? 0 : 1, "[..]");
        for (const std::string& f : folders)
            if (Lower(f.substr(0, f.rfind('\\'))) == key) folderList.push_back("[" + Leaf(f) + "]");
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
    void Close() override { closed = true; }

    // What the user does: picks an entry that the list holds (any entry when told so).
    static int IndexOf(const std::vector<std::string>& list, const std::string& entry) {
        auto it = std::find(list.begin(), list.end(), entry);
        EXPECT_NE(it, list.end()) << entry;
        return it == list.end() ? -1 : static_cast<int>(it - list.begin());
    }
    void ChooseDrive(FolderBrowserState& state, const std::string& entry) {
        SelectDrive(IndexOf(driveList, entry));
        ChangeDrive(state, *this);
    }
    void DoubleClick(FolderBrowserState& state, const std::string& entry, bool listed = true) {
        if (!listed) folderList = {entry};
        folderSelection = IndexOf(folderList, entry);
        OpenEntry(state, *this);
    }
    bool Lists(const std::string& entry) const { return std::count(folderList.begin(), folderList.end(), entry) != 0; }
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

TEST(FolderBrowser, FirstLetterRunAndCaption) {
    const std::tuple<const char*, const char*, bool, const char*> cases[] = {
        {"D:\\Programs", "D", true, "[-D-]"},
        {"[-e-]", "e", true, "[-e-]"},
        {":\\", "", true, "[--]"},
        {"12\xC4\xE8:\\x", "x", true, "[-x-]"},                        // digits and Cyrillic bytes are not letters
        {"abcdefghijkl:\\", "abcdefghijkl", true, "[-abcdefghijk-]"},  // 12 letters: the caption keeps 11
        {"abcdefghijklmnopqrst", "abcdefghijklmno", false, "[-abcdefghijk-]"},  // the run is cut at 15
    };
    for (const auto& [text, wantRun, whole, wantCaption] : cases) {
        SCOPED_TRACE(text);
        GuardedText<kBrowserLetterSize> run, caption;
        EXPECT_EQ(FirstLetterRun(text, run.text), whole);
        DriveCaption(text, caption.text);
        EXPECT_STREQ(run.text, wantRun);
        EXPECT_STREQ(caption.text, wantCaption);
        EXPECT_TRUE(run.UnwrittenFrom() && caption.UnwrittenFrom());
    }
}

// A root, an unreadable drive and no Program Files folder at all are Wine scenarios.
TEST(FolderBrowser, OpensAtProgramFiles) {
    const std::tuple<const char*, const char*, const char*, const char*, const char*, bool> cases[] = {
        {"D:\\Programs", "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]", true},
        {"d:", "d:\\", "", "d:\\Pelbrix", "[-d-]", false},
        {"c:\\program files", "c:\\", "program files", "c:\\Program Files\\Pelbrix", "[-c-]", true},
    };
    for (const auto& [programFiles, root, sub, field, caption, parent] : cases) {
        SCOPED_TRACE(programFiles);
        FolderBrowserState state;
        memset(&state, '#', sizeof state);
        FakeView view;
        FolderBrowserOpen(state, view, programFiles);
        ExpectAt(state, view, root, sub, field, caption);
        EXPECT_EQ(view.Lists("[..]"), parent);
        EXPECT_TRUE(view.focused);
    }
}

// The plain walk down, up and across drives is a Wine scenario; here what it does not reach.
TEST(FolderBrowser, WalkDownUpAndAcrossDrives) {
    FolderBrowserState state;
    FakeView view;
    FolderBrowserOpen(state, view, "D:\\Programs");
    view.DoubleClick(state, "[[x]]");  // entered under its own name
    ExpectAt(state, view, "D:\\", "Programs\\[x]", "D:\\Programs\\[x]\\Pelbrix", "[-D-]");
    view.DoubleClick(state, "[..]");
    ExpectAt(state, view, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
    view.ChooseDrive(state, "[-e-]");
    view.DoubleClick(state, "[Games]");  // after a drive change the sub-path starts with a backslash
    ExpectAt(state, view, "e:\\", "\\Games", "e:\\Games\\Pelbrix", "[-e-]");
    EXPECT_EQ(view.asked.back(), "e:\\\\Games");
    view.DoubleClick(state, "[..]");
    ExpectAt(state, view, "e:\\", "", "e:\\Pelbrix", "[-e-]");
    view.DoubleClick(state, "[...]", false);  // only [..] exactly goes up
    EXPECT_EQ(view.asked.back(), "e:\\\\...");
    view.DoubleClick(state, "[", false);  // not an entry
    view.folderSelection = -1;
    OpenEntry(state, view);
    EXPECT_EQ(view.asked.back(), "e:\\\\...");

    FakeView reopened;  // the next opening starts at Program Files again
    FolderBrowserOpen(state, reopened, "D:\\Programs");
    ExpectAt(state, reopened, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
}

TEST(FolderBrowser, FailedListingStaysOnLastFolder) {
    // The field never gains a second "Pelbrix", and text typed before the step is replaced.
    FolderBrowserState state;
    FakeView view;
    FolderBrowserOpen(state, view, "D:\\Programs");
    const std::vector<std::string> programs = view.folderList;
    for (int i = 0; i < 3; ++i) {
        view.pathField = "typed";
        view.DoubleClick(state, "[Locked]");
        ExpectAt(state, view, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
        EXPECT_EQ(view.folderList, programs);
    }
    view.ChooseDrive(state, "[-f-]");  // no medium
    ExpectAt(state, view, "D:\\", "Programs", "D:\\Programs\\Pelbrix", "[-D-]");
    view.ChooseDrive(state, "[-e-]");  // and the browser still moves on
    ExpectAt(state, view, "e:\\", "", "e:\\Pelbrix", "[-e-]");
}

// Accepting, cancelling, a drive chosen and an entry opened are Wine scenarios; here the empty
// and unchecked fields and the notifications that must not act.
TEST(FolderBrowser, CommandsAndAnswers) {
    const std::tuple<int, int, const char*, bool, const char*> cases[] = {
        {1, kBrowserClicked, "", true, ""},                                        // an empty field acts as a cancel
        {1, kBrowserClicked, "Q:\\no\\such|folder", true, "Q:\\no\\such|folder"},  // typed text, unchecked
        {110, kBrowserDriveChosen, "", false, "previous"},                         // a selection in the folder list
        {111, kBrowserFolderDoubleClicked, "", false, "previous"},
        {106, 0x300, "", false, "previous"},  // the field's own notifications
        {1, 1, "typed", false, "previous"},   // only clicks answer
    };
    for (const auto& [id, notification, field, closes, folder] : cases) {
        SCOPED_TRACE(testing::Message() << id << "/" << notification);
        FolderBrowserState state;
        FakeView view;
        FolderBrowserOpen(state, view, "D:\\Programs");
        view.SelectDrive(2);       // [-e-]
        view.folderSelection = 1;  // [Games]
        view.pathField = field;
        InstallState install = {};
        CopyText(install.folder, "previous");
        FolderBrowserCommand(state, view, install, id, notification);
        EXPECT_STREQ(install.folder, folder);
        EXPECT_EQ(view.closed, closes);
        EXPECT_STREQ(state.driveRoot, "D:\\");  // no drive change, no entry opened
        EXPECT_STREQ(state.subPath, "Programs");
    }
}
