// The one exception type of the urdulex API. Its message says in one line
// what failed, naming the file (and the line and byte offset, for text): a
// file that cannot be read, a table or rules file that cannot be used, text
// that is not UTF-8. Misuse of the API (an argument out of its range) is an
// Error too. Its kind tells these apart for a caller that handles them in
// its own way.

#ifndef URDULEX_ERROR_H_
#define URDULEX_ERROR_H_

#include <stdexcept>
#include <string>

namespace urdulex {

class Error : public std::runtime_error {
 public:
  enum class Kind {
    kFailed,    // anything else: text that is not UTF-8, memory, ...
    kFile,      // a file that cannot be opened, read or written, or that
                // is not of its kind (no table, no rules file)
    kNoFile,    // a file (or a folder of its path) that does not exist
    kArgument,  // an argument out of its range
  };

  explicit Error(const std::string& message, Kind kind = Kind::kFailed)
      : std::runtime_error(message), kind_(kind) {}

  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace urdulex

#endif  // URDULEX_ERROR_H_
