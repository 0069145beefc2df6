// The order of the installer's run: instance check, backdrop, pages, extraction, record.
#include "installer/flow.h"

#include <string.h>

#include "installer/product.h"
#include "installer/text.h"

const char kRunningWindowClass[] = "TFormMain";
const char kMessageAlreadyRunning[] = "Программа '" PEL_DISPLAY_NAME "' уже выполняется на этом компьютере.";
const char kCaptionAlreadyRunning[] = "Ошибка";
const char kMessageNotInstalled[] = "Программа не установлена.";

namespace {

const char kDisplayName[] = PEL_DISPLAY_NAME;
const size_t kDisplayNameLength = sizeof(kDisplayName) - 1;  // 10 bytes in Windows-1251

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

bool IsRunningProductTitle(const char* title) {
    char head[kDisplayNameLength + 1];
    CopyTextN(head, sizeof head, title, kDisplayNameLength);
    return strcmp(head, kDisplayName) == 0;
}

int RunInstaller(FlowHost& host) {
    if (ApplicationIsRunning(host)) {
        host.ShowMessage(kMessageAlreadyRunning, kCaptionAlreadyRunning, MessageOwner::None, MessageIcon::Error);
        return 0;
    }
    host.ShowBackdrop();
    // The record is written only after a complete extraction, so a failed run keeps the old one.
    if (RunPages(host) && host.ExtractPayload()) {
        host.WriteInstallRecord();
        host.RunPage(PEL_DLG_COMPLETION);
    } else {
        host.ShowMessage(kMessageNotInstalled, PEL_DISPLAY_NAME, MessageOwner::Backdrop, MessageIcon::Error);
    }
    return 1;
}
