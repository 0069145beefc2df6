// The licence page's model: the text split into lines, the box that lets the run proceed. (The
// destination and notice pages show what the system gives, under 260 bytes: Wine scenarios.)
#include "pages/licence.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <tuple>
#include <vector>

#include "pages/page.h"

namespace {

void Collect(void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); }

}  // namespace

// The licence as shipped (Windows-1251, CR LF after every line) is a Wine scenario.
TEST(LicencePage, SplitsLines) {
    const std::string k1000(1000, 'k'), m1500(1500, 'm');
    const std::tuple<const char*, std::string, std::vector<std::string>> cases[] = {
        {"empty resource", "", {}},
        // n lines ended by CR LF and a last line without one: n + 1 entries, empty lines included.
        {"last line without line end", "one\r\n\r\ntwo\r\n   ", {"one", "", "two", "   "}},
        {"CR as last byte", "one\r", {"one"}},
        {"lone LF stays in the line", "a\nb\r\nc", {"a\nb", "c"}},
        {"lone CR skips the next byte", "ab\rXcd", {"ab", "cd"}},
        {"1000 bytes then CR LF", k1000 + "\r\nnext", {k1000, "next"}},
        // A cut line goes on in the next entry: no byte of it is skipped.
        {"1500 bytes then CR LF", m1500 + "\r\nz", {m1500.substr(0, 1000), m1500.substr(1000), "z"}},
        {"1001 bytes, no line end", k1000 + "x", {k1000, "x"}},
    };
    for (const auto& [name, text, expected] : cases) {
        SCOPED_TRACE(name);
        std::vector<std::string> lines;
        std::vector<char> exact(text.begin(), text.end());  // exactly sized: ASan sees reads past it
        EXPECT_EQ(SplitLicenceText(exact.empty() ? nullptr : exact.data(), exact.size(), Collect, &lines),
                  expected.size());
        EXPECT_EQ(lines, expected);
    }
}

TEST(LicencePage, ProceedOnlyWhileAccepted) {
    LicenceModel page;
    LicenceOpen(page);
    int result = -1;
    EXPECT_FALSE(page.proceedEnabled);
    EXPECT_FALSE(LicenceEndsWith(page, kPageProceedId, &result));  // Enter on a disabled button
    for (long check : {1, 0, 2}) {                                 // 2: indeterminate counts as ticked
        LicenceAcceptToggled(page, check);
        EXPECT_EQ(page.proceedEnabled, check != 0) << check;
    }
    EXPECT_TRUE(LicenceEndsWith(page, kPageProceedId, &result));
    EXPECT_EQ(result, kPageResultProceed);
    EXPECT_FALSE(LicenceEndsWith(page, kLicenceAcceptBoxId, &result));  // other controls never end it
    LicenceAcceptToggled(page, 0);
    EXPECT_TRUE(LicenceEndsWith(page, kPageCancelId, &result));
    EXPECT_EQ(result, kPageResultCancel);
}
