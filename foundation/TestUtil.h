// Helpers shared by the foundation tests: a fixture that gives every test a
// scratch directory of its own, byte-level file access that does not go
// through the classes under test, and a catcher for the reader's errors.

#ifndef URDULEX_FOUNDATION_TESTUTIL_H_
#define URDULEX_FOUNDATION_TESTUTIL_H_

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/TARNIException.h"

namespace urdulex {
namespace test {

// What a thrown IOException carried. `thrown` is false when the callable
// returned normally or threw something else.
struct Caught {
  bool thrown = false;
  std::string file;
  int line = 0;
  int code = 0;
  std::string message;
  std::string report;
};

// Runs `fn` and returns what the IOException it threw carried.
template <typename Fn>
Caught CatchIO(Fn&& fn) {
  Caught c;
  try {
    fn();
  } catch (IOException& e) {
    c.thrown = true;
    c.file = e.GetFileName();
    c.line = e.GetLineNum();
    c.code = e.GetErrorCode();
    c.message = e.GetExceptionMsg();
    c.report = e.GetFormatedExceptionMessage();
  }
  return c;
}

// Checks that `c` is a reader error with `code` and `message`, stamped with
// the reader's module name and a real source line.
inline void ExpectReaderError(const Caught& c, int code,
                              const std::string& message) {
  ASSERT_TRUE(c.thrown) << "expected \"" << message << "\"";
  EXPECT_EQ("FileReader", c.file);
  EXPECT_GT(c.line, 0);
  EXPECT_EQ(code, c.code);
  EXPECT_EQ(message, c.message);
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%x", static_cast<unsigned>(code));
  EXPECT_EQ(std::string("Error Code (0x") + hex + ") in FileReader (" +
                std::to_string(c.line) + "): " + message,
            c.report);
}

// Number of descriptors the process holds, to show that files are closed.
inline int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

// The on-disk bytes of 16-bit text: the mark FF FE, then every character's
// low 16 bits, low byte first.
inline std::string Utf16File(const std::wstring& text, bool mark = true) {
  std::string out = mark ? std::string("\xFF\xFE") : std::string();
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return out;
}

// Shell prefix that caps the address space of the command after it at `kb`
// KB, to show that a program stays within that memory; empty under
// AddressSanitizer and ThreadSanitizer, which reserve far more address
// space than any cap.
inline std::string MemoryCap(int kb) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  (void)kb;
  return "";
#else
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  (void)kb;
  return "";
#endif
#endif
  return "ulimit -v " + std::to_string(kb) + " && ";
#endif
}

class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/urdulex_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(templ));
    dir_ = templ;
  }

  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Writes `bytes` to the file `name` in the scratch directory and returns
  // its path.
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    std::string path = Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
  }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in),
                       std::istreambuf_iterator<char>());
  }

  // True when `name` exists in the scratch directory.
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(Path(name));
  }

  // Runs the shell `command` in the scratch directory and returns its exit
  // status (-1 when it did not exit normally); its standard error is left
  // in `stderr_`.
  int Run(const std::string& command) {
    std::string full =
        "cd '" + dir_ + "' && " + command + " 2>'" + Path(".stderr") + "'";
    int raw = std::system(full.c_str());
    stderr_ = Contents(Path(".stderr"));
    std::remove(Path(".stderr").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::string dir_;
  std::string stderr_;
};

}  // namespace test
}  // namespace urdulex

#endif  // URDULEX_FOUNDATION_TESTUTIL_H_
