// Destination page (dialog 1): the installation folder and the desktop shortcut choice, kept in
// InstallState. The folder field is authoritative until "Далее >>>" copies it into the state.
#pragma once
#include "base/install_state.h"
#include "resources/resource.h"

constexpr int kDestinationFolderFieldId = PEL_ID_DEST_FOLDER;
constexpr int kDestinationBrowseId = PEL_ID_DEST_BROWSE;  // "...": opens the folder browser
constexpr int kDestinationDesktopBoxId = PEL_ID_DEST_DESKTOP;

// Builds the default folder from the Program Files text already in state.folder (empty when it
// could not be read): one backslash, then "Pelbrix". Ticks the desktop shortcut.
// D:\Programs gives D:\Programs\Pelbrix, D:\ gives D:\Pelbrix, an empty text gives \Pelbrix.
void DestinationOpen(InstallState& state);

// After the folder browser closed, leaving its choice or an empty text in state.folder.
// Returns true when the field is to show state.folder; otherwise state.folder takes the field's
// text (fieldText), so a cancelled browser keeps the field and its unsaved edits.
bool DestinationAfterBrowse(InstallState& state, const char* fieldText);

// "Далее >>>": the field's text becomes the installation folder, unchecked.
void DestinationNext(InstallState& state, const char* fieldText);

// The desktop box was clicked; checkState is what the box reports (0 clear, else ticked).
void DestinationDesktopToggled(InstallState& state, long checkState);
