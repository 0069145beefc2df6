// End-to-end driver: runs a small script that starts the installer, waits for its pages and
// messages, reads and operates their controls as a user would, and writes a transcript of what it
// saw. Runs under Wine in the same prefix as the installer; the Linux side checks the transcript.
//
//   driver.exe SCRIPT TRANSCRIPT
//
// The script and the transcript are UTF-8, and every text crosses to the system in UTF-16, so
// that a transcript reads the same under every ANSI code page. One command per line, words
// separated by blanks, "double quotes" around words with blanks; # starts a comment.
//
//   timeout SECONDS            default wait for the commands below (20 s at start)
//   start PATH [ARGS...]       start the installer (the process that `finish` waits for)
//   spawn PATH [ARGS...]       start a helper process; it is terminated when the script ends
//   wait-window CLASS [TITLE]  wait for a top-level window of that class (and exact title)
//   window CLASS               record whether a top-level window of that class exists now
//   page CAPTION [ID]          wait for a dialog page with that caption (and a control ID), dump it
//   message                    wait for a message box not recorded before, record its caption and text
//   state ID                   record a control's enabled/checked state and text
//   text ID [TEXT]             record a control's text (once it shows TEXT, in any letter case)
//   list ID                    record the entries of a list box or a combo box
//   set ID TEXT                type TEXT into a field (WM_SETTEXT; &#N; in TEXT is the character N)
//   click ID                   click an enabled button and wait until the click is handled
//   post-click ID              click an enabled button without waiting (the click opens a modal loop)
//   esc                        press Esc in the current window
//   close [CLASS]              press the close box of the current window, or of the top-level
//                              window of CLASS (fails if it has none)
//   shot NAME                  ask the harness for a screenshot of the current window (with a
//                              margin of what lies around it) and wait until it is taken
//   finish                     wait for the installer to end; record its exit code and lifetime
//   adopt NAME                 after `finish`, wait for another process of the image NAME (the
//                              program may hand over to a copy of itself) for `finish` to wait for
//   dblclick ID ENTRY          double-click the entry ENTRY of a list box with the mouse (button
//                              down, up, double-click, up at the entry), as a user opens it
//   choose ID ENTRY            pick the entry ENTRY of a combo box as from its drop-down list:
//                              select it and send the page the selection-change notification
//   regkey HKCU|HKLM KEY       record a registry key (native view): its class and every value, by
//                              name, with its type, its length and its bytes in hex as stored
//                              (texts in UTF-16)
//   wait-file PATH             wait for a file, record its lines, then delete it
//   hold PATH [read]           open (or create) a file without sharing (or sharing reading) and keep it open
//   release PATH               close a file that `hold` keeps open
//
// `click` on a message box answers it with that button (1 OK, 2 Cancel, 3 Abort, 4 Retry,
// 5 Ignore, 6 Yes, 7 No). After `finish`, `start` may run another program (its exit code is
// recorded by the next `finish`).
//
// Transcript lines, in the order things were seen: first `codepage N`, the ANSI code page the
// run has; `page "CAPTION"` followed by one line per control,
// `  control ID CLASS enabled|disabled [checked|unchecked] [count=N] "TEXT"`;
// `message "CAPTION" "TEXT"`; `window CLASS "TITLE" visible [maximized]` or `no-window CLASS`;
// the actions as given; `exit N`, or `exit 0xC0000005 crash` for a crash, then
// `lifetime N ms`; `pid N` after `start`;
// `regkey ROOT "KEY" class "CLASS" values N` followed by
// `  value "NAME" TYPE length=N hex=HEX` per value (sorted by name, TYPE REG_SZ or typeN), or
// `regkey ROOT "KEY" missing`; `file "PATH"` followed by `  | LINE` per line.
//
// The driver never sleeps to synchronise: every wait polls a condition until a timeout. On the
// first failure it records "error: ...", ends the processes it started and exits with 1; a script that runs through
// exits with 0.
#include <windows.h>
#include <cstddef>
#include <set>
#include <stdio.h>
#include <string.h>
#include <string>
#include <tlhelp32.h>
#include <utility>
#include <vector>
#include <wchar.h>

