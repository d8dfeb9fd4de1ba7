#include "diacritizer/Messages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/Quote.h"
#include "foundation/Utf8.h"

namespace urdu {

namespace {

// The start of a file that decides whether it is a word list.
constexpr size_t kSniff = 4096;

// UTF-8 text, no NUL, with an Arabic-script letter: what a word list
// (one diacritized word a line) is, and what a table (UTF-16 with the mark
// FF FE, binary records) never is. A sequence cut by the end of the piece
// read does not count against it.
//
// Only a regular file is looked at again: the bytes of a pipe or a FIFO
// were taken by the table's one read, and a FIFO opened anew would wait for
// a writer that never comes.
bool LooksLikeWordList(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  unsigned char bytes[kSniff];
  const ssize_t got = ::read(fd, bytes, sizeof(bytes));
  ::close(fd);
  if (got <= 0) return false;
  const size_t n = static_cast<size_t>(got);
  bool arabic = false;
  for (size_t i = 0; i < n;) {
    if (bytes[i] == 0) return false;
    char32_t c = bytes[i];
    size_t valid = 0;
    int len = 1;
    if (c >= 0x80) {
      len = utf8::DecodeSequence(bytes + i, n - i, &c, &valid);
      if (len == 0 && n == sizeof(bytes)) break;  // cut by the piece's end
      if (len <= 0) return false;
    }
    arabic = arabic || (c >= 0x0600 && c <= 0x06FF);
    i += static_cast<size_t>(len);
  }
  return arabic;
}

}  // namespace

std::unique_ptr<FormTable> OpenFormTable(const std::string& path,
                                         bool all_forms, bool private_copy) {
  try {
    WordFormLookup::Limits limits;
    limits.private_copy = private_copy;
    return std::unique_ptr<FormTable>(new FormTable(path, all_forms, limits));
  } catch (const Error&) {
    if (!LooksLikeWordList(path)) throw;
    const std::string name = QuoteName(path);
    throw WordListError("table " + name +
                        " looks like a word list, not a word-form table");
  }
}

}  // namespace urdu
