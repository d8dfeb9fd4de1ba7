#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/TestUtil.h"

namespace urdulex {
namespace test {
namespace {

const char kMark[] = "\xFF\xFE";

class FileWriterTest : public TempDirTest {};

TEST_F(FileWriterTest, OpenTable) {
  struct Case {
    const char* what;
    bool exists;
    std::string before;  // content of an existing file
    FileWriter::CODE code;
    bool append;
    int result;
    std::string after;  // content once "xy" has been written and closed
  };
  const std::string u = Utf16File(L"ab");
  const std::string uxy = Utf16File(L"xy", false);
  const Case cases[] = {
      {"new UNICODE", false, "", FileWriter::UNICODE, false, 1, kMark + uxy},
      {"new ASCII", false, "", FileWriter::ASCII, false, 1, "xy"},
      {"truncate UNICODE", true, u, FileWriter::UNICODE, false, 1, kMark + uxy},
      {"truncate ASCII", true, u, FileWriter::ASCII, false, 1, "xy"},
      {"append UNICODE to UNICODE", true, u, FileWriter::UNICODE, true, 1,
       u + uxy},
      {"append UNICODE to missing", false, "", FileWriter::UNICODE, true, 1,
       kMark + uxy},
      {"append ASCII to missing", false, "", FileWriter::ASCII, true, 1, "xy"},
      {"append ASCII to ASCII", true, "ab", FileWriter::ASCII, true, 1, "abxy"},
      {"append ASCII to empty", true, "", FileWriter::ASCII, true, 1, "xy"},
      {"append ASCII to UNICODE", true, u, FileWriter::ASCII, true, 0, u},
      {"append UNICODE to ASCII", true, "ab", FileWriter::UNICODE, true, 0,
       "ab"},
      {"append UNICODE to empty", true, "", FileWriter::UNICODE, true, 0, ""},
      {"append UNICODE to half a mark", true, "\xFF", FileWriter::UNICODE, true,
       0, "\xFF"},
      {"append ASCII to half a mark", true, "\xFF", FileWriter::ASCII, true, 1,
       "\xFFxy"},
      {"append UNICODE to big-endian", true, "\xFE\xFF", FileWriter::UNICODE,
       true, 0, "\xFE\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Path(c.what);
    if (c.exists) MakeFile(c.what, c.before);
    FileWriter w;
    const int descriptors = OpenDescriptors();
    ASSERT_EQ(c.result, w.Open(path, c.code, c.append));
    EXPECT_EQ(c.result == 1, w.IsOpen());
    EXPECT_EQ(descriptors + c.result, OpenDescriptors());
    if (c.code == FileWriter::UNICODE) {
      EXPECT_EQ(c.result, w.Write(std::wstring(L"xy")));
    } else {
      EXPECT_EQ(c.result, w.Write(std::string("xy")));
    }
    EXPECT_TRUE(w.Close());
    EXPECT_EQ(c.after, Contents(path));
    EXPECT_EQ(c.exists || c.result == 1, FileWriter::DoesExist(path));
  }
}

TEST_F(FileWriterTest, SameFile) {
  MakeFile("a", "x");
  MakeFile("b", "x");
  ASSERT_EQ(0, ::link(Path("a").c_str(), Path("hard").c_str()));
  ASSERT_EQ(0, ::symlink(Path("a").c_str(), Path("soft").c_str()));
  const struct {
    std::string first, second;
    bool same;
  } cases[] = {
      {Path("a"), Path("a"), true},
      {Path("a"), dir_ + "/./a", true},
      {Path("a"), Path("hard"), true},
      {Path("soft"), Path("a"), true},
      {Path("a"), Path("b"), false},  // same content, other file
      {Path("a"), Path("missing"), false},
      {Path("missing"), Path("missing"), false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + " " + c.second);
    EXPECT_EQ(c.same, FileWriter::SameFile(c.first, c.second));
  }
}

TEST_F(FileWriterTest, OpenFailures) {
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0700));
  const std::string names[] = {"", Path("dir"), Path("no/such/dir/file")};
  for (const std::string& name : names) {
    for (bool append : {false, true}) {
      SCOPED_TRACE(name + (append ? " append" : ""));
      FileWriter w;
      EXPECT_EQ(0, w.Open(name, FileWriter::UNICODE, append));
      EXPECT_FALSE(w.IsOpen());
      EXPECT_EQ(-1, w.Tellp());
      EXPECT_EQ(0, w.Write(std::wstring(L"x")));
      // The writer can be used again after a failure.
      ASSERT_EQ(1, w.Open(Path("ok"), FileWriter::ASCII, false));
      EXPECT_EQ(1, w.Write(std::string("fine")));
      EXPECT_TRUE(w.Close());
      EXPECT_EQ("fine", Contents(Path("ok")));
    }
  }
  FileWriter w;
  EXPECT_EQ(
      0, w.Open(static_cast<const char*>(nullptr), FileWriter::ASCII, false));
}

// An append request never empties a file, not even one whose mark cannot
// be read. Run as an ordinary user, since no permission stops root.
TEST_F(FileWriterTest, AppendToWriteOnlyFileFailsAndKeepsIt) {
  const uid_t nobody = 65534;
  MakeFile("w", "kept");
  ASSERT_EQ(0, ::chmod(dir_.c_str(), 0711));
  ASSERT_EQ(0, ::chmod(Path("w").c_str(), 0200));
  if (::geteuid() == 0) {
    ASSERT_EQ(0, ::chown(Path("w").c_str(), nobody, nobody));
  }
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
      ::_exit(2);
    }
    FileWriter w;
    const int ascii = w.Open(Path("w"), FileWriter::ASCII, true);
    const int unicode = w.Open(Path("w"), FileWriter::UNICODE, true);
    ::_exit(ascii == 0 && unicode == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::chmod(Path("w").c_str(), 0600);
  EXPECT_EQ("kept", Contents(Path("w")));
}

TEST_F(FileWriterTest, BadNameLeavesOpenWriterAlone) {
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
  ASSERT_EQ(1, w.Write(std::string("ab")));
  EXPECT_EQ(0, w.Open("", FileWriter::UNICODE, false));
  EXPECT_TRUE(w.IsOpen());
  EXPECT_EQ(1, w.Write(std::string("cd")));
  EXPECT_TRUE(w.Close());
  EXPECT_EQ("abcd", Contents(Path("a")));
}

TEST_F(FileWriterTest, FailedAppendClosesThePreviousFile) {
  MakeFile("u", Utf16File(L"u"));
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
  ASSERT_EQ(1, w.Write(std::string("kept")));
  EXPECT_EQ(0, w.Open(Path("u"), FileWriter::ASCII, true));
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(0, w.Write(std::string("lost")));
  EXPECT_EQ("kept", Contents(Path("a")));
  EXPECT_EQ(Utf16File(L"u"), Contents(Path("u")));
}

TEST_F(FileWriterTest, WritesByForm) {
  // Every write kind on every form: result and the bytes it adds.
  wchar_t wide_buf[] = {L'a', 0x0627};
  const char bytes_buf[] = "\x01\xFF";
  struct Case {
    const char* what;
    std::function<int(FileWriter&)> write;
    int unicode_result;
    std::string unicode_bytes;
    int ascii_result;
    std::string ascii_bytes;
  };
  const Case cases[] = {
      {"wide string",
       [](FileWriter& w) { return w.Write(std::wstring(L"a\x0627")); }, 1,
       std::string("a\0\x27\x06", 4), 0, ""},
      {"empty wide string",
       [](FileWriter& w) { return w.Write(std::wstring()); }, 1, "", 0, ""},
      {"wide buffer", [&](FileWriter& w) { return w.Write(wide_buf, 2); }, 1,
       std::string("a\0\x27\x06", 4), 0, ""},
      {"wide buffer, count 0",
       [&](FileWriter& w) { return w.Write(wide_buf, 0); }, 0, "", 0, ""},
      {"wide buffer, count -1",
       [&](FileWriter& w) { return w.Write(wide_buf, -1); }, 0, "", 0, ""},
      {"null wide buffer",
       [](FileWriter& w) {
         return w.Write(static_cast<const wchar_t*>(nullptr), 1);
       },
       0, "", 0, ""},
      {"narrow string",
       [](FileWriter& w) { return w.Write(std::string("ab")); }, 0, "", 1,
       "ab"},
      {"empty narrow string",
       [](FileWriter& w) { return w.Write(std::string()); }, 0, "", 1, ""},
      {"narrow string with NUL",
       [](FileWriter& w) { return w.Write(std::string("a\0b", 3)); }, 0, "", 1,
       std::string("a\0b", 3)},
      {"byte buffer", [&](FileWriter& w) { return w.Write(bytes_buf, 2); }, 1,
       "\x01\xFF", 1, "\x01\xFF"},
      {"byte buffer, count 0",
       [&](FileWriter& w) { return w.Write(bytes_buf, 0); }, 0, "", 0, ""},
      {"null byte buffer",
       [](FileWriter& w) {
         return w.Write(static_cast<const char*>(nullptr), 1);
       },
       0, "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileWriter closed;
    EXPECT_EQ(0, c.write(closed));

    FileWriter w;
    ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
    EXPECT_EQ(c.unicode_result, c.write(w));
    EXPECT_TRUE(w.Close());
    EXPECT_EQ(kMark + c.unicode_bytes, Contents(Path("u")));

    ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
    EXPECT_EQ(c.ascii_result, c.write(w));
    EXPECT_TRUE(w.Close());
    EXPECT_EQ(c.ascii_bytes, Contents(Path("a")));
  }
}

TEST_F(FileWriterTest, WideCharactersKeepTheirLow16Bits) {
  const std::wstring text = {0x1F600, 0x10041, 0xFFFF,
                             0x0000,  0x06BE,  static_cast<wchar_t>(-1)};
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
  ASSERT_EQ(1, w.Write(text));
  ASSERT_EQ(1, w.Write(text.data(), static_cast<int>(text.size())));
  ASSERT_TRUE(w.Close());
  const std::string units("\x00\xF6\x41\x00\xFF\xFF\x00\x00\xBE\x06\xFF\xFF",
                          12);
  EXPECT_EQ(kMark + units + units, Contents(Path("u")));
}

TEST_F(FileWriterTest, LongWideWritesRoundTrip) {
  std::wstring text;
  for (int i = 0; i < 20000; ++i) text.push_back(0x0600 + i % 0x100);
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
  ASSERT_EQ(1, w.Write(text.data(), static_cast<int>(text.size())));
  ASSERT_EQ(1, w.Write(text));
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(Utf16File(text + text), Contents(Path("u")));

  FileReader r;
  ASSERT_EQ(1, r.Open(Path("u"), FileReader::UNICODE));
  std::wstring back;
  ASSERT_EQ(1, r.Read(back, 100000));
  EXPECT_EQ(text + text, back);
}

TEST_F(FileWriterTest, Tellp) {
  FileWriter w;
  EXPECT_EQ(-1, w.Tellp());
  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
  EXPECT_EQ(2, w.Tellp());
  ASSERT_EQ(1, w.Write(std::wstring(L"abc")));
  EXPECT_EQ(8, w.Tellp());
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(-1, w.Tellp());

  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, true));
  EXPECT_EQ(8, w.Tellp());  // extending starts at the end
  ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
  EXPECT_EQ(0, w.Tellp());
  ASSERT_EQ(1, w.Write("xyz", 3));
  EXPECT_EQ(3, w.Tellp());
}

TEST_F(FileWriterTest, Seekp) {
  struct Case {
    const char* what;
    FileWriter::CODE code;
    long offset;
    short direction;
    std::string after;  // once "Z" is written after "abcd" and the move
  };
  const std::string u = Utf16File(L"abcd");
  const std::string z = Utf16File(L"Z", false);
  const Case cases[] = {
      // In UNICODE form the offset counts from after the mark ...
      {"UNICODE from start", FileWriter::UNICODE, 2, 0, Utf16File(L"aZcd")},
      // ... and moves two bytes further than asked from elsewhere.
      {"UNICODE from current", FileWriter::UNICODE, -6, 1, Utf16File(L"abZd")},
      {"UNICODE from end", FileWriter::UNICODE, -4, 2, Utf16File(L"abcZ")},
      {"UNICODE unknown direction", FileWriter::UNICODE, 0, 3,
       Utf16File(L"abcdZ")},
      {"ASCII from start", FileWriter::ASCII, 1, 0, "aZcd"},
      {"ASCII from current", FileWriter::ASCII, -2, 1, "abZd"},
      {"ASCII from end", FileWriter::ASCII, -1, 2, "abcZ"},
      {"ASCII past the end", FileWriter::ASCII, 6, 0,
       std::string("abcd\0\0Z", 7)},
      {"ASCII unknown direction", FileWriter::ASCII, 0, -1, "abcdZ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileWriter w;
    ASSERT_EQ(1, w.Open(Path("f"), c.code, false));
    if (c.code == FileWriter::UNICODE) {
      ASSERT_EQ(1, w.Write(std::wstring(L"abcd")));
      w.Seekp(c.offset, c.direction);
      ASSERT_EQ(1, w.Write(std::wstring(L"Z")));
    } else {
      ASSERT_EQ(1, w.Write(std::string("abcd")));
      w.Seekp(c.offset, c.direction);
      ASSERT_EQ(1, w.Write(std::string("Z")));
    }
    EXPECT_TRUE(w.Close());
    EXPECT_EQ(c.after, Contents(Path("f")));
  }
  FileWriter closed;
  closed.Seekp(0, 0);  // nothing to move
  EXPECT_EQ(-1, closed.Tellp());
}

TEST_F(FileWriterTest, RefusedSeekLosesNoData) {
  // Positions before the start, and in UNICODE form offsets that cannot
  // take the two bytes of the mark.
  struct Case {
    FileWriter::CODE code;
    long offset;
  };
  const Case cases[] = {
      {FileWriter::ASCII, -100},       {FileWriter::ASCII, LONG_MIN},
      {FileWriter::UNICODE, -100},     {FileWriter::UNICODE, LONG_MIN},
      {FileWriter::UNICODE, LONG_MAX}, {FileWriter::UNICODE, LONG_MAX - 1},
  };
  for (const Case& c : cases) {
    const FileWriter::CODE code = c.code;
    const long offset = c.offset;
    {
      SCOPED_TRACE(testing::Message() << code << " " << offset);
      FileWriter w;
      ASSERT_EQ(1, w.Open(Path("f"), code, false));
      ASSERT_EQ(1, w.Write("ab", 2));
      w.Seekp(offset, 0);
      w.Seekp(offset, 1);
      EXPECT_EQ(1, w.Write("cd", 2));
      EXPECT_TRUE(w.Flush());
      EXPECT_TRUE(w.Good());
      EXPECT_TRUE(w.Close());
      const std::string mark = code == FileWriter::UNICODE ? kMark : "";
      EXPECT_EQ(mark + "abcd", Contents(Path("f")));
    }
  }
}

TEST_F(FileWriterTest, CloseFlushesAndResets) {
  FileWriter w;
  EXPECT_TRUE(w.Close());  // nothing open
  EXPECT_TRUE(w.Flush());
  ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
  ASSERT_EQ(1, w.Write(std::string("abc")));
  EXPECT_TRUE(w.Flush());
  EXPECT_EQ("abc", Contents(Path("a")));  // visible before Close
  EXPECT_TRUE(w.Close());
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(0, w.Write(std::string("x")));
  EXPECT_EQ("abc", Contents(Path("a")));
}

TEST_F(FileWriterTest, ReopenClosesThePreviousFile) {
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("a"), FileWriter::ASCII, false));
  ASSERT_EQ(1, w.Write(std::string("first")));
  ASSERT_EQ(1, w.Open(Path("b"), FileWriter::UNICODE, false));
  EXPECT_EQ("first", Contents(Path("a")));
  EXPECT_EQ(0, w.Write(std::string("x")));  // now in UNICODE form
  ASSERT_EQ(1, w.Write(std::wstring(L"b")));
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(Utf16File(L"b"), Contents(Path("b")));
}

