// Folder browser model: navigation over the drive root and the path below it.
#include "pages/folder_browser.h"

#include <string.h>

#include "base/path_text.h"
#include "base/product.h"
#include "base/text.h"
#include "pages/page.h"

namespace {

// The caption's brackets take 4 of the 16 bytes and the terminator one.
const size_t kCaptionLetters = kBrowserLetterSize - 5;

bool IsAsciiLetter(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

// The path field after a listing: the listed folder, one backslash, "Pelbrix". Before anything
// has listed the folder is empty and the field reads \Pelbrix.
void ShowPathField(const FolderBrowserState& state, FolderBrowserView& view) {
    char field[kBrowserTextSize];
    CopyText(field, state.listedFolder);
    EndWithBackslash(field);
    AppendText(field, PEL_FOLDER_NAME);
    view.SetPathField(field);
}

void ShowDriveCaption(const FolderBrowserState& state, FolderBrowserView& view) {
    char caption[kBrowserLetterSize];
    DriveCaption(state.driveRoot, caption);
    view.SetDriveCaption(caption);
}

}  // namespace

bool FirstLetterRun(const char* text, char (&run)[kBrowserLetterSize]) {
    while (*text != 0 && !IsAsciiLetter(*text)) ++text;
    size_t length = 0;
    while (IsAsciiLetter(text[length])) ++length;
    return CopyTextN(run, sizeof run, text, length);
}

void DriveCaption(const char* root, char (&caption)[kBrowserLetterSize]) {
    char letters[kBrowserLetterSize];
    FirstLetterRun(root, letters);
    CopyText(caption, "[-");
    AppendTextN(caption, sizeof caption, letters, kCaptionLetters);
    AppendText(caption, "-]");
}

bool Relist(FolderBrowserState& state, FolderBrowserView& view, const char* root, const char* sub) {
    const bool hasRoot = root != nullptr && root[0] != 0;
    const bool hasSub = sub != nullptr && sub[0] != 0;

    // The new position is built aside (root may be the state's own text) and kept only once it
    // has listed, so a folder that cannot be entered leaves the browser where it was.
    char newRoot[kBrowserTextSize];
    char newSub[kBrowserTextSize];
    bool fits = CopyText(newRoot, hasRoot ? root : state.driveRoot);
    fits = CopyText(newSub, hasSub ? sub : hasRoot ? "" : state.subPath) && fits;

    // Root and sub-path joined as they stand: after a drive change the sub-path begins with a
    // backslash (e:\\Games), which the file system reads as one separator.
    char work[kBrowserTextSize];
    fits = CopyText(work, newRoot) && AppendText(work, newSub) && fits;  // a cut path names another folder

    bool listed = fits && view.ListDrives(work);
    listed = listed && view.ListFolders(work);

    // Before anything has listed there is no folder to go back to: the new position stands.
    if (listed || !state.listed) {
        CopyText(state.driveRoot, newRoot);
        CopyText(state.subPath, newSub);
    }
    if (listed) {
        view.GetPathField(state.listedFolder);
        state.listed = true;
        ShowPathField(state, view);
        if (hasRoot) ShowDriveCaption(state, view);
        return true;
    }
    // The drive list always offers the drives (the first listing of a page may be the one that
    // failed); its field and the path field go back to the folder still listed.
    view.RefillDrives();
    ShowPathField(state, view);
    ShowDriveCaption(state, view);
    return false;
}

void FolderBrowserOpen(FolderBrowserState& state, FolderBrowserView& view, const char* programFiles) {
    state.driveRoot[0] = 0;
    state.subPath[0] = 0;
    state.listedFolder[0] = 0;
    state.listed = false;

    // The text is taken to begin with its drive letter, a colon and a backslash.
    char letters[kBrowserLetterSize];
    FirstLetterRun(programFiles, letters);
    const size_t skip = TextLength(letters) + 2;
    char sub[kBrowserTextSize] = "";
    if (TextLengthN(programFiles, kBrowserTextSize) > skip) CopyText(sub, programFiles + skip);

    char root[kBrowserTextSize];
    CopyText(root, letters);
    AppendText(root, ":\\");

    Relist(state, view, root, sub);
    view.FocusFolderList();
}

void ChangeDrive(FolderBrowserState& state, FolderBrowserView& view) {
    int index = -1;
    char entry[kBrowserTextSize];
    if (!view.GetSelectedDrive(&index, entry)) return;
    char letters[kBrowserLetterSize];
    FirstLetterRun(entry, letters);
    char root[kBrowserTextSize];
    CopyText(root, letters);
    AppendText(root, ":\\");
    // The refilled list has no selection: show the chosen drive in its field again.
    if (Relist(state, view, root, nullptr)) view.SelectDrive(index);
}

void OpenEntry(FolderBrowserState& state, FolderBrowserView& view) {
    char entry[kBrowserTextSize];
    if (!view.GetSelectedFolder(entry)) return;
    const size_t length = TextLength(entry);
    if (length < 2) return;  // not a bracketed entry

    // [Games] names Games, [[x]] names [x], [..] the parent.
    char name[kBrowserTextSize];
    CopyTextN(name, sizeof name, entry + 1, length - 2);

    char sub[kBrowserTextSize];
    CopyText(sub, state.subPath);
    if (strcmp(name, "..") == 0) {
        // By characters: the second byte of a double-byte letter may be "\\".
        const ptrdiff_t lastSeparator = FindLastBackslash(sub);
        sub[lastSeparator >= 0 ? lastSeparator : 0] = 0;
    } else {
        // A sub-path cut here is refused by Relist: it no longer fits beside the root.
        AppendText(sub, "\\");
        AppendText(sub, name);
    }
    Relist(state, view, state.driveRoot, sub);
}

void FolderBrowserAccept(FolderBrowserView& view, InstallState& install) {
    char text[kBrowserTextSize];
    view.GetPathField(text);
    CopyText(install.folder, text);
    view.Close();
}

void FolderBrowserCancel(FolderBrowserView& view, InstallState& install) {
    install.folder[0] = 0;
    view.Close();
}

void FolderBrowserCommand(FolderBrowserState& state, FolderBrowserView& view, InstallState& install, int controlId,
                          int notification) {
    if (controlId == kPageProceedId && notification == kBrowserClicked) {
        FolderBrowserAccept(view, install);
    } else if (controlId == kPageCancelId && notification == kBrowserClicked) {
        FolderBrowserCancel(view, install);
    } else if (controlId == kBrowserDriveListId && notification == kBrowserDriveChosen) {
        ChangeDrive(state, view);
    } else if (controlId == kBrowserFolderListId && notification == kBrowserFolderDoubleClicked) {
        OpenEntry(state, view);
    }
}
