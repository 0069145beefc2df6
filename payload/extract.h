// Unpacking the payload archive into the installation folder, then the closing actions.
#pragma once
#include "base/install_state.h"
#include "payload/file_ops.h"

// The extraction over any host: loads the payload, checks the whole archive before anything is
// created, creates the installation folder, its directories and files (an openable "Tolva.dat"
// stays as it is), then runs the host's closing actions. True after a complete extraction; false
// after a coded message (and, for resource, memory, broken-archive and folder failures, the quit
// request with exit code 1).
bool ExtractPayload(ExtractHost& host, const InstallState& state);

// The installer's extraction (Win32 binding): reads g_installState, payload RCDATA 101.
bool ExtractPayload();

// True when name is "Tolva.dat", ASCII letters compared without case, every other byte equal.
bool IsDataFileName(const char* name);
