// What every program does to its files when things go wrong: an output is
// replaced whole or not at all however the program is stopped, and no
// output may be one of the run's inputs.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/TestUtil.h"

namespace {

const std::string kData = URDULEX_SOURCE_DIR "/data";
const std::string kUrdu = std::string("'") + URDU_PATH + "'";
const std::string kDiacritizer = std::string("'") + DIACRITIZER_PATH + "'";
const std::string kCodemapper = std::string("'") + CODEMAPPER_PATH + "'";
const std::string kNormalize = std::string("'") + NORMALIZE_PATH + "'";

class OutputSafetyTest : public urdulex::test::TempDirTest {
 protected:
  // The data files of every program, and a text in both forms.
  void PutDataFiles(int copies) {
    std::string text, list;
    const std::string sample = Contents(kData + "/diacritizer/sample.txt");
    const std::string words = Contents(kData + "/diacritizer/words.txt");
    for (int i = 0; i < copies; ++i) text += sample;
    for (int i = 0; i < copies / 150 + 1; ++i) list += words;
    MakeFile("in.txt", text);
    MakeFile("list.txt", list);
    MakeFile("gold.txt", Contents(kData + "/urdu/gold.txt"));
    MakeFile("rules.txt", Contents(kData + "/codemapper/rules.txt"));
    MakeFile("config.ini", Contents(kData + "/normalization/config.ini"));
    MakeFile("nfc-urdu.txt", Contents(kData + "/normalization/nfc-urdu.txt"));
    MakeFile("mapping.txt", Contents(kData + "/uzt/test-mapping.txt"));
    ASSERT_EQ(
        0, Run("{ " + kUrdu + " table build list.txt -o t.lex && " + kUrdu +
               " table build list.txt -o wordformshashtable.lex && " + kUrdu +
               " strip --utf16 in.txt -o in.u16 && " + kUrdu +
               " uzt encode --mapping mapping.txt gold.txt -o in.uzt; }"))
        << stderr_;
  }

  // Every file in the scratch folder with its bytes.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      if (!e.is_symlink()) {
        files[e.path().filename().string()] = Contents(e.path().string());
      }
    }
    return files;
  }

  // Temporary files left in the scratch folder.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name.find(".urdulex-") != std::string::npos) left.push_back(name);
    }
    return left;
  }

  // Starts the shell `command` in the scratch folder as a process of its
  // own (the shell execs it, so the process is the program).
  // No core files of the signals that would dump one.
  pid_t Start(const std::string& command,
              const std::string& output = ">/dev/null") {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::string full = "cd '" + dir_ + "' && ulimit -c 0 && exec " +
                               command + " </dev/null " + output +
                               " 2>/dev/null";
      ::execl("/bin/sh", "sh", "-c", full.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }
};

TEST_F(OutputSafetyTest, StoppedProgramsLeaveTheOldOutputOrTheWholeNewOne) {
  PutDataFiles(2500);  // about 450 KB of text
  const std::string programs[] = {
      kDiacritizer + " in.u16 out",
      kCodemapper + " in.u16 out",
      kNormalize + " in.u16 out",
      kUrdu + " diacritize --table t.lex in.txt -o out",
      kUrdu + " normalize in.txt -o out",
      kUrdu + " strip in.txt -o out",
      kUrdu + " codes in.txt -o out",
      kUrdu + " table build list.txt -o out",
      kUrdu + " uzt encode --mapping mapping.txt in.txt -o out",
  };
  const std::string old_output = "the output of an earlier run\n";
  std::mt19937 random(std::random_device{}());
  int stopped = 0;  // runs the signal ended before they were done
  // Every signal that ends a program, in turn across the trials, with
  // SIGKILL between them.
  const int terminating[] = {
      SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1,  SIGUSR2,      SIGPIPE,
      SIGALRM, SIGTERM,   SIGXCPU, SIGXFSZ,  SIGVTALRM,    SIGPROF,
      SIGIO,   SIGSTKFLT, SIGPWR,  SIGRTMIN, SIGRTMIN + 1, SIGRTMAX};
  size_t turn = 0;
  const auto next = [&] {
    return terminating[turn++ % (sizeof(terminating) / sizeof(int))];
  };
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    MakeFile("out", old_output);
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(Start(program), &status, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string new_output = Contents(Path("out"));
    ASSERT_NE(old_output, new_output);
    for (int signal : {next(), SIGKILL, next()}) {
      MakeFile("out", old_output);
      const pid_t pid = Start(program);
      std::uniform_int_distribution<int64_t> moment(
          0,
          std::chrono::duration_cast<std::chrono::microseconds>(took).count());
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
      ::kill(pid, signal);
      ::waitpid(pid, &status, 0);
      stopped += WIFSIGNALED(status);
      const std::string now = Contents(Path("out"));
      EXPECT_TRUE(now == old_output || now == new_output)
          << "signal " << signal << ": " << now.size() << " bytes, not "
          << old_output.size() << " or " << new_output.size();
      const std::vector<std::string> left = Leftovers();
      if (signal != SIGKILL) {
        EXPECT_TRUE(left.empty()) << left[0];
      }
      for (const std::string& name : left) std::remove(Path(name).c_str());
    }
  }
  EXPECT_GT(stopped, 0);  // the signals came while programs ran
}

