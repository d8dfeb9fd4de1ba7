// The shipped data files from a program: the word-form table, the code
// table, the context rules, the normalization configuration, each at its
// path under a data folder ("diacritizer/wordformshashtable.lex",
// "codemapper/rules.txt", "diacritizer/context.txt",
// "normalization/config.ini"), found as `urdu` finds them.

#ifndef URDULEX_DATA_FILE_H_
#define URDULEX_DATA_FILE_H_

#include <string>

namespace urdulex {

// The path of the data file `relative` (a path under a data folder, as
// above), in the first of these folders that holds it:
//
//   1. the folder named by the environment variable URDULEX_DATA, when it
//      is set and not empty, and then only there: a variable that names no
//      folder, or a folder without the file, is an Error naming the
//      variable, never a turn to the shipped data;
//   2. `installed`, when not empty: the data folder of the installation the
//      program was built against. The one-argument DataFile passes the
//      macro URDULEX_DATA_DIR, which the installed CMake package
//      (find_package(urdulex)) defines for the programs that link
//      urdulex::urdulex: PREFIX/share/urdulex of the prefix it was found
//      in, wherever that prefix was installed or moved to;
//   3. the data folder of the installation the library was built for
//      (PREFIX/share/urdulex of the prefix configured when it was built);
//   4. BIN/../share/urdulex, for a program in BIN: a program installed
//      with the data, in a prefix moved as a whole;
//   5. for a program under the build tree of the library (its tests and
//      examples), the build's data folder and then the source tree's data/.
//
// The path starts with the folder as given (URDULEX_DATA may be relative).
// Error when no folder holds the file, or when `relative` is empty or
// absolute.
std::string DataFile(const std::string& relative, const std::string& installed);

#ifdef URDULEX_DATA_DIR
inline std::string DataFile(const std::string& relative) {
  return DataFile(relative, URDULEX_DATA_DIR);
}
#else
inline std::string DataFile(const std::string& relative) {
  return DataFile(relative, std::string());
}
#endif

}  // namespace urdulex

#endif  // URDULEX_DATA_FILE_H_
