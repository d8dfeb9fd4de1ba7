// Where `urdu` finds the data files that no option names: the word-form
// table, the code table and the normalization configuration.
//
// Each file has a path under a data folder, the same in every one of them
// (the layout of the source tree's data/). The folders are tried in order,
// and the first that holds the file wins:
//
//   1. the folder named by the environment variable URDULEX_DATA;
//   2. the data folder of the installation the program belongs to, found
//      from the program's own path (/proc/self/exe), so that a prefix moved
//      as a whole still finds its data: BIN/../share/urdulex;
//   3. when the program runs from its build tree, the build's data folder
//      (the table built there) and then the source tree's data/.
//
// An option given on the command line is used as it is, and the working
// folder is never searched: a stray file there would silently change
// results. When URDULEX_DATA is set, its folder is the only one: a
// variable naming no folder (missing, a dangling link, a file) or a folder
// without the file is an error naming the variable, never a silent turn to
// the shipped data. FindDataFile throws urdulex::internal::Error, naming the
// option and the variable, when no folder holds the file.

#ifndef URDULEX_TOOLS_URDU_DATAFILES_H_
#define URDULEX_TOOLS_URDU_DATAFILES_H_

#include <string>
#include <vector>

namespace urdulex::internal {

struct DataFile {
  const char* what;    // for messages: "word-form table"
  const char* option;  // the option that names it: "--table"
  const char* path;    // under a data folder
};

extern const DataFile kWordFormTableData;
extern const DataFile kCodeTableData;
extern const DataFile kContextRulesData;
extern const DataFile kNormalizationData;

// The environment variable naming a data folder.
extern const char kDataVariable[];

// The folder the environment variable names; "" when it is not set.
std::string DataVariableFolder();

// The data folders, in the order they are tried (existing or not).
std::vector<std::string> DataFolders();

// `given` when it is not empty (the option's value; /dev/stdin for "-"),
// else the path of `file` in the first data folder that holds it.
std::string FindDataFile(const DataFile& file, const std::string& given);

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_URDU_DATAFILES_H_
