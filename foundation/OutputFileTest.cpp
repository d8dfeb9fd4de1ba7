#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "foundation/OutputFile.h"
#include "foundation/TestUtil.h"

namespace urdulex {
namespace test {
namespace {

class OutputFileTest : public TempDirTest {
 protected:
  // Names in the scratch folder that look like temporary files.
  int Leftovers() const {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      n += e.path().filename().string().find(".urdulex-") != std::string::npos;
    }
    return n;
  }

  static unsigned Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
  }

  // Writes `bytes` through an OutputFile begun on `target`.
  static bool Replace(const std::string& target, const std::string& bytes,
                      std::string* error) {
    OutputFile out;
    if (!out.Begin(target, error)) return false;
    const int fd = ::open(out.path().c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 ||
        ::write(fd, bytes.data(), bytes.size()) !=
            static_cast<ssize_t>(bytes.size()) ||
        ::close(fd) != 0) {
      return false;
    }
    return out.Commit(error);
  }
};

TEST_F(OutputFileTest, ReplacesEveryKindOfTarget) {
  const mode_t mask = ::umask(022);
  MakeFile("old", "old bytes");
  ::chmod(Path("old").c_str(), 0640);
  MakeFile("pointed", "old bytes");
  ::symlink("pointed", Path("link").c_str());
  ::symlink("sub/made", Path("dangling").c_str());
  ::mkdir(Path("sub").c_str(), 0755);
  ::mkdir(Path("dir").c_str(), 0755);
  struct Case {
    const char* target;
    const char* error;    // empty when it works
    const char* written;  // the file that must hold the new bytes
    unsigned mode;
  } cases[] = {
      {"new", "", "new", 0644},
      {"old", "", "old", 0640},
      {"link", "", "pointed", 0644},
      {"dangling", "", "sub/made", 0644},
      {"dir", "Is a directory", "", 0},
      {"missing/x", "No such file or directory", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::string error;
    EXPECT_EQ(*c.error == '\0', Replace(Path(c.target), "new", &error));
    EXPECT_EQ(c.error, error);
    if (*c.written != '\0') {
      EXPECT_EQ("new", Contents(Path(c.written)));
      EXPECT_EQ(c.mode, Mode(Path(c.written)));
    }
    EXPECT_EQ(0, Leftovers());
  }
  struct stat st;
  ASSERT_EQ(0, ::lstat(Path("link").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  // A device is written directly.
  OutputFile null_out;
  std::string error;
  ASSERT_TRUE(null_out.Begin("/dev/null", &error));
  EXPECT_TRUE(null_out.direct());
  EXPECT_EQ("/dev/null", null_out.path());
  EXPECT_TRUE(null_out.Commit(&error));
  ::umask(mask);
}

TEST_F(OutputFileTest, FailureLeavesTheTargetAndRemovesOnlyItsOwnFile) {
  MakeFile("out", "old");
  std::string error;
  {
    OutputFile out;
    ASSERT_TRUE(out.Begin(Path("out"), &error));
    EXPECT_EQ(dir_ + "/.out.urdulex-", out.path().substr(0, dir_.size() + 14));
    MakeFile(out.path().substr(dir_.size() + 1), "partial");
    EXPECT_EQ(1, Leftovers());
  }  // abandoned
  EXPECT_EQ(0, Leftovers());
  EXPECT_EQ("old", Contents(Path("out")));
  // A file that took the temporary name meanwhile is someone else's.
  OutputFile out;
  ASSERT_TRUE(out.Begin(Path("out"), &error));
  const std::string temp = out.path();
  ASSERT_EQ(0, ::unlink(temp.c_str()));
  MakeFile(temp.substr(dir_.size() + 1), "theirs");
  EXPECT_FALSE(out.Commit(&error));
  EXPECT_EQ("theirs", Contents(temp));
  EXPECT_EQ("old", Contents(Path("out")));
}

TEST_F(OutputFileTest, SignalRemovesTheTemporaryFile) {
  const struct {
    int signal;
    const char* line;
  } cases[] = {
      {SIGTERM, "prog: interrupted by SIGTERM; output left as it was\n"},
      {SIGINT, "prog: interrupted by SIGINT; output left as it was\n"},
      {SIGPIPE, ""},  // as silent as ever
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    MakeFile("out", "old");
    MakeFile("err", "");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(::open(Path("err").c_str(), O_WRONLY), 2);
      OutputFile::HandleSignals("prog");
      OutputFile out;
      std::string error;
      if (out.Begin(Path("out"), &error)) {
        const int fd = ::open(out.path().c_str(), O_WRONLY);
        (void)!::write(fd, "part", 4);
        ::raise(c.signal);
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(c.signal, WTERMSIG(status));
    EXPECT_EQ(c.line, Contents(Path("err")));
    EXPECT_EQ("old", Contents(Path("out")));
    EXPECT_EQ(0, Leftovers());
  }
}

TEST_F(OutputFileTest, OutputsThatAreInputs) {
  MakeFile("in", "x");
  MakeFile("other", "x");
  ::link(Path("in").c_str(), Path("hard").c_str());
  ::symlink("in", Path("soft").c_str());
  ::mkdir(Path("sub").c_str(), 0755);
  FileIds ids;
  ids.AddInput(Path("in"), "input");
  ids.AddInput(Path("missing"), "table");  // not read: no input
  struct {
    std::string output;
    const char* clash;  // what it clashes with, or ""
  } cases[] = {
      {Path("in"), "input"},
      {Path("hard"), "input"},
      {Path("soft"), "input"},
      {Path("other"), ""},
      {"/dev/null", ""},
      {Path("missing"), ""},
      {Path("sub/../missing"), "report"},  // the same new file again
      {Path("sub/new"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    std::string what, name;
    EXPECT_EQ(*c.clash != '\0', ids.Clash(c.output, "report", &what, &name));
    EXPECT_EQ(c.clash, what);
  }
  const int fd = ::open(Path("hard").c_str(), O_RDONLY);
  std::string what, name;
  EXPECT_TRUE(ids.ClashOpen(fd, "standard output", &what, &name));
  EXPECT_EQ(Path("in"), name);
  ::close(fd);
}

TEST_F(OutputFileTest, InputWatchSeesEveryChange) {
  // Each change is made on a later tick of the file clock than the file's
  // making, so that the times it sets differ.
  const std::string tick =
      "while [ \"$(stat -c %z in)\" = \"$(touch tick && stat -c %z tick)\" "
      "]; do :; done && ";
  struct {
    const char* what;
    std::string change;  // shell command run on "in" while "read"
    bool unchanged;      // by name, and by descriptor and name
    bool held;           // by descriptor alone: the file opened
  } cases[] = {
      {"untouched", "true", true, true},
      {"grown", "echo more >> in", false, false},
      {"shrunk", ": > in", false, false},
      {"truncated in place", "truncate -s 3 in", false, false},
      {"rewritten", "echo HELLO > in && touch -d 2001-01-01 in", false, false},
      {"same size, time set back",
       "touch -r in old && printf HELLO | dd of=in conv=notrunc status=none "
       "&& touch -r old in",
       false, false},
      {"touched", "touch in", false, false},
      {"replaced by rename", "echo hello > new && mv new in", false, true},
      {"hard link added", "ln in link", true, true},
      {"removed", "rm in", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(Path("link").c_str());
    MakeFile("in", "hello\n");
    const int fd = ::open(Path("in").c_str(), O_RDONLY);
    InputWatch by_name, by_fd, held;
    by_name.Start(Path("in"));
    by_fd.Start(Path("in"), fd);
    held.Start("", fd);
    EXPECT_EQ(6, by_fd.size());
    ASSERT_EQ(0, Run(tick + c.change));
    EXPECT_EQ(c.unchanged, by_name.Unchanged());
    EXPECT_EQ(c.unchanged, by_fd.Unchanged());
    EXPECT_EQ(c.held, held.Unchanged());
    ::close(fd);
  }
  InputWatch pipe;
  pipe.Start("/dev/null");
  EXPECT_EQ(-1, pipe.size());
  EXPECT_TRUE(pipe.Unchanged());
}

}  // namespace
}  // namespace test
}  // namespace urdulex
