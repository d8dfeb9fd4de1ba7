// End-to-end tests: run the built program in a scratch directory and compare
// the output bytes, the exit status and the error line.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "foundation/TestUtil.h"

namespace {

using urdulex::test::MemoryCap;
using urdulex::test::TempDirTest;

std::string Utf16(const std::wstring& text, bool mark = true) {
  return urdulex::test::Utf16File(text, mark);
}

class CodemapperProgramTest : public TempDirTest {
 protected:
  struct RunResult {
    int status;
    std::string err;
  };

  void Put(const std::string& name, const std::string& bytes) {
    MakeFile(name, bytes);
  }

  // Runs the program in the scratch directory with `args` (shell words),
  // or the shell `command` instead when one is given.
  RunResult Exec(const std::string& args, const std::string& command = "") {
    int status =
        Run(command.empty() ? "'" CODEMAPPER_PATH "' " + args : command);
    return RunResult{status, stderr_};
  }

  std::string Out() { return Contents(Path("out.txt")); }

  void PutDefaultTable() {
    Put("rules.txt", Utf16(L"\x0627:12\r\n\x0628:13\r\n\x06BE:5\r\n"));
  }
};

// Each run replaces an older, longer output file.
TEST_F(CodemapperProgramTest, MapsEveryLine) {
  PutDefaultTable();
  const std::wstring long_line(5000, 0x0627);
  std::string long_codes;
  for (int i = 0; i < 5000; ++i) long_codes += "12";
  struct Case {
    const char* what;
    std::string input;
    std::string output;
  } cases[] = {
      // CR LF lines, a doubled letter, a doubled aspirated pair, a shadda
      // that opens a line, a blank line, and a final LF.
      {"mixed lines",
       Utf16(L"\x0627 \x0628\r\n\x0628\x0651\r\n"
             L"\x0628\x06BE\x0651\r\n\x0651\x0627\r\n\r\nx\ty\n"),
       "12 13\n1313\n135135\n"
       "12\n\nx\ty\n\n"},
      {"empty input", Utf16(L""), "\n"},
      {"no final line end", Utf16(L"\x0627\n\x0628"), "12\n13\n"},
      {"long lines stay whole", Utf16(long_line + L"\r\n" + long_line),
       long_codes + "\n" + long_codes + "\n"},
      // A file cut inside a character: the odd byte is no character.
      {"cut inside a character", Utf16(L"\x0627\r\n\x0628") + "\x06",
       "12\n13\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Put("in.txt", c.input);
    Put("out.txt", std::string(20000, 'z'));
    RunResult run = Exec("in.txt out.txt");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Out(), c.output);
  }
}

TEST_F(CodemapperProgramTest, Usage) {
  PutDefaultTable();
  Put("in.txt", Utf16(L"\x0627"));
  for (const char* args :
       {"", "in.txt", "in.txt out.txt extra", "'' out.txt"}) {
    RunResult run = Exec(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.err, "usage: codemapper INPUT OUTPUT\n") << args;
    EXPECT_FALSE(Exists("out.txt"));
  }
}

TEST_F(CodemapperProgramTest, BadCodeTableFailsBeforeOutput) {
  Put("in.txt", Utf16(L"\x0627"));
  struct Case {
    const char* what;
    std::string table;  // empty: no file at all
    std::string message;
  } cases[] = {
      {"missing", "", "Could not open file: rules.txt."},
      {"no mark", Utf16(L"\x0627:12\r\n", false), "File is not Unicode based."},
      {"cut short", Utf16(L"\x0627:12\r"), "End of file encountered."},
  };
  for (const Case& c : cases) {
    unlink((dir_ + "/rules.txt").c_str());
    if (!c.table.empty()) Put("rules.txt", c.table);
    RunResult run = Exec("in.txt out.txt");
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_EQ(run.err.rfind("Error Code (0x1", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message + " Code table rules.txt could not be "
                                       "read.\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
    EXPECT_FALSE(Exists("out.txt")) << c.what;
  }
}

// The table reader stores a line only at its CR, so a last line cut short
// or saved without a line end would be lost; the program refuses the table.
TEST_F(CodemapperProgramTest, TableWithoutLastLineEndFailsBeforeOutput) {
  Put("in.txt", Utf16(L"\x0627\x0628"));
  struct Case {
    const char* what;
    std::string table;
    int line;  // 0: the table is accepted
  } cases[] = {
      {"last line without CR LF", Utf16(L"\x0627:12\r\n\x0628:13"), 2},
      {"cut inside the number", Utf16(L"\x0627:12\r\n\x0628:1"), 2},
      {"one line, no line end", Utf16(L"\x0627:12"), 1},
      {"LF line ends only", Utf16(L"\x0627:12\n\x0628:13\n"), 1},
      {"cut inside a character", Utf16(L"\x0627:12\r\n") + "\x28", 2},
      {"blanks after the last line", Utf16(L"\x0627:12\r\n\x0628:13\r\n \n"),
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Put("rules.txt", c.table);
    std::remove(Path("out.txt").c_str());
    RunResult run = Exec("in.txt out.txt");
    if (c.line == 0) {
      EXPECT_EQ(0, run.status) << run.err;
      EXPECT_EQ("1213\n", Out());
      continue;
    }
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("Code table rules.txt ends without CR LF: line " +
                  std::to_string(c.line) + " would be ignored.\n",
              run.err);
    EXPECT_FALSE(Exists("out.txt"));
  }
}

TEST_F(CodemapperProgramTest, BadInputFailsBeforeOutput) {
  PutDefaultTable();
  RunResult run = Exec("missing.txt out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Error Code (0x10) in FileReader (", 0), 0u);
  EXPECT_NE(run.err.find("): Could not open file: missing.txt.\n"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(Exists("out.txt"));

  Put("in.txt", std::string("\xFE\xFF\x06\x27", 4));
  run = Exec("in.txt out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("): File is not Unicode based.\n"), std::string::npos)
      << run.err;
  EXPECT_FALSE(Exists("out.txt"));
}

TEST_F(CodemapperProgramTest, UnwritableOutput) {
  PutDefaultTable();
  Put("in.txt", Utf16(L"\x0627"));
  RunResult run = Exec("in.txt no/such/dir/out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Could not create output file: no/such/dir/out.txt.\n");

  if (std::filesystem::exists("/dev/full")) {
    run = Exec("in.txt /dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Could not write output file: /dev/full.\n");
  }
}

// Empty files, directories, unreadable files and an output that is the input
// itself: one line on standard error, status 1, and no output written.
TEST_F(CodemapperProgramTest, UnusableFilesFailBeforeOutput) {
  const std::string input = Utf16(L"\x0627\x0628\n");
  ASSERT_EQ(0, mkdir((dir_ + "/dir").c_str(), 0700));
  struct Case {
    const char* what;
    std::string table;  // "dir": a directory named rules.txt
    std::string args;
    std::string message;  // the end of the line on standard error
  } cases[] = {
      {"empty table", "", "in.txt out.txt",
       "): File is not Unicode based. Code table rules.txt could not be "
       "read.\n"},
      {"table is a directory", "dir", "in.txt out.txt",
       "): Could not open file: rules.txt. Code table rules.txt could not be "
       "read.\n"},
      {"empty input", "ok", "empty.txt out.txt",
       "): File is not Unicode based.\n"},
      {"input is a directory", "ok", "dir out.txt",
       "): Could not open file: dir.\n"},
      {"output is a directory", "ok", "in.txt dir",
       "Could not create output file: dir.\n"},
      {"output is the input", "ok", "in.txt in.txt",
       "Input and output are the same file: in.txt.\n"},
      {"output is a link to the input", "ok", "in.txt link.txt",
       "Input and output are the same file: link.txt.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Path("rules.txt"));
    if (c.table == "dir") {
      ASSERT_EQ(0, mkdir(Path("rules.txt").c_str(), 0700));
    } else if (c.table == "ok") {
      PutDefaultTable();
    } else {
      Put("rules.txt", c.table);
    }
    Put("in.txt", input);
    Put("empty.txt", "");
    unlink(Path("link.txt").c_str());
    ASSERT_EQ(0, link(Path("in.txt").c_str(), Path("link.txt").c_str()));
    unlink(Path("out.txt").c_str());
    RunResult run = Exec(c.args);
    EXPECT_EQ(run.status, 1);
    ASSERT_GE(run.err.size(), c.message.size());
    EXPECT_EQ(run.err.substr(run.err.size() - c.message.size()), c.message)
        << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
    EXPECT_FALSE(Exists("out.txt"));
    EXPECT_EQ(Contents(Path("in.txt")), input) << "input untouched";
  }
}

TEST_F(CodemapperProgramTest, UnreadableInputFailsBeforeOutput) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  PutDefaultTable();
  Put("in.txt", Utf16(L"\x0627"));
  ASSERT_EQ(0, chmod(Path("in.txt").c_str(), 0));
  RunResult run = Exec("in.txt out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("): Could not open file: in.txt.\n"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(Exists("out.txt"));
}

// A line is mapped a slice at a time: codes cross slice boundaries intact,
// and the output buffer does not grow with the line.
TEST_F(CodemapperProgramTest, LongLinesInBoundedMemory) {
  PutDefaultTable();
  std::wstring line;
  std::string codes;
  for (int i = 0; i < 20000; ++i) {
    line += i % 3 == 0 ? L"\x0627" : i % 3 == 1 ? L"\x0628" : L"z";
    codes += i % 3 == 0 ? "12" : i % 3 == 1 ? "13" : "z";
  }
  Put("in.txt", Utf16(line + L"\r\n" + line));
  RunResult run = Exec("in.txt out.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Out(), codes + "\n" + codes + "\n");

  // Ten million characters on one line: the reader holds the line (80 MB),
  // and the mapping adds no buffer of 11 bytes a character to it.
  std::wstring unit = L"\x0627\x0628 a";
  std::string big = Utf16(L"");
  std::string bytes = Utf16(unit, false);
  big.reserve(2 + bytes.size() * 2500000);
  for (int i = 0; i < 2500000; ++i) big += bytes;
  Put("big.txt", big);
  run = Exec("", MemoryCap(200000) + "'" CODEMAPPER_PATH "' big.txt out.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Contents(Path("out.txt")).size(), 6u * 2500000 + 1);

  // A line too long for the memory there is: one line, status 1.
  if (MemoryCap(1).empty()) return;
  run = Exec("", MemoryCap(60000) + "'" CODEMAPPER_PATH "' big.txt out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Out of memory.\n");
}

// Independent reading of a well-formed code table: one "<letter>:<code>" per
// CR LF line.
std::map<wchar_t, std::string> ReferenceTable(const std::string& bytes) {
  std::wstring text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<unsigned char>(bytes[i]) |
                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::map<wchar_t, std::string> table;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    std::wstring line = text.substr(start, end - start);
    size_t colon = line.find(L':');
    if (colon != std::wstring::npos && colon > 0) {
      std::string code;
      for (wchar_t c : line.substr(colon + 1)) code.push_back(char(c));
      if (std::stoi(code) != 0) {
        table[line[colon - 1]] = std::to_string(std::stoi(code));
      }
    }
    if (end == std::wstring::npos) break;
    start = end + 2;
  }
  return table;
}

TEST_F(CodemapperProgramTest, ShippedSampleMatchesReference) {
  const std::string data = URDULEX_SOURCE_DIR "/data/codemapper/";
  std::string table_bytes = Contents(data + "rules.txt");
  ASSERT_GT(table_bytes.size(), 100u);
  std::map<wchar_t, std::string> table = ReferenceTable(table_bytes);
  // Every letter of the alphabet has a code of its own.
  for (wchar_t c : std::wstring(L"\x0627\x0622\x0628\x067E\x062A\x0679\x062B"
                                L"\x062C\x0686\x062D\x062E\x062F\x0688\x0630"
                                L"\x0631\x0691\x0632\x0698\x0633\x0634\x0635"
                                L"\x0636\x0637\x0638\x0639\x063A\x0641\x0642"
                                L"\x06A9\x06AF\x0644\x0645\x0646\x06BA\x0648"
                                L"\x06C1\x06BE\x0621\x06CC\x06D2\x060C\x06D4"
                                L"\x0624\x0626")) {
    EXPECT_EQ(table.count(c), 1u) << std::hex << c;
  }
  Put("rules.txt", table_bytes);

  // The sample text, converted from UTF-8 the way doc/codemapper.md shows.
  std::string cmd = "iconv -f UTF-8 -t UTF-16LE '" + data + "sample.txt' > '" +
                    dir_ + "/body'";
  ASSERT_EQ(system(cmd.c_str()), 0);
  std::string body = Contents(dir_ + "/body");
  Put("in.txt", "\xFF\xFE" + body);
  ASSERT_EQ(Exec("in.txt out.txt").status, 0);

  // Expand each shadda the way the reader does, then map line by line.
  std::string expected;
  std::wstring line;
  auto flush = [&]() {
    for (wchar_t e : line) {
      if (e <= 0xFF) {
        if (e != L'\r') expected += static_cast<char>(e);
      } else if (table.count(e)) {
        expected += table[e];
      }
    }
    expected += '\n';
    line.clear();
  };
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    wchar_t c = static_cast<unsigned char>(body[i]) |
                (static_cast<unsigned char>(body[i + 1]) << 8);
    if (c == L'\n') {
      flush();
    } else if (c == 0x0651 && line.size() > 1 && line.back() == 0x06BE) {
      line += line.substr(line.size() - 2);
    } else if (c == 0x0651 && !line.empty()) {
      line += line.back();
    } else {
      line += c;
    }
  }
  flush();  // the read after the final LF, or the unterminated last line
  EXPECT_EQ(Out(), expected);
  EXPECT_NE(body.find("\x51\x06"), std::string::npos) << "sample has shadda";
}

}  // namespace
