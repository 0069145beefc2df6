// Destination page model.
#include "pages/destination.h"

#include "base/path_text.h"
#include "base/product.h"
#include "base/text.h"

void DestinationOpen(InstallState& state) {
    EndWithBackslash(state.folder);
    AppendText(state.folder, PEL_FOLDER_NAME);
    state.desktop = 1;
}

bool DestinationAfterBrowse(InstallState& state, const char* fieldText) {
    if (state.folder[0] != 0) return true;
    CopyText(state.folder, fieldText);
    return false;
}

void DestinationNext(InstallState& state, const char* fieldText) { CopyText(state.folder, fieldText); }

void DestinationDesktopToggled(InstallState& state, long checkState) { state.desktop = checkState != 0 ? 1 : 0; }
