#include "foundation/OutputBuffer.h"

#include <cstring>

#include "foundation/Error.h"

namespace {

// Bytes are handed to the writer in pieces of about this many.
constexpr size_t kFlushBytes = 1 << 18;

}  // namespace

OutputBuffer::OutputBuffer(FileWriter& writer)
    : writer_(writer), buffer_(new unsigned char[kFlushBytes]) {}

void OutputBuffer::Bytes(const void* bytes, size_t n) {
  if (n == 0) return;
  if (kFlushBytes - used_ < n) {
    Flush();
    if (n > kFlushBytes) {
      Write(static_cast<const unsigned char*>(bytes), n);
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, bytes, n);
  used_ += n;
}

void OutputBuffer::Units(const wchar_t* units, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (kFlushBytes - used_ < 2) Flush();
    buffer_[used_++] = static_cast<unsigned char>(units[i] & 0xFF);
    buffer_[used_++] = static_cast<unsigned char>((units[i] >> 8) & 0xFF);
  }
}

unsigned char* OutputBuffer::Room(size_t n) {
  if (kFlushBytes - used_ < n) Flush();
  return buffer_.get() + used_;
}

void OutputBuffer::FlushWith(const void* bytes, size_t n) {
  Flush();
  Write(static_cast<const unsigned char*>(bytes), n);
}

void OutputBuffer::Flush() {
  Write(buffer_.get(), used_);
  used_ = 0;
}

// The writer takes int counts: a very long line goes in pieces.
void OutputBuffer::Write(const unsigned char* bytes, size_t n) {
  constexpr size_t kMaxPiece = size_t{1} << 30;
  while (n > 0) {
    const size_t piece = n < kMaxPiece ? n : kMaxPiece;
    if (!writer_.Write(reinterpret_cast<const char*>(bytes),
                       static_cast<int>(piece))) {
      throw urdulex::internal::Error(urdulex::internal::Error::kWriteFailed,
                                     "the output could not be written");
    }
    bytes += piece;
    n -= piece;
  }
}
