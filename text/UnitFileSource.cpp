#include "text/UnitFileSource.h"

#include <algorithm>
#include <cstring>

#include "foundation/Error.h"
#include "foundation/Quote.h"

namespace urdulex::internal {

namespace {

// Never a 16-bit unit: marks the buffer positions a read did not fill.
constexpr wchar_t kNoUnit = static_cast<wchar_t>(-1);

}  // namespace

UnitFileSource::UnitFileSource(FileReader& reader, const std::string& name,
                               bool mark)
    : reader_(reader), name_(name) {
  const int64_t size = reader.FileSize() - 2;
  bulk_left_ = size > 0 ? static_cast<uint64_t>(size) & ~uint64_t{1} : 0;
  if (mark) tail_ = {0xFF, 0xFE};
}

size_t UnitFileSource::Read(unsigned char* buffer, size_t n) {
  if (tail_at_ == tail_.size() && bulk_left_ > 0) {
    const size_t k = bulk_left_ < n ? static_cast<size_t>(bulk_left_) : n;
    reader_.Read(reinterpret_cast<char*>(buffer), static_cast<int>(k));
    bulk_left_ -= k;
    if (reader_.EoF()) {
      throw Error(Error::kInputChanged,
                  QuoteName(name()) + " changed while being read");
    }
    return k;
  }
  if (tail_at_ == tail_.size()) {
    tail_.clear();
    tail_at_ = 0;
    if (reader_.EoF()) return 0;
    // Mostly there is nothing left: a small first read spares touching a
    // whole chunk of memory.
    units_.assign(units_.empty() ? 64 : kChunkBytes / 2, kNoUnit);
    if (!reader_.Read(units_.data(), static_cast<int>(units_.size()))) {
      return 0;
    }
    for (wchar_t u : units_) {
      if (u == kNoUnit) break;
      tail_.push_back(static_cast<unsigned char>(u & 0xFF));
      tail_.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
    }
  }
  const size_t k = std::min(n, tail_.size() - tail_at_);
  std::memcpy(buffer, tail_.data() + tail_at_, k);
  tail_at_ += k;
  return k;
}

}  // namespace urdulex::internal
