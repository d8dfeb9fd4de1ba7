#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/TestUtil.h"

namespace urdulex {
namespace test {
namespace {

const char kEof[] = "End of file encountered.";
const char kNullBuffer[] = "Null buffer or zero size specified.";
const char kNotUnicodeLine[] = "File not openned as UNICODE initially.";
const char kNotUnicode[] = "File not openned as Unicode initially.";
const char kNotAscii[] = "File not openned as ASCII initially.";
const char kNotUnicodeBased[] = "File is not Unicode based.";

// Outcomes of a run of GetLine calls, one string per call: the line on a
// result of 1, "<0>" on a result of 0 (after checking that the line was left
// alone) and "<eof>" for the end-of-file error, which ends the run.
template <typename String, typename Char>
std::vector<String> ReadAllLines(FileReader* r, int max, Char delimiter) {
  const String kUnchanged = String(1, Char('#'));
  std::vector<String> out;
  for (int i = 0; i < 100; ++i) {
    String line = kUnchanged;
    Caught c = CatchIO([&] {
      if (r->GetLine(line, max, delimiter) == 1) {
        out.push_back(line);
      } else {
        EXPECT_EQ(kUnchanged, line) << "a 0 result changed the line";
        out.push_back(String{Char('<'), Char('0'), Char('>')});
      }
    });
    if (c.thrown) {
      ExpectReaderError(c, kErrorFileRead, kEof);
      out.push_back(
          String{Char('<'), Char('e'), Char('o'), Char('f'), Char('>')});
      break;
    }
  }
  return out;
}

class FileReaderTest : public TempDirTest {};

TEST_F(FileReaderTest, FreshReaderIsClosedAscii) {
  FileReader r;
  EXPECT_FALSE(r.IsOpen());
  EXPECT_EQ(FileReader::ASCII, r.GetCode());
  EXPECT_EQ(0, r.EoF());
  EXPECT_EQ(0, r.FileSize());
  EXPECT_EQ(0, r.SeekG(0));
  EXPECT_FALSE(r.GeminationExpansion());
}

TEST_F(FileReaderTest, OpenFailures) {
  MakeFile("big_endian", "\xFE\xFF\x61\x00");
  MakeFile("empty", "");
  MakeFile("one_byte", "\xFF");
  MakeFile("utf8_mark",
           "\xEF\xBB\xBF"
           "a");
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0700));
  struct Case {
    std::string name;
    FileReader::CODE code;
    std::string message;
  };
  const Case cases[] = {
      {"", FileReader::UNICODE, "Invalid file name specified."},
      {"", FileReader::ASCII, "Invalid file name specified."},
      {Path("missing"), FileReader::ASCII,
       "Could not open file: " + Path("missing") + "."},
      {Path("missing"), FileReader::UNICODE,
       "Could not open file: " + Path("missing") + "."},
      {Path("dir"), FileReader::ASCII,
       "Could not open file: " + Path("dir") + "."},
      {Path("big_endian"), FileReader::UNICODE, kNotUnicodeBased},
      {Path("empty"), FileReader::UNICODE, kNotUnicodeBased},
      {Path("one_byte"), FileReader::UNICODE, kNotUnicodeBased},
      {Path("utf8_mark"), FileReader::UNICODE, kNotUnicodeBased},
  };
  const std::string good = MakeFile("good", Utf16File(L"ok"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " / " + c.message);
    FileReader r;
    const int descriptors = OpenDescriptors();
    ExpectReaderError(CatchIO([&] { r.Open(c.name, c.code); }), kErrorFileOpen,
                      c.message);
    EXPECT_EQ(descriptors, OpenDescriptors());  // the file was closed again
    EXPECT_FALSE(r.IsOpen());
    EXPECT_EQ(0, r.EoF());
    std::wstring line = L"unchanged";
    EXPECT_EQ(0, r.GetLine(line, 10, L'\n'));
    EXPECT_EQ(L"unchanged", line);
    // The same reader can be opened again.
    ASSERT_EQ(1, r.Open(good, FileReader::UNICODE));
    EXPECT_EQ(1, r.GetLine(line, 10, L'\n'));
    EXPECT_EQ(L"ok", line);
  }
}

TEST_F(FileReaderTest, NullNameThrows) {
  FileReader r;
  ExpectReaderError(CatchIO([&] { r.Open(nullptr, FileReader::ASCII); }),
                    kErrorFileOpen, "Invalid file name specified.");
}

TEST_F(FileReaderTest, FormIsSetOnlyOnceTheFileIsOpened) {
  const std::string ascii = MakeFile("a", "text");
  FileReader r;
  // The file never opened: the form stays.
  CatchIO([&] { r.Open(Path("missing"), FileReader::UNICODE); });
  EXPECT_EQ(FileReader::ASCII, r.GetCode());
  // The file opened but had no mark: the form is taken.
  CatchIO([&] { r.Open(ascii, FileReader::UNICODE); });
  EXPECT_FALSE(r.IsOpen());
  EXPECT_EQ(FileReader::UNICODE, r.GetCode());
  // Close keeps the form.
  const std::string uni = MakeFile("u", Utf16File(L"x"));
  ASSERT_EQ(1, r.Open(uni, FileReader::UNICODE));
  r.Close();
  EXPECT_EQ(FileReader::UNICODE, r.GetCode());
  EXPECT_FALSE(r.IsOpen());
}

TEST_F(FileReaderTest, BadNameLeavesOpenReaderAlone) {
  FileReader r;
  ASSERT_EQ(1,
            r.Open(MakeFile("u", Utf16File(L"ab\ncd")), FileReader::UNICODE));
  std::wstring line;
  ASSERT_EQ(1, r.GetLine(line, 10, L'\n'));
  ExpectReaderError(CatchIO([&] { r.Open("", FileReader::ASCII); }),
                    kErrorFileOpen, "Invalid file name specified.");
  EXPECT_TRUE(r.IsOpen());
  ASSERT_EQ(1, r.GetLine(line, 10, L'\n'));
  EXPECT_EQ(L"cd", line);
}

TEST_F(FileReaderTest, FailedOpenClosesThePreviousFile) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("a", "abc"), FileReader::ASCII));
  CatchIO([&] { r.Open(Path("missing"), FileReader::ASCII); });
  EXPECT_FALSE(r.IsOpen());
  std::string line = "unchanged";
  EXPECT_EQ(0, r.GetLine(line, 10, '\n'));
  EXPECT_EQ("unchanged", line);
}