namespace {

FILE* g_transcript = nullptr;
std::string g_folder;  // folder of the transcript: screenshot requests go there
DWORD g_timeoutMs = 20000;
const DWORD kPollMs = 10;
const UINT kSendTimeoutMs = 5000;

PROCESS_INFORMATION g_installer = {};
DWORD g_lastPid = 0;  // the process last started or adopted
std::vector<HANDLE> g_helpers;
std::vector<std::pair<std::string, HANDLE>> g_held;  // files kept open by `hold`
HWND g_current = nullptr;                            // the page or message the commands act on
std::set<HWND> g_dismissed;                          // windows ended by the driver; never matched again

// UTF-8 (the script's words, the transcript) from and to UTF-16 (the system's texts).
std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

std::string Utf8(const WCHAR* text) {
    const int length = static_cast<int>(wcslen(text));
    std::string narrow(static_cast<size_t>(length) * 3, '\0');
    narrow.resize(
        WideCharToMultiByte(CP_UTF8, 0, text, length, &narrow[0], static_cast<int>(narrow.size()), nullptr, nullptr));
    return narrow;
}

void Record(const std::string& line) {
    fputs(line.c_str(), g_transcript);
    fputc('\n', g_transcript);
    fflush(g_transcript);
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string ClassOf(HWND window) {
    WCHAR name[256] = L"";
    GetClassNameW(window, name, 256);
    return Utf8(name);
}

// Reads a window's text with WM_GETTEXT: GetWindowTextW does not read the controls of another
// process. A window that does not answer in time gives "".
std::string TextOf(HWND window) {
    static WCHAR buffer[8192];
    buffer[0] = 0;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &length))
        return "";
    buffer[8191] = 0;
    return Utf8(buffer);
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    BOOL sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    if (ok) *ok = sent != 0;
    return static_cast<LRESULT>(result);
}

void CloseInstaller() {
    if (g_installer.hProcess) CloseHandle(g_installer.hProcess);
    if (g_installer.hThread) CloseHandle(g_installer.hThread);
    g_installer = {};
}

void EndProcesses() {
    for (HANDLE helper : g_helpers) {
        TerminateProcess(helper, 0);
        WaitForSingleObject(helper, 5000);
        CloseHandle(helper);
    }
    g_helpers.clear();
    if (g_installer.hProcess && WaitForSingleObject(g_installer.hProcess, 0) == WAIT_TIMEOUT) {
        Record("error: the installer is still running; terminated");
        TerminateProcess(g_installer.hProcess, 255);
        WaitForSingleObject(g_installer.hProcess, 5000);
    }
    CloseInstaller();
}

[[noreturn]] void Fail(const std::string& why) {
    Record("error: " + why);
    EndProcesses();
    fclose(g_transcript);
    ExitProcess(1);
}

// The lines of a text file without their line ends; fails the script when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path) {
    FILE* file = _wfopen(Wide(path).c_str(), L"rb");
    if (!file) Fail("cannot read " + path);
    std::vector<std::string> lines;
    char line[4096];
    while (fgets(line, sizeof line, file)) lines.push_back(std::string(line, strcspn(line, "\r\n")));
    fclose(file);
    return lines;
}

// The folder part of a path, with its backslash; "" for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Splits a script line into words; "..." keeps blanks inside a word. Backslashes are plain text.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) end = line.size();
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

std::string CommandLineOf(const std::vector<std::string>& words, size_t first) {
    std::string line;
    for (size_t i = first; i < words.size(); ++i) {
        if (!line.empty()) line += ' ';
        line += words[i].find(' ') == std::string::npos ? words[i] : Quote(words[i]);
    }
    return line;
}

HANDLE StartProcess(const std::vector<std::string>& words, PROCESS_INFORMATION* info) {
    std::string commandLine = CommandLineOf(words, 1);
    // The program starts in its own folder, as when the user opens it from there.
    std::string folder = FolderOf(words[1]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // Wine now and then refuses a process creation with an internal error (1359) that the next
    // attempt does not meet: a few attempts before the scenario counts as failed.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring line = Wide(commandLine);  // CreateProcessW may write into its command line
        if (CreateProcessW(Wide(words[1]).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : Wide(folder).c_str(), &startup, info))
            return info->hProcess;
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) break;
        Sleep(200);
    }
    Fail("cannot start " + words[1] + " (error " + std::to_string(error) + ")");
    return nullptr;
}

