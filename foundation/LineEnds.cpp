#include "foundation/LineEnds.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace {

constexpr size_t kChunkBytes = 1 << 16;  // even

bool IsBlank(unsigned u) {
  return u == ' ' || u == '\t' || u == '\r' || u == '\n';
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool FindUnendedLine(const std::string& path, uint64_t* line) {
  // A pipe would be read a second time, and wait for a writer that is gone.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (file == nullptr) return false;
  unsigned char mark[2];
  if (std::fread(mark, 1, 2, file.get()) != 2 || mark[0] != 0xFF ||
      mark[1] != 0xFE) {
    return false;
  }
  std::unique_ptr<unsigned char[]> chunk(new unsigned char[kChunkBytes + 1]);
  uint64_t at_line = 1;
  uint64_t unended = 0;  // line of the first text since the last CR LF
  bool after_cr = false;
  size_t carried = 0;  // an odd byte kept for the next chunk
  size_t got;
  while ((got = std::fread(chunk.get() + carried, 1, kChunkBytes - carried,
                           file.get())) > 0) {
    const size_t bytes = carried + got;
    const size_t even = bytes & ~size_t{1};
    for (size_t i = 0; i < even; i += 2) {
      const unsigned u = chunk[i] | static_cast<unsigned>(chunk[i + 1]) << 8;
      if (u == '\n' && after_cr) unended = 0;
      if (!IsBlank(u) && unended == 0) unended = at_line;
      if (u == '\n') ++at_line;
      after_cr = u == '\r';
    }
    carried = bytes - even;
    if (carried != 0) chunk[0] = chunk[even];
  }
  // Half a unit at the end: the file was cut inside a character.
  if (carried != 0 && unended == 0) unended = at_line;
  if (unended == 0) return false;
  *line = unended;
  return true;
}
