// UnitFileSource: the 16-bit units of a file open in FileReader's UNICODE
// form, after its mark, handed out as UTF-16LE bytes. The size of the file
// says how much to read in bulk; whatever else there is (a pipe, whose size
// is unknown, or a file that grew, which its reader refuses once read) is
// read unit by unit, so a trailing odd byte is dropped as the reader drops
// it. A bulk read that falls short means the file shrank while being read:
// how much arrived is unknown, and a silently shortened text would pass for
// a good one, so it throws Error of kind kInputChanged.

#ifndef URDULEX_TEXT_UNITFILESOURCE_H_
#define URDULEX_TEXT_UNITFILESOURCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/FileReader.h"
#include "text/TextIO.h"

namespace urdulex::internal {

class UnitFileSource : public ByteSource {
 public:
  // Reads from `reader`, open past the mark. With `mark`, the bytes start
  // with the mark FF FE, as the file does (for a block reader to tell the
  // text's line ends).
  UnitFileSource(FileReader& reader, const std::string& name, bool mark);

  // Up to `n` bytes; a whole number of units when `n` is even. 0 at the
  // end of the input.
  size_t Read(unsigned char* buffer, size_t n) override;
  const std::string& name() const override { return name_; }

  // Bytes read at a time unit by unit, at most.
  static constexpr size_t kChunkBytes = 1 << 18;

 private:
  FileReader& reader_;
  const std::string name_;
  uint64_t bulk_left_;
  std::vector<unsigned char> tail_;  // bytes to hand out before reading
  size_t tail_at_ = 0;
  std::vector<wchar_t> units_;  // for the reads unit by unit
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UNITFILESOURCE_H_
