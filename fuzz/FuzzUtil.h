// Helpers shared by the fuzz targets.

#ifndef URDULEX_FUZZ_FUZZUTIL_H_
#define URDULEX_FUZZ_FUZZUTIL_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace urdulex {
namespace fuzz {

// A file under /tmp that hands a fuzz input to code that reads by name;
// removed when destroyed. Failing to create or write it aborts.
class ScratchFile {
 public:
  // Creates an empty file "/tmp/<name>_XXXXXX".
  explicit ScratchFile(const char* name) {
    std::string templ = std::string("/tmp/") + name + "_XXXXXX";
    fd_ = mkstemp(&templ[0]);
    if (fd_ < 0) Fail("cannot create scratch file");
    path_ = templ;
  }
  ~ScratchFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }

  // Replaces the file's contents with the `size` bytes at `data`.
  void Write(const void* data, size_t size) {
    if (ftruncate(fd_, 0) != 0) Fail("cannot write scratch file");
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
      const ssize_t n =
          pwrite(fd_, bytes + done, size - done, static_cast<off_t>(done));
      if (n <= 0) Fail("cannot write scratch file");
      done += static_cast<size_t>(n);
    }
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    fprintf(stderr, "fuzz: %s\n", what);
    abort();
  }

  std::string path_;
  int fd_;
};

// Splits an input laid out as a file, then optionally four zero bytes and a
// line in UTF-16LE (an odd last byte dropped). Returns the length of the
// file part and stores the line in `*line`.
inline size_t SplitFileAndLine(const uint8_t* data, size_t size,
                               std::wstring* line) {
  static const uint8_t kSeparator[4] = {0, 0, 0, 0};
  line->clear();
  for (size_t i = 0; i + 4 <= size; ++i) {
    if (memcmp(data + i, kSeparator, 4) == 0) {
      for (size_t k = i + 4; k + 1 < size; k += 2) {
        line->push_back(static_cast<wchar_t>(data[k] | (data[k + 1] << 8)));
      }
      return i;
    }
  }
  return size;
}

}  // namespace fuzz
}  // namespace urdulex

#endif  // URDULEX_FUZZ_FUZZUTIL_H_
