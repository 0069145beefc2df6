// Destination page model: the default folder, the browser's answer, "Далее >>>" and the desktop box.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "pages/destination.h"

namespace {

InstallState StateWith(const std::string& folder, uint8_t desktop = 0) {
    InstallState state;
    memset(&state, 0, sizeof state);
    strncpy(state.folder, folder.c_str(), sizeof state.folder - 1);
    state.desktop = desktop;
    return state;
}

}  // namespace

TEST(DestinationPage, OpenBuildsDefaultFolderAndTicksDesktop) {
    struct Case { std::string programFiles; std::string expected; };
    const Case cases[] = {
        {"D:\\Programs", "D:\\Programs\\Pelbrix"},
        {"D:\\", "D:\\Pelbrix"},                    // one backslash, not two
        {"", "\\Pelbrix"},                           // ProgramFilesDir unreadable: buffer left empty
        {std::string(1020, 'a'), std::string(1020, 'a') + "\\Pe"},  // cut at 1023 bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programFiles.substr(0, 40));
        InstallState state = StateWith(c.programFiles);
        DestinationOpen(state);
        EXPECT_EQ(std::string(state.folder), c.expected);
        EXPECT_EQ(state.desktop, 1);
    }
}

TEST(DestinationPage, AfterBrowseShowsChoiceOrKeepsField) {
    struct Case { const char* browserLeft; const char* field; bool showState; const char* folder; };
    const Case cases[] = {
        {"e:\\Games\\Pelbrix", "D:\\Programs\\Pelbrix", true, "e:\\Games\\Pelbrix"},  // accepted
        {"", "D:\\Edited by hand", false, "D:\\Edited by hand"},   // cancelled: unsaved edits kept
        {"", "", false, ""},                                        // cancelled on an empty field
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        InstallState state = StateWith(c.browserLeft, 1);
        EXPECT_EQ(DestinationAfterBrowse(state, c.field), c.showState);
        EXPECT_STREQ(state.folder, c.folder);
        EXPECT_EQ(state.desktop, 1);
    }
}

TEST(DestinationPage, NextStoresFieldTextUnchecked) {
    // The browser's choice is overridden by later edits of the field; an empty field is accepted.
    const char* fields[] = {"e:\\Games\\Pelbrix2", "", "relative\\folder"};
    for (const char* field : fields) {
        SCOPED_TRACE(field);
        InstallState state = StateWith("e:\\Games\\Pelbrix", 1);
        DestinationNext(state, field);
        EXPECT_STREQ(state.folder, field);
    }
    InstallState state = StateWith("");
    std::string longField(1500, 'x');
    DestinationNext(state, longField.c_str());
    EXPECT_EQ(strlen(state.folder), 1023u);
}

TEST(DestinationPage, DesktopFlagFollowsEveryClick) {
    struct Case { long check; uint8_t flag; };
    const Case clicks[] = {{0, 0}, {1, 1}, {0, 0}, {2, 1}};  // 2: indeterminate counts as ticked
    InstallState state = StateWith("", 1);
    for (const Case& c : clicks) {
        SCOPED_TRACE(c.check);
        DestinationDesktopToggled(state, c.check);
        EXPECT_EQ(state.desktop, c.flag);
    }
}