// Notes a visible top-level window as ` CLASS "TITLE";`: what a wait that timed out saw instead.
BOOL CALLBACK NoteVisible(HWND window, LPARAM seen) {
    if (IsWindowVisible(window))
        *reinterpret_cast<std::string*>(seen) += " " + ClassOf(window) + " " + Quote(TextOf(window)) + ";";
    return TRUE;
}

// Polls until `found` returns something (a window, true) or the timeout passes.
template <typename Find>
auto WaitFor(Find found, const std::string& what) -> decltype(found()) {
    DWORD start = GetTickCount();
    for (;;) {
        if (auto result = found()) return result;
        if (g_installer.hProcess && WaitForSingleObject(g_installer.hProcess, 0) == WAIT_OBJECT_0)
            Fail("the installer ended while waiting for " + what);
        if (GetTickCount() - start > g_timeoutMs) {
            std::string seen;
            EnumWindows(NoteVisible, reinterpret_cast<LPARAM>(&seen));
            Fail("timeout waiting for " + what + " (visible:" + seen + ")");
        }
        Sleep(kPollMs);
    }
}

struct DialogQuery {
    const std::string* caption;  // nullptr: any caption
    bool messageBox;
    int controlId;  // 0: no required control
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    DialogQuery& query = *reinterpret_cast<DialogQuery*>(param);
    if (ClassOf(window) != "#32770" || !IsWindowVisible(window) || g_dismissed.count(window)) return TRUE;
    // A message box's text is the static control 65535; the pages have none.
    bool isMessageBox = GetDlgItem(window, 0xFFFF) != nullptr;
    if (isMessageBox != query.messageBox) return TRUE;
    if (query.controlId && !GetDlgItem(window, query.controlId)) return TRUE;
    if (query.caption && TextOf(window) != *query.caption) return TRUE;
    if (!Answers(window)) return TRUE;
    query.found = window;
    return FALSE;
}

