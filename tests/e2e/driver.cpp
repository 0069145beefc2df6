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
//   timeout SECONDS            default wait for the commands below (30 s at start)
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
//   regkey HKCU|HKLM KEY       record a registry key (native view; any root but HKLM is HKCU): its
//                              class and every value, by name, with its type, its length and its
//                              bytes in hex as stored (texts in UTF-16)
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
#include <algorithm>
#include <map>
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
DWORD g_timeoutMs = 30000;
HANDLE g_installer = nullptr;  // the process that `finish` waits for
DWORD g_lastPid = 0;           // the process last started or adopted
std::vector<HANDLE> g_helpers;
std::vector<std::pair<std::string, HANDLE>> g_held;  // files kept open by `hold`
HWND g_current = nullptr;                            // the page or message the commands act on
std::vector<HWND> g_dismissed;                       // windows ended by the driver; never matched again

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

std::string Quote(const std::string& text) { return "\"" + text + "\""; }
std::string Number(long long n) { return std::to_string(n); }
bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void Record(const std::string& line) {
    fputs((line + "\n").c_str(), g_transcript);
    fflush(g_transcript);
}

// A message to a window of another process; one that does not answer in time gives 0 and !ok.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    const bool sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result) != 0;
    if (ok) *ok = sent;
    return sent ? static_cast<LRESULT>(result) : 0;
}

std::string ClassOf(HWND window) {
    WCHAR name[256] = L"";
    GetClassNameW(window, name, 256);
    return Utf8(name);
}

// WM_GETTEXT: GetWindowTextW does not read the controls of another process.
std::string TextOf(HWND window) {
    static WCHAR buffer[8192];
    buffer[0] = 0;
    Send(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer));
    buffer[8191] = 0;
    return Utf8(buffer);
}

bool Answers(HWND window) {
    bool ok = false;
    Send(window, WM_NULL, 0, 0, &ok);
    return ok;
}

void EndProcesses() {
    for (HANDLE helper : g_helpers) {
        TerminateProcess(helper, 0);
        WaitForSingleObject(helper, 5000);
        CloseHandle(helper);
    }
    if (g_installer && WaitForSingleObject(g_installer, 0) == WAIT_TIMEOUT) {
        Record("error: the installer is still running; terminated");
        TerminateProcess(g_installer, 255);
        WaitForSingleObject(g_installer, 5000);
    }
    if (g_installer) CloseHandle(g_installer);
    g_installer = nullptr;
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
std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

// Splits a script line into words; "..." keeps blanks inside a word. Backslashes are plain text.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    for (size_t i = line.find_first_not_of(" \t"); i != std::string::npos && line[i] != '#';
         i = line.find_first_not_of(" \t", i)) {
        const bool quoted = line[i] == '"';
        size_t end = quoted ? line.find('"', i + 1) : line.find_first_of(" \t", i);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(i + quoted, end - i - quoted));
        i = quoted && end < line.size() ? end + 1 : end;
    }
    return words;
}

std::string CommandLineOf(const std::vector<std::string>& words, size_t first) {
    std::string line;
    for (size_t i = first; i < words.size(); ++i)
        line += (line.empty() ? "" : " ") + (words[i].find(' ') == std::string::npos ? words[i] : Quote(words[i]));
    return line;
}

// Starts words[1] with the arguments that follow, in its own folder as when the user opens it there.
HANDLE StartProcess(const std::vector<std::string>& words) {
    const std::string folder = FolderOf(words[1]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Wine now and then refuses a process creation with an internal error (1359) that the next
    // attempt does not meet: a few attempts before the scenario counts as failed.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring line = Wide(CommandLineOf(words, 1));  // CreateProcessW may write into it
        if (CreateProcessW(Wide(words[1]).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : Wide(folder).c_str(), &startup, &info)) {
            CloseHandle(info.hThread);
            g_lastPid = info.dwProcessId;
            return info.hProcess;
        }
        if ((error = GetLastError()) != ERROR_INTERNAL_ERROR) break;
        Sleep(200);
    }
    Fail("cannot start " + words[1] + " (error " + Number(error) + ")");
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
    for (DWORD start = GetTickCount();; Sleep(10)) {
        if (auto result = found()) return result;
        if (g_installer && WaitForSingleObject(g_installer, 0) == WAIT_OBJECT_0)
            Fail("the installer ended while waiting for " + what);
        if (GetTickCount() - start > g_timeoutMs) {
            std::string seen;
            EnumWindows(NoteVisible, reinterpret_cast<LPARAM>(&seen));
            Fail("timeout waiting for " + what + " (visible:" + seen + ")");
        }
    }
}

