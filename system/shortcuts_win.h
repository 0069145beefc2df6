// The closing actions over the shell, after a successful extraction into state's folder:
// Start-menu group, links, desktop link, features page.
#pragma once
#include "base/install_state.h"

void RunClosingActions(const InstallState& state);
