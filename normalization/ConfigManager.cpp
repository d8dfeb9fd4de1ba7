#include "normalization/ConfigManager.h"

#include "foundation/FileReader.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/Utility.h"

const char ConfigManager::kDefaultConfigFile[] = "config.ini";

namespace {

const char kModule[] = "ConfigManager";
const char kReadProblem[] = " Config file reading problem occurred.";

}  // namespace

ConfigManager::ConfigManager() {}

ConfigManager::~ConfigManager() { Clear(); }

bool ConfigManager::Initialize() { return Initialize(kDefaultConfigFile); }

bool ConfigManager::Initialize(const std::string& configPath) {
  last_error_.clear();
  FileReader reader;
  try {
    if (!reader.Open(configPath, FileReader::ASCII)) {
      last_error_ =
          "Could not open file: " + urdulex::internal::QuoteName(configPath) +
          ".";
      return false;
    }
  } catch (IOException& e) {
    last_error_ = e.GetExceptionMsg();
    return false;
  }
  try {
    while (!reader.EoF()) {
      std::string key;
      if (!reader.GetLine(key, kMaxKeyLength, '=')) continue;
      Trim(key);
      if (reader.EoF()) continue;
      std::string value;
      if (!reader.GetLine(value, kMaxValueLength, '\n')) continue;
      Trim(value);
      if (key == "NFDfilepath") {
        nfdFilePath = value;
      } else if (key == "NFCfilepath") {
        nfcFilePath = value;
      } else if (key == "NFKDfilepath") {
        nfkdFilePath = value;
      }
    }
  } catch (IOException& e) {
    e.SetFileName(kModule);
    e.SetLineNum(__LINE__);
    e.SetExceptionMsg(e.GetExceptionMsg() + kReadProblem);
    throw;
  }
  reader.Close();
  return true;
}

void ConfigManager::Clear() {
  nfdFilePath.clear();
  nfcFilePath.clear();
  nfkdFilePath.clear();
}

std::string ConfigManager::ResolvePath(const std::string& configPath,
                                       const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  const std::string::size_type slash = configPath.rfind('/');
  if (slash == std::string::npos) return path;
  return configPath.substr(0, slash + 1) + path;
}
