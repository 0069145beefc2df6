// Licence page model: splitting the licence text into list entries, and the acceptance box.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "pages/licence.h"
#include "pages/page.h"

namespace {

void Collect(void* context, const char* line) {
    static_cast<std::vector<std::string>*>(context)->push_back(line);
}

// Splits a copy of text held in a heap block of exactly its size, so ASan sees any read past it.
std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    std::vector<char> exact(text.begin(), text.end());
    size_t count = SplitLicenceText(exact.empty() ? nullptr : exact.data(), exact.size(), Collect, &lines);
    EXPECT_EQ(count, lines.size());
    return lines;
}

}  // namespace

TEST(LicencePage, SplitsLines) {
    const std::string k1000(1000, 'k');
    const std::string m1500(1500, 'm');
    struct Case { const char* name; std::string text; std::vector<std::string> expected; };
    const Case cases[] = {
        {"empty resource", "", {}},
        // n lines ended by CR LF and a last line without one: n + 1 entries, empty lines included.
        {"last line without line end", "one\r\n\r\ntwo\r\n   ", {"one", "", "two", "   "}},
        {"ends with CR LF", "one\r\ntwo\r\n", {"one", "two"}},
        {"only CR LF", "\r\n", {""}},
        {"CR as last byte", "one\r", {"one"}},
        {"lone LF stays in the line", "a\nb\r\nc", {"a\nb", "c"}},
        {"lone CR skips the next byte", "ab\rXcd", {"ab", "cd"}},
        {"1000 bytes then CR LF", k1000 + "\r\nnext", {k1000, "next"}},
        // A cut line goes on in the next entry: no byte of it is skipped.
        {"1500 bytes then CR LF", m1500 + "\r\nz", {m1500.substr(0, 1000), m1500.substr(1000), "z"}},
        {"1001 bytes, no line end", k1000 + "x", {k1000, "x"}},
        {"Windows-1251 bytes unchanged", "\xcf\xe5\xeb\r\n\xff", {"\xcf\xe5\xeb", "\xff"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Split(c.text), c.expected);
    }
}

TEST(LicencePage, ProceedOnlyWhileAccepted) {
    LicenceModel page;
    LicenceOpen(page);
    int result = -1;
    EXPECT_FALSE(page.proceedEnabled);
    EXPECT_FALSE(LicenceEndsWith(page, kPageProceedId, &result));  // Enter on a disabled button
    struct Click { long check; bool enabled; };
    const Click clicks[] = {{1, true}, {0, false}, {1, true}};
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.check);
        LicenceAcceptToggled(page, c.check);
        EXPECT_EQ(page.accepted, c.enabled);
        EXPECT_EQ(page.proceedEnabled, c.enabled);
    }
    EXPECT_TRUE(LicenceEndsWith(page, kPageProceedId, &result));
    EXPECT_EQ(result, kPageResultProceed);
    EXPECT_FALSE(LicenceEndsWith(page, kLicenceAcceptBoxId, &result));
    LicenceAcceptToggled(page, 0);
    EXPECT_TRUE(LicenceEndsWith(page, kPageCancelId, &result));
    EXPECT_EQ(result, kPageResultCancel);
}
