// The order of the installer's run: instance check, run lock, backdrop, pages, extraction, record.
#include "installer/flow.h"

#include <string.h>

#include "base/messages.h"
#include "base/running_app.h"
#include "resources/resource.h"

namespace {

// Only a page that ended with its proceed button goes on; one that could not even be created
// (-1) never counts as accepted, nor one whose modal loop the quit request ended, whatever result
// the loop then gave.
bool Proceeds(FlowHost& host, int dialogId, InstallState& state) {
    return host.RunPage(dialogId, state) > 0 && !host.QuitPending();
}

bool ApplicationIsRunning(FlowHost& host) {
    char16_t title[kPathSize] = {};
    if (!host.FindWindowTitle(kRunningWindowClass, title, kPathSize)) return false;
    return IsRunningProductTitle(title);
}

// The pages up to the licence; false as soon as one is cancelled.
bool RunPages(FlowHost& host, InstallState& state) {
    char recorded[kPathSize] = {};
    if (host.ReadRecordedFolder(recorded) && recorded[0] != 0 && host.MakeCurrentDirectory(recorded)) {
        // The notice page shows the current directory, which is now the recorded folder.
        if (!Proceeds(host, PEL_DLG_PREVIOUS_INSTALL, state)) return false;
    }
    if (!Proceeds(host, PEL_DLG_DESTINATION, state)) return false;
    if (!Proceeds(host, PEL_DLG_LICENCE, state)) return false;
    return true;
}

}  // namespace

int RunInstaller(FlowHost& host) {
    if (ApplicationIsRunning(host)) {
        host.ShowMessage(kMessageAlreadyRunning, kCaptionError, MessageOwner::None, MessageIcon::Error);
        return 0;
    }
    if (!host.HoldRunLock()) {
        host.ShowMessage(kMessageAnotherRun, kCaptionError, MessageOwner::None, MessageIcon::Error);
        return 1;
    }
    host.ShowBackdrop();
    InstallState state = {};
    const bool accepted = RunPages(host, state);
    // The record is written only after a complete extraction, so a failed run keeps the old one.
    uint64_t installedBytes = 0;
    if (accepted && host.ExtractPayload(state, installedBytes)) {
        host.RunClosingActions(state);
        host.WriteInstallRecord(state);
        host.WriteUninstallEntry(state, installedBytes);
        host.RunPage(PEL_DLG_COMPLETION, state);
        // The earlier files kept aside go once the user sees the run succeed, not before.
        host.FinishExtraction();
    } else {
        // A page ended by the quit request went with the backdrop's window: the message stands on
        // its own then. The extraction's own quit request leaves the backdrop in place.
        const MessageOwner owner = !accepted && host.QuitPending() ? MessageOwner::None : MessageOwner::Backdrop;
        host.ShowMessage(kMessageNotInstalled, kCaptionProduct, owner, MessageIcon::Error);
    }
    return 1;
}
