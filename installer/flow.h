// The order of the installer's run, over the few host services it needs.
#pragma once
#include <stddef.h>

#include "base/install_state.h"
#include "base/text.h"

enum class MessageOwner { None, Backdrop };
enum class MessageIcon { Error };

// What the run needs of the system. The Win32 host lives in main_win.cpp; tests script a fake.
struct FlowHost {
    // Finds a top-level window of windowClass and reads its title (UTF-16, terminated, at most
    // cap-1 units). False when no such window exists.
    virtual bool FindWindowTitle(const char* windowClass, char16_t* title, size_t cap) = 0;
    // Takes the lock that admits one installer or uninstaller at a time and keeps it until the
    // process ends. False when another run holds it.
    virtual bool HoldRunLock() = 0;
    virtual void ShowMessage(const char* text, const char* caption, MessageOwner owner, MessageIcon icon) = 0;
    // Creates the backdrop, shows it maximised and paints it once.
    virtual void ShowBackdrop() = 0;
    // Runs the modal page of the dialog resource and returns its result: 1 to go on, 0 to
    // cancel, -1 when the page could not be created. The destination page fills state.
    virtual int RunPage(int dialogId, InstallState& state) = 0;
    // Whether the thread's quit request is pending: it ends every modal loop at once, so a page
    // that ended with it was closed with the backdrop (or the session), not answered.
    virtual bool QuitPending() = 0;
    // Makes folder (UTF-8) the process's current directory.
    virtual bool MakeCurrentDirectory(const char* folder) = 0;
    // The recorded installation folder as the installer made it full, as UTF-8: a "\Pelbrix" typed
    // on drive D: is D:\Pelbrix whatever drive this run starts on.
    virtual bool ReadRecordedFolder(char (&buffer)[kPathSize]) = 0;
    // After true, installedBytes is the size of the files it wrote (the archive's files together),
    // and the files and folders that only the earlier version in the folder had are gone where
    // they were as its installer wrote them.
    virtual bool ExtractPayload(const InstallState& state, uint64_t& installedBytes) = 0;
    // After the completion page: the earlier files the extraction kept aside go. The run marked
    // itself as one that succeeded first, so one killed meanwhile is settled as such.
    virtual void FinishExtraction() = 0;
    // Start-menu group, links, desktop link, features page: after a complete extraction.
    virtual void RunClosingActions(const InstallState& state) = 0;
    virtual void WriteInstallRecord(const InstallState& state) = 0;
    // The "Installed apps" entry of the installation: right after the record.
    virtual void WriteUninstallEntry(const InstallState& state, uint64_t installedBytes) = 0;

protected:
    ~FlowHost() = default;
};

// The whole run; it owns the installation state and hands it to each step. Returns the process
// exit code: 0 when the application is running, else 1 (another run holding the lock included).
int RunInstaller(FlowHost& host);