TEST_F(FileReaderTest, ReopenStartsAfresh) {
  const std::string a = MakeFile("a", "first\nrest");
  const std::string u = MakeFile("u", Utf16File(L"wide"));
  FileReader r;
  ASSERT_EQ(1, r.Open(a, FileReader::ASCII));
  std::string narrow;
  ASSERT_EQ(1, r.GetLine(narrow, 100, '\n'));
  ASSERT_EQ(1, r.GetLine(narrow, 100, '\n'));
  ASSERT_EQ(1, r.EoF());
  ASSERT_EQ(1, r.Open(u, FileReader::UNICODE));
  EXPECT_EQ(0, r.EoF());
  std::wstring wide;
  ASSERT_EQ(1, r.GetLine(wide, 100, L'\n'));
  EXPECT_EQ(L"wide", wide);
  ASSERT_EQ(1, r.Open(a, FileReader::ASCII));
  ASSERT_EQ(1, r.GetLine(narrow, 100, '\n'));
  EXPECT_EQ("first", narrow);
}

TEST_F(FileReaderTest, AsciiFormKeepsAMarkAsContent) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"a")), FileReader::ASCII));
  std::string line;
  ASSERT_EQ(1, r.GetLine(line, 10, '\n'));
  EXPECT_EQ(std::string("\xFF\xFE"
                        "a\0",
                        4),
            line);
}

