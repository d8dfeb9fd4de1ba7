// UZT, the 8-bit Urdu code page, to and from UTF-8 text, through a mapping
// file (doc/uzt-mapping.md).
//
// A codec is a handle: copies share one mapping, which is never changed
// after Open, so one object may be used from many threads at once. Open
// and a conversion under ErrorPolicy::kFail throw Error naming the file, or
// the line, column and byte offset of the text that cannot be converted.

#ifndef URDULEX_UZT_CODEC_H_
#define URDULEX_UZT_CODEC_H_

#include <memory>
#include <string>
#include <string_view>

namespace urdulex {

// What becomes of a character the mapping cannot encode, or a byte it
// cannot decode.
enum class ErrorPolicy {
  kFail,        // Error naming its byte offset
  kSkip,        // left out
  kSubstitute,  // '?' instead
};

class UztCodec {
 public:
  static UztCodec Open(const std::string& mapping_path);

  // UTF-8 text to UZT bytes.
  std::string Encode(std::string_view text,
                     ErrorPolicy policy = ErrorPolicy::kFail) const;
  // UZT bytes to UTF-8 text.
  std::string Decode(std::string_view uzt,
                     ErrorPolicy policy = ErrorPolicy::kFail) const;

  struct Mapping;

 private:
  explicit UztCodec(std::shared_ptr<const Mapping> mapping)
      : mapping_(std::move(mapping)) {}
  std::shared_ptr<const Mapping> mapping_;
};

}  // namespace urdulex

#endif  // URDULEX_UZT_CODEC_H_
