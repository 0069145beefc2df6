// The licence page's model: the box that lets the run proceed. (The destination and notice pages
// show what the system gives, under 260 bytes: Wine scenarios.)
#include "pages/licence.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "pages/page.h"

// Ticking the box and proceeding, and the licence as shipped split into its lines, are Wine
// scenarios; here what they do not reach: the proceed button (as Enter would press it) does
// nothing while the box is clear, a third state of the box counts as ticked, and only the buttons
// end the page.
TEST(LicencePage, ProceedOnlyWhileAccepted) {
    LicenceModel page;
    LicenceOpen(page);
    int result = -1;
    EXPECT_FALSE(LicenceEndsWith(page, kPageProceedId, &result));
    LicenceAcceptToggled(page, 2);
    EXPECT_FALSE(LicenceEndsWith(page, kLicenceAcceptBoxId, &result));
    EXPECT_TRUE(LicenceEndsWith(page, kPageProceedId, &result) && result == kPageResultProceed);
    LicenceAcceptToggled(page, 0);
    EXPECT_FALSE(LicenceEndsWith(page, kPageProceedId, &result));
}
