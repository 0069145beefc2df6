// The closing actions over the shell, after a successful extraction into state's folder:
// Start-menu group, links, desktop link, features page.
#pragma once
#include <stddef.h>

#include "base/install_state.h"

void RunClosingActions(const InstallState& state);

// The path of a shell special folder (CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY) as UTF-8 (cap
// bytes). False when it cannot be resolved or does not fit.
bool FindSpecialFolder(int folderId, char* out, size_t cap);
// The raw target of the link file at linkPath (a marked path), which must be a plain file, as
// UTF-8. False when it cannot be read or is empty.
bool ReadLinkTarget(const char* linkPath, char* target, size_t cap);