HWND FindDialog(const std::string* caption, bool messageBox, int controlId) {
    DialogQuery query = {caption, messageBox, controlId, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// Makes the window and its children paint now, so that a screenshot shows them drawn.
void PaintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Answers(window);
}

bool IsCheckBox(HWND control) {
    if (ClassOf(control) != "Button") return false;
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

std::string DescribeControl(HWND control) {
    int id = GetDlgCtrlID(control);
    std::string cls = ClassOf(control);
    std::string line =
        "control " + std::to_string(id) + " " + cls + (IsWindowEnabled(control) ? " enabled" : " disabled");
    if (IsCheckBox(control)) line += Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? " checked" : " unchecked";
    const bool listBox = cls == "ListBox";
    if (listBox || cls == "ComboBox")
        line += " count=" + std::to_string(static_cast<long>(Send(control, listBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0)));
    return listBox ? line : line + " " + Quote(TextOf(control));
}

BOOL CALLBACK DumpChild(HWND control, LPARAM dialog) {
    if (GetParent(control) == reinterpret_cast<HWND>(dialog)) Record("  " + DescribeControl(control));
    return TRUE;
}

HWND Control(int id) {
    if (!g_current || !IsWindow(g_current)) Fail("no current page for control " + std::to_string(id));
    HWND control = GetDlgItem(g_current, id);
    if (!control) Fail("the current page has no control " + std::to_string(id));
    return control;
}

// A user can press only a visible, enabled button: Wine would deliver the click to a disabled one.
HWND PressableControl(int id) {
    HWND control = Control(id);
    if (!IsWindowVisible(control)) Fail("control " + std::to_string(id) + " is hidden");
    if (!IsWindowEnabled(control)) Fail("control " + std::to_string(id) + " is disabled");
    if (!IsWindowEnabled(g_current)) Fail("the page of control " + std::to_string(id) + " is disabled");
    return control;
}

// The buttons that end a dialog: OK, Cancel, Abort, Retry, Ignore, Yes, No.
void NoteDismissal(int id) {
    if (id >= IDOK && id <= IDNO) g_dismissed.insert(g_current);
}

int IdArgument(const std::vector<std::string>& words) { return atoi(words[1].c_str()); }

// The part of the screen a screenshot keeps, as WIDTHxHEIGHT+LEFT+TOP: the current window and a
// margin around it, within the screen; "" (the whole screen) without a current window.
std::string ShotArea() {
    RECT r;
    if (!g_current || !IsWindow(g_current) || !GetWindowRect(g_current, &r)) return "";
    const LONG kMargin = 16;
    const LONG left = r.left > kMargin ? r.left - kMargin : 0, top = r.top > kMargin ? r.top - kMargin : 0;
    LONG right = r.right + kMargin, bottom = r.bottom + kMargin;
    if (right > GetSystemMetrics(SM_CXSCREEN)) right = GetSystemMetrics(SM_CXSCREEN);
    if (bottom > GetSystemMetrics(SM_CYSCREEN)) bottom = GetSystemMetrics(SM_CYSCREEN);
    return std::to_string(right - left) + "x" + std::to_string(bottom - top) + "+" + std::to_string(left) + "+" +
           std::to_string(top);
}

// The request file holds the area; it appears under its name whole (written aside, then renamed).
void Screenshot(const std::string& name) {
    if (g_current && IsWindow(g_current)) PaintNow(g_current);
    std::string request = g_folder + "shot-" + name + ".req";
    std::string written = g_folder + "shot-" + name + ".tmp";
    std::string done = g_folder + "shot-" + name + ".done";
    DeleteFileW(Wide(done).c_str());
    FILE* file = _wfopen(Wide(written).c_str(), L"wb");
    if (!file) Fail("cannot write " + written);
    fputs(ShotArea().c_str(), file);
    if (fclose(file) != 0 || !MoveFileExW(Wide(written).c_str(), Wide(request).c_str(), MOVEFILE_REPLACE_EXISTING))
        Fail("cannot write " + request);
    WaitFor([&] { return GetFileAttributesW(Wide(done).c_str()) != INVALID_FILE_ATTRIBUTES; },
            "the screenshot " + name);
    DeleteFileW(Wide(done).c_str());
    Record("shot " + name);
}

// An entry of a list box or a combo box, read in UTF-16.
std::string EntryText(HWND list, bool combo, LRESULT index) {
    static WCHAR wide[8192];
    wide[0] = 0;
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &length) &&
        static_cast<LRESULT>(length) >= 0 && length < sizeof wide / sizeof wide[0]) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
        wide[length] = 0;
    }
    return Utf8(wide);
}

// The number of the entry that reads exactly `text`; fails the script when there is none.
LRESULT FindEntry(HWND list, bool combo, const std::string& text, int id) {
    LRESULT count = Send(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (EntryText(list, combo, i) == text) return i;
    Fail("control " + std::to_string(id) + " has no entry " + Quote(text));
}

// Double-clicks a list box entry the way the mouse does: the entry is scrolled into view, and
// the list gets button down and up, then the double click and the last button up, at the middle
// of the entry. The list box turns the double click into LBN_DBLCLK for its page.
void DoubleClickEntry(int id, const std::string& text) {
    HWND list = PressableControl(id);
    if (ClassOf(list) != "ListBox") Fail("dblclick: control " + std::to_string(id) + " is no list box");
    LRESULT index = FindEntry(list, false, text, id);
    Send(list, LB_SETTOPINDEX, index, 0);
    LRESULT top = Send(list, LB_GETTOPINDEX, 0, 0);
    LRESULT height = Send(list, LB_GETITEMHEIGHT, 0, 0);
    if (height <= 0) Fail("dblclick: the list gives no entry height");
    LPARAM point = MAKELPARAM(8, (index - top) * height + height / 2);
    const UINT steps[][2] = {
        {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_LBUTTONDBLCLK, MK_LBUTTON}, {WM_LBUTTONUP, 0}};
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        bool ok = false;
        Send(list, steps[i][0], steps[i][1], point, &ok);
        if (!ok) Fail("dblclick: the list did not answer");
        // The first click selects the entry; the double click may refill the list.
        if (i == 1 && Send(list, LB_GETCURSEL, 0, 0) != index)
            Fail("dblclick: the click did not select " + Quote(text));
    }
}

