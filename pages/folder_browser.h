// Folder browser (dialog 3): a drive list and a folder list to walk the folder tree; "OK" hands the
// listed folder plus "Pelbrix" (or whatever the user typed into the path field) to InstallState.
// The model keeps the drive root and the path below it, and after every step rebuilds the lists,
// the path field and the drive caption through FolderBrowserView.
#pragma once
#include <stddef.h>

#include "base/install_state.h"
#include "resources/resource.h"

constexpr int kBrowserPathFieldId = PEL_ID_BROWSER_PATH;
constexpr int kBrowserFolderListId = PEL_ID_BROWSER_FOLDERS;
constexpr int kBrowserDriveListId = PEL_ID_BROWSER_DRIVES;

// Notification codes the browser reacts to (BN_CLICKED, CBN_SELCHANGE, LBN_DBLCLK).
constexpr int kBrowserClicked = 0;
constexpr int kBrowserDriveChosen = 1;
constexpr int kBrowserFolderDoubleClicked = 2;

constexpr size_t kBrowserTextSize = kPathSize;  // paths and list entries: at most 1023 characters
constexpr size_t kBrowserLetterSize = 16;       // the drive letter run and the drive caption

// The browser's navigation state, one per process in the installer.
struct FolderBrowserState {
    char driveRoot[kBrowserTextSize];     // the drive letter text and ":\", e.g. d:\ (DriveRoot)
    char subPath[kBrowserTextSize];       // the path below the root, "Programs\Tools" or "\Games" (SubPath)
    char listedFolder[kBrowserTextSize];  // full path of the last folder listed since the page opened
    bool listed;                          // whether any listing has worked since the page opened
};

// The page as the model sees it. Win32 binds it to DlgDirListComboBoxA / DlgDirListA and the
// controls; the unit tests bind it to a fake folder tree.
// Entry forms: drives as [-d-] (letter in lower case); folders as [name]; the parent as [..],
// listed everywhere except at the root of a drive.
struct FolderBrowserView {
    // Refills the drive list with the system's drives and makes the path in work the current
    // drive and directory; may shorten work to its file-name part for ListFolders. False when
    // the path cannot be made current: then nothing has changed.
    virtual bool ListDrives(char (&work)[kBrowserTextSize]) = 0;
    // Refills the folder list with the subfolders of the directory ListDrives made current (given
    // work as ListDrives left it) and writes that directory's full path into the path field.
    // False when it cannot: then nothing has changed.
    virtual bool ListFolders(char (&work)[kBrowserTextSize]) = 0;
    // Refills the drive list with the system's drives without changing the current directory.
    virtual void RefillDrives() = 0;
    virtual void GetPathField(char (&text)[kBrowserTextSize]) = 0;
    virtual void SetPathField(const char* text) = 0;
    // Writes the editable field of the drive list.
    virtual void SetDriveCaption(const char* caption) = 0;
    // The selected drive entry and its number; false when none is selected or it does not fit.
    virtual bool GetSelectedDrive(int* index, char (&entry)[kBrowserTextSize]) = 0;
    // Selects a drive entry by number, which shows it in the drive list's field; -1 selects none.
    virtual void SelectDrive(int index) = 0;
    // The selected folder entry; false when none is selected or it does not fit.
    virtual bool GetSelectedFolder(char (&entry)[kBrowserTextSize]) = 0;
    virtual void FocusFolderList() = 0;
    // Ends the page.
    virtual void Close() = 0;

protected:
    ~FolderBrowserView() = default;
};

// The first run of ASCII letters in text (bytes 0x80 and up and digits are not letters), at most
// 15 of them: D from D:\Programs, e from [-e-], empty when there is none. False when cut.
bool FirstLetterRun(const char* text, char (&run)[kBrowserLetterSize]);

// The drive caption for a root: "[-", its letter run (at most 11 letters, so the brackets fit)
// and "-]". D:\ gives [-D-]; an empty or letterless root gives [--].
void DriveCaption(const char* root, char (&caption)[kBrowserLetterSize]);

// Lists root followed by sub (either may be null or empty). A non-empty root replaces the drive
// root and, without a non-empty sub, empties the sub-path; a non-empty sub replaces the sub-path.
// On success the path field reads the listed folder, one backslash and "Pelbrix"; a non-empty
// root also rewrites the drive caption. When the joined path does not fit or cannot be listed,
// the browser stays on the folder it last listed (state, lists and field as they were, the field
// rewritten from it) and returns false; before anything has listed it keeps the new root and
// sub-path, with the field reading \Pelbrix.
bool Relist(FolderBrowserState& state, FolderBrowserView& view, const char* root, const char* sub);

// On opening: starts at the Program Files folder (programFiles, empty when unreadable), puts the
// focus in the folder list. D:\Programs\Tools opens on D:\ and Programs\Tools.
void FolderBrowserOpen(FolderBrowserState& state, FolderBrowserView& view, const char* programFiles);

// The drive list's selection changed: lists the root of the chosen drive.
void ChangeDrive(FolderBrowserState& state, FolderBrowserView& view);

// A double click in the folder list: [..] goes up one level, [name] goes into name.
void OpenEntry(FolderBrowserState& state, FolderBrowserView& view);

// "OK": the path field's text, unchecked, becomes the installation folder; the page ends.
void FolderBrowserAccept(FolderBrowserView& view, InstallState& install);

// "Отмена", Esc or the close box: an empty installation folder; the page ends.
void FolderBrowserCancel(FolderBrowserView& view, InstallState& install);

// Routes a command from control controlId with its notification code; others are ignored.
void FolderBrowserCommand(FolderBrowserState& state, FolderBrowserView& view, InstallState& install, int controlId,
                          int notification);
