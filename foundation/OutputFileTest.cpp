#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

  // The name of the one temporary file in the scratch folder.
  std::string TempName() const {
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name.find(".urdulex-") != std::string::npos) return name;
    }
    return "";
  }

  static unsigned Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
  }

  // Writes `bytes` through an OutputFile begun on `target`.
  // `*writing` is the mode of the file while it is written.
  static bool Replace(const std::string& target, const std::string& bytes,
                      std::string* error, unsigned* writing = nullptr) {
    OutputFile out;
    const urdulex::internal::Status begun = out.Begin(target);
    if (!begun.ok()) {
      *error = begun.message();
      return false;
    }
    struct stat st;
    if (writing != nullptr && ::fstat(out.fd(), &st) == 0) {
      *writing = st.st_mode & 0777;
    }
    if (::write(out.fd(), bytes.data(), bytes.size()) !=
        static_cast<ssize_t>(bytes.size())) {
      *error = std::strerror(errno);
      return false;
    }
    const urdulex::internal::Status committed = out.Commit();
    if (!committed.ok()) *error = committed.message();
    return committed.ok();
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
  MakeFile("secret", "old bytes");
  ::chmod(Path("secret").c_str(), 0600);
  struct Case {
    const char* target;
    mode_t umask;
    const char* error;    // empty when it works
    const char* written;  // the file that must hold the new bytes
    unsigned mode;
  } cases[] = {
      {"new", 022, "", "new", 0644},
      {"new private", 077, "", "new private", 0600},
      {"new shared", 0, "", "new shared", 0666},
      {"old", 022, "", "old", 0640},
      {"secret", 0, "", "secret", 0600},
      {"link", 022, "", "pointed", 0644},
      {"dangling", 022, "", "sub/made", 0644},
      {"dir", 022, "Is a directory", "", 0},
      {"missing/x", 022, "No such file or directory", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ::umask(c.umask);
    std::string error;
    unsigned writing = 0;
    EXPECT_EQ(*c.error == '\0',
              Replace(Path(c.target), "new", &error, &writing));
    EXPECT_EQ(c.error, error);
    if (*c.written != '\0') {
      EXPECT_EQ("new", Contents(Path(c.written)));
      EXPECT_EQ(c.mode, Mode(Path(c.written)));
      EXPECT_EQ(0600u, writing);  // nobody else's while it is written
    }
    EXPECT_EQ(0, Leftovers());
  }
  struct stat st;
  ASSERT_EQ(0, ::lstat(Path("link").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  // A device is written directly.
  OutputFile null_out;
  ASSERT_TRUE(null_out.Begin("/dev/null").ok());
  EXPECT_TRUE(null_out.direct());
  EXPECT_LE(0, null_out.fd());
  EXPECT_TRUE(null_out.Commit().ok());
  ::umask(mask);
}

// A descriptor's name is written through the descriptor: the file it holds
// is neither emptied nor replaced, its offset and append mode are kept,
// and a pipe or a deleted file works as well.
TEST_F(OutputFileTest, DescriptorNamesAreWrittenThroughTheDescriptor) {
  const std::string pid = std::to_string(::getpid());
  ::symlink("/dev/fd", Path("fds").c_str());
  struct Case {
    const char* what;
    int flags;         // how the descriptor holds "log" (holding "old\n")
    bool commit;       // Commit, else Abandon
    const char* name;  // N stands for the descriptor's number
    const char* error;
    const char* log;  // "log" afterwards, through the descriptor
  } cases[] = {
      {"append", O_WRONLY | O_APPEND, true, "/dev/fd/N", "", "old\nnew"},
      {"append abandoned", O_WRONLY | O_APPEND, false, "/dev/fd/N", "",
       "old\nnew"},
      {"offset kept", O_WRONLY, true, "/proc/self/fd/N", "", "oldnew"},
      {"own pid", O_RDWR | O_APPEND, true, "/proc/PID/fd/N", "", "old\nnew"},
      {"through a link", O_WRONLY | O_APPEND, true, "fds/N", "", "old\nnew"},
      {"deleted", O_WRONLY | O_APPEND, true, "/dev/fd/N", "", "old\nnew"},
      {"read only", O_RDONLY, true, "/dev/fd/N", "Bad file descriptor",
       "old\n"},
      {"closed", -1, true, "/dev/fd/N", "Bad file descriptor", ""},
      {"pipe", -2, true, "/dev/fd/N", "", "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakeFile("log", "old\n");
    struct stat before;
    ASSERT_EQ(0, ::stat(Path("log").c_str(), &before));
    int fd = -1, pipe_fds[2] = {-1, -1};
    if (c.flags == -2) {
      ASSERT_EQ(0, ::pipe(pipe_fds));
      fd = pipe_fds[1];
    } else if (c.flags == -1) {
      fd = ::open("/dev/null", O_RDONLY);
      ::close(fd);  // a number that is free
    } else {
      fd = ::open(Path("log").c_str(), c.flags);
      ASSERT_LE(0, fd);
      if (std::strcmp(c.what, "offset kept") == 0) ::lseek(fd, 3, SEEK_SET);
      if (std::strcmp(c.what, "deleted") == 0) ::unlink(Path("log").c_str());
    }
    std::string name = c.name;
    name.replace(name.find('N'), 1, std::to_string(fd));
    if (name.find("PID") != std::string::npos) {
      name.replace(name.find("PID"), 3, pid);
    }
    if (name[0] != '/') name = Path(name);
    OutputFile out;
    const urdulex::internal::Status begun = out.Begin(name);
    EXPECT_EQ(c.error, begun.message());
    if (begun.ok()) {
      EXPECT_TRUE(out.direct());
      ASSERT_EQ(3, ::write(out.fd(), "new", 3));
      if (c.commit) {
        const urdulex::internal::Status committed = out.Commit();
        EXPECT_TRUE(committed.ok()) << committed.message();
      } else {
        out.Abandon();
      }
    }
    std::string log;
    if (c.flags == -2) {
      ::close(pipe_fds[1]);
      char buffer[16];
      const ssize_t n = ::read(pipe_fds[0], buffer, sizeof(buffer));
      log.assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
      ::close(pipe_fds[0]);
    } else if (c.flags >= 0) {
      const int reader =
          ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
      char buffer[16];
      const ssize_t n = ::pread(reader, buffer, sizeof(buffer), 0);
      log.assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
      ::close(reader);
      ::close(fd);
    }
    EXPECT_EQ(c.log, log);
    struct stat after;
    if (::stat(Path("log").c_str(), &after) == 0) {
      EXPECT_EQ(before.st_ino, after.st_ino);  // never replaced
    }
    EXPECT_EQ(0, Leftovers());
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string file = e.path().filename().string();
      EXPECT_TRUE(file == "log" || file == "fds") << file;
    }
  }
}

// A link in a sticky folder anyone may write is followed only when it is
// the follower's or the folder owner's, as the kernel's protected_symlinks
// has it.
TEST_F(OutputFileTest, LinksInStickyFoldersAsProtectedSymlinksHasIt) {
  const struct {
    mode_t folder_mode;
    uid_t folder_owner, link_owner, euid;
    bool follow;
  } cases[] = {
      {01777, 0, 1000, 0, false},  // another user's link in /tmp, for root
      {01777, 0, 1000, 2000, false},
      {01777, 0, 0, 0, true},        // the follower's own
      {01777, 0, 1000, 1000, true},  // the follower's own
      {01777, 1000, 1000, 0, true},  // the folder owner's
      {01777, 1000, 2000, 1000, false},
      {00777, 0, 1000, 0, true},  // not sticky
      {01775, 0, 1000, 0, true},  // not writable by anyone
      {01733, 0, 1000, 2000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folder_mode) + " " +
                 std::to_string(c.folder_owner) + " " +
                 std::to_string(c.link_owner) + " " + std::to_string(c.euid));
    struct stat link, folder;
    std::memset(&link, 0, sizeof(link));
    std::memset(&folder, 0, sizeof(folder));
    link.st_mode = S_IFLNK | 0777;
    link.st_uid = c.link_owner;
    folder.st_mode = S_IFDIR | c.folder_mode;
    folder.st_uid = c.folder_owner;
    EXPECT_EQ(c.follow, MayFollowLink(link, folder, c.euid));
  }
}

TEST_F(OutputFileTest, FailureLeavesTheTargetAndRemovesOnlyItsOwnFile) {
  MakeFile("out", "old");
  {
    OutputFile out;
    ASSERT_TRUE(out.Begin(Path("out")).ok());
    EXPECT_EQ(".out.urdulex-", TempName().substr(0, 13));
    ASSERT_EQ(7, ::write(out.fd(), "partial", 7));
    EXPECT_EQ(1, Leftovers());
  }  // abandoned
  EXPECT_EQ(0, Leftovers());
  EXPECT_EQ("old", Contents(Path("out")));
  // A file that took the temporary name meanwhile is someone else's.
  OutputFile out;
  ASSERT_TRUE(out.Begin(Path("out")).ok());
  const std::string temp = TempName();
  ASSERT_EQ(0, ::unlink(Path(temp).c_str()));
  MakeFile(temp, "theirs");
  EXPECT_FALSE(out.Commit().ok());
  EXPECT_EQ("theirs", Contents(Path(temp)));
  EXPECT_EQ("old", Contents(Path("out")));
}

TEST_F(OutputFileTest, SignalRemovesTheTemporaryFile) {
  struct Case {
    int signal;
    std::string line;
  };
  std::vector<Case> cases = {
      {SIGTERM, "prog: interrupted by SIGTERM; output left as it was\n"},
      {SIGINT, "prog: interrupted by SIGINT; output left as it was\n"},
      {SIGHUP, "prog: interrupted by SIGHUP; output left as it was\n"},
      {SIGQUIT, "prog: interrupted by SIGQUIT; output left as it was\n"},
      {SIGUSR1, "prog: interrupted by SIGUSR1; output left as it was\n"},
      {SIGUSR2, "prog: interrupted by SIGUSR2; output left as it was\n"},
      {SIGALRM, "prog: interrupted by SIGALRM; output left as it was\n"},
      {SIGXCPU, "prog: interrupted by SIGXCPU; output left as it was\n"},
      {SIGXFSZ, "prog: interrupted by SIGXFSZ; output left as it was\n"},
      {SIGVTALRM, "prog: interrupted by SIGVTALRM; output left as it was\n"},
      {SIGPROF, "prog: interrupted by SIGPROF; output left as it was\n"},
      {SIGIO, "prog: interrupted by SIGIO; output left as it was\n"},
      {SIGSTKFLT, "prog: interrupted by SIGSTKFLT; output left as it was\n"},
      {SIGPWR, "prog: interrupted by SIGPWR; output left as it was\n"},
      {SIGRTMIN, "prog: interrupted by SIGRTMIN; output left as it was\n"},
      {SIGRTMIN + 3,
       "prog: interrupted by SIGRTMIN+3; output left as it was\n"},
      {SIGRTMAX - 2,
       "prog: interrupted by SIGRTMAX-2; output left as it was\n"},
      {SIGRTMAX, "prog: interrupted by SIGRTMAX; output left as it was\n"},
      {SIGPIPE, ""},  // as silent as ever
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signal);
    MakeFile("out", "old");
    MakeFile("err", "");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(::open(Path("err").c_str(), O_WRONLY), 2);
      // No core files of the signals that would dump one.
      struct rlimit none = {0, 0};
      ::setrlimit(RLIMIT_CORE, &none);
      OutputFile::HandleSignals("prog");
      // More outputs than one chunk of the handler's records holds, the
      // last on another thread.
      std::vector<std::unique_ptr<OutputFile>> outs;
      for (int i = 0; i < 20; ++i) {
        outs.emplace_back(new OutputFile);
        if (!outs.back()->Begin(Path(i == 19 ? "out" : "other")).ok()) {
          ::_exit(3);
        }
      }
      (void)!::write(outs.back()->fd(), "part", 4);
      std::thread([&] { ::raise(c.signal); }).join();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(c.signal, WTERMSIG(status));
    EXPECT_EQ(c.line, Contents(Path("err")));
    EXPECT_EQ("old", Contents(Path("out")));
    EXPECT_FALSE(Exists("other"));
    EXPECT_EQ(0, Leftovers());
  }
}

// A target that is a mount point cannot be renamed over (EBUSY): its
// bytes are then written in place, shorter ones than before included.
TEST_F(OutputFileTest, BusyTargetIsWrittenInPlace) {
  struct {
    const char* old_bytes;
    const char* new_bytes;
  } cases[] = {
      {"old bytes, longer than the new ones", "new"},
      {"old", "new bytes, longer than the old ones"},
      {"old", ""},
  };
  const auto busy = [](int, const char*, int, const char*) {
    errno = EBUSY;
    return -1;
  };
  OutputFile::SetRenameForTesting(busy);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.new_bytes);
    MakeFile("out", c.old_bytes);
    ::chmod(Path("out").c_str(), 0640);
    struct stat before, after;
    ASSERT_EQ(0, ::stat(Path("out").c_str(), &before));
    std::string error;
    EXPECT_TRUE(Replace(Path("out"), c.new_bytes, &error)) << error;
    EXPECT_EQ(c.new_bytes, Contents(Path("out")));
    ASSERT_EQ(0, ::stat(Path("out").c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(0640u, Mode(Path("out")));
    EXPECT_EQ(0, Leftovers());
  }
  OutputFile::SetRenameForTesting(nullptr);
  // A real bind mount, in a mount namespace of the child's own.
  MakeFile("target", "old target");
  MakeFile("bound", "old bound");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0) {
      // Unprivileged: a user namespace where this user is root.
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(77);
      const auto put = [](const char* file, const std::string& text) {
        const int fd = ::open(file, O_WRONLY);
        return fd >= 0 &&
               ::write(fd, text.data(), text.size()) ==
                   static_cast<ssize_t>(text.size()) &&
               ::close(fd) == 0;
      };
      put("/proc/self/setgroups", "deny");
      if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
          !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        ::_exit(77);
      }
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(Path("bound").c_str(), Path("target").c_str(), nullptr, MS_BIND,
                nullptr) != 0) {
      ::_exit(77);
    }
    std::string error;
    ::_exit(Replace(Path("target"), "new", &error) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no bind mount here";
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("new", Contents(Path("bound")));  // what was mounted there
  EXPECT_EQ("old target", Contents(Path("target")));
  EXPECT_EQ(0, Leftovers());
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
