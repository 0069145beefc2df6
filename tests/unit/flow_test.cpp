// The installer's run against a scripted host: which steps happen, in which order, owned by whom.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "installer/flow.h"
#include "installer/product.h"
#include "installer/text.h"

namespace {

// Records every call as one line; answers from its script.
struct FakeHost final : FlowHost {
    // A top-level window, when present: class and title.
    bool windowPresent = false;
    std::string windowClass = "TFormMain";
    std::string windowTitle;
    bool recordPresent = false;
    std::string recordedFolder;
    bool folderExists = true;
    std::map<int, int> pageResults;  // dialog id -> result; absent: 1
    bool extractResult = true;
    std::vector<std::string> calls;

    bool FindWindowTitle(const char* cls, char* title, size_t cap) override {
        calls.push_back(std::string("find ") + cls);
        if (!windowPresent || windowClass != cls) return false;
        CopyTextN(title, cap, windowTitle.c_str());
        return true;
    }
    void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon icon) override {
        calls.push_back(std::string("message ") + text + " | " + caption + " | " +
                        (owner == MessageOwner::Backdrop ? "backdrop" : "none") +
                        (icon == MessageIcon::Error ? " | error" : " | ?"));
    }
    void ShowBackdrop() override { calls.push_back("backdrop"); }
    int RunPage(int id) override {
        calls.push_back("page " + std::to_string(id));
        auto it = pageResults.find(id);
        return it == pageResults.end() ? 1 : it->second;
    }
    bool MakeCurrentDirectory(const char* folder) override {
        calls.push_back(std::string("cd ") + folder);
        return folderExists;
    }
    bool ReadInstalledPath(char* buffer) override {
        calls.push_back("read record");
        if (!recordPresent) return false;
        CopyTextN(buffer, 1024, recordedFolder.c_str());
        return !recordedFolder.empty();
    }
    bool ExtractPayload() override {
        calls.push_back("extract");
        return extractResult;
    }
    void WriteInstallRecord() override { calls.push_back("write record"); }
};

const std::string kNotInstalled =
    std::string("message ") + kMessageNotInstalled + " | " + PEL_DISPLAY_NAME + " | backdrop | error";
const std::string kRefused =
    std::string("message ") + kMessageAlreadyRunning + " | " + kCaptionAlreadyRunning + " | none | error";

struct PageCase {
    const char* name;
    bool recordPresent;
    const char* recordedFolder;
    bool folderExists;
    std::map<int, int> pageResults;
    bool extractResult;
    std::vector<std::string> expected;  // after "find TFormMain", "backdrop", "read record"
};

TEST(Flow, SequenceByPageResults) {
    const PageCase cases[] = {
        {"no record: destination first, success", false, "", true, {}, true,
         {"page 1", "page 2", "extract", "write record", "page 5"}},
        {"record present: notice page in its folder", true, "C:\\Pelbrix", true, {}, true,
         {"cd C:\\Pelbrix", "page 4", "page 1", "page 2", "extract", "write record", "page 5"}},
        {"recorded folder gone: notice skipped", true, "D:\\Gone", false, {}, true,
         {"cd D:\\Gone", "page 1", "page 2", "extract", "write record", "page 5"}},
        {"empty record: notice skipped, no cd", true, "", true, {}, true,
         {"page 1", "page 2", "extract", "write record", "page 5"}},
        {"notice cancelled: no further page", true, "C:\\Pelbrix", true, {{4, 0}}, true,
         {"cd C:\\Pelbrix", "page 4", kNotInstalled}},
        {"destination cancelled: no licence", false, "", true, {{1, 0}}, true, {"page 1", kNotInstalled}},
        {"licence cancelled: nothing extracted", false, "", true, {{2, 0}}, true,
         {"page 1", "page 2", kNotInstalled}},
        {"extraction failed: nothing recorded", false, "", true, {}, false,
         {"page 1", "page 2", "extract", kNotInstalled}},
        {"-1 (page not created) proceeds", true, "C:\\P", true, {{4, -1}, {1, -1}, {2, -1}}, true,
         {"cd C:\\P", "page 4", "page 1", "page 2", "extract", "write record", "page 5"}},
        {"other non-zero results proceed", false, "", true, {{1, 2}, {2, 7}}, true,
         {"page 1", "page 2", "extract", "write record", "page 5"}},
        {"completion result ignored", false, "", true, {{5, 0}}, true,
         {"page 1", "page 2", "extract", "write record", "page 5"}},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.recordPresent = c.recordPresent;
        host.recordedFolder = c.recordedFolder;
        host.folderExists = c.folderExists;
        host.pageResults = c.pageResults;
        host.extractResult = c.extractResult;
        EXPECT_EQ(RunInstaller(host), 1);
        std::vector<std::string> expected = {"find TFormMain", "backdrop", "read record"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(host.calls, expected);
    }
}

struct WindowCase {
    const char* name;
    bool present;
    const char* windowClass;
    const char* title;
    bool refused;
};

TEST(Flow, RunningInstanceCheck) {
    const WindowCase cases[] = {
        {"no window", false, "TFormMain", "", false},
        {"exact display name", true, "TFormMain", PEL_DISPLAY_NAME, true},
        {"name followed by more text", true, "TFormMain", PEL_DISPLAY_NAME " - Семья.dat", true},
        {"name directly followed by a letter", true, "TFormMain", PEL_DISPLAY_NAME "X", true},
        {"another title", true, "TFormMain", "Калькулятор", false},
        {"empty title", true, "TFormMain", "", false},
        {"shorter than the name", true, "TFormMain", "Пелбрик", false},
        {"nine bytes of the name", true, "TFormMain", "Пелбриксо", false},
        {"case differs", true, "TFormMain", "ПЕЛБРИКСОН", false},
        {"name not at the start", true, "TFormMain", " " PEL_DISPLAY_NAME, false},
        {"name in a window of another class", true, "TFormOther", PEL_DISPLAY_NAME, false},
    };
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.windowPresent = c.present;
        host.windowClass = c.windowClass;
        host.windowTitle = c.title;
        host.recordPresent = true;
        host.recordedFolder = "C:\\Old";
        const int code = RunInstaller(host);
        if (c.refused) {
            // Refused at once: no backdrop, no registry access, no page.
            EXPECT_EQ(code, 0);
            EXPECT_EQ(host.calls, (std::vector<std::string>{"find TFormMain", kRefused}));
        } else {
            EXPECT_EQ(code, 1);
            ASSERT_GE(host.calls.size(), 3u);
            EXPECT_EQ(host.calls[1], "backdrop");
            EXPECT_EQ(host.calls.back(), "page 5");
        }
    }
}

TEST(Flow, TitleComparesTenBytes) {
    // The display name is 10 bytes in Windows-1251; the check looks at exactly those.
    ASSERT_EQ(sizeof(PEL_DISPLAY_NAME) - 1, 10u);
    EXPECT_TRUE(IsRunningProductTitle(PEL_DISPLAY_NAME));
    EXPECT_TRUE(IsRunningProductTitle(PEL_DISPLAY_NAME "\xFF\xFF"));
    EXPECT_FALSE(IsRunningProductTitle(""));
    EXPECT_FALSE(IsRunningProductTitle("Pelbrixon!"));
    // A 1023-byte title (the longest GetWindowTextA gives into 1024 bytes) is read only at its start.
    std::string longTitle = PEL_DISPLAY_NAME + std::string(1013, 'x');
    EXPECT_TRUE(IsRunningProductTitle(longTitle.c_str()));
}

}  // namespace
