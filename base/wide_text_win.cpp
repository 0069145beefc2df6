// Conversions between the system's texts and UTF-16.
#include "base/wide_text_win.h"

#include "base/ansi_text.h"
#include "base/text.h"

namespace {

const UINT kCodePage1251 = 1251;
// A message: its fixed text, a whole path and a few more fixed texts.
const size_t kMessageUnits = 4 * kPathSize;

// Converts length bytes of text (the whole text when length is -1) in codePage, appending to the
// units already in out[0..used). False when it does not fit or cannot be converted.
bool AppendWide(UINT codePage, const char* text, int length, WCHAR* out, size_t cap, size_t& used) {
    if (length == 0) return true;
    const int room = static_cast<int>(cap - used - 1);
    const int n = room > 0 ? MultiByteToWideChar(codePage, 0, text, length, out + used, room) : 0;
    if (n <= 0) return false;
    used += static_cast<size_t>(n) - (length < 0 ? 1 : 0);  // the terminator is not kept
    out[used] = 0;
    return true;
}

bool WideFrom(UINT codePage, const char* text, WCHAR* out, size_t cap) {
    if (cap == 0) return false;
    size_t used = 0;
    out[0] = 0;
    if (AppendWide(codePage, text, -1, out, cap, used)) return true;
    out[0] = 0;
    return false;
}

}  // namespace

bool WideFrom1251(const char* text, WCHAR* out, size_t cap) { return WideFrom(kCodePage1251, text, out, cap); }
bool WideFromAnsi(const char* text, WCHAR* out, size_t cap) { return WideFrom(CP_ACP, text, out, cap); }

bool WideFromUtf8(const char* text, WCHAR* out, size_t cap) { return WideFrom(CP_UTF8, text, out, cap); }

// Each mark opens a part of its code page and closes it again.
bool WideFromMarked(const char* text, WCHAR* out, size_t cap) {
    if (cap == 0) return false;
    size_t used = 0;
    out[0] = 0;
    char open = 0;
    for (const char* part = text;;) {
        const char* end = part;
        while (*end != 0 && *end != kAnsiMark && *end != kUtf8Mark) ++end;
        const UINT codePage = open == kAnsiMark ? CP_ACP : open == kUtf8Mark ? CP_UTF8 : kCodePage1251;
        if (!AppendWide(codePage, part, static_cast<int>(end - part), out, cap, used)) {
            out[0] = 0;
            return false;
        }
        if (*end == 0) return true;
        open = open == *end ? 0 : *end;
        part = end + 1;
    }
}

bool Utf8FromWide(const WCHAR* text, char* out, size_t cap) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, static_cast<int>(cap), NULL, NULL);
    if (n == 0 && cap > 0) out[0] = 0;
    return n != 0;
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    WCHAR wideText[kMessageUnits], wideCaption[64];
    WideFromMarked(text, wideText, kMessageUnits);
    WideFrom1251(caption, wideCaption, 64);
    return MessageBoxW(owner, wideText, wideCaption, style);
}

void ReadAnsiWindowText(HWND window, char* out, size_t cap) {
    WCHAR wide[kPathSize];
    wide[0] = 0;
    GetWindowTextW(window, wide, kPathSize);
    // UTF-8 has every character and takes no best-fit flag nor default character: only a broken
    // text (a lone surrogate) fails there.
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(utf8 ? CP_UTF8 : CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide,
                                      -1, out, static_cast<int>(cap), utf8 ? NULL : "?", NULL);
    if (n == 0 && cap >= 2) CopyTextN(out, cap, "?");
}

void LoadAnsiCodePage() {
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2) SetAnsiLeadBytes(info.LeadByte, MAX_LEADBYTES);
    SetAnsiUtf8(GetACP() == CP_UTF8);
}
