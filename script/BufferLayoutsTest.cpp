#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/TestUtil.h"
#include "script/LexEnigneUtility.h"

namespace {

using Format = LexEnigneUtility::__QIV_UNICODE_FILE_FORMAT;
const Format k16 = LexEnigneUtility::UNICODE_16BIT;
const Format k32 = LexEnigneUtility::UNICODE_32BIT;

TEST(BufferLayoutsTest, BytesToCharacters) {
  LexEnigneUtility util;
  wchar_t* chars = nullptr;
  int count = -1;
  const unsigned char mark_alef[] = {0xFF, 0xFE, 0x27, 0x06};
  ASSERT_EQ(1, util.__ConvertCharBuf2WCharBuf(mark_alef, 4, chars, count, k16));
  ASSERT_EQ(2, count);
  EXPECT_EQ(0xFEFF, chars[0]);
  EXPECT_EQ(0x0627, chars[1]);
  delete[] chars;

  const unsigned char wide[] = {0x00, 0xF6, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F};
  ASSERT_EQ(1, util.__ConvertCharBuf2WCharBuf(wide, 8, chars, count, k32));
  ASSERT_EQ(2, count);
  EXPECT_EQ(0x1F600, chars[0]);
  EXPECT_EQ(0x7FFFFFFF, chars[1]);
  delete[] chars;
}

TEST(BufferLayoutsTest, BytesToCharactersAtEverySizeBoundary) {
  LexEnigneUtility util;
  std::vector<unsigned char> bytes(12);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(0x11 * (i + 1));
  }
  for (Format format : {k16, k32}) {
    const int width = static_cast<int>(format);
    for (int n = -1; n <= 12; ++n) {
      wchar_t* chars = reinterpret_cast<wchar_t*>(&util);  // must be reset
      int count = 99;
      const int result =
          util.__ConvertCharBuf2WCharBuf(bytes.data(), n, chars, count, format);
      if (n < 1 || n % width != 0) {
        EXPECT_EQ(0, result) << n;
        EXPECT_EQ(nullptr, chars);
        EXPECT_EQ(0, count);
        continue;
      }
      ASSERT_EQ(1, result) << n;
      ASSERT_EQ(n / width, count);
      for (int i = 0; i < count; ++i) {
        uint32_t expected = 0;
        for (int k = width - 1; k >= 0; --k) {
          expected = expected * 256 + bytes[static_cast<size_t>(i * width + k)];
        }
        EXPECT_EQ(static_cast<wchar_t>(expected), chars[i]);
      }
      delete[] chars;
    }
  }
  wchar_t* chars = nullptr;
  int count = 5;
  EXPECT_EQ(0, util.__ConvertCharBuf2WCharBuf(nullptr, 4, chars, count, k16));
  EXPECT_EQ(0, util.__ConvertCharBuf2WCharBuf(bytes.data(), 6, chars, count,
                                              static_cast<Format>(3)));
  EXPECT_EQ(nullptr, chars);
  EXPECT_EQ(0, count);
}

TEST(BufferLayoutsTest, CharactersToBytes) {
  LexEnigneUtility util;
  const wchar_t chars[] = {0x1F600, 0x0627, static_cast<wchar_t>(0x80000041)};
  for (Format format : {k16, k32}) {
    for (int n = -1; n <= 3; ++n) {
      unsigned char* bytes = reinterpret_cast<unsigned char*>(&util);
      int count = 99;
      const int result =
          util.__ConvertWCharBuf2CharBuf(chars, n, bytes, count, format);
      if (n < 1) {
        EXPECT_EQ(0, result);
        EXPECT_EQ(nullptr, bytes);
        EXPECT_EQ(0, count);
        continue;
      }
      ASSERT_EQ(1, result);
      ASSERT_EQ(n * static_cast<int>(format), count);
      std::vector<unsigned char> got(bytes, bytes + count);
      delete[] bytes;
      std::vector<unsigned char> want;
      if (format == k16) {
        want = {0x00, 0xF6, 0x27, 0x06, 0x41, 0x00};
      } else {
        want = {0x00, 0xF6, 0x01, 0x00, 0x27, 0x06,
                0x00, 0x00, 0x41, 0x00, 0x00, 0x80};
      }
      want.resize(static_cast<size_t>(count));
      EXPECT_EQ(want, got);
    }
  }
  unsigned char* bytes = nullptr;
  int count = 5;
  EXPECT_EQ(0, util.__ConvertWCharBuf2CharBuf(nullptr, 1, bytes, count, k32));
  EXPECT_EQ(0, util.__ConvertWCharBuf2CharBuf(chars, 1, bytes, count,
                                              static_cast<Format>(3)));
  // A byte count that does not fit an int fails instead of overflowing.
  EXPECT_EQ(0, util.__ConvertWCharBuf2CharBuf(chars, (1 << 30) + 1, bytes,
                                              count, k32));
  EXPECT_EQ(nullptr, bytes);
  EXPECT_EQ(0, count);
}