TEST_F(FileWriterTest, DestructorCloses) {
  {
    FileWriter w;
    ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
    ASSERT_EQ(1, w.Write(std::wstring(L"\x0627\x0628")));
  }
  EXPECT_EQ(Utf16File(L"\x0627\x0628"), Contents(Path("u")));
}

TEST_F(FileWriterTest, ReaderReadsWhatTheWriterWrote) {
  const std::wstring lines[] = {L"\x0627\x0628\x0651", L"", L"ab cd",
                                L"\x06BE"};
  FileWriter w;
  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, false));
  for (const std::wstring& line : lines) {
    ASSERT_EQ(1, w.Write(line + L"\r\n"));
  }
  ASSERT_TRUE(w.Close());
  ASSERT_EQ(1, w.Open(Path("u"), FileWriter::UNICODE, true));
  ASSERT_EQ(1, w.Write(std::wstring(L"tail")));
  ASSERT_TRUE(w.Close());

  FileReader r;
  ASSERT_EQ(1, r.Open(Path("u"), FileReader::UNICODE));
  std::wstring line;
  for (const std::wstring& expected : lines) {
    ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
    EXPECT_EQ(expected + L"\r", line);
  }
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(L"tail", line);
}

TEST_F(FileWriterTest, FullDeviceIsReported) {
  const char kFull[] = "/dev/full";
  if (!FileWriter::DoesExist(kFull)) GTEST_SKIP() << "no " << kFull;
  const std::string big(1 << 20, 'x');
  const std::wstring wide_big(1 << 19, L'x');
  {
    // A small write may sit in the buffer; losing it shows at Flush.
    FileWriter w;
    ASSERT_EQ(1, w.Open(kFull, FileWriter::ASCII, false));
    EXPECT_EQ(1, w.Write(std::string("ab")));
    EXPECT_FALSE(w.Flush());
    EXPECT_FALSE(w.Good());
    EXPECT_FALSE(w.Close());
  }
  {
    // A write too large for the buffer is refused at once.
    FileWriter w;
    ASSERT_EQ(1, w.Open(kFull, FileWriter::ASCII, false));
    EXPECT_EQ(0, w.Write(big));
    EXPECT_FALSE(w.Close());
  }
  {
    FileWriter w;
    ASSERT_EQ(1, w.Open(kFull, FileWriter::UNICODE, false));
    EXPECT_EQ(0, w.Write(wide_big));
    EXPECT_EQ(0, w.Write(big.data(), static_cast<int>(big.size())));
    EXPECT_FALSE(w.Close());
  }
  {
    // Only the mark was written; it is lost at Close.
    FileWriter w;
    ASSERT_EQ(1, w.Open(kFull, FileWriter::UNICODE, false));
    EXPECT_FALSE(w.Close());
    // A failure does not stick to the next file.
    ASSERT_EQ(1, w.Open(Path("ok"), FileWriter::ASCII, false));
    EXPECT_EQ(1, w.Write(std::string("ok")));
    EXPECT_TRUE(w.Flush());
    EXPECT_TRUE(w.Good());
    EXPECT_TRUE(w.Close());
  }
}

}  // namespace
}  // namespace test
}  // namespace urdulex
