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

// Basic information with every time left as it is (0) but those given.
bool SetBasic(HANDLE handle, DWORD attributes, const FILETIME* times) {
    FILE_BASIC_INFO info = {};
    if (times != NULL) memcpy(&info.CreationTime, times, 3 * sizeof(FILETIME));
    info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != FALSE;
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
    if (root[0] == 0 || !CopyText(expected, root)) return false;
    const size_t rootLength = TextLength(expected);
    if (relative[0] != 0 &&
        !((expected[rootLength - 1] == '\\' || AppendText(expected, L"\\")) && AppendText(expected, relative)))
        return false;
    for (WCHAR* p = expected + rootLength; *p != 0; ++p)
        if (*p == '/') *p = '\\';
    return FinalPath(handle, final) && CompareStringOrdinal(final, -1, expected, -1, TRUE) == CSTR_EQUAL;
}

HANDLE OpenInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, DWORD access, bool folder,
                  bool* missing) {
    const HANDLE handle = CreateFileW(path, access | FILE_READ_ATTRIBUTES, kShareAll, NULL, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (missing != NULL) {
        const DWORD error = GetLastError();
        *missing = handle == INVALID_HANDLE_VALUE && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    if (handle == INVALID_HANDLE_VALUE) return handle;
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD wanted = folder ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == wanted &&
        IsInsideAt(handle, root, relative))
        return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}

InsideResult DeleteInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, bool folder) {
    bool missing = false;
    const HANDLE handle = OpenInside(path, root, relative, DELETE | FILE_WRITE_ATTRIBUTES, folder, &missing);
    if (handle == INVALID_HANDLE_VALUE) return missing ? InsideResult::Missing : InsideResult::Failed;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool done = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    BY_HANDLE_FILE_INFORMATION info;
    // The installer gives read-only files their attribute, which refuses deletion.
    if (!done && GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        SetBasic(handle, info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY, NULL)) {
        done = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
        if (!done) SetBasic(handle, info.dwFileAttributes, NULL);
    }
    CloseHandle(handle);
    return done ? InsideResult::Done : InsideResult::Failed;
}

bool RenameInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, const WCHAR* toName) {
    const HANDLE handle = OpenInside(path, root, relative, DELETE | SYNCHRONIZE, false);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // The new name beside the file as the system has it. While the file is open its folder cannot
    // be renamed or replaced, so the name lands where the check saw it.
    WCHAR target[kPathSize];
    bool done = FinalPath(handle, target);
    if (!done) target[0] = 0;
    size_t cut = 0;
    for (size_t i = 0; target[i] != 0; ++i)
        if (target[i] == '\\') cut = i + 1;
    target[cut] = 0;
    struct {
        FILE_RENAME_INFO info;
        WCHAR more[kPathSize];
    } rename = {};
    done = done && AppendText(target, toName) && CopyTextN(rename.info.FileName, kPathSize, target);
    rename.info.FileNameLength = static_cast<DWORD>(TextLength(target) * sizeof(WCHAR));
    done = done && SetFileInformationByHandle(handle, FileRenameInfo, &rename, sizeof rename);
    CloseHandle(handle);
    return done;
}

bool SetBasicInside(const WCHAR* path, const WCHAR* root, const WCHAR* relative, DWORD attributes,
                    const FILETIME* times) {
    const HANDLE handle = OpenInside(path, root, relative, FILE_WRITE_ATTRIBUTES, false);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool done = SetBasic(handle, attributes, times);
    CloseHandle(handle);
    return done;
}
