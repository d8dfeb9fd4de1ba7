#include "foundation/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "foundation/FileReader.h"

namespace {

constexpr size_t kChunkUnits = 4096;

}  // namespace

FileWriter::FileWriter()
    : file_(nullptr),
      open_(false),
      code_(UNICODE),
      append_(false),
      failed_(false) {}

FileWriter::~FileWriter() { Close(); }

bool FileWriter::DoesExist(const char* name) {
  return FileReader::DoesExist(name);
}

bool FileWriter::SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int FileWriter::Open(const char* name, CODE code, bool append) {
  if (name == nullptr || *name == '\0') return 0;
  Close();
  append_ = append;
  failed_ = false;
  bool extended = false;
  std::FILE* f = nullptr;
  struct stat st;
  if (append && ::stat(name, &st) == 0) {
    // An existing file is extended or left alone, never emptied: one that
    // cannot be opened for reading and writing (its mark unreadable) is
    // refused.
    f = std::fopen(name, "r+be");
    if (f == nullptr) {
      append_ = false;
      return 0;
    }
    extended = true;
    unsigned char mark[2];
    bool has_mark =
        std::fread(mark, 1, 2, f) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
    if (has_mark != (code == UNICODE) || std::fseek(f, 0, SEEK_END) != 0) {
      std::fclose(f);
      append_ = false;
      return 0;
    }
  } else if (append) {
    // Created only when still missing: a file that appeared meanwhile is
    // not emptied either.
    f = errno == ENOENT ? std::fopen(name, "wbxe") : nullptr;
  } else {
    f = std::fopen(name, "wbe");
  }
  if (f == nullptr) {
    append_ = false;
    return 0;
  }
  file_ = f;
  code_ = code;
  open_ = true;
  if (code == UNICODE && !extended) {
    static const char kMark[2] = {'\xFF', '\xFE'};
    if (!WriteBytes(kMark, 2)) {
      Close();
      return 0;
    }
  }
  return 1;
}

int FileWriter::Open(int fd, CODE code) {
  Close();
  append_ = false;
  failed_ = false;
  const int own = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return 0;
  std::FILE* f = ::fdopen(own, "wb");
  if (f == nullptr) {
    ::close(own);
    return 0;
  }
  file_ = f;
  code_ = code;
  open_ = true;
  if (code == UNICODE) {
    static const char kMark[2] = {'\xFF', '\xFE'};
    if (!WriteBytes(kMark, 2)) {
      Close();
      return 0;
    }
  }
  return 1;
}

bool FileWriter::Close() {
  if (!open_) return true;
  bool ok = !failed_;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  open_ = false;
  append_ = false;
  failed_ = false;
  return ok;
}

int FileWriter::WriteBytes(const char* data, size_t n) {
  if (n == 0) return 1;
  if (std::fwrite(data, 1, n, file_) != n) {
    failed_ = true;
    return 0;
  }
  return 1;
}

int FileWriter::Write(const wchar_t* buffer, int count) {
  if (!open_ || code_ != UNICODE || buffer == nullptr || count <= 0) return 0;
  char chunk[2 * kChunkUnits];
  size_t done = 0;
  const size_t total = static_cast<size_t>(count);
  while (done < total) {
    size_t n = total - done < kChunkUnits ? total - done : kChunkUnits;
    for (size_t i = 0; i < n; ++i) {
      uint32_t c = static_cast<uint32_t>(buffer[done + i]);
      chunk[2 * i] = static_cast<char>(c & 0xFF);
      chunk[2 * i + 1] = static_cast<char>((c >> 8) & 0xFF);
    }
    if (!WriteBytes(chunk, 2 * n)) return 0;
    done += n;
  }
  return 1;
}

int FileWriter::Write(const std::wstring& text) {
  if (!open_ || code_ != UNICODE) return 0;
  if (text.empty()) return 1;
  return Write(text.data(), static_cast<int>(text.size()));
}

int FileWriter::Write(const std::string& text) {
  if (!open_ || code_ != ASCII) return 0;
  return WriteBytes(text.data(), text.size());
}

int FileWriter::Write(const char* buffer, int count) {
  if (!open_ || buffer == nullptr || count <= 0) return 0;
  return WriteBytes(buffer, static_cast<size_t>(count));
}

void FileWriter::Seekp(long offset, short direction) {
  if (!open_) return;
  int whence;
  switch (direction) {
    case 0:
      whence = SEEK_SET;
      break;
    case 1:
      whence = SEEK_CUR;
      break;
    case 2:
      whence = SEEK_END;
      break;
    default:
      return;
  }
  off_t target = static_cast<off_t>(offset);
  if (code_ == UNICODE) {
    // No position lies that far; such a move is refused like any other.
    if (target > std::numeric_limits<off_t>::max() - 2) return;
    target += 2;
  }
  // A move loses no data by itself, so a refused one is not a failure; but
  // the data buffered so far must reach the file before the position moves.
  if (std::fflush(file_) != 0) failed_ = true;
  ::fseeko(file_, target, whence);
}

int64_t FileWriter::Tellp() {
  if (!open_) return -1;
  return static_cast<int64_t>(::ftello(file_));
}

bool FileWriter::Flush() {
  if (!open_) return true;
  if (std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}