// A program stopped while it writes through a descriptor (`-o /dev/fd/1
// >> log`) leaves the file the descriptor held: never emptied, replaced
// or removed, whatever was appended before the end.
TEST_F(OutputSafetyTest, StoppedProgramsKeepWhatADescriptorHeld) {
  PutDataFiles(2500);
  const std::string programs[] = {
      kUrdu + " strip in.txt -o /dev/fd/1",
      kUrdu + " strip in.txt -o /dev/stdout",
      kDiacritizer + " in.u16 /dev/fd/1",
      kCodemapper + " in.u16 /dev/stdout",
  };
  const std::string old_log = "an earlier line\n";
  std::mt19937 random(std::random_device{}());
  const int signals[] = {SIGTERM, SIGKILL, SIGINT, SIGUSR1};
  int turn = 0;
  for (const std::string& program : programs) {
    for (int trial = 0; trial < 2; ++trial) {
      const int signal = signals[turn++ % 4];
      SCOPED_TRACE(program + ", signal " + std::to_string(signal));
      MakeFile("log", old_log);
      struct stat before, after;
      ASSERT_EQ(0, ::stat(Path("log").c_str(), &before));
      const pid_t pid = Start(program, ">>log");
      std::this_thread::sleep_for(std::chrono::microseconds(
          std::uniform_int_distribution<int>(0, 50000)(random)));
      ::kill(pid, signal);
      int status = 0;
      ::waitpid(pid, &status, 0);
      ASSERT_EQ(0, ::stat(Path("log").c_str(), &after));
      EXPECT_EQ(before.st_ino, after.st_ino);
      EXPECT_EQ(old_log, Contents(Path("log")).substr(0, old_log.size()));
      EXPECT_TRUE(Leftovers().empty());
    }
  }
}