TEST_F(FileReaderTest, WideGetLineSequences) {
  struct Case {
    const char* what;
    std::string bytes;
    int max;
    wchar_t delimiter;
    std::vector<std::wstring> outcomes;
  };
  const Case cases[] = {
      {"mark only", Utf16File(L""), 100, L'\n', {L"<0>", L"<eof>"}},
      {"no final LF",
       Utf16File(L"ab\ncd"),
       100,
       L'\n',
       {L"ab", L"cd", L"<eof>"}},
      {"final LF",
       Utf16File(L"ab\ncd\n"),
       100,
       L'\n',
       {L"ab", L"cd", L"<0>", L"<eof>"}},
      {"empty line",
       Utf16File(L"ab\n\ncd"),
       100,
       L'\n',
       {L"ab", L"<0>", L"cd", L"<eof>"}},
      {"CR LF kept CR",
       Utf16File(L"ab\r\ncd\r\n"),
       100,
       L'\n',
       {L"ab\r", L"cd\r", L"<0>", L"<eof>"}},
      {"max splits a line",
       Utf16File(L"abcde\nf"),
       3,
       L'\n',
       {L"abc", L"de", L"f", L"<eof>"}},
      {"max ends exactly at delimiter",
       Utf16File(L"abc\nd"),
       3,
       L'\n',
       {L"abc", L"<0>", L"d", L"<eof>"}},
      {"lone trailing byte dropped",
       Utf16File(L"ab") + "x",
       100,
       L'\n',
       {L"ab", L"<eof>"}},
      {"lone byte after LF",
       Utf16File(L"ab\n") + "x",
       100,
       L'\n',
       {L"ab", L"<0>", L"<eof>"}},
      {"delimiter is the whole unit",
       Utf16File(L"a\x010A"
                 L"b\nc"),
       100,
       L'\n',
       {L"a\x010A"
        L"b",
        L"c", L"<eof>"}},
      {"other delimiter",
       Utf16File(L"\x0627:\x0628\n:"),
       100,
       L':',
       {L"\x0627", L"\x0628\n", L"<0>", L"<eof>"}},
      {"delimiter beyond 16 bits never matches",
       Utf16File(L"a\nb"),
       100,
       static_cast<wchar_t>(0x1000A),
       {L"a\nb", L"<eof>"}},
      {"units are not combined",
       Utf16File(L"\xD83D\xDE00"),
       100,
       L'\n',
       {L"\xD83D\xDE00", L"<eof>"}},
      {"shadda kept by default",
       Utf16File(L"\x0628\x0651"),
       100,
       L'\n',
       {L"\x0628\x0651", L"<eof>"}},
      {"NUL is content",
       Utf16File(std::wstring(L"a\0b", 3)),
       100,
       L'\n',
       {std::wstring(L"a\0b", 3), L"<eof>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileReader r;
    ASSERT_EQ(1, r.Open(MakeFile("in", c.bytes), FileReader::UNICODE));
    EXPECT_EQ(c.outcomes,
              (ReadAllLines<std::wstring, wchar_t>(&r, c.max, c.delimiter)));
  }
}

TEST_F(FileReaderTest, NarrowGetLineSequences) {
  struct Case {
    const char* what;
    std::string bytes;
    int max;
    char delimiter;
    std::vector<std::string> outcomes;
  };
  const Case cases[] = {
      {"empty file", "", 100, '\n', {"<0>", "<eof>"}},
      {"no final LF", "ab\ncd", 100, '\n', {"ab", "cd", "<eof>"}},
      {"final LF", "ab\ncd\n", 100, '\n', {"ab", "cd", "<0>", "<eof>"}},
      {"empty line", "ab\n\ncd", 100, '\n', {"ab", "<0>", "cd", "<eof>"}},
      {"CR LF", "k=v\r\n", 100, '\n', {"k=v\r", "<0>", "<eof>"}},
      {"max splits", "abcde", 3, '\n', {"abc", "de", "<eof>"}},
      {"high bytes",
       "\xE2\x80\x8C\n\xFF",
       100,
       '\n',
       {"\xE2\x80\x8C", "\xFF", "<eof>"}},
      {"high-byte delimiter",
       "a\xFF"
       "b",
       100,
       '\xFF',
       {"a", "b", "<eof>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileReader r;
    ASSERT_EQ(1, r.Open(MakeFile("in", c.bytes), FileReader::ASCII));
    EXPECT_EQ(c.outcomes,
              (ReadAllLines<std::string, char>(&r, c.max, c.delimiter)));
  }
}

TEST_F(FileReaderTest, EndOfFileIsSetOnlyByAReadPastTheEnd) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ab\n")), FileReader::UNICODE));
  std::wstring line;
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(0, r.EoF());  // the delimiter was the last unit
  EXPECT_EQ(0, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(1, r.EoF());
  r.Close();
  EXPECT_EQ(0, r.EoF());

  ASSERT_EQ(1,
            r.Open(MakeFile("v", Utf16File(L"ab\ncd")), FileReader::UNICODE));
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(0, r.EoF());
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(L"cd", line);
  EXPECT_EQ(1, r.EoF());  // a line that ends the file sets it
}

TEST_F(FileReaderTest, MaxOfZeroOrLessReadsNothing) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ab")), FileReader::UNICODE));
  std::wstring line = L"x";
  EXPECT_EQ(0, r.GetLine(line, 0, L'\n'));
  EXPECT_EQ(0, r.GetLine(line, -5, L'\n'));
  EXPECT_EQ(L"x", line);
  EXPECT_EQ(0, r.EoF());
  ASSERT_EQ(1, r.GetLine(line, 10, L'\n'));
  EXPECT_EQ(L"ab", line);
}

TEST_F(FileReaderTest, GeminationExpansion) {
  const wchar_t kShadda = 0x0651, kHeh = 0x06BE, kBe = 0x0628, kAlif = 0x0627,
                kZe = 0x0632;
  struct Case {
    const char* what;
    std::wstring text;
    int max;
    std::vector<std::wstring> outcomes;
  };
  const Case cases[] = {
      {"doubles the letter", {kBe, kShadda}, 100, {{kBe, kBe}, L"<eof>"}},
      {"doubles an aspirated pair",
       {kBe, kHeh, kShadda},
       100,
       {{kBe, kHeh, kBe, kHeh}, L"<eof>"}},
      {"leading shadda kept", {kShadda, kBe}, 100, {{kShadda, kBe}, L"<eof>"}},
      {"heh alone is doubled", {kHeh, kShadda}, 100, {{kHeh, kHeh}, L"<eof>"}},
      {"second shadda doubles the first",
       {kShadda, kShadda},
       100,
       {{kShadda, kShadda}, L"<eof>"}},
      {"two shaddas triple",
       {kBe, kShadda, kShadda},
       100,
       {{kBe, kBe, kBe}, L"<eof>"}},
      {"mid-word",
       {kAlif, kBe, kShadda, kZe, L'\n', kBe, kShadda},
       100,
       {{kAlif, kBe, kBe, kZe}, {kBe, kBe}, L"<eof>"}},
      {"pair may pass max by one",
       {kAlif, kHeh, kShadda, kZe},
       3,
       {{kAlif, kHeh, kAlif, kHeh}, {kZe}, L"<eof>"}},
      {"max reached before the shadda",
       {kAlif, kBe, kHeh, kShadda, kZe},
       3,
       {{kAlif, kBe, kHeh}, {kShadda, kZe}, L"<eof>"}},
      {"counts expanded characters",
       {kBe, kShadda, kZe, kAlif},
       3,
       {{kBe, kBe, kZe}, {kAlif}, L"<eof>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileReader r;
    r.SetGeminationExpansion(true);
    ASSERT_TRUE(r.GeminationExpansion());
    ASSERT_EQ(1,
              r.Open(MakeFile("in", Utf16File(c.text)), FileReader::UNICODE));
    EXPECT_EQ(c.outcomes,
              (ReadAllLines<std::wstring, wchar_t>(&r, c.max, L'\n')));
  }
}

TEST_F(FileReaderTest, GeminationLeavesOtherReadsAlone) {
  FileReader r;
  r.SetGeminationExpansion(true);
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"\x0628\x0651")),
                      FileReader::UNICODE));
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 10));
  EXPECT_EQ(L"\x0628\x0651", text);
}

