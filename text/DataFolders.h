// The data folders that shipped files are taken from, shared by the
// library (urdulex/data_file.h) and the programs: each file has a path
// under a data folder, the same in every one of them (the layout of the
// source tree's data/).
//
// When the environment variable URDULEX_DATA is set, its folder is the
// only one: a variable naming no folder (missing, a dangling link, a file)
// or a folder without the file is an error naming the variable, never a
// silent turn to the shipped data. Internal; not installed.

#ifndef URDULEX_TEXT_DATAFOLDERS_H_
#define URDULEX_TEXT_DATAFOLDERS_H_

#include <string>
#include <vector>

namespace urdulex::internal {

// The environment variable naming a data folder.
extern const char kDataVariable[];

// The folder URDULEX_DATA names; empty when the variable is unset or empty.
// Throws Error ("URDULEX_DATA names no folder: NAME: REASON") when it names
// no folder.
std::string NamedDataFolder();

// The message for a file that the folder URDULEX_DATA names lacks, `what`
// saying which: "URDULEX_DATA folder NAME holds no WHAT".
std::string NotInNamedFolder(const std::string& folder,
                             const std::string& what);

// Whether `path` exists and is not a folder.
bool IsDataFile(const std::string& path);

// The canonical form of `path`, links resolved; empty when it does not
// exist.
std::string RealPath(const std::string& path);

// The folder of the running program, links resolved; empty when the
// system does not say.
std::string ProgramFolder();

// The data folder of an installation as seen from the running program
// in its BIN folder (BIN/../share/urdulex); empty when the system does not
// say where the program is.
std::string ProgramDataFolder();

// The data folder of the installation the library is built for.
std::string InstalledDataFolder();

// Whether the running program is under the build tree of the library.
bool ProgramInBuildTree();

// The build's data folder (the files it builds) and the source tree's
// data/: only for programs of this build, since an installed copy must not
// depend on a tree that may be gone or changed.
std::vector<std::string> BuildDataFolders();

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_DATAFOLDERS_H_