struct DialogQuery {
    const std::string* caption;  // nullptr: a message box, of any caption
    int controlId;               // 0: no required control
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    DialogQuery& query = *reinterpret_cast<DialogQuery*>(param);
    // A message box's text is the static control 65535; the pages have none.
    if (ClassOf(window) != "#32770" || !IsWindowVisible(window) ||
        std::find(g_dismissed.begin(), g_dismissed.end(), window) != g_dismissed.end() ||
        (GetDlgItem(window, 0xFFFF) != nullptr) != !query.caption ||
        (query.controlId && !GetDlgItem(window, query.controlId)) ||
        (query.caption && TextOf(window) != *query.caption) || !Answers(window))
        return TRUE;
    query.found = window;
    return FALSE;
}

HWND FindDialog(const std::string* caption, int controlId) {
    DialogQuery query = {caption, controlId, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::string DescribeControl(HWND control) {
    const std::string cls = ClassOf(control);
    std::string line =
        "control " + Number(GetDlgCtrlID(control)) + " " + cls + (IsWindowEnabled(control) ? " enabled" : " disabled");
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (cls == "Button" && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                            type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON))
        line += Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? " checked" : " unchecked";
    if (cls == "ListBox") return line + " count=" + Number(Send(control, LB_GETCOUNT, 0, 0));
    if (cls == "ComboBox") line += " count=" + Number(Send(control, CB_GETCOUNT, 0, 0));
    return line + " " + Quote(TextOf(control));
}

BOOL CALLBACK DumpChild(HWND control, LPARAM dialog) {
    if (GetParent(control) == reinterpret_cast<HWND>(dialog)) Record("  " + DescribeControl(control));
    return TRUE;
}

// A control of the current page; one to press must be visible and enabled on an enabled page, as
// for a user: Wine would deliver a click to a disabled one.
HWND Control(int id, bool pressable = false) {
    HWND control = g_current && IsWindow(g_current) ? GetDlgItem(g_current, id) : nullptr;
    if (!control) Fail("the current page has no control " + Number(id));
    if (pressable && !(IsWindowVisible(control) && IsWindowEnabled(control) && IsWindowEnabled(g_current)))
        Fail("control " + Number(id) + " is hidden or disabled");
    return control;
}

// Asks the harness for a screenshot through a request file that appears whole under its name
// (written aside, then renamed): the area WIDTHxHEIGHT+LEFT+TOP of the current window and a
// margin around it, within the screen, or "" (the whole screen) without one.
void Screenshot(const std::string& name) {
    std::string area;
    RECT r;
    if (g_current && IsWindow(g_current) && GetWindowRect(g_current, &r)) {
        // Painted now, so that the screenshot shows the window and its children drawn.
        RedrawWindow(g_current, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Answers(g_current);
        const LONG left = r.left > 16 ? r.left - 16 : 0, top = r.top > 16 ? r.top - 16 : 0;
        const LONG right = std::min<LONG>(r.right + 16, GetSystemMetrics(SM_CXSCREEN));
        const LONG bottom = std::min<LONG>(r.bottom + 16, GetSystemMetrics(SM_CYSCREEN));
        area = Number(right - left) + "x" + Number(bottom - top) + "+" + Number(left) + "+" + Number(top);
    }
    const std::string base = g_folder + "shot-" + name;
    DeleteFileW(Wide(base + ".done").c_str());
    FILE* file = _wfopen(Wide(base + ".tmp").c_str(), L"wb");
    if (!file || fputs(area.c_str(), file) < 0 || fclose(file) != 0 ||
        !MoveFileExW(Wide(base + ".tmp").c_str(), Wide(base + ".req").c_str(), MOVEFILE_REPLACE_EXISTING))
        Fail("cannot write " + base + ".req");
    WaitFor([&] { return Exists(base + ".done"); }, "the screenshot " + name);
    DeleteFileW(Wide(base + ".done").c_str());
    Record("shot " + name);
}

// An entry of a list box or a combo box, read in UTF-16.
std::string EntryText(HWND list, bool combo, LRESULT index) {
    static WCHAR wide[8192];
    LRESULT length = Send(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= 8192 ||
        !Send(list, combo ? CB_GETLBTEXT : LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide)))
        length = 0;
    wide[length] = 0;
    return Utf8(wide);
}

// The number of the entry that reads exactly `text`; fails the script when there is none.
LRESULT FindEntry(HWND list, bool combo, const std::string& text, int id) {
    const LRESULT count = Send(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (EntryText(list, combo, i) == text) return i;
    Fail("control " + Number(id) + " has no entry " + Quote(text));
}

// Double-clicks a list box entry the way the mouse does: the entry is scrolled into view, and
// the list gets button down and up, then the double click and the last button up, at the middle
// of the entry. The list box turns the double click into LBN_DBLCLK for its page.
void DoubleClickEntry(int id, const std::string& text) {
    HWND list = Control(id, true);
    if (ClassOf(list) != "ListBox") Fail("dblclick: control " + Number(id) + " is no list box");
    const LRESULT index = FindEntry(list, false, text, id);
    Send(list, LB_SETTOPINDEX, index, 0);
    const LRESULT top = Send(list, LB_GETTOPINDEX, 0, 0), height = Send(list, LB_GETITEMHEIGHT, 0, 0);
    if (height <= 0) Fail("dblclick: the list gives no entry height");
    const LPARAM point = MAKELPARAM(8, (index - top) * height + height / 2);
    const UINT steps[][2] = {
        {WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_LBUTTONDBLCLK, MK_LBUTTON}, {WM_LBUTTONUP, 0}};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        Send(list, steps[i][0], steps[i][1], point, &ok);
        if (!ok) Fail("dblclick: the list did not answer");
        // The first click selects the entry; the double click may refill the list.
        if (i == 1 && Send(list, LB_GETCURSEL, 0, 0) != index) Fail("dblclick: the click did not select " + text);
    }
}

// Picks a combo box entry as a click in its drop-down list does: the entry becomes the
// selection and the page hears CBN_SELCHANGE from the combo box.
void ChooseEntry(int id, const std::string& text) {
    HWND combo = Control(id, true);
    if (ClassOf(combo) != "ComboBox") Fail("choose: control " + Number(id) + " is no combo box");
    Send(combo, CB_SETCURSEL, FindEntry(combo, true, text, id), 0);
    bool ok = false;
    Send(g_current, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo), &ok);
    if (!ok) Fail("choose: the page did not answer");
}

