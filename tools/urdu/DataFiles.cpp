#include "tools/urdu/DataFiles.h"

#include <cstdlib>

#include "foundation/Error.h"
#include "foundation/Quote.h"
#include "text/DataFolders.h"

// Set by the build: the folder the build puts the program in.
#ifndef URDULEX_BUILD_PROGRAM_DIR
#error "URDULEX_BUILD_PROGRAM_DIR is not defined"
#endif

namespace urdulex::internal {

const DataFile kWordFormTableData = {"word-form table", "--table",
                                     "diacritizer/wordformshashtable.lex"};
const DataFile kContextRulesData = {"context rules", "--rules",
                                    "diacritizer/context.txt"};
const DataFile kCodeTableData = {"code table", "--table",
                                 "codemapper/rules.txt"};
const DataFile kNormalizationData = {"normalization configuration", "--config",
                                     "normalization/config.ini"};

std::string DataVariableFolder() {
  const char* variable = std::getenv(kDataVariable);
  return variable != nullptr ? variable : "";
}

std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  const char* variable = std::getenv(kDataVariable);
  if (variable != nullptr && *variable != '\0') folders.push_back(variable);
  const std::string program = ProgramFolder();
  if (program.empty()) return folders;
  folders.push_back(ProgramDataFolder());
  // Only the program the build made looks into the trees: an installed
  // copy must not depend on a source tree that may be gone or changed.
  if (program == RealPath(URDULEX_BUILD_PROGRAM_DIR)) {
    for (const std::string& folder : BuildDataFolders()) {
      folders.push_back(folder);
    }
  }
  return folders;
}

std::string FindDataFile(const DataFile& file, const std::string& given) {
  // Standard input, by a name the loaders open.
  if (given == "-") return "/dev/stdin";
  if (!given.empty()) return given;
  // A folder the variable names is the only one: a variable that leads
  // nowhere, or to a folder without the file, is a mistake to be told of,
  // not a reason to take the shipped data instead.
  const std::string named = NamedDataFolder();
  if (!named.empty()) {
    const std::string path = named + "/" + file.path;
    if (!IsDataFile(path)) {
      throw Error(
          NotInNamedFolder(named, std::string(file.what) + " " + file.path) +
          ": give " + file.option + " FILE, or unset " + kDataVariable);
    }
    return path;
  }
  const std::vector<std::string> folders = DataFolders();
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + file.path;
    if (IsDataFile(path)) return path;
  }
  std::string message = std::string("no ") + file.what + ": give " +
                        file.option + " FILE, or set " + kDataVariable +
                        " to a folder holding " + file.path;
  if (!folders.empty()) {
    message += " (not in the installation's " + QuoteName(folders[0]) + ")";
  }
  throw Error(message);
}

}  // namespace urdulex::internal
