// The order of the installer's run: instance check, backdrop, pages, extraction, record.
#include "installer/flow.h"

#include <string.h>

#include "base/messages.h"
#include "base/running_app.h"
#include "resources/resource.h"

namespace {

// Only a page that ended with its proceed button goes on; one that could not even be created
// (-1) never counts as accepted.
bool Proceeds(int pageResult) { return pageResult > 0; }

bool ApplicationIsRunning(FlowHost& host) {
    char title[kPathSize] = {};
    if (!host.FindWindowTitle(kRunningWindowClass, title, sizeof title)) return false;
    return IsRunningProductTitle(title);
}

// The pages up to the licence; false as soon as one is cancelled.
bool RunPages(FlowHost& host) {
    char recorded[kPathSize] = {};
    if (host.ReadInstalledPath(recorded) && recorded[0] != 0 && host.MakeCurrentDirectory(recorded)) {
        // The notice page shows the current directory, which is now the recorded folder.
        if (!Proceeds(host.RunPage(PEL_DLG_PREVIOUS_INSTALL))) return false;
    }
    if (!Proceeds(host.RunPage(PEL_DLG_DESTINATION))) return false;
    if (!Proceeds(host.RunPage(PEL_DLG_LICENCE))) return false;
    return true;
}

}  // namespace

int RunInstaller(FlowHost& host) {
    if (ApplicationIsRunning(host)) {
        host.ShowMessage(kMessageAlreadyRunning, kCaptionError, MessageOwner::None, MessageIcon::Error);
        return 0;
    }
    host.ShowBackdrop();
    // The record is written only after a complete extraction, so a failed run keeps the old one.
    if (RunPages(host) && host.ExtractPayload()) {
        host.RunClosingActions();
        host.WriteInstallRecord();
        host.WriteUninstallEntry();
        host.RunPage(PEL_DLG_COMPLETION);
    } else {
        host.ShowMessage(kMessageNotInstalled, kCaptionProduct, MessageOwner::Backdrop, MessageIcon::Error);
    }
    return 1;
}
