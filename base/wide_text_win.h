// The system's texts in UTF-16 for the W calls, whatever the system's ANSI code page: the fixed
// texts and the archive's names are Windows-1251 by definition, a folder the user chose is a text
// in the ANSI code page.
#pragma once
#include <windows.h>
#include <stddef.h>

// Each converts a zero-terminated text into out (cap units, terminated); false when it does not
// fit or cannot be converted (out is then empty).
bool WideFrom1251(const char* text, WCHAR* out, size_t cap);
bool WideFromAnsi(const char* text, WCHAR* out, size_t cap);
bool WideFromUtf8(const char* text, WCHAR* out, size_t cap);
// A marked text: Windows-1251 with ANSI and UTF-8 parts between their marks (base/ansi_text.h).
bool WideFromMarked(const char* text, WCHAR* out, size_t cap);
// A text the system handed over, as UTF-8 (cap bytes, terminated); false when it does not fit.
bool Utf8FromWide(const WCHAR* text, char* out, size_t cap);

// MessageBoxW with a marked text and a Windows-1251 caption; gives the button pressed.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// A window's text as typed, in the ANSI code page without best-fit letters: a character the code
// page lacks (or a text that does not fit) gives "?", which no folder name may hold, rather than
// a look-alike that names another folder ("C:\Café" must not become "C:\Cafe").
void ReadAnsiWindowText(HWND window, char* out, size_t cap);

// Tells the ANSI text walkers which bytes begin a two-byte character in the system's code page.
void LoadAnsiCodePage();