TEST_F(FileReaderTest, FormChecks) {
  const std::string uni = MakeFile("u", Utf16File(L"ab"));
  const std::string ascii = MakeFile("a", "ab");
  std::string narrow;
  std::wstring wide;
  struct Case {
    const char* what;
    const std::string* file;
    FileReader::CODE code;
    std::function<void(FileReader&)> call;
    const char* message;
  };
  const Case cases[] = {
      {"narrow GetLine on UNICODE", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.GetLine(narrow, 10, '\n'); }, kNotAscii},
      {"wide GetLine on ASCII", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.GetLine(wide, 10, L'\n'); }, kNotUnicodeLine},
      {"wide Read on ASCII", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.Read(wide, 10); }, kNotUnicode},
      {"Unicode unget on ASCII", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.UngetUnicodeCharacters(1); }, kNotUnicode},
      {"ASCII unget on UNICODE", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.UngetAsciiCharacters(1); }, kNotAscii},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileReader r;
    // A closed reader answers 0 before looking at the form.
    Caught closed = CatchIO([&] { c.call(r); });
    EXPECT_FALSE(closed.thrown) << closed.message;
    ASSERT_EQ(1, r.Open(*c.file, c.code));
    ExpectReaderError(CatchIO([&] { c.call(r); }), kErrorFileRead, c.message);
    EXPECT_EQ(0, r.EoF());
  }
}

TEST_F(FileReaderTest, ClosedReaderAnswersZero) {
  FileReader r;
  std::wstring wide = L"w";
  std::string narrow = "n";
  wchar_t wbuf[4] = {L'x', L'x', L'x', L'x'};
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(0, r.GetLine(wide, 10, L'\n'));
  EXPECT_EQ(0, r.GetLine(narrow, 10, '\n'));
  EXPECT_EQ(0, r.Read(wide, 10));
  EXPECT_EQ(0, r.Read(wbuf, 4));
  EXPECT_EQ(0, r.Read(buf, 4));
  EXPECT_EQ(0, r.Read(buf, 0, 4));
  EXPECT_EQ(0, r.UngetUnicodeCharacters(1));
  EXPECT_EQ(0, r.UngetAsciiCharacters(1));
  EXPECT_EQ(L"w", wide);
  EXPECT_EQ("n", narrow);
  EXPECT_EQ(L'x', wbuf[0]);
  EXPECT_EQ('x', buf[0]);
  r.Close();  // closing a closed reader is harmless
  EXPECT_FALSE(r.IsOpen());
}

TEST_F(FileReaderTest, NullBufferCheckComesFirst) {
  const std::string ascii = MakeFile("a", "abcd");
  char buf[4];
  wchar_t wbuf[4];
  const std::function<void(FileReader&)> calls[] = {
      [&](FileReader& r) { r.Read(buf, 0); },
      [&](FileReader& r) { r.Read(buf, -1); },
      [&](FileReader& r) { r.Read(static_cast<char*>(nullptr), 4); },
      [&](FileReader& r) { r.Read(buf, 0, 0); },
      [&](FileReader& r) { r.Read(static_cast<char*>(nullptr), 0, 4); },
      [&](FileReader& r) { r.Read(wbuf, 0); },
      [&](FileReader& r) { r.Read(static_cast<wchar_t*>(nullptr), 4); },
  };
  int i = 0;
  for (const auto& call : calls) {
    SCOPED_TRACE(i++);
    FileReader closed;
    ExpectReaderError(CatchIO([&] { call(closed); }), kErrorFileRead,
                      kNullBuffer);
    FileReader at_end;
    ASSERT_EQ(1, at_end.Open(ascii, FileReader::ASCII));
    char all[8];
    ASSERT_EQ(1, at_end.Read(all, 8));
    ASSERT_EQ(1, at_end.EoF());
    ExpectReaderError(CatchIO([&] { call(at_end); }), kErrorFileRead,
                      kNullBuffer);
  }
}

