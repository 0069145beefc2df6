// The order of the installer's run: instance check, backdrop, pages, extraction, record.
#include "installer/flow.h"

#include <string.h>

#include "base/messages.h"
#include "base/running_app.h"
#include "resources/resource.h"

namespace {

bool ApplicationIsRunning(FlowHost& host) {
    char title[1024] = {};
    if (!host.FindWindowTitle(kRunningWindowClass, title, sizeof title)) return false;
    return IsRunningProductTitle(title);
}

// The pages up to the licence; false as soon as one is cancelled.
bool RunPages(FlowHost& host) {
    char recorded[1024] = {};
    if (host.ReadInstalledPath(recorded) && recorded[0] != 0 && host.MakeCurrentDirectory(recorded)) {
        // The notice page shows the current directory, which is now the recorded folder.
        if (host.RunPage(PEL_DLG_PREVIOUS_INSTALL) == 0) return false;
    }
    if (host.RunPage(PEL_DLG_DESTINATION) == 0) return false;
    if (host.RunPage(PEL_DLG_LICENCE) == 0) return false;
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
        host.WriteInstallRecord();
        host.RunPage(PEL_DLG_COMPLETION);
    } else {
        host.ShowMessage(kMessageNotInstalled, kCaptionProduct, MessageOwner::Backdrop, MessageIcon::Error);
    }
    return 1;
}
