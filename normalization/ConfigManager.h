// ConfigManager reads the normalization configuration: an 8-bit text file
// of lines "key = value" naming the rules file of each normalization form
// (keys "NFDfilepath", "NFCfilepath", "NFKDfilepath", exact case; other keys
// are ignored, a later line for a key wins, a missing key leaves its path
// as it was). Keys are read up to "=" (at most kMaxKeyLength characters),
// values up to LF (at most kMaxValueLength); both are trimmed of blanks, CR
// and LF. doc/normalization.md describes the format.
//
// Initialize returns false, reporting nothing, when the file cannot be
// opened; GetLastError then holds the reader's message. A reader failure
// while reading is thrown on as the reader's IOException with the module
// name "ConfigManager" and " Config file reading problem occurred." added
// to its message.

#ifndef URDULEX_NORMALIZATION_CONFIGMANAGER_H_
#define URDULEX_NORMALIZATION_CONFIGMANAGER_H_

#include <string>

class ConfigManager {
 public:
  // The configuration file read by Initialize(), in the working directory.
  static const char kDefaultConfigFile[];
  static constexpr int kMaxKeyLength = 64;
  static constexpr int kMaxValueLength = 512;

  ConfigManager();
  ~ConfigManager();

  // Reads "config.ini" from the working directory into the three paths.
  bool Initialize();
  // Reads the configuration file `configPath` instead. The paths are stored
  // as written; ResolvePath makes a relative one relative to the directory
  // of `configPath`.
  bool Initialize(const std::string& configPath);
  void Clear();

  // `path` as seen from the working directory when it was written in the
  // configuration file `configPath`: a relative `path` is put under the
  // directory of `configPath`. An empty or absolute `path`, or a
  // `configPath` without a directory, leaves `path` as it is.
  static std::string ResolvePath(const std::string& configPath,
                                 const std::string& path);

  // The reader's message when the last Initialize could not open the file.
  const std::string& GetLastError() const { return last_error_; }

  std::string nfdFilePath;
  std::string nfcFilePath;
  std::string nfkdFilePath;

 private:
  std::string last_error_;
};

#endif  // URDULEX_NORMALIZATION_CONFIGMANAGER_H_