TEST_F(FileReaderTest, EveryReadThrowsOnceAtEnd) {
  const std::string uni = MakeFile("u", Utf16File(L"ab"));
  const std::string ascii = MakeFile("a", "ab");
  std::string narrow;
  std::wstring wide;
  char buf[4];
  wchar_t wbuf[4];
  struct Case {
    const char* what;
    const std::string* file;
    FileReader::CODE code;
    std::function<void(FileReader&)> call;
  };
  const Case cases[] = {
      {"wide GetLine", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.GetLine(wide, 10, L'\n'); }},
      {"narrow GetLine", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.GetLine(narrow, 10, '\n'); }},
      {"wide Read", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.Read(wide, 10); }},
      {"wchar_t Read", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.Read(wbuf, 4); }},
      {"char Read", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.Read(buf, 4); }},
      // Throws although it would move the position first.
      {"positioned Read", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.Read(buf, 0, 4); }},
      // The end-of-file check comes before the form check.
      {"wide GetLine on ASCII", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.GetLine(wide, 10, L'\n'); }},
      {"narrow GetLine on UNICODE", &uni, FileReader::UNICODE,
       [&](FileReader& r) { r.GetLine(narrow, 10, '\n'); }},
      {"wide Read on ASCII", &ascii, FileReader::ASCII,
       [&](FileReader& r) { r.Read(wide, 10); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileReader r;
    ASSERT_EQ(1, r.Open(*c.file, c.code));
    char rest[16];
    ASSERT_EQ(1, r.Read(rest, sizeof(rest)));
    ASSERT_EQ(1, r.EoF());
    ExpectReaderError(CatchIO([&] { c.call(r); }), kErrorFileRead, kEof);
    EXPECT_EQ(1, r.EoF());
  }
}

TEST_F(FileReaderTest, ReadWideString) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ab\ncd") + "z"),
                      FileReader::UNICODE));
  std::wstring text = L"unchanged";
  EXPECT_EQ(0, r.Read(text, 0));
  EXPECT_EQ(L"unchanged", text);
  ASSERT_EQ(1, r.Read(text, 3));
  EXPECT_EQ(L"ab\n", text);  // no delimiter
  EXPECT_EQ(0, r.EoF());
  ASSERT_EQ(1, r.Read(text, 10));
  EXPECT_EQ(L"cd", text);  // the lone byte is dropped
  EXPECT_EQ(1, r.EoF());
  ExpectReaderError(CatchIO([&] { r.Read(text, 1); }), kErrorFileRead, kEof);
}

TEST_F(FileReaderTest, ReadWideStringAtEndGivesZero) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ab")), FileReader::UNICODE));
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 2));
  EXPECT_EQ(0, r.EoF());
  text = L"unchanged";
  EXPECT_EQ(0, r.Read(text, 2));
  EXPECT_EQ(L"unchanged", text);
  EXPECT_EQ(1, r.EoF());
}

TEST_F(FileReaderTest, ReadWideBuffer) {
  // In either form, units are taken two bytes at a time, low byte first.
  struct Case {
    FileReader::CODE code;
    std::string bytes;
    std::vector<wchar_t> first;   // after Read(buf, 3)
    std::vector<wchar_t> second;  // after Read(buf, 3)
  };
  const Case cases[] = {
      {FileReader::UNICODE,
       Utf16File(L"abcd\x0627"),
       {L'a', L'b', L'c'},
       {L'd', 0x0627}},
      {FileReader::ASCII, "abcdefg", {0x6261, 0x6463, 0x6665}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    FileReader r;
    ASSERT_EQ(1, r.Open(MakeFile("in", c.bytes), c.code));
    wchar_t buf[4] = {L'#', L'#', L'#', L'#'};
    ASSERT_EQ(1, r.Read(buf, 3));
    EXPECT_EQ(c.first, std::vector<wchar_t>(buf, buf + 3));
    EXPECT_EQ(L'#', buf[3]);  // no terminator
    std::fill(buf, buf + 4, L'#');
    if (c.second.empty()) {
      // Only the lone byte "g" is left: nothing is stored but the 0.
      EXPECT_EQ(0, r.Read(buf, 3));
      EXPECT_EQ(0, buf[0]);
      EXPECT_EQ(L'#', buf[1]);
    } else {
      ASSERT_EQ(1, r.Read(buf, 3));
      EXPECT_EQ(c.second, std::vector<wchar_t>(buf, buf + c.second.size()));
      EXPECT_EQ(L'#', buf[c.second.size()]);
    }
    EXPECT_EQ(1, r.EoF());
  }
}

TEST_F(FileReaderTest, ReadBytes) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"abc")), FileReader::UNICODE));
  char buf[8] = {};
  ASSERT_EQ(1, r.Read(buf, 4));  // starts after the mark
  EXPECT_EQ(std::string("a\0b\0", 4), std::string(buf, 4));
  EXPECT_EQ(0, r.EoF());
  ASSERT_EQ(1, r.Read(buf, 8));  // short read at the end
  EXPECT_EQ(std::string("c\0", 2), std::string(buf, 2));
  EXPECT_EQ(1, r.EoF());
  ExpectReaderError(CatchIO([&] { r.Read(buf, 1); }), kErrorFileRead, kEof);
}

TEST_F(FileReaderTest, ReadBytesExactlyToTheEnd) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("a", "abcd"), FileReader::ASCII));
  char buf[4];
  ASSERT_EQ(1, r.Read(buf, 4));
  EXPECT_EQ(0, r.EoF());
  EXPECT_EQ(0, r.Read(buf, 4));
  EXPECT_EQ(1, r.EoF());
}

