// Where the program's own files live. The program folder (the home) is VNK_HOME when set;
// else, for a station installed by its package, the machine-wide folder the installation
// named (see DefaultHomeFor), and for a station run from a build tree the folder of the
// executable. cfg/ (vnk.cfg, the settings store), data/ (recordings) and journal/ lie below
// it. The files that ship with the program (the switch sound) are found beside the
// executable, or in ../share/vnk-pc where an installation puts them.
#pragma once

#include <string>

namespace platform {

// The folder of the share files relative to the executable's folder, and the file in it by
// which an installation names the machine-wide home. `cmake --install` writes that file
// (VNK_INSTALL_HOME); a build tree never has one, so the choice is made when the program is
// installed, never guessed from where it runs.
constexpr const char* kShareFolder = "share/vnk-pc";
constexpr const char* kInstalledHomeFile = "installed-home";

// The program folder, without a trailing separator.
std::string GetProjectDir();
// A file that ships with the program ("switch.wav"), whatever VNK_HOME says.
std::string ProgramFile(const std::string& name);
// Joins a folder and a name with one '/'.
std::string MakePathname(const std::string& dir, const std::string& name);

// The folder of the running executable.
std::string ExecutableDir();
// The program folder of an executable in exeDir when VNK_HOME is not set: the absolute
// folder on the first line of <exeDir>/../share/vnk-pc/installed-home when that file exists,
// else exeDir. A marker that is empty or not an absolute path is ignored.
std::string DefaultHomeFor(const std::string& exeDir);
// name beside the executable in exeDir when it is there, else in <exeDir>/../share/vnk-pc
// when it is there; the first when neither holds it (so a message names the usual place).
std::string FindProgramFile(const std::string& exeDir, const std::string& name);
// <exeDir>/../share/vnk-pc, written without the "..".
std::string ShareDirFor(const std::string& exeDir);

}  // namespace platform
