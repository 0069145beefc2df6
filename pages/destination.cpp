// Destination page model.
#include "pages/destination.h"

#include "base/product.h"
#include "base/text.h"

void DestinationOpen(InstallState& state) {
    size_t length = TextLength(state.folder);
    if (length == 0 || state.folder[length - 1] != '\\') AppendText(state.folder, "\\");
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
