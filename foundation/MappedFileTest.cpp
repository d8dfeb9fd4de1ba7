#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/MappedFile.h"
#include "foundation/TestUtil.h"

namespace {

class MappedFileTest : public urdulex::test::TempDirTest {
 protected:
  // The middle byte of the file, "-" once it was found cut short.
  static std::string Middle(const MappedFile& file) {
    const volatile unsigned char* data = file.data();
    const char byte = static_cast<char>(data[file.size() / 2]);
    return file.cut() ? "-" : std::string(1, byte);
  }
  // Writes `bytes` to the file `name`, dated a day back, so that writing
  // it again is seen whatever the clock's grain.
  std::string Dated(const std::string& name, const std::string& bytes) {
    const std::string path = MakeFile(name, bytes);
    const struct timespec day_back[2] = {{::time(nullptr) - 86400, 0},
                                         {::time(nullptr) - 86400, 0}};
    EXPECT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), day_back, 0));
    return path;
  }
  // Writes `bytes` over the start of the file `path`, as `dd conv=notrunc`.
  static void Overwrite(const std::string& path, const std::string& bytes) {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
  }
};

// What opening gives for each kind of file, mapped or copied, and what
// the file rewritten in place afterwards changes.
TEST_F(MappedFileTest, OpensRegularFilesOnly) {
  const std::string bytes(5000, 'x');
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0755));
  ASSERT_EQ(0, ::mkfifo(Path("fifo").c_str(), 0644));
  const struct {
    const char* name;
    bool private_copy;
    MappedFile::Opened opened;
    size_t size;
  } cases[] = {
      {"t.bin", false, MappedFile::Opened::kOpen, bytes.size()},
      {"t.bin", true, MappedFile::Opened::kOpen, bytes.size()},
      {"empty.bin", false, MappedFile::Opened::kOpen, 0},
      {"empty.bin", true, MappedFile::Opened::kOpen, 0},
      {"dir", false, MappedFile::Opened::kNotRegular, 0},
      {"fifo", false, MappedFile::Opened::kNotRegular, 0},
      {"missing", false, MappedFile::Opened::kNotRegular, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.private_copy ? " copied" : ""));
    Dated("t.bin", bytes);
    Dated("empty.bin", "");
    MappedFile file;
    ASSERT_EQ(c.opened, file.Open(Path(c.name), c.private_copy));
    EXPECT_EQ(c.size, file.size());
    EXPECT_EQ(c.private_copy && c.opened == MappedFile::Opened::kOpen,
              file.copied());
    if (c.size > 0) {
      EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(file.data()),
                                   file.size()));
    }
    EXPECT_TRUE(file.Unchanged());
    if (c.size == 0) continue;
    // Rewritten in place: the mapping sees it, the copy keeps its bytes.
    Overwrite(Path(c.name), std::string(bytes.size(), 'y'));
    EXPECT_EQ(c.private_copy, file.Unchanged());
    EXPECT_EQ(c.private_copy ? "x" : "y", Middle(file));
  }
}

// A mapped file cut short by someone else reads as zeros, marked cut,
// instead of killing the process; a private copy is never cut.
TEST_F(MappedFileTest, FileCutShortUnderTheMapping) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "SIGBUS under ThreadSanitizer";
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  GTEST_SKIP() << "SIGBUS under ThreadSanitizer";
#endif
#endif
  const std::string bytes(280000, 'x');  // many pages
  for (bool private_copy : {false, true}) {
    SCOPED_TRACE(private_copy);
    MappedFile file;
    ASSERT_EQ(MappedFile::Opened::kOpen,
              file.Open(MakeFile("t.bin", bytes), private_copy));
    EXPECT_EQ("x", Middle(file));
    ASSERT_EQ(0, ::truncate(Path("t.bin").c_str(), 0));
    EXPECT_EQ(private_copy ? "x" : "-", Middle(file));
    EXPECT_EQ(private_copy, file.Unchanged());
    EXPECT_EQ(!private_copy, file.cut());
  }
}

// The guard in a child process for each case: it serves any number of
// mappings, hands a SIGBUS that is not its own to the handler before it or
// to the default (which ends the process), and a file opened after another
// handler took its place is still safe to cut short.
TEST_F(MappedFileTest, GuardServesEveryMappingAndPassesOnForeignSignals) {
  const std::string bytes(280000, 'x');  // many pages
  // Opens `name` (a copy of the bytes).
  struct File {
    std::unique_ptr<MappedFile> file{new MappedFile};
    std::string path;
  };
  const auto open = [&](const std::string& name) {
    File f;
    f.path = MakeFile(name, bytes);
    if (f.file->Open(f.path, false) != MappedFile::Opened::kOpen) _exit(20);
    return f;
  };
  const auto cut_and_read = [&](File& f) {
    if (::truncate(f.path.c_str(), 0) != 0) _exit(21);
    return Middle(*f.file);
  };
  static volatile sig_atomic_t handled = 0;
  struct sigaction mine;
  std::memset(&mine, 0, sizeof(mine));
  mine.sa_handler = [](int) { handled = handled + 1; };
  sigemptyset(&mine.sa_mask);
  struct {
    const char* what;
    std::function<int()> child;  // its exit status
    int status;                  // 128 + N: killed by signal N
  } cases[] = {
      {"a hundred files, each cut short",
       [&] {
         std::vector<File> files;
         for (int i = 0; i < 100; ++i) {
           files.push_back(open("t" + std::to_string(i) + ".bin"));
         }
         for (File& f : files) {
           if (cut_and_read(f) != "-") return 1;
         }
         return 0;
       },
       0},
      {"kill -BUS ends the process as by default",
       [&] {
         // No handler before the guard (a sanitizer has one of its own).
         ::signal(SIGBUS, SIG_DFL);
         File f = open("t.bin");
         ::kill(::getpid(), SIGBUS);
         return 0;
       },
       128 + SIGBUS},
      {"kill -BUS goes to the handler from before",
       [&] {
         ::sigaction(SIGBUS, &mine, nullptr);
         File f = open("t.bin");
         ::kill(::getpid(), SIGBUS);
         ::kill(::getpid(), SIGBUS);
         // Cut short: the mapping's guard still serves (or, with a guard
         // from an earlier test of this process, the file was read).
         const std::string byte = Middle(*f.file);
         const std::string cut = cut_and_read(f);
         return handled == 2 && (cut == "-" || cut == byte) ? 0 : 1;
       },
       0},
      {"a handler installed later: a file opened then is still safe",
       [&] {
         File before = open("t.bin");
         ::sigaction(SIGBUS, &mine, nullptr);
         File after = open("u.bin");
         const std::string byte = Middle(*after.file);
         return cut_and_read(after) == byte && handled == 0 ? 0 : 1;
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(c.child());
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_EQ(c.status, WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                            : WEXITSTATUS(status));
  }
}

}  // namespace