// Records a registry key of the native view: its class, then every value in name order with its
// type, its length and its bytes as the registry returns them.
void DumpRegistryKey(const std::string& rootName, const std::string& path) {
    const std::string head = "regkey " + rootName + " " + Quote(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootName == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Wide(path).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return Record(head + " missing");
    WCHAR keyClass[256] = L"";
    DWORD classLength = 256;
    RegQueryInfoKeyW(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    std::map<std::wstring, std::string> values;
    for (DWORD i = 0;; ++i) {
        static WCHAR name[16384];
        static BYTE data[65536];
        DWORD nameLength = 16384, type = 0, length = sizeof data;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &length) != ERROR_SUCCESS) break;
        std::string& line = values[name];
        line = (type == REG_SZ ? " REG_SZ" : " type" + Number(type)) + " length=" + Number(length) + " hex=";
        char pair[3];
        for (DWORD b = 0; b < length; ++b) line += (snprintf(pair, sizeof pair, "%02X", data[b]), pair);
    }
    RegCloseKey(key);
    Record(head + " class " + Quote(Utf8(keyClass)) + " values " + Number(values.size()));
    for (const auto& value : values) Record("  value " + Quote(Utf8(value.first.c_str())) + value.second);
}

void Finish() {
    if (!g_installer) Fail("finish: nothing was started");
    if (WaitForSingleObject(g_installer, g_timeoutMs) != WAIT_OBJECT_0)
        Fail("timeout waiting for the installer to end");
    DWORD code = 0;
    GetExitCodeProcess(g_installer, &code);
    char line[64];
    snprintf(line, sizeof line, "exit %lu", code);
    if (code >= 0xC0000000u) snprintf(line, sizeof line, "exit 0x%08lX crash", code);
    Record(line);
    // The installer's own lifetime as the system kept it, creation to exit: what the benchmark
    // compares, free of the driver's start and of polling delays.
    FILETIME times[4];
    if (GetProcessTimes(g_installer, &times[0], &times[1], &times[2], &times[3])) {
        ULARGE_INTEGER created = {{times[0].dwLowDateTime, times[0].dwHighDateTime}};
        ULARGE_INTEGER exited = {{times[1].dwLowDateTime, times[1].dwHighDateTime}};
        Record("lifetime " + Number((exited.QuadPart - created.QuadPart) / 10000) + " ms");
    }
    CloseHandle(g_installer);
    g_installer = nullptr;
}

