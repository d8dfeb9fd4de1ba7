// What every program does to its files when things go wrong: an output is
// replaced whole or not at all however the program is stopped, and no
// output may be one of the run's inputs.

#include <gtest/gtest.h>
#include <signal.h>
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
  pid_t Start(const std::string& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::string full = "cd '" + dir_ + "' && exec " + command +
                               " </dev/null >/dev/null 2>/dev/null";
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
    for (int signal : {SIGTERM, SIGKILL, SIGTERM}) {
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
      if (signal == SIGTERM) {
        EXPECT_TRUE(left.empty()) << left[0];
      }
      for (const std::string& name : left) std::remove(Path(name).c_str());
    }
  }
  EXPECT_GT(stopped, 0);  // the signals came while programs ran
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