// Picks a combo box entry as a click in its drop-down list does: the entry becomes the
// selection and the page hears CBN_SELCHANGE from the combo box.
void ChooseEntry(int id, const std::string& text) {
    HWND combo = PressableControl(id);
    if (ClassOf(combo) != "ComboBox") Fail("choose: control " + std::to_string(id) + " is no combo box");
    LRESULT index = FindEntry(combo, true, text, id);
    Send(combo, CB_SETCURSEL, index, 0);
    bool ok = false;
    Send(g_current, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo), &ok);
    if (!ok) Fail("choose: the page did not answer");
}

// Records a registry key of the native view: its class, then every value in name order with its
// type, its length and its bytes as RegQueryValueExW returns them.
void DumpRegistryKey(const std::string& rootName, const std::string& path) {
    if (rootName != "HKCU" && rootName != "HKLM") Fail("regkey: unknown root " + rootName);
    std::string head = "regkey " + rootName + " " + Quote(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootName == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Wide(path).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        Record(head + " missing");
        return;
    }
    WCHAR keyClass[256] = L"";
    DWORD classLength = 256;
    DWORD valueCount = 0;
    RegQueryInfoKeyW(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, &valueCount, nullptr, nullptr,
                     nullptr, nullptr);
    std::set<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[16384];
        DWORD nameLength = 16384;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    Record(head + " class " + Quote(Utf8(keyClass)) + " values " + std::to_string(valueCount));
    for (const std::wstring& name : names) {
        static BYTE data[65536];
        DWORD type = 0;
        DWORD length = sizeof data;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &length) != ERROR_SUCCESS)
            Fail("regkey: cannot read the value " + Utf8(name.c_str()));
        std::string line = "  value " + Quote(Utf8(name.c_str())) +
                           (type == REG_SZ ? " REG_SZ" : " type" + std::to_string(type)) +
                           " length=" + std::to_string(length) + " hex=";
        char pair[3];
        for (DWORD i = 0; i < length; ++i) {
            snprintf(pair, sizeof pair, "%02X", data[i]);
            line += pair;
        }
        Record(line);
    }
    RegCloseKey(key);
}

// Waits for a file, records its lines and deletes it, so that the next wait sees a new one.
void TakeFile(const std::string& path) {
    WaitFor([&] { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }, "the file " + path);
    Record("file " + Quote(path));
    for (const std::string& line : ReadLines(path)) Record("  | " + line);
    DeleteFileW(Wide(path).c_str());
}

void Finish() {
    if (!g_installer.hProcess) Fail("finish: nothing was started");
    if (WaitForSingleObject(g_installer.hProcess, g_timeoutMs) != WAIT_OBJECT_0)
        Fail("timeout waiting for the installer to end");
    DWORD code = 0;
    GetExitCodeProcess(g_installer.hProcess, &code);
    char line[64];
    if (code >= 0xC0000000u)
        snprintf(line, sizeof line, "exit 0x%08lX crash", code);
    else
        snprintf(line, sizeof line, "exit %lu", code);
    Record(line);
    // The installer's own lifetime as the system kept it, creation to exit: what the benchmark
    // compares, free of the driver's start and of polling delays.
    FILETIME times[4];
    if (GetProcessTimes(g_installer.hProcess, &times[0], &times[1], &times[2], &times[3])) {
        ULARGE_INTEGER created = {{times[0].dwLowDateTime, times[0].dwHighDateTime}};
        ULARGE_INTEGER exited = {{times[1].dwLowDateTime, times[1].dwHighDateTime}};
        snprintf(line, sizeof line, "lifetime %llu ms", (exited.QuadPart - created.QuadPart) / 10000ull);
        Record(line);
    }
    CloseInstaller();
}

// A running process of that image name other than the last one started or adopted; 0 if none.
DWORD FindProcess(const std::string& name, DWORD skip) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        const WCHAR* base = wcsrchr(entry.szExeFile, L'\\');
        if (entry.th32ProcessID != skip && lstrcmpiW(base ? base + 1 : entry.szExeFile, Wide(name).c_str()) == 0)
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

