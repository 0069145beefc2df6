// The installer's run against a scripted host: which steps happen, in which order, owned by whom.
#include "installer/flow.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/messages.h"
#include "base/product.h"
#include "base/running_app.h"
#include "base/text.h"

namespace {

// A page result that stands for a page whose modal loop the quit request ended (with result 1).
const int kQuit = 99;

// Records every call as one line; answers from its script.
struct FakeHost final : FlowHost {
    std::string record;  // empty: no record
    bool extractResult = true, quit = false;
    std::map<int, int> pageResults;  // dialog id -> result or kQuit; absent: 1
    std::vector<std::string> calls;

    bool FindWindowTitle(const char* cls, char16_t*, size_t) override {  // no running window
        calls.push_back(std::string("find ") + cls);
        return false;
    }
    bool HoldRunLock() override {  // another run holding it is a Wine scenario
        calls.push_back("lock");
        return true;
    }
    void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon icon) override {
        calls.push_back(std::string("message ") + text + " | " + caption + " | " +
                        (owner == MessageOwner::Backdrop ? "backdrop" : "none") +
                        (icon == MessageIcon::Error ? " | error" : ""));
    }
    void ShowBackdrop() override { calls.push_back("backdrop"); }
    int RunPage(int id, InstallState&) override {
        calls.push_back("page " + std::to_string(id));
        const int result = pageResults.count(id) ? pageResults[id] : 1;
        quit = quit || result == kQuit;
        return quit ? 1 : result;
    }
    bool QuitPending() override { return quit; }
    bool MakeCurrentDirectory(const char* folder) override {
        calls.push_back(std::string("cd ") + folder);
        return true;
    }
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override {
        calls.push_back("read record");
        CopyTextN(buffer, 1024, record.c_str());
        return !record.empty();
    }
    bool ExtractPayload(const InstallState&, uint64_t&) override {
        calls.push_back("extract");
        quit = !extractResult;  // as after a failure to create the folder
        return extractResult;
    }
    void FinishExtraction() override { calls.push_back("backups go"); }
    void RunClosingActions(const InstallState&) override { calls.push_back("links"); }
    void WriteInstallRecord(const InstallState&) override { calls.push_back("write record"); }
    void WriteUninstallEntry(const InstallState&, uint64_t) override { calls.push_back("write entry"); }
};

const std::string kNotInstalled =
    std::string("message ") + kMessageNotInstalled + " | " + PEL_DISPLAY_NAME + " | backdrop | error";
// The backdrop went with the quit request: the message has no owner.
const std::string kClosed =
    std::string("message ") + kMessageNotInstalled + " | " + PEL_DISPLAY_NAME + " | none | error";

TEST(Flow, SequenceByPageResults) {
    // calls: after "find TFormMain", "backdrop", "read record"
    // Each page's cancel, the backdrop closed on each page, the notice shown or skipped and the
    // completion are Wine scenarios; here the whole sequence once, and what they cannot reach.
    const std::tuple<const char*, const char*, std::map<int, int>, bool, std::vector<std::string>> cases[] = {
        {"record present: notice page in its folder",
         "C:\\Pelbrix",
         {},
         true,
         {"cd C:\\Pelbrix", "page 4", "page 1", "page 2", "extract", "links", "write record", "write entry", "page 5",
          "backups go"}},
        {"extraction failed: nothing recorded, nothing removed",
         "",
         {},
         false,
         {"page 1", "page 2", "extract", kNotInstalled}},
        // A page that could not be created never counts as accepted: nothing is installed.
        {"-1 (notice not created) cancels", "C:\\P", {{4, -1}}, true, {"cd C:\\P", "page 4", kNotInstalled}},
        {"-1 (licence not created) cancels", "", {{2, -1}}, true, {"page 1", "page 2", kNotInstalled}},
        // The backdrop closed (or the session ending) ends a page's loop with its default result.
        {"quit on the licence", "", {{2, kQuit}}, true, {"page 1", "page 2", kClosed}},
    };
    for (const auto& [name, record, pageResults, extractResult, calls] : cases) {
        SCOPED_TRACE(name);
        FakeHost host;
        host.record = record;
        host.pageResults = pageResults;
        host.extractResult = extractResult;
        EXPECT_EQ(RunInstaller(host), 1);
        std::vector<std::string> expected = {"find TFormMain", "lock", "backdrop", "read record"};
        expected.insert(expected.end(), calls.begin(), calls.end());
        EXPECT_EQ(host.calls, expected);
    }
}

// The refusal itself (its message, no backdrop, no page) for the exact and a longer title, and a
// window of another class or title, are Wine scenarios; here the title rule's edges.
// The title is the Unicode window's own text: the same on every code page.
TEST(Flow, RunningInstanceCheckComparesTenCharacters) {
    const std::tuple<const char*, std::u16string, bool> cases[] = {
        {"name directly followed by other letters", u"Пелбриксонян", true},
        // The longest title read into 1024 units is read only at its start.
        {"1023-unit title", u"Пелбриксон" + std::u16string(1013, u'x'), true},
        {"empty title", u"", false},
        {"nine letters of the name", u"Пелбриксо", false},
        {"case differs", u"ПЕЛБРИКСОН", false},
        {"name not at the start", u" Пелбриксон", false},
        {"the name's Windows-1251 bytes", u"\u00CF\u00E5\u00EB\u00E1\u00F0\u00E8\u00EA\u00F1\u00EE\u00ED", false},
    };
    for (const auto& [name, title, refused] : cases) EXPECT_EQ(IsRunningProductTitle(title.c_str()), refused) << name;
}

}  // namespace
