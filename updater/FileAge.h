#pragma once
// The modification time of a file as a date-time of the framework (local time).
#include <string>

#include "forms/sysutils.h"

namespace updater {

// True and `Age` set when `Path` names an existing file (a folder does not count).
bool FileAge(const std::string& Path, forms::TDateTime& Age);

bool FileExists(const std::string& Path);

}  // namespace updater