class CopyFileTest : public urdulex::test::TempDirTest {
 protected:
  static void Write(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
  }
  static std::string Read(const std::string& path) { return Contents(path); }

  LexEnigneUtility util_;
};

TEST_F(CopyFileTest, CopiesEveryByteAroundTheBlockSize) {
  for (size_t size : {0, 1, 4095, 4096, 4097, 8192, 3 * 4096 + 17}) {
    std::string data;
    for (size_t i = 0; i < size; ++i) data.push_back(static_cast<char>(i * 7));
    if (size >= 2) data[0] = '\xFF', data[1] = '\xFE';  // a mark is data
    Write(Path("src"), data);
    Write(Path("dst"), std::string(10000, 'x'));  // truncated by the copy
    EXPECT_EQ(1, util_.__QivCopyFile(Path("src"), Path("dst"))) << size;
    EXPECT_EQ(data, Read(Path("dst"))) << size;
  }
}

TEST_F(CopyFileTest, FailuresReturnZero) {
  // A missing source leaves an existing target untouched.
  Write(Path("dst"), "keep");
  EXPECT_EQ(0, util_.__QivCopyFile(Path("missing"), Path("dst")));
  EXPECT_EQ("keep", Read(Path("dst")));
  // A target that cannot be created.
  Write(Path("src"), "data");
  EXPECT_EQ(0, util_.__QivCopyFile(Path("src"), Path("no/such/dir")));
  EXPECT_EQ(0, util_.__QivCopyFile(Path("src"), dir_));
  // Copying a file onto itself, under its own or another name, would
  // truncate it before reading it.
  EXPECT_EQ(0, util_.__QivCopyFile(Path("src"), Path("src")));
  ASSERT_EQ(0, ::link(Path("src").c_str(), Path("alias").c_str()));
  EXPECT_EQ(0, util_.__QivCopyFile(Path("alias"), Path("./src")));
  EXPECT_EQ("data", Read(Path("src")));
}

#ifdef __linux__
TEST_F(CopyFileTest, SourceLongerThanItsSizeIsNoCopy) {
  // Files of /proc report the size 0 but have contents.
  EXPECT_EQ(0, util_.__QivCopyFile("/proc/self/status", Path("dst")));
}

TEST_F(CopyFileTest, FullDiskIsNoCopy) {
  // Whole blocks fail as they are written; a short tail fails only when the
  // writer flushes it on closing, which must not count as success either.
  for (size_t size : {10000, 10}) {
    Write(Path("src"), std::string(size, 'd'));
    EXPECT_EQ(0, util_.__QivCopyFile(Path("src"), "/dev/full")) << size;
  }
}
#endif

// A sparse source beyond 2 GiB, copied into a pipe whose reader counts the
// bytes and keeps the last ones, so nothing of that size reaches the disk.
TEST_F(CopyFileTest, CopiesFilesBeyondTwoGiB) {
  const int64_t size = (int64_t{1} << 31) + 4096 + 3;
  const std::string tail = "END-OF-BIG-FILE";
  {
    const int fd = ::open(Path("big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::ftruncate(fd, size));
    const off_t at =
        static_cast<off_t>(size - static_cast<int64_t>(tail.size()));
    ASSERT_EQ(static_cast<ssize_t>(tail.size()),
              ::pwrite(fd, tail.data(), tail.size(), at));
    ::close(fd);
  }
  const std::string fifo = Path("pipe");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));

  int64_t received = 0;
  bool only_zeros_before_tail = true;
  std::string last;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    if (fd < 0) return;
    std::vector<char> buf(1 << 16);
    const std::vector<char> zeros(buf.size(), 0);
    const int64_t tail_at = size - static_cast<int64_t>(tail.size());
    ssize_t n;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0) {
      const int64_t zero_part = std::min<int64_t>(n, tail_at - received);
      if (zero_part > 0 && std::memcmp(buf.data(), zeros.data(),
                                       static_cast<size_t>(zero_part)) != 0) {
        only_zeros_before_tail = false;
      }
      last.append(buf.data(), static_cast<size_t>(n));
      if (last.size() > 64) last.erase(0, last.size() - 64);
      received += n;
    }
    ::close(fd);
  });
  const int result = util_.__QivCopyFile(Path("big"), fifo);
  // Should the copy have failed before opening the pipe, release the reader.
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  reader.join();

  EXPECT_EQ(1, result);
  EXPECT_EQ(size, received);
  EXPECT_TRUE(only_zeros_before_tail);
  ASSERT_GE(last.size(), tail.size());
  EXPECT_EQ(tail, last.substr(last.size() - tail.size()));
}

}  // namespace
