// The failures of the code beyond the specified engine (which throws
// TARNIException): one exception type, Error, whose message says in one
// line what failed, and Status, the outcome of a call that reports its
// failure instead of throwing it.
//
// Error's kind() tells apart the few failures a caller handles in its own
// way (a table that changed while it was read, an output that could not
// be written, ...); the rest are kFailed. Callers word their own message
// from the kind where they must, and print message() otherwise.

#ifndef URDULEX_FOUNDATION_ERROR_H_
#define URDULEX_FOUNDATION_ERROR_H_

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace urdulex::internal {

class Error : public std::runtime_error {
 public:
  enum Kind {
    kFailed,        // anything else
    kWordList,      // a table file that holds a word list
    kChanged,       // a file that changed while it was read
    kWriteFailed,   // bytes that did not reach the output
    kInputChanged,  // an input that ended before its size said
  };

  // An input that could not be decoded may name the encodings it looks
  // like it is in (text/Encoding.h), those that would read it.
  explicit Error(std::string message, std::vector<std::string> encodings = {})
      : Error(kFailed, std::move(message), std::move(encodings)) {}
  Error(Kind kind, std::string message, std::vector<std::string> encodings = {})
      : std::runtime_error(message),
        kind_(kind),
        message_(std::move(message)),
        encodings_(std::move(encodings)) {}

  Kind kind() const { return kind_; }
  const std::string& message() const { return message_; }
  const std::vector<std::string>& encodings() const { return encodings_; }

 private:
  Kind kind_;
  std::string message_;
  std::vector<std::string> encodings_;
};

// Success, or a failure with its one-line reason.
class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status Failure(std::string message) {
    Status status;
    status.failed_ = true;
    status.message_ = std::move(message);
    return status;
  }

  bool ok() const { return !failed_; }
  // Empty on success.
  const std::string& message() const { return message_; }

 private:
  bool failed_ = false;
  std::string message_;
};

}  // namespace urdulex::internal

#endif  // URDULEX_FOUNDATION_ERROR_H_
