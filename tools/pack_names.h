// Names that pelpack puts into an archive: UTF-8 on the build host, Windows-1251 in the archive,
// and each one a name that Windows can create as it stands.
#pragma once
#include <string>

// Converts one file or folder name (a single path component, UTF-8) into Windows-1251. False
// with a reason when the name has a character without a Windows-1251 form, is not valid UTF-8,
// or breaks the archive's name rules (CheckNamePart), the same rules the installer reads by.
bool PackName(const std::string& utf8, std::string& name1251, std::string& problem);

// The name with its letters in one case (FoldLetter1251). Two names with equal keys are one file
// on Windows.
std::string FoldCase1251(const std::string& name1251);
