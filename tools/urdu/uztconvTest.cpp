// End-to-end tests of `urdu uzt`: files in, files out, exit status and the
// one line on standard error.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "foundation/TestUtil.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

namespace {

const std::string kMapping = URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt";

class UztconvTest : public urdulex::test::TempDirTest {
 protected:
  // The arguments of one conversion: "VERB --mapping MAPPING INPUT -o OUTPUT".
  static std::string Args(const std::string& verb, const std::string& mapping,
                          const std::string& input, const std::string& output) {
    return verb + " --mapping " + mapping + " " + input + " -o " + output;
  }

  // Runs `urdu uzt` with `args`; returns the exit status, standard error in
  // `err`.
  int Run(const std::string& args, std::string* err = nullptr) {
    const int status = TempDirTest::Run(std::string(URDU_PATH) + " uzt " +
                                        args + " >/dev/null");
    if (err != nullptr) *err = stderr_;
    return status;
  }
};

// Urdu, Latin, digits, brackets, fixed sequences, line ends, as UTF-8.
const char kText[] =
    "\xD8\xA7\xD8\xB1\xD8\xAF\xD9\x88 (Urdu) \xDB\x81\xDB\x92 [1-2] | "
    "\xD8\xA1 \xD8\xA6\xDB\x93\xDB\x82\r\nline two\n";

TEST_F(UztconvTest, RoundTripsInEveryForm) {
  MakeFile("in.txt", kText);
  ASSERT_EQ(0, Run(Args("encode", kMapping, Path("in.txt"), Path("out.uzt"))));
  const std::string uzt = Contents(Path("out.uzt"));
  // The library converts the same text to the same bytes.
  UZTMapping mapping;
  mapping.Load(kMapping);
  LexEnigneUtility util;
  mapping.Install(util);
  std::wstring text;
  util.ConvertUZT2Unicode(uzt, text);
  std::string again;
  util.ConvertUnicode2UZT(text, again);
  EXPECT_EQ(uzt, again);

  ASSERT_EQ(0,
            Run(Args("decode", kMapping, Path("out.uzt"), Path("back.txt"))));
  EXPECT_EQ(kText, Contents(Path("back.txt")));

  // UTF-16 output carries the mark; fed back in it encodes the same.
  ASSERT_EQ(0, Run(Args("decode --utf16", kMapping, Path("out.uzt"),
                        Path("back.u16"))));
  const std::string u16 = Contents(Path("back.u16"));
  ASSERT_GE(u16.size(), 2u);
  EXPECT_EQ("\xFF\xFE", u16.substr(0, 2));
  EXPECT_EQ(2 + 2 * text.size(), u16.size());
  ASSERT_EQ(0,
            Run(Args("encode", kMapping, Path("back.u16"), Path("again.uzt"))));
  EXPECT_EQ(uzt, Contents(Path("again.uzt")));

  // Empty input, empty output.
  MakeFile("empty", "");
  ASSERT_EQ(0, Run(Args("encode", kMapping, Path("empty"), Path("empty.uzt"))));
  EXPECT_EQ("", Contents(Path("empty.uzt")));
}

TEST_F(UztconvTest, LargeFilesStreamThroughManyBlocks) {
  // About 3 MB of text, beyond the program's blocks, compared with the
  // library converting it whole.
  UZTMapping mapping;
  mapping.Load(kMapping);
  LexEnigneUtility util;
  mapping.Install(util);
  std::wstring text;
  std::mt19937 rng(7);
  const std::wstring words[] = {L"\x0627\x0631\x062F\x0648",
                                L"Urdu",
                                L"\x0621",
                                L"\x06C1\x06D2",
                                L"[x]",
                                L"12",
                                L"\x0626",
                                L"\r\n"};
  while (text.size() < 1500000) {
    text += words[rng() % 8];
    text += L' ';
  }
  MakeFile("big.u16", urdulex::test::Utf16File(text));
  ASSERT_EQ(0, Run(Args("encode", kMapping, Path("big.u16"), Path("big.uzt"))));
  std::string whole;
  util.ConvertUnicode2UZT(text, whole);
  EXPECT_TRUE(whole == Contents(Path("big.uzt")));
  ASSERT_EQ(0, Run(Args("decode --utf16", kMapping, Path("big.uzt"),
                        Path("big.back"))));
  std::wstring decoded;
  util.ConvertUZT2Unicode(whole, decoded);
  EXPECT_TRUE(urdulex::test::Utf16File(decoded) == Contents(Path("big.back")));
}

TEST_F(UztconvTest, MisuseExitsWithTwo) {
  std::string err;
  EXPECT_EQ(2, Run("", &err));
  EXPECT_EQ("urdu: uzt: encode or decode? (see urdu uzt --help)\n", err);
  EXPECT_EQ(2, Run("convert --mapping " + kMapping + " a"));
  EXPECT_EQ(
      2, Run("encode --utf16 --mapping " + kMapping + " a -o " + Path("out")));
  EXPECT_EQ(2, Run("encode " + Path("in") + " -o " + Path("out"), &err));
  EXPECT_EQ("urdu: uzt: --mapping FILE is required (see urdu uzt --help)\n",
            err);
  EXPECT_EQ(2, Run("decode --mapping " + kMapping + " a b"));
  EXPECT_EQ(2, Run("decode --mapping"));
  EXPECT_FALSE(Exists("out"));
  EXPECT_EQ(0, Run("--help"));
}

TEST_F(UztconvTest, FailuresBeforeTheOutputLeaveNoOutput) {
  MakeFile("in.txt", kText);
  std::string err;
  EXPECT_EQ(
      1,
      Run(Args("encode", Path("none.txt"), Path("in.txt"), Path("out")), &err));
  EXPECT_EQ(0u, err.find("urdu: cannot read mapping file " + Path("none.txt") +
                         ": "));
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n'));

  MakeFile("bad.map", "U+0020 0x20 N\nU+0627 0xFE U\n");
  EXPECT_EQ(1, Run(Args("encode", Path("bad.map"), Path("in.txt"), Path("out")),
                   &err));
  EXPECT_EQ("urdu: " + Path("bad.map") +
                ": line 2: byte 0xFE is the code-plate escape and never "
                "stands for a character\n",
            err);

  EXPECT_EQ(1, Run(Args("decode", kMapping, Path("none"), Path("out")), &err));
  EXPECT_EQ(0u, err.find("urdu: cannot open " + Path("none") + ": "));
  EXPECT_FALSE(Exists("out"));

  EXPECT_EQ(1, Run(Args("encode", kMapping, Path("."), Path("out")), &err));
  EXPECT_EQ("urdu: cannot read " + Path(".") + ": Is a directory\n", err);
  EXPECT_FALSE(Exists("out"));

  EXPECT_EQ(1, Run(Args("encode", kMapping, Path("in.txt"), Path("no/dir/out")),
                   &err));
  EXPECT_EQ("urdu: cannot create " + Path("no/dir/out") +
                ": No such file or directory\n",
            err);

  // The same file under two names is refused, not truncated.
  ASSERT_EQ(0, ::link(Path("in.txt").c_str(), Path("alias").c_str()));
  EXPECT_EQ(1,
            Run(Args("encode", kMapping, Path("in.txt"), Path("alias")), &err));
  EXPECT_EQ("urdu: input and output are the same file: " + Path("alias") + "\n",
            err);
  EXPECT_EQ(kText, Contents(Path("in.txt")));
}

// Pipes and devices are read to their end: standard input, a named pipe,
// an empty device.
TEST_F(UztconvTest, ReadsPipesAndStandardInput) {
  MakeFile("in.txt", kText);
  ASSERT_EQ(0, Run(Args("encode", kMapping, Path("in.txt"), Path("file.uzt"))));
  ASSERT_EQ(0, Run("encode --mapping " + kMapping + " < '" + Path("in.txt") +
                   "' -o " + Path("stdin.uzt")));
  EXPECT_EQ(Contents(Path("file.uzt")), Contents(Path("stdin.uzt")));
  ASSERT_EQ(0, ::mkfifo(Path("fifo").c_str(), 0600));
  const std::string cmd = "cat '" + Path("file.uzt") + "' > '" + Path("fifo") +
                          "' & timeout 20 " + std::string(URDU_PATH) +
                          " uzt decode --mapping " + kMapping + " " +
                          Path("fifo") + " > '" + Path("back.txt") + "'";
  ASSERT_EQ(0, std::system(cmd.c_str()));
  EXPECT_EQ(kText, Contents(Path("back.txt")));
  ASSERT_EQ(0, Run(Args("encode", kMapping, "/dev/null", Path("null.uzt"))));
  EXPECT_EQ("", Contents(Path("null.uzt")));
}

TEST_F(UztconvTest, ConversionErrorsNameTheOffsetAndKeepTheOldOutput) {
  const std::string kUnknown = " has no UZT form in the mapping\n";
  struct Case {
    std::string input;
    std::string error;  // after "urdu: INPUT: "
  } cases[] = {
      {std::string(5000, 'a') + "\xE4\xB8\x80",
       "line 1, column 5001, byte offset 5000: U+4E00" + kUnknown},
      {"ab\n\xD8\xA7\xE4\xB8\x80",
       "line 2, column 2, byte offset 5: U+4E00" + kUnknown},
      // The first character that has no UZT form is named, whatever its
      // kind, also before malformed input, in UTF-8 and in UTF-16.
      {"ab \xE4\xB8\x80 c \xF0\x9F\x98\x80\n",
       "line 1, column 4, byte offset 3: U+4E00" + kUnknown},
      {"ab \xE4\xB8\x80 c \x80\n",
       "line 1, column 4, byte offset 3: U+4E00" + kUnknown},
      {std::string("\xFF\xFE"
                   "a\0\0\x4E\0\xDC",
                   8),
       "line 1, column 2, byte offset 4: U+4E00" + kUnknown},
      // Malformed input after convertible text is named as such, with its
      // line.
      {"ab \xD8\xA7 c \x80\n",
       "line 1, column 8, byte offset 8: invalid UTF-8 byte\n"},
      {"a\nb\n\xE2\x82",
       "line 3, column 1, byte offset 4: UTF-8 sequence cut by the end "
       "of the input\n"},
      {std::string("\xFF\xFE\n\0\x00\xDC", 6),
       "line 2, column 1, byte offset 4: unpaired UTF-16 surrogate\n"},
  };
  std::string err;
  for (const Case& c : cases) {
    MakeFile("in.txt", c.input);
    MakeFile("out", "old");
    EXPECT_EQ(1,
              Run(Args("encode", kMapping, Path("in.txt"), Path("out")), &err));
    EXPECT_EQ("urdu: " + Path("in.txt") + ": " + c.error, err);
    EXPECT_EQ("old", Contents(Path("out")));  // left as it was
  }

  MakeFile("in.uzt", std::string(3000, '\x81') +
                         "\xFE"
                         "1abc\xFE"
                         "9");
  EXPECT_EQ(1,
            Run(Args("decode", kMapping, Path("in.uzt"), Path("out")), &err));
  EXPECT_EQ("urdu: " + Path("in.uzt") +
                ": line 1, column 3006, byte offset 3005: code-plate escape "
                "254 followed by 0x39 "
                "(expected '0' or '1')\n",
            err);
  EXPECT_EQ("old", Contents(Path("out")));
}

// --on-error skip drops what cannot be converted, substitute replaces it;
// the result is that of converting the text with the same change made.
TEST_F(UztconvTest, OnErrorSkipsOrSubstitutes) {
  const std::string mapping = " --mapping " + kMapping;
  const std::string bad =
      "a\xE4\xB8\x80\xD8\xA7 \xF0\x9F\x98\x80"
      "b\n";
  const struct {
    const char* options;
    std::string same_as;
  } encode[] = {
      {"--on-error skip", "a\xD8\xA7 b\n"},
      {"--on-error substitute", "a?\xD8\xA7 ?b\n"},
      {"--substitute x", "ax\xD8\xA7 xb\n"},
      {"--on-error substitute --substitute 0x81",
       "a\xD8\xA7\xD8\xA7 \xD8\xA7"
       "b\n"},
  };
  MakeFile("bad.txt", bad);
  std::string err;
  for (const auto& c : encode) {
    SCOPED_TRACE(c.options);
    MakeFile("same.txt", c.same_as);
    ASSERT_EQ(0,
              Run(Args("encode", kMapping, Path("same.txt"), Path("a.uzt"))));
    ASSERT_EQ(0, Run(std::string("encode ") + c.options + mapping + " " +
                         Path("bad.txt") + " -o " + Path("b.uzt"),
                     &err));
    EXPECT_EQ(Contents(Path("a.uzt")), Contents(Path("b.uzt")));
    EXPECT_NE(std::string::npos, err.find(": 2 characters without a UZT form "))
        << err;
  }
  MakeFile("bad.uzt",
           "\x81\xF0\x82\xFE"
           "9\n");
  const struct {
    const char* options;
    std::string text;
  } decode[] = {
      {"--on-error skip",
       "\xD8\xA7\xD8\xA8"
       "9\n"},
      {"--on-error substitute", "\xD8\xA7?\xD8\xA8?9\n"},
      {"--substitute 0xBF",
       "\xD8\xA7\xC2\xBF\xD8\xA8\xC2\xBF"
       "9\n"},
  };
  for (const auto& c : decode) {
    SCOPED_TRACE(c.options);
    ASSERT_EQ(0, Run(std::string("decode ") + c.options + mapping + " " +
                     Path("bad.uzt") + " -o " + Path("b.txt")));
    EXPECT_EQ(c.text, Contents(Path("b.txt")));
  }
  // Misuse, and a substitute the mapping cannot write.
  for (const char* options :
       {"--on-error ignore", "--on-error skip --substitute x",
        "--substitute 256", "--substitute xy",
        "--substitute=", "--substitute 0x"}) {
    SCOPED_TRACE(options);
    EXPECT_EQ(2, Run(std::string("encode ") + options + mapping + " " +
                     Path("bad.txt") + " -o " + Path("c.uzt")));
  }
  EXPECT_EQ(1, Run("encode --substitute 0xF0" + mapping + " " +
                       Path("bad.txt") + " -o " + Path("c.uzt"),
                   &err));
  EXPECT_EQ(
      "urdu: --substitute: byte 0xF0 stands for no character of the "
      "mapping\n",
      err);
  EXPECT_FALSE(Exists("c.uzt"));
}

}  // namespace
