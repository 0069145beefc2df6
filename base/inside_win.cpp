// Removals, renames and attribute changes inside a folder through checked handles.
#include "base/inside_win.h"

#include <string.h>

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The handle's final path into out; false when the system cannot tell it or it does not fit.
bool FinalPath(HANDLE handle, WCHAR (&out)[kPathSize]) {
    const DWORD length = GetFinalPathNameByHandleW(handle, out, kPathSize, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length != 0 && length < kPathSize;
}

// root\relative ("/" read as "\") into out; false when it does not fit.
bool Expected(const WCHAR* root, const WCHAR* relative, WCHAR (&out)[kPathSize]) {
    if (root[0] == 0 || !CopyText(out, root)) return false;
    WCHAR* p = out + TextLength(out);
    if (relative[0] != 0 && !((p[-1] == '\\' || AppendText(out, L"\\")) && AppendText(out, relative))) return false;
    for (; *p != 0; ++p)
        if (*p == '/') *p = '\\';
    return true;
}

// Basic information with every time left as it is (0) but those given.
bool SetBasic(HANDLE handle, DWORD attributes, const FILETIME* times) {
    FILE_BASIC_INFO info = {};
    if (times != NULL) memcpy(&info.CreationTime, times, 3 * sizeof(FILETIME));
    info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Opens path with access, never following a link in its last part, when what it reaches is
// root\relative (at) and no link: a folder when folder is true, else a file. INVALID_HANDLE_VALUE
// otherwise; missing tells that nothing was there.
HANDLE OpenInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, DWORD access, bool folder,
                  WCHAR (&at)[kPathSize], DWORD& attributes, bool& missing) {
    const HANDLE handle = CreateFileW(path, access | FILE_READ_ATTRIBUTES, kShareAll, NULL, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    const DWORD error = GetLastError();
    missing = handle == INVALID_HANDLE_VALUE && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    // The basic information alone: the whole of it (GetFileInformationByHandle) asks the volume
    // for its serial number too, which Wine makes dear.
    FILE_BASIC_INFO info;
    WCHAR final[kPathSize];
    attributes = GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) ? info.FileAttributes
                                                                                         : FILE_ATTRIBUTE_REPARSE_POINT;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            (folder ? FILE_ATTRIBUTE_DIRECTORY : 0) &&
        Expected(root, relative, at) && FinalPath(handle, final) &&
        CompareStringOrdinal(final, -1, at, -1, TRUE) == CSTR_EQUAL)
        return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

void FindFinalPath(const WCHAR* folder, WCHAR (&out)[kPathSize]) {
    out[0] = 0;
    const HANDLE handle =
        CreateFileW(folder, FILE_READ_ATTRIBUTES, kShareAll, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE) return;
    if (!FinalPath(handle, out)) out[0] = 0;
    CloseHandle(handle);
}

bool IsInsideAt(HANDLE handle, const WCHAR* root, const WCHAR* relative) {
    WCHAR expected[kPathSize], final[kPathSize];
    return Expected(root, relative, expected) && FinalPath(handle, final) &&
           CompareStringOrdinal(final, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

InsideResult DeleteInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, bool folder) {
    WCHAR at[kPathSize];
    DWORD attributes = 0;
    bool missing = false;
    const HANDLE handle =
        OpenInside(path, root, relative, DELETE | FILE_WRITE_ATTRIBUTES, folder, at, attributes, missing);
    if (handle == INVALID_HANDLE_VALUE) return missing ? InsideResult::Missing : InsideResult::Failed;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool done = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    // The installer gives read-only files their attribute, which refuses deletion.
    if (!done && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        SetBasic(handle, attributes & ~FILE_ATTRIBUTE_READONLY, NULL)) {
        done = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
        if (!done) SetBasic(handle, attributes, NULL);
    }
    CloseHandle(handle);
    return done ? InsideResult::Done : InsideResult::Failed;
}

// The new name beside the file where the check found it. While the file is open its folder cannot
// be renamed or replaced, so the name lands there.
bool RenameInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, const WCHAR* toName) {
    struct {
        FILE_RENAME_INFO info;
        WCHAR more[kPathSize];
    } rename = {};
    WCHAR at[kPathSize];
    DWORD attributes = 0;
    bool missing = false;
    const HANDLE handle = OpenInside(path, root, relative, DELETE | SYNCHRONIZE, false, at, attributes, missing);
    if (handle == INVALID_HANDLE_VALUE) return false;
    size_t cut = 0;
    for (size_t i = 0; at[i] != 0; ++i)
        if (at[i] == '\\') cut = i + 1;
    at[cut] = 0;
    bool done = AppendText(at, toName) && CopyTextN(rename.info.FileName, kPathSize, at);
    rename.info.FileNameLength = static_cast<DWORD>(TextLength(at) * sizeof(WCHAR));
    done = done && SetFileInformationByHandle(handle, FileRenameInfo, &rename, sizeof rename);
    CloseHandle(handle);
    return done;
}

bool SetBasicInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, DWORD attributes,
                    const FILETIME* times) {
    WCHAR at[kPathSize];
    DWORD found = 0;
    bool missing = false;
    const HANDLE handle = OpenInside(path, root, relative, FILE_WRITE_ATTRIBUTES, false, at, found, missing);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool done = SetBasic(handle, attributes, times);
    CloseHandle(handle);
    return done;
}
