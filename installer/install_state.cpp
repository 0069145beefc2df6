// The process-wide installation choices.
#include "installer/install_state.h"

InstallState g_installState = {};