// Every command and the words it needs at least, itself included.
const std::pair<const char*, size_t> kCommands[] = {
    {"timeout", 2},  {"start", 2},      {"spawn", 2},  {"adopt", 2},     {"wait-window", 2}, {"window", 2},
    {"page", 2},     {"message", 1},    {"state", 2},  {"text", 2},      {"list", 2},        {"set", 3},
    {"click", 2},    {"post-click", 2}, {"esc", 1},    {"close", 1},     {"shot", 2},        {"finish", 1},
    {"dblclick", 3}, {"choose", 3},     {"regkey", 3}, {"wait-file", 2}, {"hold", 2},        {"release", 2}};

void Run(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    size_t i = 0;
    while (i < sizeof kCommands / sizeof kCommands[0] && command != kCommands[i].first) ++i;
    if (i == sizeof kCommands / sizeof kCommands[0]) Fail("unknown command " + command);
    if (words.size() < kCommands[i].second) Fail(command + ": too few words");
    if (command == "timeout") {
        g_timeoutMs = static_cast<DWORD>(atof(words[1].c_str()) * 1000);
    } else if (command == "start") {
        if (g_installer.hProcess) Fail("start: the installer runs already");
        StartProcess(words, &g_installer);
        Record("start " + CommandLineOf(words, 1));
        Record("pid " + std::to_string(g_lastPid = g_installer.dwProcessId));
    } else if (command == "adopt") {
        if (g_installer.hProcess) Fail("adopt: only after finish");
        DWORD pid = WaitFor([&] { return FindProcess(words[1], g_lastPid); }, "another process " + words[1]);
        g_installer.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
        if (!g_installer.hProcess) Fail("adopt: cannot open process " + words[1]);
        g_installer.dwProcessId = g_lastPid = pid;
        Record("adopt " + words[1]);
    } else if (command == "spawn") {
        PROCESS_INFORMATION info = {};
        g_helpers.push_back(StartProcess(words, &info));
        CloseHandle(info.hThread);
        Record("spawn " + CommandLineOf(words, 1));
    } else if (command == "wait-window") {
        const std::string cls = words[1];
        const std::string* title = words.size() > 2 ? &words[2] : nullptr;
        HWND window = WaitFor([&] { return FindWindowW(Wide(cls).c_str(), title ? Wide(*title).c_str() : nullptr); },
                              "window " + cls);
        Record("window " + cls + " " + Quote(TextOf(window)));
    } else if (command == "window") {
        HWND window = FindWindowW(Wide(words[1]).c_str(), nullptr);
        if (!window) {
            Record("no-window " + words[1]);
        } else {
            std::string line = "window " + words[1] + " " + Quote(TextOf(window));
            line += IsWindowVisible(window) ? " visible" : " hidden";
            if (IsZoomed(window)) line += " maximized";
            Record(line);
        }
    } else if (command == "page") {
        const std::string caption = words[1];
        int controlId = words.size() > 2 ? atoi(words[2].c_str()) : 0;
        g_current = WaitFor([&] { return FindDialog(&caption, false, controlId); }, "page " + Quote(caption));
        Record("page " + Quote(caption));
        EnumChildWindows(g_current, DumpChild, reinterpret_cast<LPARAM>(g_current));
    } else if (command == "message") {
        g_current = WaitFor([&] { return FindDialog(nullptr, true, 0); }, "a message box");
        Record("message " + Quote(TextOf(g_current)) + " " + Quote(TextOf(GetDlgItem(g_current, 0xFFFF))));
        g_dismissed.insert(g_current);  // a box still open is not the next `message`
    } else if (command == "state") {
        Record(DescribeControl(Control(IdArgument(words))));
    } else if (command == "text") {
        int id = IdArgument(words);
        // A text to wait for matches whatever the letter case: the system may spell a path in lower case.
        std::string last;
        WaitFor(
            [&] {
                last = TextOf(Control(id));
                return words.size() < 3 || lstrcmpiW(Wide(last).c_str(), Wide(words[2]).c_str()) == 0;
            },
            "text in control " + std::to_string(id));
        Record("text " + std::to_string(id) + " " + Quote(last));
    } else if (command == "list") {
        int id = IdArgument(words);
        HWND list = Control(id);
        bool combo = ClassOf(list) == "ComboBox";
        LRESULT count = Send(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        Record("list " + std::to_string(id) + " " + std::to_string(static_cast<long>(count)));
        for (LRESULT i = 0; i < count; ++i)
            Record("  item " + std::to_string(static_cast<long>(i)) + " " + Quote(EntryText(list, combo, i)));
    } else if (command == "set") {
        int id = IdArgument(words);
        HWND field = PressableControl(id);
        WCHAR text[4096];
        if (!MultiByteToWideChar(CP_UTF8, 0, words[2].c_str(), -1, text, 4096)) Fail("set: the text is too long");
        for (WCHAR* at = text; (at = wcsstr(at, L"&#")) != nullptr; ++at) {
            WCHAR* end = nullptr;
            const unsigned long code = wcstoul(at + 2, &end, 10);
            if (code == 0 || *end != L';') continue;
            *at = static_cast<WCHAR>(code);
            wmemmove(at + 1, end + 1, wcslen(end + 1) + 1);
        }
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                 &ignored))
            Fail("set: the field did not answer");
        Record("set " + std::to_string(id) + " " + Quote(words[2]));
    } else if (command == "click" || command == "post-click") {
        int id = IdArgument(words);
        HWND button = PressableControl(id);
        if (command == "click") {
            bool ok = false;
            Send(button, BM_CLICK, 0, 0, &ok);
            if (!ok) Fail("click " + std::to_string(id) + ": not handled in time");
        } else {
            PostMessageW(button, BM_CLICK, 0, 0);
        }
        NoteDismissal(id);
        Record(command + " " + std::to_string(id));
    } else if (command == "esc") {
        if (!g_current || !IsWindow(g_current)) Fail("esc: no current page");
        // The key goes to the focused control, where the dialog's loop turns it into IDCANCEL.
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        HWND target = g_current;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(g_current, nullptr), &info) && info.hwndFocus &&
            (info.hwndFocus == g_current || IsChild(g_current, info.hwndFocus)))
            target = info.hwndFocus;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        g_dismissed.insert(g_current);
        Record("esc");
    } else if (command == "close") {
        HWND window = words.size() > 1 ? FindWindowW(Wide(words[1]).c_str(), nullptr) : g_current;
        if (!window || !IsWindow(window)) Fail("close: no such window");
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU)) Fail("close: the window has no close box");
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        g_dismissed.insert(g_current);
        Record(CommandLineOf(words, 0));
    } else if (command == "shot") {
        Screenshot(words[1]);
    } else if (command == "finish") {
        Finish();
    } else if (command == "dblclick" || command == "choose") {
        int id = IdArgument(words);
        if (command == "dblclick")
            DoubleClickEntry(id, words[2]);
        else
            ChooseEntry(id, words[2]);
        Record(command + " " + std::to_string(id) + " " + Quote(words[2]));
    } else if (command == "regkey") {
        DumpRegistryKey(words[1], words[2]);
    } else if (command == "wait-file") {
        TakeFile(words[1]);
    } else if (command == "hold") {
        HANDLE file = CreateFileW(Wide(words[1]).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  words.size() > 2 ? FILE_SHARE_READ : 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) Fail("hold: cannot open " + words[1]);
        g_held.push_back({words[1], file});
        Record("hold " + Quote(words[1]));
    } else if (command == "release") {
        size_t i = 0;
        while (i < g_held.size() && g_held[i].first != words[1]) ++i;
        if (i == g_held.size()) Fail("release: " + words[1] + " is not held");
        CloseHandle(g_held[i].second);
        g_held.erase(g_held.begin() + static_cast<std::ptrdiff_t>(i));
        Record("release " + Quote(words[1]));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || !(g_transcript = _wfopen(argv[2], L"wb"))) {
        fprintf(stderr, "usage: driver SCRIPT TRANSCRIPT (a file it can write)\n");
        return 2;
    }
    g_folder = FolderOf(Utf8(argv[2]));
    Record("codepage " + std::to_string(GetACP()));
    for (const std::string& line : ReadLines(Utf8(argv[1]))) {
        std::vector<std::string> words = SplitWords(line);
        if (!words.empty()) Run(words);
    }
    if (g_installer.hProcess) Fail("the script ended without waiting for the installer (finish)");
    EndProcesses();
    Record("end");
    fclose(g_transcript);
    return 0;
}
