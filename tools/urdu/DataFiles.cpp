#include "tools/urdu/DataFiles.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "foundation/Quote.h"
#include "text/TextIO.h"

// Set by the build: the data folder relative to the installed program's
// folder, the folder the build puts the program in, the build's data folder
// and the source tree's.
#ifndef URDULEX_DATA_FROM_BIN
#error "URDULEX_DATA_FROM_BIN is not defined"
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

const char kDataVariable[] = "URDULEX_DATA";

namespace {

// The canonical form of `path`, or empty when it does not exist.
std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

// The folder of the running program, links resolved; empty when the
// system does not say.
std::string ProgramFolder() {
  const std::string program = RealPath("/proc/self/exe");
  const size_t slash = program.rfind('/');
  return slash == std::string::npos ? "" : program.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

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
  folders.push_back(std::filesystem::path(program + "/" + URDULEX_DATA_FROM_BIN)
                        .lexically_normal()
                        .string());
  // Only the program the build made looks into the trees: an installed
  // copy must not depend on a source tree that may be gone or changed.
  if (program == RealPath(URDULEX_BUILD_PROGRAM_DIR)) {
    folders.push_back(URDULEX_BUILD_DATA_DIR);
    folders.push_back(URDULEX_SOURCE_DATA_DIR);
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
  const char* named = std::getenv(kDataVariable);
  if (named != nullptr && *named != '\0') {
    struct stat st;
    const int error = ::stat(named, &st) != 0 ? errno
                      : S_ISDIR(st.st_mode)   ? 0
                                              : ENOTDIR;
    if (error != 0) {
      throw Error(std::string(kDataVariable) + " names no folder: " +
                  QuoteName(named) + ": " + std::strerror(error));
    }
    const std::string path = std::string(named) + "/" + file.path;
    if (!IsFile(path)) {
      throw Error(std::string(kDataVariable) + " folder " + QuoteName(named) +
                  " holds no " + file.what + " " + file.path + ": give " +
                  file.option + " FILE, or unset " + kDataVariable);
    }
    return path;
  }
  const std::vector<std::string> folders = DataFolders();
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + file.path;
    if (IsFile(path)) return path;
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
