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
    std::string calls;

    bool Log(const std::string& call, bool result = true) { return calls += call + "\n", result; }
    // No running window; another run holding the lock is a Wine scenario.
    bool FindWindowTitle(const char* cls, char16_t*, size_t) override { return Log(std::string("find ") + cls, false); }
    bool HoldRunLock() override { return Log("lock"); }
    void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon icon) override {
        Log(std::string("message ") + text + " | " + caption + (owner == MessageOwner::Backdrop ? " | backdrop" : "") +
            (icon == MessageIcon::Error ? " | error" : ""));
    }
    void ShowBackdrop() override { Log("backdrop"); }
    int RunPage(int id, InstallState&) override {
        Log("page " + std::to_string(id));
        const int result = pageResults.count(id) ? pageResults[id] : 1;
        quit = quit || result == kQuit;
        return quit ? 1 : result;
    }
    bool QuitPending() override { return quit; }
    bool MakeCurrentDirectory(const char* folder) override { return Log(std::string("cd ") + folder); }
    bool ReadRecordedFolder(char (&buffer)[kPathSize]) override {
        CopyTextN(buffer, 1024, record.c_str());
        return Log("read record", !record.empty());
    }
    bool ExtractPayload(const InstallState&, uint64_t&) override {
        quit = !extractResult;  // as after a failure to create the folder
        return Log("extract", extractResult);
    }
    void FinishExtraction() override { Log("backups gone"); }
    void RunClosingActions(const InstallState&) override { Log("links"); }
    void WriteInstallRecord(const InstallState&) override { Log("record"); }
    void WriteUninstallEntry(const InstallState&, uint64_t) override { Log("entry"); }
};

// Not installed, over the backdrop; on its own once the backdrop went with the quit request.
const std::string kClosed = std::string("message ") + kMessageNotInstalled + " | " + PEL_DISPLAY_NAME + " | error\n";
const std::string kFailed = kClosed.substr(0, kClosed.size() - 9) + " | backdrop | error\n";

// After "find TFormMain", "lock", "backdrop", "read record". Each page's cancel, the backdrop closed
// on each page, the notice shown or skipped and the completion are Wine scenarios; here the whole
// sequence once (a record: the notice page, in its folder), an extraction that failed (nothing
// recorded, nothing removed), and what they cannot reach: a page that could not be created never
// counts as accepted, and the backdrop closed (or the session ending) ends a page's loop with its
// default result.
TEST(Flow, SequenceByPageResults) {
    const std::tuple<const char*, std::map<int, int>, bool, std::string> cases[] = {
        {"C:\\P", {}, true, "cd C:\\P\npage 4\npage 1\npage 2\nextract\nlinks\nrecord\nentry\npage 5\nbackups gone\n"},
        {"", {}, false, "page 1\npage 2\nextract\n" + kFailed},
        {"C:\\P", {{4, -1}}, true, "cd C:\\P\npage 4\n" + kFailed},
        {"", {{2, kQuit}}, true, "page 1\npage 2\n" + kClosed},
    };
    for (const auto& [record, pageResults, extractResult, calls] : cases) {
        SCOPED_TRACE(calls);
        FakeHost host;
        host.record = record;
        host.pageResults = pageResults;
        host.extractResult = extractResult;
        EXPECT_EQ(RunInstaller(host), 1);
        EXPECT_EQ(host.calls, "find TFormMain\nlock\nbackdrop\nread record\n" + calls);
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