// An output named by a descriptor (`-o /dev/fd/1 >> log`) is written
// through the descriptor the shell opened: an append stays an append and
// the log is never replaced, also when the run fails; a pipe from process
// substitution works.
TEST_F(OutputSafetyTest, DescriptorOutputsAreWrittenThroughTheDescriptor) {
  PutDataFiles(1);
  ASSERT_EQ(0, Run(kUrdu + " strip gold.txt -o stripped.txt && " +
                   kDiacritizer + " in.u16 diacritized.u16"))
      << stderr_;
  const std::string stripped = Contents(Path("stripped.txt"));
  const std::string diacritized = Contents(Path("diacritized.u16"));
  const std::string old_log = "an earlier line\n";
  struct {
    std::string command;  // run with "log" holding old_log
    int status;
    std::string log;  // "log" afterwards
  } cases[] = {
      {kUrdu + " strip -o /dev/fd/1 gold.txt >> log", 0, old_log + stripped},
      {kUrdu + " strip -o /dev/stdout gold.txt >> log", 0, old_log + stripped},
      {kUrdu + " strip -o /proc/self/fd/3 gold.txt 3>> log", 0,
       old_log + stripped},
      {kUrdu + " strip -o /dev/fd/1 missing.txt >> log", 1, old_log},
      {kUrdu + " strip -o /dev/stdout gold.txt > log", 0, stripped},
      {kUrdu + " strip -o /dev/fd/1 gold.txt 1<> log", 0, stripped},
      {kDiacritizer + " in.u16 /dev/fd/1 >> log", 0, old_log + diacritized},
      {kDiacritizer + " in.u16 /dev/stdout > log", 0, diacritized},
      {"bash -c '" + kUrdu + " strip gold.txt -o >(cat >> log); wait $!'", 0,
       old_log + stripped},
      {"bash -c '" + kDiacritizer + " in.u16 >(cat >> log); wait $!'", 0,
       old_log + diacritized},
      {kUrdu + " strip -o /dev/fd/3 gold.txt 3< log", 1, old_log},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    MakeFile("log", old_log);
    struct stat before, after;
    ASSERT_EQ(0, ::stat(Path("log").c_str(), &before));
    EXPECT_EQ(c.status, Run(c.command)) << stderr_;
    EXPECT_EQ(c.status == 0 ? 0 : 1,
              std::count(stderr_.begin(), stderr_.end(), '\n'))
        << stderr_;
    EXPECT_EQ(c.log, Contents(Path("log")));
    ASSERT_EQ(0, ::stat(Path("log").c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_TRUE(Leftovers().empty());
  }
}

// Another user's link in a sticky folder anyone may write does not lead
// root's output to a file of root's, whatever fs.protected_symlinks says;
// root's own link, or the folder owner's, is followed.
TEST_F(OutputSafetyTest, LinksInStickyFoldersAreFollowedAsTheSystemWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files of others";
  PutDataFiles(1);
  ASSERT_EQ(0, Run(kUrdu + " strip gold.txt -o stripped.txt")) << stderr_;
  const std::string stripped = Contents(Path("stripped.txt"));
  const uid_t nobody = 65534;
  struct {
    uid_t folder_owner, link_owner;
    bool followed;
  } cases[] = {
      {0, nobody, false},
      {0, 0, true},
      {nobody, nobody, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folder_owner) + " " +
                 std::to_string(c.link_owner));
    ASSERT_EQ(0, Run("rm -rf sticky && mkdir sticky && chmod 1777 sticky"));
    ASSERT_EQ(0, ::chown(Path("sticky").c_str(), c.folder_owner, 0));
    MakeFile("precious.txt", "precious\n");
    ASSERT_EQ(0, ::symlink("../precious.txt", Path("sticky/report").c_str()));
    ASSERT_EQ(0, ::lchown(Path("sticky/report").c_str(), c.link_owner, 0));
    if (c.followed) {
      EXPECT_EQ(0, Run(kUrdu + " strip gold.txt -o sticky/report")) << stderr_;
      EXPECT_EQ(stripped, Contents(Path("precious.txt")));
    } else {
      EXPECT_EQ(1, Run(kUrdu + " strip gold.txt -o sticky/report"));
      EXPECT_EQ("urdu: cannot create sticky/report: Permission denied\n",
                stderr_);
      EXPECT_EQ("precious\n", Contents(Path("precious.txt")));
    }
    struct stat st;
    ASSERT_EQ(0, ::lstat(Path("sticky/report").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
}

// A program started with a standard descriptor closed runs on /dev/null
// there: no file of its takes the number, so messages and progress lines
// never land in an output, and an output named with -o is no clash with
// standard output.
TEST_F(OutputSafetyTest, ClosedStandardDescriptors) {
  PutDataFiles(1);
  ASSERT_EQ(0, Run(kUrdu +
                   " strip gold.txt -o once && cat gold.txt gold.txt "
                   "| " +
                   kUrdu + " strip -o twice && " + kDiacritizer +
                   " in.u16 diacritized.u16"))
      << stderr_;
  struct {
    std::string command;
    int status;
    const char* output;    // the file written, or ""
    const char* expected;  // the file it must equal
  } cases[] = {
      // Reads on for more than a second, so that progress lines come.
      {"{ cat gold.txt; sleep 1.5; cat gold.txt; } | " + kUrdu +
           " strip --progress -o out 2>&-",
       0, "out", "twice"},
      {kUrdu + " strip gold.txt -o out >&-", 0, "out", "once"},
      {kUrdu + " strip gold.txt -o out <&- >&-", 0, "out", "once"},
      {kDiacritizer + " in.u16 out >&-", 0, "out", "diacritized.u16"},
      {kDiacritizer + " in.u16 out 2>&-", 0, "out", "diacritized.u16"},
      // Standard output closed is no place for the output: refused
      // before anything is read or written.
      {kUrdu + " strip gold.txt >&-", 1, "", ""},
      {kUrdu + " diacritize --table t.lex --report out gold.txt >&-", 1, "",
       ""},
      {kUrdu + " table dump t.lex >&-", 1, "", ""},
      {kUrdu + " table build list.txt -o out --skipped - >&-", 1, "", ""},
      {kUrdu + " uzt decode --mapping mapping.txt in.uzt >&-", 1, "", ""},
      {kUrdu + " help >&-", 1, "", ""},
  };
  const auto before = Files();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::remove(Path("out").c_str());
    // In a group of its own, so that the group's standard error, not the
    // program's, goes to stderr_.
    EXPECT_EQ(c.status, Run("{ " + c.command + "; }")) << stderr_;
    if (*c.output != '\0') {
      EXPECT_EQ(Contents(Path(c.expected)), Contents(Path(c.output)));
    }
    if (c.status == 1) {
      EXPECT_EQ("urdu: standard output is closed\n", stderr_);
      EXPECT_TRUE(before == Files());
    }
    EXPECT_TRUE(Leftovers().empty());
  }
}

// Every command refuses, before writing anything, an output that is one of
// its inputs: under its own name, a hard link, a symbolic link, or as
// standard output appended to it.
TEST_F(OutputSafetyTest, NoOutputIsAnInput) {
  PutDataFiles(1);
  MakeFile("x.tsv", "an earlier report\n");
  struct {
    std::string command;  // OUT stands for the output
    std::vector<const char*> inputs;
  } commands[] = {
      {kUrdu + " strip in.txt -o OUT", {"in.txt"}},
      {kUrdu + " diacritize --table t.lex in.txt -o OUT", {"in.txt", "t.lex"}},
      {kUrdu + " diacritize --table t.lex --report OUT in.txt -o x",
       {"in.txt", "t.lex"}},
      {kUrdu + " evaluate --gold gold.txt --table t.lex in.txt -o OUT",
       {"in.txt", "gold.txt", "t.lex"}},
      {kUrdu + " normalize --config config.ini in.txt -o OUT",
       {"in.txt", "config.ini", "nfc-urdu.txt"}},
      {kUrdu + " codes --table rules.txt in.txt -o OUT",
       {"in.txt", "rules.txt"}},
      {kUrdu + " table build list.txt -o OUT", {"list.txt"}},
      {kUrdu + " table dump t.lex -o OUT", {"t.lex"}},
      {kUrdu + " table check t.lex -o OUT", {"t.lex"}},
      {kUrdu + " uzt encode --mapping mapping.txt in.txt -o OUT",
       {"in.txt", "mapping.txt"}},
      {kUrdu + " uzt decode --mapping mapping.txt in.uzt -o OUT",
       {"in.uzt", "mapping.txt"}},
      {kDiacritizer + " in.u16 OUT", {"in.u16", "wordformshashtable.lex"}},
      {kCodemapper + " in.u16 OUT", {"in.u16", "rules.txt"}},
      {kNormalize + " in.u16 OUT", {"in.u16", "config.ini", "nfc-urdu.txt"}},
  };
  auto before = Files();
  const auto expect_refused = [&](const std::string& command) {
    SCOPED_TRACE(command);
    EXPECT_EQ(1, Run(command));
    EXPECT_TRUE(stderr_.find("are the same file: ") != std::string::npos ||
                stderr_.find(": input file is output file\n") !=
                    std::string::npos)
        << stderr_;
    EXPECT_EQ(1, std::count(stderr_.begin(), stderr_.end(), '\n')) << stderr_;
    EXPECT_TRUE(before == Files());
    EXPECT_TRUE(Leftovers().empty());
  };
  // Each input of each command is named as the output in one of four ways,
  // in turn: its own name, a hard link, a symbolic link, or standard
  // output appended to it (opened by the shell already, so that only the
  // program can refuse).
  int turn = 0;
  for (const auto& c : commands) {
    const size_t at = c.command.find("OUT");
    const bool urdu = c.command.compare(0, kUrdu.size(), kUrdu) == 0;
    for (const char* input : c.inputs) {
      ASSERT_EQ(0, ::link(Path(input).c_str(), Path("hard").c_str()));
      ASSERT_EQ(0, ::symlink(input, Path("soft").c_str()));
      before = Files();
      std::string command = c.command;
      switch (turn++ % 4) {
        case 0:
          command.replace(at, 3, input);
          break;
        case 1:
          command.replace(at, 3, "hard");
          break;
        case 2:
          command.replace(at, 3, "soft");
          break;
        default:
          if (urdu && command.compare(at - 3, 6, "-o OUT") == 0) {
            command.erase(at - 4, 7);
          } else {
            command.replace(at, 3, "/dev/stdout");
          }
          command += std::string(" >> ") + input;
      }
      expect_refused(command);
      std::remove(Path("hard").c_str());
      std::remove(Path("soft").c_str());
    }
  }
  before = Files();
  // The report and the output, and standard input that is the output.
  for (const std::string& command :
       {kUrdu + " diacritize --table t.lex --report new -o new in.txt",
        kUrdu + " diacritize --table t.lex --report new -o ./new in.txt",
        kUrdu + " diacritize --table t.lex --report x.tsv in.txt >> x.tsv",
        kUrdu + " diacritize --table t.lex --report - in.txt >> x.tsv",
        kUrdu + " strip < in.txt >> in.txt"}) {
    expect_refused(command);
  }
}

}  // namespace
