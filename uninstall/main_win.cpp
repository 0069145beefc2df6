// The uninstaller's entry point. Started from the installation folder it takes the run mutex,
// checks, asks, then hands over to a copy of itself (hand_over_win.cpp) and ends; started as
// that copy (arguments_win.h) it removes the installation.
#include <windows.h>

#include "base/ansi_text.h"
#include "base/messages.h"
#include "base/product.h"
#include "base/run_lock_win.h"
#include "base/text.h"
#include "base/wide_text_win.h"
#include "uninstall/arguments_win.h"
#include "uninstall/hand_over_win.h"
#include "uninstall/host_win.h"
#include "uninstall/removal.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadAnsiCodePage();
    HANDLE original = NULL, ready = NULL;
    const WCHAR* folder = NULL;
    if (ParseCopyArguments(GetCommandLineW(), original, ready, folder)) return RunCopy(original, ready, folder);

    UninstallHost& host = Win32UninstallHost();
    if (HoldRunMutex(0) == NULL) {
        host.Ask(kMessageAnotherRun, kCaptionError, Prompt::Error);
        return 1;
    }
    if (!ConfirmUninstall(host)) return 1;
    WCHAR ownPath[kPathSize], ownFolder[kPathSize];
    const bool known = OwnPath(ownPath, ownFolder);
    if (known && HandOverToCopy(ownPath, ownFolder)) return 0;  // the run mutex passes to the copy as this ends
    // Nothing was removed: this program cannot remove its own file, nor run the removal from
    // a copy; its path may be too long for the calls that would make one.
    char message[64 + 3 * kPathSize], path[3 * kPathSize];
    CopyText(message, kMessageRemoveFilePrefix);
    if (known && Utf8FromWide(ownPath, path, sizeof path))
        AppendUtf8Part(message, sizeof message, path);
    else
        AppendText(message, PEL_UNINSTALL_FILE);
    host.Ask(message, kCaptionProduct, Prompt::Error);
    return 1;
}
