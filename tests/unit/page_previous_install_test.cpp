// Previous-installation page model and the results shared by the pages.
#include <gtest/gtest.h>
#include <string.h>
#include "pages/page.h"
#include "pages/previous_install.h"

TEST(PreviousInstallPage, ShowsOnlyAReportedDirectoryThatFitted) {
    struct Case { const char* directory; size_t reported; const char* shown; };
    const Case cases[] = {
        {"C:\\Program Files\\Pelbrix", 24, "C:\\Program Files\\Pelbrix"},
        {"C:\\", 3, "C:\\"},
        {"garbage", 0, ""},        // the query failed
        {"garbage", 1024, ""},     // the directory needs a larger buffer: nothing was written
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        PreviousInstallModel page;
        memset(&page, 'X', sizeof page);
        PreviousInstallOpen(page, c.directory, c.reported);
        EXPECT_STREQ(page.folder, c.shown);
    }
}

TEST(Pages, ProceedAndCancelIdsEndThePage) {
    struct Case { int id; bool ends; int result; };
    const Case cases[] = {{1, true, 1}, {2, true, 0}, {101, false, -1}, {0, false, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        int result = -1;
        EXPECT_EQ(PageEndsWith(c.id, &result), c.ends);
        EXPECT_EQ(result, c.result);
    }
}
