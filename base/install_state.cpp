// The process-wide installation choices.
#include "base/install_state.h"

InstallState g_installState = {};
