// UztCodec of urdulex/uzt_codec.h over the streaming conversion of `urdu
// uzt`, reading from and writing to memory.

#include <algorithm>
#include <cstring>

#include "foundation/ApiSupport.h"
#include "foundation/TARNIException.h"
#include "script/UZTStream.h"
#include "urdulex/uzt_codec.h"

namespace urdulex {

struct UztCodec::Mapping {
  UZTMapping mapping;
  LexEnigneUtility utility;  // borrows the tables of `mapping`
};

UztCodec UztCodec::Open(const std::string& mapping_path) {
  return urdu::ApiCall([&] {
    auto mapping = std::make_shared<Mapping>();
    try {
      mapping->mapping.Load(mapping_path);
    } catch (const IOException& e) {
      throw urdu::Error(e.GetExceptionMsg());  // names the file already
    } catch (const TARNIException& e) {
      throw urdu::Error(mapping_path + ": " + e.GetExceptionMsg());
    }
    mapping->mapping.Install(mapping->utility);
    return UztCodec(std::move(mapping));
  });
}

namespace {

// Runs `convert` (EncodeUZTStream or DecodeUZTStream) on `input`.
template <typename Body>
std::string Convert(std::string_view input, const char* name,
                    Body&& convert) {
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
    throw urdu::Error(urdu::StreamErrorMessage(name, e));
  }
  return out;
}

}  // namespace

std::string UztCodec::Encode(std::string_view text, ErrorPolicy policy) const {
  (void)policy;  // TODO: the error policies, with the stream's own
  return urdu::ApiCall([&] {
    return Convert(text, "text", [&](const ReadBytes& read,
                                     const WriteBytes& write) {
      EncodeUZTStream(mapping_->mapping, mapping_->utility, read, write);
    });
  });
}

std::string UztCodec::Decode(std::string_view uzt, ErrorPolicy policy) const {
  (void)policy;
  return urdu::ApiCall([&] {
    return Convert(uzt, "UZT", [&](const ReadBytes& read,
                                   const WriteBytes& write) {
      DecodeUZTStream(mapping_->mapping, mapping_->utility, true, read, write);
    });
  });
}

}  // namespace urdulex
