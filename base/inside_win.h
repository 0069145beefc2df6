// Changes inside one folder that nothing can turn elsewhere between the look and the act: each
// goes through a handle opened without following a link in the path's last part, and acts only
// when that handle's final path (the system's own, every link and junction on the way resolved)
// is the path expected under the folder's own final path, and the handle holds no link itself.
#pragma once
#include <windows.h>

#include "base/text.h"

// A folder's own final path ("\\?\C:\..."); empty when it cannot be opened.
void FindFinalPath(const WCHAR* folder, WCHAR (&out)[kPathSize]);

// True when the open handle's final path is root\relative (root alone when relative is empty;
// "/" read as "\").
bool IsInsideAt(HANDLE handle, const WCHAR* root, const WCHAR* relative);

// Each of these opens path (absolute, or relative to the current folder) never following a link
// in its last part, and acts only when what it reaches is root\relative, a folder or a file as
// wanted, and no link.
enum class InsideResult { Done, Missing, Failed };
// Deletes the file (or, with folder, the empty folder) by disposition on its handle; a read-only
// file is made writable first and stays read-only when it cannot go.
InsideResult DeleteInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, bool folder);
// Gives the file the name toName beside it; never replaces what is there.
bool RenameInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, const WCHAR* toName);
// Sets a file's attributes and, when times is not null, its three times (FILETIMEs: creation,
// last access, last write); false when it cannot.
bool SetBasicInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, DWORD attributes,
                    const FILETIME* times = NULL);
