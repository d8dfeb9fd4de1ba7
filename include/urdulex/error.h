// The one exception type of the urdulex API. Its message says in one line
// what failed, naming the file (and the line and byte offset, for text): a
// file that cannot be read, a table or rules file that cannot be used, text
// that is not UTF-8. Misuse of the API (an argument out of its range) is an
// Error too.

#ifndef URDULEX_ERROR_H_
#define URDULEX_ERROR_H_

#include <stdexcept>
#include <string>

namespace urdulex {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace urdulex

#endif  // URDULEX_ERROR_H_
