// Where the program's own files live: VNK_HOME when set, else the folder of the executable.
// cfg/ (vnk.cfg, the settings store) and data/ (recordings) lie below it.
#pragma once

#include <string>

namespace platform {

// The program folder, without a trailing separator.
std::string GetProjectDir();
// A file that ships beside the executable ("switch.wav"), whatever VNK_HOME says.
std::string ProgramFile(const std::string& name);
// Joins a folder and a name with one '/'.
std::string MakePathname(const std::string& dir, const std::string& name);

}  // namespace platform
