// BlockOutput: the output of one block of lines in the making, on a worker
// thread of ParallelLines, appended to bytes kept from block to block
// (BlockBytes), so that they are neither asked of the system nor cleared
// again. Each sits on cache lines of its own: most pieces are short, and
// are copied without a call.

#ifndef URDULEX_TEXT_BLOCKOUTPUT_H_
#define URDULEX_TEXT_BLOCKOUTPUT_H_

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "text/ParallelLines.h"

namespace urdulex::internal {

// The bytes of a block's output, and how many of them are used.
struct alignas(64) BlockBytes {
  Bytes bytes;
  size_t used = 0;
};

class alignas(64) BlockOutput {
 public:
  // Bytes cleared ahead of the end of the output.
  static constexpr size_t kAhead = 4096;

  // Starts the output of a block in `block`, with room for `expected`
  // bytes.
  void Begin(BlockBytes* block, size_t expected) {
    block_ = block;
    if (block->bytes.size() < expected) {
      // Nothing to keep: fresh bytes rather than a copy.
      internal::Bytes fresh;
      fresh.resize(std::max(expected, 2 * block->bytes.size()));
      block->bytes.swap(fresh);
    }
    data_ = block->bytes.data();
    room_ = block->bytes.size();
    used_ = 0;
    cleared_ = 0;
  }
  void Bytes(const void* data, size_t n) {
    std::memcpy(Room(n), data, n);
    Commit(n);
  }
  // As OutputBuffer's.
  unsigned char* Room(size_t n) {
    if (room_ - used_ < n) Grow(n);
    if (used_ + n > cleared_) Clear(used_ + n);
    return reinterpret_cast<unsigned char*>(data_) + used_;
  }
  void Commit(size_t n) { used_ += n; }
  // Ends the block: its bytes are used up to here.
  void End() { block_->used = used_; }

 private:
  void Grow(size_t n) {
    block_->bytes.resize(2 * (used_ + n));
    data_ = block_->bytes.data();
    room_ = block_->bytes.size();
  }

  // Clears the bytes up to `end` and a little past: the short copies then
  // find their cache lines at hand, which the processor's way of clearing
  // takes far more cheaply than a copy that misses.
  void Clear(size_t end) {
    const size_t to = std::min(room_, end + kAhead);
    std::memset(data_ + cleared_, 0, to - cleared_);
    cleared_ = to;
  }

  BlockBytes* block_ = nullptr;
  char* data_ = nullptr;
  size_t room_ = 0;
  size_t used_ = 0;
  size_t cleared_ = 0;
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_BLOCKOUTPUT_H_
