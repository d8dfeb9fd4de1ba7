// UztCodec of urdulex/uzt_codec.h over the streaming conversion
// (text/UZTStream.h), reading from and writing to memory.

#include <algorithm>
#include <cstring>

#include "text/ApiSupport.h"
#include "text/UZTStream.h"
#include "urdulex/uzt_codec.h"

namespace urdulex {

struct UztCodec::Mapping {
  UZTMapping mapping;
  LexEnigneUtility utility;  // borrows the tables of `mapping`
};

UztCodec UztCodec::Open(const std::string& mapping_path) {
  return urdulex::internal::ApiOpen(mapping_path, [&] {
    auto mapping = std::make_shared<Mapping>();
    urdulex::internal::LoadMappingFile(mapping_path, &mapping->mapping);
    mapping->mapping.Install(mapping->utility);
    return UztCodec(std::move(mapping));
  });
}

namespace {

using internal::DecodeUZTStream;
using internal::EncodeUZTStream;
using internal::OnError;
using internal::ReadBytes;
using internal::StreamError;
using internal::SubstituteForByte;
using internal::WriteBytes;

// Runs `convert` (EncodeUZTStream or DecodeUZTStream) on `input`.
template <typename Body>
std::string Convert(std::string_view input, const char* name, Body&& convert) {
  size_t at = 0;
  const ReadBytes read = [&](char* buffer, size_t n) {
    const size_t got = std::min(n, input.size() - at);
    std::memcpy(buffer, input.data() + at, got);
    at += got;
    return got;
  };
  std::string out;
  const WriteBytes write = [&](const std::string& bytes) { out += bytes; };
  try {
    convert(read, write);
  } catch (const StreamError& e) {
    throw urdulex::internal::Error(
        urdulex::internal::StreamErrorMessage(name, e));
  }
  return out;
}

// The policy as a stream's OnError, substituting '?': as itself in decoded
// text, as the character the byte '?' stands for in UZT.
OnError StreamPolicy(ErrorPolicy policy, const UZTMapping* mapping) {
  OnError on_error;
  if (policy == ErrorPolicy::kSkip) on_error.mode = OnError::kSkip;
  if (policy == ErrorPolicy::kSubstitute) {
    on_error.mode = OnError::kSubstitute;
    if (mapping != nullptr &&
        !SubstituteForByte(*mapping, '?', &on_error.substitute)) {
      throw urdulex::internal::Error(
          "the substitute byte 0x3F stands for no character of the mapping");
    }
  }
  return on_error;
}

}  // namespace

std::string UztCodec::Encode(std::string_view text, ErrorPolicy policy) const {
  return urdulex::internal::ApiCall([&] {
    const OnError on_error = StreamPolicy(policy, &mapping_->mapping);
    return Convert(text, "text",
                   [&](const ReadBytes& read, const WriteBytes& write) {
                     EncodeUZTStream(mapping_->mapping, mapping_->utility, read,
                                     write, on_error);
                   });
  });
}

std::string UztCodec::Decode(std::string_view uzt, ErrorPolicy policy) const {
  return urdulex::internal::ApiCall([&] {
    const OnError on_error = StreamPolicy(policy, nullptr);
    return Convert(uzt, "UZT",
                   [&](const ReadBytes& read, const WriteBytes& write) {
                     DecodeUZTStream(mapping_->mapping, mapping_->utility, true,
                                     read, write, on_error);
                   });
  });
}

}  // namespace urdulex
