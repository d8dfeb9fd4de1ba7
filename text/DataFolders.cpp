#include "text/DataFolders.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "foundation/Error.h"
#include "foundation/Quote.h"

// Set by the build: the installation's data folder, the build tree, its
// data folder and the source tree's; the data folder relative to the
// installed programs' folder.
#ifndef URDULEX_INSTALLED_DATA_DIR
#error "URDULEX_INSTALLED_DATA_DIR is not defined"
#endif

namespace urdulex::internal {

const char kDataVariable[] = "URDULEX_DATA";

std::string NamedDataFolder() {
  const char* named = std::getenv(kDataVariable);
  if (named == nullptr || *named == '\0') return "";
  struct stat st;
  const int error = ::stat(named, &st) != 0 ? errno
                    : S_ISDIR(st.st_mode)   ? 0
                                            : ENOTDIR;
  if (error != 0) {
    throw Error(std::string(kDataVariable) + " names no folder: " +
                QuoteName(named) + ": " + std::strerror(error));
  }
  return named;
}

std::string NotInNamedFolder(const std::string& folder,
                             const std::string& what) {
  return std::string(kDataVariable) + " folder " + QuoteName(folder) +
         " holds no " + what;
}

bool IsDataFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

std::string ProgramFolder() {
  const std::string program = RealPath("/proc/self/exe");
  const size_t slash = program.rfind('/');
  return slash == std::string::npos ? "" : program.substr(0, slash);
}

std::string ProgramDataFolder() {
  const std::string program = ProgramFolder();
  if (program.empty()) return "";
  return std::filesystem::path(program + "/" + URDULEX_DATA_FROM_BIN)
      .lexically_normal()
      .string();
}

std::string InstalledDataFolder() { return URDULEX_INSTALLED_DATA_DIR; }

bool ProgramInBuildTree() {
  const std::string build = RealPath(URDULEX_BUILD_DIR);
  const std::string program = ProgramFolder();
  return !build.empty() &&
         (program == build || program.rfind(build + "/", 0) == 0);
}

std::vector<std::string> BuildDataFolders() {
  return {URDULEX_BUILD_DATA_DIR, URDULEX_SOURCE_DATA_DIR};
}

}  // namespace urdulex::internal
