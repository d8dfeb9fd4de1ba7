// OutputBuffer gathers the bytes of a program's output and hands them to a
// FileWriter in large pieces, so that many short lines cost few writes.
// When the writer refuses bytes, it throws urdulex::internal::Error of kind
// kWriteFailed (foundation/Error.h).

#ifndef URDULEX_FOUNDATION_OUTPUTBUFFER_H_
#define URDULEX_FOUNDATION_OUTPUTBUFFER_H_

#include <cstddef>
#include <memory>

#include "foundation/FileWriter.h"

class OutputBuffer {
 public:
  explicit OutputBuffer(FileWriter& writer);
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Appends `n` bytes; `bytes` may be null when `n` is 0.
  void Bytes(const void* bytes, size_t n);

  // Room for at most `n` bytes (n at most kRoomBytes) at the end, to be
  // written in place and kept with Commit.
  static constexpr size_t kRoomBytes = 1 << 12;
  unsigned char* Room(size_t n);
  void Commit(size_t n) { used_ += n; }

  // Appends `n` 16-bit units as UTF-16LE bytes.
  void Units(const wchar_t* units, size_t n);

  // Hands everything gathered to the writer, then `n` bytes at once (for
  // pieces that are large already).
  void FlushWith(const void* bytes, size_t n);

  // Hands everything gathered to the writer.
  void Flush();

 private:
  void Write(const unsigned char* bytes, size_t n);

  FileWriter& writer_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t used_ = 0;
};

#endif  // URDULEX_FOUNDATION_OUTPUTBUFFER_H_
