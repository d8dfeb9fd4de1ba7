// Raw Unicode byte buffers (2 or 4 bytes a unit, little-endian) and a byte
// for byte file copy. None of this uses the conversion state, and nothing
// here lets an exception of the error family escape.

#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <new>
#include <string>

#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"

namespace {

// The copy moves the file through one buffer of this size.
constexpr int kCopyBlockSize = 4096;

bool IsFormat(int format) {
  return format == LexEnigneUtility::UNICODE_16BIT ||
         format == LexEnigneUtility::UNICODE_32BIT;
}

// True when both names exist and are the same file. Opening the target would
// truncate the source before a single byte was read.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa;
  struct stat sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
    return false;
  }
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int LexEnigneUtility::__ConvertCharBuf2WCharBuf(
    const unsigned char* bytes, int byteCount, wchar_t*& chars, int& charCount,
    __QIV_UNICODE_FILE_FORMAT format) {
  chars = nullptr;
  charCount = 0;
  const int width = static_cast<int>(format);
  if (bytes == nullptr || byteCount < 1 || !IsFormat(width) ||
      byteCount % width != 0) {
    return 0;
  }
  const int count = byteCount / width;
  // Allocation failure is reported like any other failure, not thrown.
  wchar_t* out = new (std::nothrow) wchar_t[static_cast<size_t>(count)];
  if (out == nullptr) return 0;
  const unsigned char* p = bytes;
  if (width == UNICODE_16BIT) {
    for (int i = 0; i < count; ++i, p += 2) {
      out[i] = static_cast<wchar_t>(p[0] | (p[1] << 8));
    }
  } else {
    for (int i = 0; i < count; ++i, p += 4) {
      const uint32_t v = static_cast<uint32_t>(p[0]) |
                         (static_cast<uint32_t>(p[1]) << 8) |
                         (static_cast<uint32_t>(p[2]) << 16) |
                         (static_cast<uint32_t>(p[3]) << 24);
      out[i] = static_cast<wchar_t>(v);
    }
  }
  chars = out;
  charCount = count;
  return 1;
}

int LexEnigneUtility::__ConvertWCharBuf2CharBuf(
    const wchar_t* chars, int charCount, unsigned char*& bytes, int& byteCount,
    __QIV_UNICODE_FILE_FORMAT format) {
  bytes = nullptr;
  byteCount = 0;
  const int width = static_cast<int>(format);
  // The byte count must fit the int that reports it.
  if (chars == nullptr || charCount < 1 || !IsFormat(width) ||
      charCount > INT_MAX / width) {
    return 0;
  }
  const int count = charCount * width;
  unsigned char* out =
      new (std::nothrow) unsigned char[static_cast<size_t>(count)];
  if (out == nullptr) return 0;
  unsigned char* p = out;
  for (int i = 0; i < charCount; ++i) {
    const uint32_t v = static_cast<uint32_t>(chars[i]);
    *p++ = static_cast<unsigned char>(v & 0xFF);
    *p++ = static_cast<unsigned char>((v >> 8) & 0xFF);
    if (width == UNICODE_32BIT) {
      *p++ = static_cast<unsigned char>((v >> 16) & 0xFF);
      *p++ = static_cast<unsigned char>((v >> 24) & 0xFF);
    }
  }
  bytes = out;
  byteCount = count;
  return 1;
}

int LexEnigneUtility::__QivCopyFile(const std::string& source,
                                    const std::string& target) {
  // Both objects close their files when they go out of scope, on every path.
  FileReader reader;
  FileWriter writer;
  try {
    reader.Open(source, FileReader::ASCII);
    if (SameFile(source, target)) return 0;
    if (!writer.Open(target, FileWriter::ASCII, false)) return 0;

    // 64-bit throughout: a file beyond 2 GiB is copied whole.
    const int64_t size = reader.FileSize();
    const int64_t blocks = size / kCopyBlockSize;
    const int remainder = static_cast<int>(size % kCopyBlockSize);
    char buffer[kCopyBlockSize] = {};
    for (int64_t b = 0; b <= blocks; ++b) {
      const int n = b < blocks ? kCopyBlockSize : remainder;
      if (n == 0) break;
      // A short read (the source shrank meanwhile) must not pass for a
      // block: the reader reports any byte read as success and sets its
      // end-of-file state.
      if (!reader.Read(buffer, n) || reader.EoF()) return 0;
      if (!writer.Write(buffer, n)) return 0;
    }
    // A source with more bytes than its size tells (it grew meanwhile, or
    // it is a special file such as those of /proc, which report size 0) has
    // not been copied exactly.
    if (reader.Read(buffer, 1)) return 0;
    reader.Close();
    // Data still buffered may fail to reach the disk; that is no copy.
    return writer.Close() ? 1 : 0;
  } catch (const TARNIException&) {
    return 0;
  }
}
