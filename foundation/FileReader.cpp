#include "foundation/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"

namespace {

// Module name stamped on every error raised here.
const char kModule[] = "FileReader";

// Large enough that the per-read system call cost vanishes, small enough to
// keep many readers cheap.
constexpr size_t kBufferSize = 64 * 1024;

constexpr uint16_t kShadda = 0x0651;
constexpr wchar_t kHehDoachashmee = 0x06BE;

[[noreturn]] void ThrowRead(int line, const char* message) {
  throw IOException(kModule, line, kErrorFileRead, message);
}

}  // namespace

FileReader::FileReader()
    : fd_(-1),
      open_(false),
      eof_(false),
      code_(ASCII),
      expand_gemination_(false),
      pos_(0),
      len_(0),
      buf_offset_(0) {}

FileReader::~FileReader() { Close(); }

void FileReader::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  eof_ = false;
  pos_ = len_ = 0;
  buf_offset_ = 0;
}

void FileReader::Close() {
  if (!open_) return;
  CloseFile();
  open_ = false;
}

namespace {

// Opens `name` for reading; -1 when it cannot be opened or is a directory
// (which opens but cannot be read as a file).
int OpenForReading(const char* name) {
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

}  // namespace

bool FileReader::DoesExist(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  int fd = OpenForReading(name);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int FileReader::Open(const char* name, CODE code) {
  if (name == nullptr || *name == '\0') {
    throw IOException(kModule, __LINE__, kErrorFileOpen,
                      "Invalid file name specified.");
  }
  Close();
  int fd = OpenForReading(name);
  if (fd < 0) {
    throw IOException(
        kModule, __LINE__, kErrorFileOpen,
        "Could not open file: " + urdulex::internal::QuoteName(name) + ".");
  }
  if (!buf_) buf_.reset(new unsigned char[kBufferSize]);
  fd_ = fd;
  eof_ = false;
  pos_ = len_ = 0;
  buf_offset_ = 0;
  code_ = code;
  if (code == UNICODE) {
    unsigned char mark[2];
    size_t got;
    try {
      got = ReadBytes(reinterpret_cast<char*>(mark), 2);
    } catch (IOException&) {
      // Like every other Open failure: the file is closed again and the
      // error is an open error.
      CloseFile();
      throw IOException(kModule, __LINE__, kErrorFileOpen,
                        "Could not read file.");
    }
    if (got != 2 || mark[0] != 0xFF || mark[1] != 0xFE) {
      CloseFile();
      throw IOException(kModule, __LINE__, kErrorFileOpen,
                        "File is not Unicode based.");
    }
  }
  open_ = true;
  return 1;
}

int64_t FileReader::FileSize() const {
  if (!open_) return 0;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

bool FileReader::Fill() {
  buf_offset_ += static_cast<int64_t>(len_);
  pos_ = len_ = 0;
  ssize_t n;
  do {
    n = ::read(fd_, buf_.get(), kBufferSize);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    // A failing device must not pass for a clean end of file.
    eof_ = true;
    ThrowRead(__LINE__, "Could not read file.");
  }
  len_ = static_cast<size_t>(n);
  return n > 0;
}

void FileReader::Seek(int64_t position) {
  if (position < 0) {
    eof_ = true;
    return;
  }
  if (position >= buf_offset_ &&
      position <= buf_offset_ + static_cast<int64_t>(len_)) {
    pos_ = static_cast<size_t>(position - buf_offset_);
    return;
  }
  if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
    eof_ = true;
    return;
  }
  buf_offset_ = position;
  pos_ = len_ = 0;
}

size_t FileReader::ReadBytes(char* dst, size_t n) {
  size_t got = 0;
  while (got < n) {
    if (pos_ == len_ && n - got >= kBufferSize) {
      // A large read goes straight to its destination.
      buf_offset_ += static_cast<int64_t>(len_);
      pos_ = len_ = 0;
      ssize_t k;
      do {
        k = ::read(fd_, dst + got, n - got);
      } while (k < 0 && errno == EINTR);
      if (k < 0) {
        eof_ = true;
        ThrowRead(__LINE__, "Could not read file.");
      }
      if (k == 0) {
        eof_ = true;
        break;
      }
      buf_offset_ += k;
      got += static_cast<size_t>(k);
      continue;
    }
    if (pos_ == len_ && !Fill()) {
      eof_ = true;
      break;
    }
    size_t take = len_ - pos_;
    if (take > n - got) take = n - got;
    std::memcpy(dst + got, buf_.get() + pos_, take);
    pos_ += take;
    got += take;
  }
  return got;
}

inline bool FileReader::ReadUnit(uint16_t* unit) {
  if (len_ - pos_ >= 2) {
    const unsigned char* p = buf_.get() + pos_;
    *unit = static_cast<uint16_t>(p[0] | (p[1] << 8));
    pos_ += 2;
    return true;
  }
  unsigned char b[2];
  if (ReadBytes(reinterpret_cast<char*>(b), 2) != 2) return false;
  *unit = static_cast<uint16_t>(b[0] | (b[1] << 8));
  return true;
}

int FileReader::SeekG(int64_t offset) {
  if (!open_) return 0;
  // Like a stream whose failure state is set, a reader past the end does
  // not move until the state is reset.
  if (eof_) return 1;
  if (code_ == UNICODE) {
    // A position that cannot be represented fails like any bad seek.
    if (offset > INT64_MAX - 2) {
      eof_ = true;
      return 1;
    }
    offset += 2;
  }
  Seek(offset);
  return 1;
}

int FileReader::AppendGemination(std::wstring& line) {
  if (line.empty()) return 0;
  if (line.back() == kHehDoachashmee && line.size() > 1) {
    const wchar_t before = line[line.size() - 2];
    line.push_back(before);
    line.push_back(kHehDoachashmee);
    return 2;
  }
  line.push_back(line.back());
  return 1;
}

int FileReader::GetLine(std::wstring& line, int max, wchar_t delimiter) {
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  if (code_ != UNICODE) {
    ThrowRead(__LINE__, "File not openned as UNICODE initially.");
  }
  // The line is gathered in a buffer kept between calls, so reading many
  // lines allocates nothing once the buffer has grown.
  std::wstring& local = scratch_;
  local.clear();
  int count = 0;
  while (count < max) {
    // Fast path: copy the ordinary units that are already buffered, up to
    // the delimiter, a shadda to expand, or `max`.
    size_t avail = (len_ - pos_) / 2;
    size_t room = static_cast<size_t>(max - count);
    size_t n = avail < room ? avail : room;
    const unsigned char* p = buf_.get() + pos_;
    size_t i = 0;
    for (; i < n; ++i) {
      wchar_t c = static_cast<wchar_t>(p[2 * i] | (p[2 * i + 1] << 8));
      if (c == delimiter || (c == kShadda && expand_gemination_)) break;
    }
    size_t base = local.size();
    local.resize(base + i);
    wchar_t* out = &local[0] + base;
    for (size_t k = 0; k < i; ++k) {
      out[k] = static_cast<wchar_t>(p[2 * k] | (p[2 * k + 1] << 8));
    }
    pos_ += 2 * i;
    count += static_cast<int>(i);
    if (count >= max) break;
    // Slow path: one unit that is special, or that straddles the buffer.
    uint16_t unit;
    if (!ReadUnit(&unit)) break;
    wchar_t c = static_cast<wchar_t>(unit);
    if (c == delimiter) break;
    if (unit == kShadda && expand_gemination_ && count > 0) {
      count += AppendGemination(local);
      continue;
    }
    local.push_back(c);
    ++count;
  }
  if (local.empty()) return 0;
  line.assign(local);
  return 1;
}

int FileReader::GetLine(std::string& line, int max, char delimiter) {
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  if (code_ != ASCII) {
    ThrowRead(__LINE__, "File not openned as ASCII initially.");
  }
  std::string local;
  int count = 0;
  char c;
  while (count < max && ReadBytes(&c, 1) == 1) {
    if (c == delimiter) break;
    local.push_back(c);
    ++count;
  }
  if (local.empty()) return 0;
  line.swap(local);
  return 1;
}

int FileReader::Read(std::wstring& text, int count) {
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  if (code_ != UNICODE) {
    ThrowRead(__LINE__, "File not openned as Unicode initially.");
  }
  std::wstring local;
  uint16_t unit;
  for (int i = 0; i < count && ReadUnit(&unit); ++i) {
    local.push_back(static_cast<wchar_t>(unit));
  }
  if (local.empty()) return 0;
  text.swap(local);
  return 1;
}

int FileReader::Read(wchar_t* buffer, int count) {
  if (buffer == nullptr || count <= 0) {
    ThrowRead(__LINE__, "Null buffer or zero size specified.");
  }
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  buffer[0] = 0;
  int stored = 0;
  uint16_t unit;
  while (stored < count && ReadUnit(&unit)) {
    buffer[stored++] = static_cast<wchar_t>(unit);
  }
  return stored > 0 ? 1 : 0;
}

int FileReader::Read(char* buffer, int count) {
  if (buffer == nullptr || count <= 0) {
    ThrowRead(__LINE__, "Null buffer or zero size specified.");
  }
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  return ReadBytes(buffer, static_cast<size_t>(count)) > 0 ? 1 : 0;
}

int FileReader::Read(char* buffer, int64_t offset, int count) {
  if (buffer == nullptr || count <= 0) {
    ThrowRead(__LINE__, "Null buffer or zero size specified.");
  }
  if (!open_) return 0;
  if (eof_) ThrowRead(__LINE__, "End of file encountered.");
  eof_ = false;
  SeekG(offset);
  if (eof_) return 0;
  return ReadBytes(buffer, static_cast<size_t>(count)) > 0 ? 1 : 0;
}

int FileReader::UngetUnicodeCharacters(int n) {
  if (!open_) return 0;
  if (code_ != UNICODE) {
    ThrowRead(__LINE__, "File not openned as Unicode initially.");
  }
  eof_ = false;
  Seek(Tell() - 2 * static_cast<int64_t>(n));
  return 1;
}

int FileReader::UngetAsciiCharacters(int n) {
  if (!open_) return 0;
  if (code_ != ASCII) {
    ThrowRead(__LINE__, "File not openned as ASCII initially.");
  }
  eof_ = false;
  Seek(Tell() - static_cast<int64_t>(n));
  return 1;
}