// A running process of that image name other than the last one started or adopted; 0 if none.
DWORD FindProcess(const std::string& name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        const WCHAR* base = wcsrchr(entry.szExeFile, L'\\');
        if (entry.th32ProcessID != g_lastPid && lstrcmpiW(base ? base + 1 : entry.szExeFile, Wide(name).c_str()) == 0)
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

void Run(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    auto word = [&](size_t i) -> const std::string& {
        if (i >= words.size()) Fail(command + ": too few words");
        return words[i];
    };
    auto number = [&] { return atoi(word(1).c_str()); };
    const int id = words.size() > 1 ? atoi(words[1].c_str()) : 0;
    if (command == "timeout") {
        g_timeoutMs = static_cast<DWORD>(atof(word(1).c_str()) * 1000);
    } else if (command == "start" || command == "spawn") {
        if (command == "start" && g_installer) Fail("start: the installer runs already");
        word(1);
        HANDLE process = StartProcess(words);
        Record(command + " " + CommandLineOf(words, 1));
        if (command == "spawn") {
            g_helpers.push_back(process);
        } else {
            g_installer = process;
            Record("pid " + Number(g_lastPid));
        }
    } else if (command == "adopt") {
        if (g_installer) Fail("adopt: only after finish");
        const DWORD pid = WaitFor([&] { return FindProcess(word(1)); }, "another process " + word(1));
        if (!(g_installer = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid)))
            Fail("adopt: cannot open process " + words[1]);
        g_lastPid = pid;
        Record("adopt " + words[1]);
    } else if (command == "wait-window") {
        const std::wstring cls = Wide(word(1)), title = words.size() > 2 ? Wide(words[2]) : L"";
        HWND window = WaitFor([&] { return FindWindowW(cls.c_str(), words.size() > 2 ? title.c_str() : nullptr); },
                              "window " + words[1]);
        Record("window " + words[1] + " " + Quote(TextOf(window)));
    } else if (command == "window") {
        HWND window = FindWindowW(Wide(word(1)).c_str(), nullptr);
        if (!window) return Record("no-window " + words[1]);
        Record("window " + words[1] + " " + Quote(TextOf(window)) + (IsWindowVisible(window) ? " visible" : " hidden") +
               (IsZoomed(window) ? " maximized" : ""));
    } else if (command == "page") {
        const std::string& caption = word(1);
        const int control = words.size() > 2 ? atoi(words[2].c_str()) : 0;
        g_current = WaitFor([&] { return FindDialog(&caption, control); }, "page " + Quote(caption));
        Record("page " + Quote(caption));
        EnumChildWindows(g_current, DumpChild, reinterpret_cast<LPARAM>(g_current));
    } else if (command == "message") {
        g_current = WaitFor([&] { return FindDialog(nullptr, 0); }, "a message box");
        Record("message " + Quote(TextOf(g_current)) + " " + Quote(TextOf(GetDlgItem(g_current, 0xFFFF))));
        g_dismissed.push_back(g_current);  // a box still open is not the next `message`
    } else if (command == "state") {
        Record(DescribeControl(Control(number())));
    } else if (command == "text") {
        // A text to wait for matches whatever the letter case: the system may spell a path in lower case.
        std::string last;
        WaitFor(
            [&] {
                last = TextOf(Control(number()));
                return words.size() < 3 || lstrcmpiW(Wide(last).c_str(), Wide(words[2]).c_str()) == 0;
            },
            "text in control " + words[1]);
        Record("text " + Number(id) + " " + Quote(last));
    } else if (command == "list") {
        HWND list = Control(number());
        const bool combo = ClassOf(list) == "ComboBox";
        const LRESULT count = Send(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        Record("list " + Number(id) + " " + Number(count));
        for (LRESULT i = 0; i < count; ++i) Record("  item " + Number(i) + " " + Quote(EntryText(list, combo, i)));
    } else if (command == "set") {
        HWND field = Control(number(), true);
        std::wstring text = Wide(word(2));
        // "&#N;" stands for the character N.
        for (size_t at = 0; (at = text.find(L"&#", at)) != std::wstring::npos; ++at) {
            wchar_t* end = nullptr;
            const unsigned long code = wcstoul(text.c_str() + at + 2, &end, 10);
            if (code != 0 && *end == L';')
                text.replace(at, end + 1 - (text.c_str() + at), 1, static_cast<wchar_t>(code));
        }
        bool ok = false;
        Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &ok);
        if (!ok) Fail("set: the field did not answer");
        Record("set " + Number(id) + " " + Quote(words[2]));
    } else if (command == "click" || command == "post-click") {
        HWND button = Control(number(), true);
        bool ok = true;
        if (command == "click")
            Send(button, BM_CLICK, 0, 0, &ok);
        else
            PostMessageW(button, BM_CLICK, 0, 0);
        if (!ok) Fail("click " + words[1] + ": not handled in time");
        // The buttons that end a dialog: OK, Cancel, Abort, Retry, Ignore, Yes, No.
        if (id >= IDOK && id <= IDNO) g_dismissed.push_back(g_current);
        Record(command + " " + Number(id));
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
        g_dismissed.push_back(g_current);
        Record("esc");
    } else if (command == "close") {
        HWND window = words.size() > 1 ? FindWindowW(Wide(words[1]).c_str(), nullptr) : g_current;
        if (!window || !IsWindow(window)) Fail("close: no such window");
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU)) Fail("close: the window has no close box");
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        g_dismissed.push_back(g_current);
        Record(CommandLineOf(words, 0));
    } else if (command == "shot") {
        Screenshot(word(1));
    } else if (command == "finish") {
        Finish();
    } else if (command == "dblclick" || command == "choose") {
        (command == "dblclick" ? DoubleClickEntry : ChooseEntry)(number(), word(2));
        Record(command + " " + Number(id) + " " + Quote(words[2]));
    } else if (command == "regkey") {
        DumpRegistryKey(word(1), word(2));
    } else if (command == "wait-file") {
        // Records the file's lines and deletes it, so that the next wait sees a new one.
        WaitFor([&] { return Exists(word(1)); }, "the file " + words[1]);
        Record("file " + Quote(words[1]));
        for (const std::string& line : ReadLines(words[1])) Record("  | " + line);
        DeleteFileW(Wide(words[1]).c_str());
    } else if (command == "hold") {
        HANDLE file = CreateFileW(Wide(word(1)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  words.size() > 2 ? FILE_SHARE_READ : 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) Fail("hold: cannot open " + words[1]);
        g_held.push_back({words[1], file});
        Record("hold " + Quote(words[1]));
    } else if (command == "release") {
        auto held = g_held.begin();
        while (held != g_held.end() && held->first != word(1)) ++held;
        if (held == g_held.end()) Fail("release: " + words[1] + " is not held");
        CloseHandle(held->second);
        g_held.erase(held);
        Record("release " + Quote(words[1]));
    } else {
        Fail("unknown command " + command);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || !(g_transcript = _wfopen(argv[2], L"wb"))) {
        fprintf(stderr, "usage: driver SCRIPT TRANSCRIPT (a file it can write)\n");
        return 2;
    }
    g_folder = FolderOf(Utf8(argv[2]));
    Record("codepage " + Number(GetACP()));
    for (const std::string& line : ReadLines(Utf8(argv[1]))) {
        std::vector<std::string> words = SplitWords(line);
        if (!words.empty()) Run(words);
    }
    if (g_installer) Fail("the script ended without waiting for the installer (finish)");
    EndProcesses();
    Record("end");
    fclose(g_transcript);
    return 0;
}
