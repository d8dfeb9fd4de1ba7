#include "text/ApiSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <regex>

#include "foundation/TARNIException.h"
#include "foundation/Version.h"
#include "urdulex/error.h"
#include "urdulex/version.h"

namespace urdulex {

const char* Version() { return UrdulexVersion(); }

}  // namespace urdulex

namespace urdulex::internal {

std::string PlainMessage(const std::string& message) {
  static const std::regex kReport(
      R"(Error Code \(0x[0-9A-Fa-f]+\) in \S+ \(\d+\): )");
  return std::regex_replace(message, kReport, "");
}

void RethrowAsApiError() {
  try {
    throw;
  } catch (const urdulex::Error&) {
    throw;
  } catch (const Error& e) {
    throw urdulex::Error(PlainMessage(e.message()));
  } catch (const TARNIException& e) {
    throw urdulex::Error(PlainMessage(e.GetExceptionMsg()));
  } catch (const std::bad_alloc&) {
    throw urdulex::Error("out of memory");
  }
}

urdulex::Error::Kind FileErrorKind(const std::string& path) {
  struct stat st;
  const bool missing =
      ::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
  return missing ? urdulex::Error::Kind::kNoFile : urdulex::Error::Kind::kFile;
}

Units DecodeText(std::string_view text) {
  // The whole text in one call: no copy, no blocks.
  TextDecoder decoder(false);
  Units units;
  bool ok = true;
  DecodeError error;
  decoder.Decode(reinterpret_cast<const unsigned char*>(text.data()),
                 text.size(), true, &units, &ok, &error);
  if (ok) return units;
  // The reader says what is wrong, as it says it for an input file.
  MemorySource source(std::string(text), "text");
  TextReader reader(source, false);
  while (reader.Next(&units)) {
  }
  return units;
}

size_t MarkBytes(std::string_view text) {
  return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

std::u16string DecodeWord(std::string_view text) {
  const Units units = DecodeText(text);
  return std::u16string(units.begin(), units.end());
}

}  // namespace urdulex::internal