TEST_F(FileReaderTest, PositionedRead) {
  struct Case {
    FileReader::CODE code;
    int64_t offset;
    int count;
    int result;
    std::string bytes;  // what arrives
    int eof;
  };
  // File bytes: FF FE 'a' 0 'b' 0 'c' 0.
  const Case cases[] = {
      {FileReader::UNICODE, 0, 4, 1, std::string("a\0b\0", 4), 0},
      {FileReader::UNICODE, 3, 2, 1, std::string("\0c", 2), 0},
      {FileReader::UNICODE, 4, 9, 1, std::string("c\0", 2), 1},
      {FileReader::UNICODE, -2, 2, 1, "\xFF\xFE", 0},
      {FileReader::UNICODE, 6, 1, 0, "", 1},
      {FileReader::UNICODE, 100, 1, 0, "", 1},
      {FileReader::ASCII, 0, 4, 1,
       std::string("\xFF\xFE"
                   "a\0",
                   4),
       0},
      {FileReader::ASCII, 7, 4, 1, std::string("\0", 1), 1},
  };
  const std::string file = MakeFile("u", Utf16File(L"abc"));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << " @" << c.offset);
    FileReader r;
    ASSERT_EQ(1, r.Open(file, c.code));
    char skip[1];
    ASSERT_EQ(1, r.Read(skip, 1));  // move away from the start first
    char buf[16];
    EXPECT_EQ(c.result, r.Read(buf, c.offset, c.count));
    if (c.result == 1) {
      EXPECT_EQ(c.bytes, std::string(buf, c.bytes.size()));
    }
    EXPECT_EQ(c.eof, r.EoF());
  }
}

TEST_F(FileReaderTest, SeekG) {
  FileReader r;
  ASSERT_EQ(1,
            r.Open(MakeFile("u", Utf16File(L"abc\nd")), FileReader::UNICODE));
  std::wstring line;
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  ASSERT_EQ(1, r.SeekG(0));  // back to the first unit after the mark
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(L"abc", line);
  ASSERT_EQ(1, r.SeekG(4));  // bytes, not characters
  ASSERT_EQ(1, r.GetLine(line, 100, L'\n'));
  EXPECT_EQ(L"c", line);
  ASSERT_EQ(1, r.SeekG(1));  // an odd offset pairs bytes across units
  ASSERT_EQ(1, r.Read(line, 1));
  EXPECT_EQ(std::wstring(1, 0x6200), line);

  r.Close();
  ASSERT_EQ(1, r.Open(MakeFile("a", "abc"), FileReader::ASCII));
  ASSERT_EQ(1, r.SeekG(2));
  std::string narrow;
  ASSERT_EQ(1, r.GetLine(narrow, 100, '\n'));
  EXPECT_EQ("c", narrow);
}

TEST_F(FileReaderTest, SeekGBeyondAnyPosition) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ab")), FileReader::UNICODE));
  EXPECT_EQ(1, r.SeekG(INT64_MAX));
  std::wstring text;
  ExpectReaderError(CatchIO([&] { r.Read(text, 1); }), kErrorFileRead, kEof);
  // Stepping back resets the state and moves relative to where it was.
  ASSERT_EQ(1, r.UngetUnicodeCharacters(0));
  ASSERT_EQ(1, r.Read(text, 5));
  EXPECT_EQ(L"ab", text);
}

TEST_F(FileReaderTest, SeekGAfterEndMovesNothing) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("a", "abc"), FileReader::ASCII));
  char buf[8];
  ASSERT_EQ(1, r.Read(buf, 8));
  ASSERT_EQ(1, r.EoF());
  EXPECT_EQ(1, r.SeekG(0));
  EXPECT_EQ(1, r.EoF());  // the state is not reset
  // Resetting the state without moving shows the position is still at the
  // end.
  ASSERT_EQ(1, r.UngetAsciiCharacters(0));
  EXPECT_EQ(0, r.EoF());
  EXPECT_EQ(0, r.Read(buf, 8));
}

TEST_F(FileReaderTest, Unget) {
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"abcd")), FileReader::UNICODE));
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 3));
  ASSERT_EQ(1, r.UngetUnicodeCharacters(2));
  ASSERT_EQ(1, r.Read(text, 10));
  EXPECT_EQ(L"bcd", text);
  ASSERT_EQ(1, r.EoF());
  // Unget clears the end of file and moves back from the end.
  ASSERT_EQ(1, r.UngetUnicodeCharacters(1));
  EXPECT_EQ(0, r.EoF());
  ASSERT_EQ(1, r.Read(text, 10));
  EXPECT_EQ(L"d", text);

  ASSERT_EQ(1, r.Open(MakeFile("a", "abcd\nef"), FileReader::ASCII));
  std::string line;
  ASSERT_EQ(1, r.GetLine(line, 100, '\n'));
  ASSERT_EQ(1, r.UngetAsciiCharacters(3));
  ASSERT_EQ(1, r.GetLine(line, 100, '\n'));
  EXPECT_EQ("cd", line);
  ASSERT_EQ(1, r.GetLine(line, 100, '\n'));
  ASSERT_EQ(1, r.EoF());
  ASSERT_EQ(1, r.UngetAsciiCharacters(1));
  ASSERT_EQ(1, r.GetLine(line, 100, '\n'));
  EXPECT_EQ("f", line);
}

