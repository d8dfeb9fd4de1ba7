// What the implementation of the public API (include/urdulex) shares:
// UTF-8 text in and out through the programs' own reader and writer, and
// the translation of every internal failure into urdulex::Error with the
// message the programs print. Internal; not installed.

#ifndef URDULEX_TEXT_APISUPPORT_H_
#define URDULEX_TEXT_APISUPPORT_H_

#include <string>
#include <string_view>

#include "text/TextIO.h"
#include "urdulex/error.h"

namespace urdulex::internal {

// `message` without the "Error Code (0x10) in FileReader (91): " of every
// library report in it: the programs print the rest.
std::string PlainMessage(const std::string& message);

// Call inside a catch block: throws the exception being handled again as
// urdulex::Error (urdulex::internal::Error, the library's report family,
// running out of memory); an urdulex::Error passes unchanged.
[[noreturn]] void RethrowAsApiError();

// Runs `body` and turns what it throws into urdulex::Error.
template <typename Body>
auto ApiCall(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    RethrowAsApiError();
  }
}

// Kind kNoFile when nothing is at `path` (or a folder of it is missing),
// else kFile.
urdulex::Error::Kind FileErrorKind(const std::string& path);

// ApiCall for a call that opens (or writes) the file `path`: what it
// throws is an error of that file (FileErrorKind), out of memory aside.
template <typename Body>
auto ApiOpen(const std::string& path, Body&& body) -> decltype(body()) {
  try {
    return ApiCall(body);
  } catch (const urdulex::Error& e) {
    if (e.kind() != urdulex::Error::Kind::kFailed) throw;
    if (std::string_view(e.what()) == "out of memory") throw;
    throw urdulex::Error(e.what(), FileErrorKind(path));
  }
}

// The text decoded as the programs decode an input named "text" (UTF-8;
// UTF-16 with its mark), so that the same bytes fail with the same message.
Units DecodeText(std::string_view text);

// The bytes of a UTF-8 byte-order mark at the start of `text` (3 or 0): the
// decoding above drops it, and byte offsets into `text` start after it.
size_t MarkBytes(std::string_view text);
std::u16string DecodeWord(std::string_view text);

// UTF-8 out: ToUtf8 of TextIO.h.

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_APISUPPORT_H_
