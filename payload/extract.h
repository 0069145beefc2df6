// Unpacking the payload archive into the installation folder.
#pragma once
#include "base/install_state.h"
#include "payload/extract_host.h"

// The extraction over any host: loads the payload, checks the whole archive before anything is
// created, creates the installation folder (an absolute path with room for every path of the
// archive), its directories and files (a "Tolva.dat" that is there stays as it is). A new file is
// created under its own name; an earlier one is replaced through a working file and kept aside
// until the run ends. A file that cannot be written asks: Abort, Retry or Ignore. True after a
// complete extraction (files the user chose to skip aside); false after a coded message (and, for
// resource, memory, broken-archive and folder failures, the quit request with exit code 1) or
// when the user aborted; a false run that changed anything puts the folder back as it was, but
// for a file the user gave up putting back, which it leaves as a killed run would. After true,
// installedBytes (when given) holds the size of the archive's files together.
bool ExtractPayload(ExtractHost& host, const InstallState& state, uint64_t* installedBytes = nullptr);

// The same in two steps, so that the earlier files kept aside go after the run's last page: an
// extraction whose files are in place, marked as one that succeeded (a run killed before it
// finishes is settled as such), or null when ExtractPayload would give false.
struct ExtractionRun;
ExtractionRun* ExtractKeepingBackups(ExtractHost& host, const InstallState& state, uint64_t& installedBytes);
// The earlier files kept aside go; the run's memory is released.
void FinishExtraction(ExtractionRun* run);

// What removes the earlier version's own files by the list in its uninstaller (a path relative to
// folder), once the files are in place (ExtractHost::RemoveEarlierVersion).
typedef void (*EarlierRemoval)(const char* folder, const char* earlierUninstaller);
// The installer's extraction (Win32 binding): into state's folder, payload RCDATA 101, in two
// steps; FinishExtraction() ends the one under way.
bool ExtractPayload(const InstallState& state, uint64_t& installedBytes, EarlierRemoval removeEarlier);
void FinishExtraction();

// True when name is "Tolva.dat", ASCII letters compared without case, every other byte equal.
bool IsDataFileName(const char* name);

// True for a folder text that names one place whatever the current directory: a drive path
// ("X:\..."), a UNC path ("\\server\share...") or a path from the root ("\Pelbrix"). "C:",
// "C:Pelbrix", "Pelbrix" and "" depend on the current directory and give false.
bool IsAbsoluteFolder(const char* folder);