TEST_F(FileReaderTest, UngetAfterLoneTrailingByte) {
  // The run past the end consumed the lone byte; stepping back one unit
  // lands on the last whole unit's second byte.
  FileReader r;
  ASSERT_EQ(1,
            r.Open(MakeFile("u", Utf16File(L"ab") + "z"), FileReader::UNICODE));
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 10));
  ASSERT_EQ(1, r.EoF());
  ASSERT_EQ(1, r.UngetUnicodeCharacters(1));
  char buf[4];
  ASSERT_EQ(1, r.Read(buf, 4));
  EXPECT_EQ(std::string("\0z", 2), std::string(buf, 2));
}

TEST_F(FileReaderTest, FileSize) {
  FileReader r;
  EXPECT_EQ(0, r.FileSize());
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"abc")), FileReader::UNICODE));
  EXPECT_EQ(8, r.FileSize());  // the mark counts
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 1));
  EXPECT_EQ(8, r.FileSize());
  ASSERT_EQ(1, r.Read(text, 10));  // the position was not disturbed
  EXPECT_EQ(L"bc", text);
  r.Close();
  EXPECT_EQ(0, r.FileSize());
}

TEST_F(FileReaderTest, SizesAndOffsetsBeyond4GiB) {
  const int64_t kSize = (int64_t{5} << 30) + 6;
  const std::string path = MakeFile("big", "");
  if (::truncate(path.c_str(), kSize) != 0) {
    GTEST_SKIP() << "no sparse files here";
  }
  {
    // Put a marker near the end.
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(0, fseeko(f, kSize - 4, SEEK_SET));
    ASSERT_EQ(4u, std::fwrite("tail", 1, 4, f));
    ASSERT_EQ(0, std::fclose(f));
  }
  FileReader r;
  ASSERT_EQ(1, r.Open(path, FileReader::ASCII));
  EXPECT_EQ(kSize, r.FileSize());
  char buf[8];
  ASSERT_EQ(1, r.Read(buf, kSize - 4, 8));
  EXPECT_EQ("tail", std::string(buf, 4));
  EXPECT_EQ(1, r.EoF());
  ASSERT_EQ(1, r.UngetAsciiCharacters(2));
  ASSERT_EQ(1, r.Read(buf, 2));
  EXPECT_EQ("il", std::string(buf, 2));
}

TEST_F(FileReaderTest, DoesExist) {
  const std::string file = MakeFile("f", "");
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0700));
  EXPECT_TRUE(FileReader::DoesExist(file));
  EXPECT_FALSE(FileReader::DoesExist(Path("missing")));
  EXPECT_FALSE(FileReader::DoesExist(""));
  EXPECT_FALSE(FileReader::DoesExist(static_cast<const char*>(nullptr)));
  // Agrees with Open, which refuses a directory.
  EXPECT_FALSE(FileReader::DoesExist(Path("dir")));
}

// The reader works through a buffer of its own; lines, units and raw reads
// must come out the same wherever its refills fall.
TEST_F(FileReaderTest, LinesAcrossBufferRefills) {
  std::mt19937 rng(7);
  std::wstring text;
  std::vector<std::wstring> lines;
  while (text.size() < 150000) {
    std::wstring line(1 + rng() % 3000, L'\0');
    for (wchar_t& c : line) c = 0x0621 + rng() % 0x30;
    lines.push_back(line);
    text += line + L"\n";
  }
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(text)), FileReader::UNICODE));
  std::vector<std::wstring> got;
  std::wstring line;
  while (r.GetLine(line, 5000, L'\n') == 1) got.push_back(line);
  EXPECT_EQ(lines, got);
  EXPECT_EQ(1, r.EoF());
}

TEST_F(FileReaderTest, GeminationAcrossBufferRefills) {
  // Lines built from tokens whose expansion is known: a letter with a
  // shadda doubles, a letter with HEH DOACHASHMEE and a shadda doubles the
  // pair, a plain letter stays.
  const wchar_t kShadda = 0x0651, kHeh = 0x06BE;
  std::mt19937 rng(13);
  std::wstring text;
  std::vector<std::wstring> lines;
  while (text.size() < 100000) {
    std::wstring in, out;
    const int tokens = 1 + rng() % 700;
    for (int t = 0; t < tokens; ++t) {
      const wchar_t letter = 0x0628 + rng() % 0x10;
      switch (rng() % 3) {
        case 0:
          in += {letter};
          out += {letter};
          break;
        case 1:
          in += {letter, kShadda};
          out += {letter, letter};
          break;
        default:
          in += {letter, kHeh, kShadda};
          out += {letter, kHeh, letter, kHeh};
      }
    }
    text += in + L"\n";
    lines.push_back(out);
  }
  FileReader r;
  r.SetGeminationExpansion(true);
  ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(text)), FileReader::UNICODE));
  std::vector<std::wstring> got;
  std::wstring line;
  while (r.GetLine(line, 10000, L'\n') == 1) got.push_back(line);
  ASSERT_EQ(lines.size(), got.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i], got[i]) << "line " << i;
  }
}

TEST_F(FileReaderTest, NarrowLinesAcrossBufferRefills) {
  std::mt19937 rng(11);
  std::string bytes;
  std::vector<std::string> lines;
  while (bytes.size() < 200000) {
    std::string line(1 + rng() % 5000, '\0');
    for (char& c : line) c = static_cast<char>('a' + rng() % 26);
    lines.push_back(line);
    bytes += line + "\n";
  }
  FileReader r;
  ASSERT_EQ(1, r.Open(MakeFile("a", bytes), FileReader::ASCII));
  std::vector<std::string> got;
  std::string line;
  while (r.GetLine(line, 5000, '\n') == 1) got.push_back(line);
  EXPECT_EQ(lines, got);
}

