// DataFile of urdulex/data_file.h over the data folders of DataFolders.h.

#include "foundation/Error.h"
#include "foundation/Quote.h"
#include "text/ApiSupport.h"
#include "text/DataFolders.h"
#include "urdulex/data_file.h"

namespace urdulex {

std::string DataFile(const std::string& relative,
                     const std::string& installed) {
  return internal::ApiCall([&] {
    if (relative.empty() || relative[0] == '/') {
      throw internal::Error("not a path under a data folder: " +
                            internal::QuoteName(relative));
    }
    const std::string named = internal::NamedDataFolder();
    if (!named.empty()) {
      const std::string path = named + "/" + relative;
      if (!internal::IsDataFile(path)) {
        throw internal::Error(
            internal::NotInNamedFolder(named, internal::QuoteName(relative)));
      }
      return path;
    }
    std::vector<std::string> folders;
    if (!installed.empty()) folders.push_back(installed);
    folders.push_back(internal::InstalledDataFolder());
    const std::string beside = internal::ProgramDataFolder();
    if (!beside.empty()) folders.push_back(beside);
    if (internal::ProgramInBuildTree()) {
      for (const std::string& folder : internal::BuildDataFolders()) {
        folders.push_back(folder);
      }
    }
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + relative;
      if (internal::IsDataFile(path)) return path;
    }
    throw internal::Error(
        "no data file " + internal::QuoteName(relative) + ": set " +
        internal::kDataVariable +
        " to a folder holding it (not in the installation's " +
        internal::QuoteName(folders[0]) + ")");
  });
}

}  // namespace urdulex
