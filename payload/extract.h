// Unpacking the payload archive into the installation folder.
#pragma once
#include "base/install_state.h"
#include "payload/file_ops.h"

// The extraction over any host: loads the payload, checks the whole archive before anything is
// created, creates the installation folder (an absolute path), its directories and files (an
// openable "Tolva.dat" stays as it is). Each file is written beside its place and then put in
// place, so a failed write leaves the earlier file as it was; the user then chooses Abort, Retry
// or Ignore. True after a complete extraction (files the user chose to skip aside); false after
// a coded message (and, for resource, memory, broken-archive and folder failures, the quit
// request with exit code 1) or when the user aborted.
bool ExtractPayload(ExtractHost& host, const InstallState& state);

// The installer's extraction (Win32 binding): reads g_installState, payload RCDATA 101.
bool ExtractPayload();

// True when name is "Tolva.dat", ASCII letters compared without case, every other byte equal.
bool IsDataFileName(const char* name);

// True for a folder text that names one place whatever the current directory: a drive path
// ("X:\..."), a UNC path ("\\server\share...") or a path from the root ("\Pelbrix"). "C:",
// "C:Pelbrix", "Pelbrix" and "" depend on the current directory and give false.
bool IsAbsoluteFolder(const char* folder);