TEST_F(FileReaderTest, MovesAcrossBufferRefills) {
  std::string bytes(3 * 65536 + 17, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  const std::string path = MakeFile("a", bytes);
  auto unit = [&](size_t at) {
    return static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                static_cast<unsigned char>(bytes[at + 1]) << 8);
  };
  FileReader r;
  ASSERT_EQ(1, r.Open(path, FileReader::ASCII));
  // Units that straddle the refill points.
  ASSERT_EQ(1, r.SeekG(65535));
  wchar_t w[3];
  ASSERT_EQ(1, r.Read(w, 3));
  EXPECT_EQ(unit(65535), w[0]);
  EXPECT_EQ(unit(65537), w[1]);
  EXPECT_EQ(unit(65539), w[2]);
  // Raw reads spanning several refills, then back into an earlier one.
  std::vector<char> big(150000);
  ASSERT_EQ(1, r.Read(big.data(), 10, static_cast<int>(big.size())));
  EXPECT_EQ(bytes.substr(10, big.size()), std::string(big.begin(), big.end()));
  ASSERT_EQ(1, r.UngetAsciiCharacters(100000));
  char buf[64];
  ASSERT_EQ(1, r.Read(buf, sizeof(buf)));
  EXPECT_EQ(bytes.substr(50010, sizeof(buf)), std::string(buf, sizeof(buf)));
  // A forward seek far beyond the buffered part, then to the very end.
  ASSERT_EQ(1, r.SeekG(3 * 65536));
  ASSERT_EQ(1, r.Read(buf, sizeof(buf)));
  EXPECT_EQ(bytes.substr(3 * 65536, 17), std::string(buf, 17));
  EXPECT_EQ(1, r.EoF());

  // The same in UNICODE form, where offsets skip the mark.
  ASSERT_EQ(1, r.Open(MakeFile("u", "\xFF\xFE" + bytes), FileReader::UNICODE));
  ASSERT_EQ(1, r.SeekG(65533));
  std::wstring text;
  ASSERT_EQ(1, r.Read(text, 2));
  EXPECT_EQ((std::wstring{unit(65533), unit(65535)}), text);
  ASSERT_EQ(1, r.SeekG(100001));
  ASSERT_EQ(1, r.UngetUnicodeCharacters(20000));
  ASSERT_EQ(1, r.Read(text, 1));
  EXPECT_EQ(std::wstring(1, unit(60001)), text);
}

TEST_F(FileReaderTest, ReadErrorIsNotEndOfFile) {
  // The process's own memory file opens, but reading its first page fails.
  const char kUnreadable[] = "/proc/self/mem";
  if (!FileReader::DoesExist(kUnreadable)) GTEST_SKIP();
  FileReader r;
  ASSERT_EQ(1, r.Open(kUnreadable, FileReader::ASCII));
  std::string line;
  ExpectReaderError(CatchIO([&] { r.GetLine(line, 10, '\n'); }), kErrorFileRead,
                    "Could not read file.");
  EXPECT_EQ(1, r.EoF());
  ExpectReaderError(CatchIO([&] { r.GetLine(line, 10, '\n'); }), kErrorFileRead,
                    kEof);
}

TEST_F(FileReaderTest, ReadErrorWhileCheckingTheMark) {
  const char kUnreadable[] = "/proc/self/mem";
  if (!FileReader::DoesExist(kUnreadable)) GTEST_SKIP();
  const int before = OpenDescriptors();
  {
    FileReader r;
    for (int i = 0; i < 3; ++i) {
      ExpectReaderError(
          CatchIO([&] { r.Open(kUnreadable, FileReader::UNICODE); }),
          kErrorFileOpen, "Could not read file.");
      EXPECT_FALSE(r.IsOpen());
      EXPECT_EQ(0, r.EoF());
    }
    ASSERT_EQ(1, r.Open(MakeFile("u", Utf16File(L"ok")), FileReader::UNICODE));
    std::wstring line;
    ASSERT_EQ(1, r.GetLine(line, 10, L'\n'));
    EXPECT_EQ(L"ok", line);
  }
  // Nothing stays open once the reader is gone.
  EXPECT_EQ(before, OpenDescriptors());
}

TEST_F(FileReaderTest, DestructionAndCloseReleaseTheFile) {
  const std::string path = MakeFile("a", "abc");
  const int before = OpenDescriptors();
  {
    FileReader r;
    ASSERT_EQ(1, r.Open(path, FileReader::ASCII));
    EXPECT_EQ(before + 1, OpenDescriptors());
    ASSERT_EQ(1, r.Open(path, FileReader::ASCII));  // reopen closes first
    EXPECT_EQ(before + 1, OpenDescriptors());
    r.Close();
    EXPECT_EQ(before, OpenDescriptors());
    ASSERT_EQ(1, r.Open(path, FileReader::ASCII));
  }
  EXPECT_EQ(before, OpenDescriptors());
}

}  // namespace
}  // namespace test
}  // namespace urdulex
