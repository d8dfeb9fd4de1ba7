#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "foundation/TestUtil.h"
#include "text/TextIO.h"

namespace urdulex::internal {
namespace {

// Decodes `bytes` through a reader whose source hands out `step` bytes at
// a time; the text as UTF-8, or "error: MESSAGE".
class StepSource : public ByteSource {
 public:
  StepSource(std::string bytes, size_t step)
      : bytes_(std::move(bytes)), step_(step) {}
  size_t Read(unsigned char* buffer, size_t n) override {
    const size_t k = std::min({n, step_, bytes_.size() - at_});
    std::copy(bytes_.begin() + static_cast<ptrdiff_t>(at_),
              bytes_.begin() + static_cast<ptrdiff_t>(at_ + k), buffer);
    at_ += k;
    return k;
  }
  const std::string& name() const override { return name_; }

 private:
  std::string bytes_;
  size_t step_;
  size_t at_ = 0;
  std::string name_ = "in";
};

// With `utf8`, through NextUtf8.
std::string Decode(const std::string& bytes, bool lenient, size_t step,
                   uint64_t* replaced = nullptr, bool utf8 = false) {
  StepSource source(bytes, step);
  TextReader reader(source, lenient);
  Units units;
  Utf8Bytes text;
  try {
    while (utf8 ? reader.NextUtf8(&text) : reader.Next(&units)) {
    }
  } catch (const Error& e) {
    return "error: " + e.message();
  }
  if (utf8) return std::string(text.begin(), text.end());
  if (replaced != nullptr) *replaced = reader.replaced();
  return ToUtf8(std::u16string(units.begin(), units.end()));
}

TEST(TextDecoderTest, FormsAndMalformedInput) {
  const std::string kFFFD = "\xEF\xBF\xBD";
  struct Case {
    std::string input;
    std::string strict;   // text, or the error message
    std::string lenient;  // text
    uint64_t replaced;
  } cases[] = {
      {"", "", "", 0},
      {"\xD8\xA7\xD8\xB1\xD8\xAF\xD9\x88 Urdu",
       "\xD8\xA7\xD8\xB1\xD8\xAF\xD9\x88 Urdu",
       "\xD8\xA7\xD8\xB1\xD8\xAF\xD9\x88 Urdu", 0},
      // A UTF-8 mark is dropped; UTF-16 in either order by its mark.
      {"\xEF\xBB\xBFok", "ok", "ok", 0},
      {std::string("\xFF\xFE\x27\x06\n\0", 6), "\xD8\xA7\n", "\xD8\xA7\n", 0},
      {std::string("\xFE\xFF\x06\x27", 4), "\xD8\xA7", "\xD8\xA7", 0},
      // Beyond 16 bits, in both forms.
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80",
       "\xF0\x9F\x98\x80", 0},
      // Errors name the line and the byte offset from the start of input.
      {"a\nb\n\xFF", "error: in: line 3, byte offset 4: invalid UTF-8",
       "a\nb\n" + kFFFD, 1},
      {"ab\xC0\xAF", "error: in: line 1, byte offset 2: invalid UTF-8",
       "ab" + kFFFD + kFFFD, 2},
      {"\xED\xA0\x80x", "error: in: line 1, byte offset 0: invalid UTF-8",
       kFFFD + kFFFD + kFFFD + "x", 3},
      {"\xF4\x90\x80\x80", "error: in: line 1, byte offset 0: invalid UTF-8",
       kFFFD + kFFFD + kFFFD + kFFFD, 4},
      // A cut sequence is one replacement: its valid start is one part.
      {"x\n\xE2\x82", "error: in: line 2, byte offset 2: invalid UTF-8",
       "x\n" + kFFFD, 1},
      {"\xE2\x82x", "error: in: line 1, byte offset 0: invalid UTF-8",
       kFFFD + "x", 1},
      {std::string("\xFF\xFE\x00\xDC", 4),
       "error: in: line 1, byte offset 2: invalid UTF-16 (unpaired surrogate)",
       kFFFD, 1},
      {std::string("\xFF\xFE\n\0\x00\xD8", 6),
       "error: in: line 2, byte offset 4: invalid UTF-16 (unpaired surrogate)",
       "\n" + kFFFD, 1},
      {std::string("\xFF\xFE"
                   "a\0b",
                   5),
       "error: in: line 1, byte offset 4: odd number of bytes in UTF-16",
       "a" + kFFFD, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    // Every block size gives the same, down to one byte at a time.
    for (size_t step : {size_t{1}, size_t{2}, size_t{3}, size_t{1} << 20}) {
      EXPECT_EQ(c.strict, Decode(c.input, false, step)) << step;
      uint64_t replaced = 0;
      EXPECT_EQ(c.lenient, Decode(c.input, true, step, &replaced)) << step;
      EXPECT_EQ(c.replaced, replaced) << step;
    }
  }
}

// A failure says what the bytes look like in its own words, and leaves it to
// the caller to say how to read them: the encodings come apart.
TEST(TextDecoderTest, FailuresNameTheEncodingsThatWouldReadTheInput) {
  struct {
    std::string bytes;
    std::string message;
    std::vector<std::string> encodings;
  } cases[] = {
      {std::string("\xFF\xFE\0\0\x27\x06\0\0", 8),
       "in: line 1, byte offset 0: UTF-32 text (byte-order mark FF FE 00 00)",
       {"UTF-32"}},
      {"\xA9\x06\x2A\x06\x27\x06\x28\x06\x0A\x00",
       "in: line 1, byte offset 0: invalid UTF-8; it looks like UTF-16LE "
       "without a byte-order mark",
       {"UTF-16LE"}},
      {"ab\xFF", "in: line 1, byte offset 2: invalid UTF-8", {}},
  };
  for (const auto& c : cases) {
    StepSource source(c.bytes, c.bytes.size());
    TextReader reader(source, false);
    Units units;
    try {
      while (reader.Next(&units)) {
      }
      ADD_FAILURE() << c.message;
    } catch (const Error& e) {
      EXPECT_EQ(c.message, e.message());
      EXPECT_EQ(c.encodings, e.encodings()) << c.message;
    }
  }
}

TEST(TextDecoderTest, LongRandomTextSurvivesAnyBlocking) {
  std::mt19937 rng(3);
  const char* pieces[] = {"\xD8\xA7",         "\xE2\x80\x8C", "a", "\n",
                          "\xF0\x9F\x98\x80", "\xDB\x92",     " "};
  std::string text;
  while (text.size() < 3 * TextReader::kBlock) text += pieces[rng() % 7];
  for (size_t step : {size_t{4093}, TextReader::kBlock}) {
    EXPECT_TRUE(text == Decode(text, false, step)) << step;
    EXPECT_TRUE(text == Decode(text, false, step, nullptr, true)) << step;
  }
  // Only checked or decoded, malformed bytes anywhere fail alike, among
  // characters of one and two bytes (that are checked many at a time).
  const int short_pieces[] = {0, 2, 3, 5, 6};
  std::string plain;
  while (plain.size() < 100) plain += pieces[short_pieces[rng() % 5]];
  for (size_t at = 0; at < 64; ++at) {
    for (const char* bad : {"\xFF", "\xC1\xBF", "\xE2\x82", "\xA7"}) {
      const std::string broken =
          plain.substr(0, at) + bad + plain.substr(at, 40);
      EXPECT_EQ(Decode(broken, false, 4096),
                Decode(broken, false, 4096, nullptr, true))
          << at;
    }
  }
}

TEST(TextWriterTest, Utf8AndTheSixteenBitForm) {
  const std::u16string text = u"\u0627\n\r\nx\U0001F600";
  StringSink utf8;
  TextWriter a(utf8, TextWriter::kUtf8);
  a.Put(text);
  a.Finish();
  EXPECT_EQ("\xD8\xA7\n\r\nx\xF0\x9F\x98\x80", utf8.bytes);

  // Every LF not after a CR becomes CR LF; the mark comes first, also
  // for no text.
  StringSink utf16;
  TextWriter b(utf16, TextWriter::kUtf16);
  b.Put(text.data(), 2);
  b.Put(text.data() + 2, text.size() - 2);
  b.Finish();
  EXPECT_EQ(
      std::string("\xFF\xFE\x27\x06\r\0\n\0\r\0\n\0x\0\x3D\xD8\x00\xDE", 18),
      utf16.bytes);
  StringSink empty;
  TextWriter c(empty, TextWriter::kUtf16);
  c.Finish();
  EXPECT_EQ("\xFF\xFE", empty.bytes);

  // A surrogate pair split between two calls is still one character; a
  // lone one becomes U+FFFD.
  StringSink split;
  TextWriter d(split, TextWriter::kUtf8);
  const char16_t pair[] = {0xD83D, 0xDE00};
  d.Put(pair, 1);
  d.Put(pair + 1, 1);
  d.Put(pair, 1);
  d.Put(u'a');
  d.Finish();
  EXPECT_EQ(
      "\xF0\x9F\x98\x80\xEF\xBF\xBD"
      "a",
      split.bytes);
}

TEST(TextWriterTest, LongOutputGoesOutInPieces) {
  std::u16string text(3 << 20, u'\u06D2');
  StringSink sink;
  TextWriter writer(sink, TextWriter::kUtf8);
  writer.Put(text);
  writer.Finish();
  ASSERT_EQ(2 * text.size(), sink.bytes.size());
  EXPECT_EQ("\xDB\x92", sink.bytes.substr(sink.bytes.size() - 2));
}

// Words handed over as UTF-16LE bytes, or to ToUtf8, come out as Put would
// write them, whatever units they mix: one and two-byte ones at the edges
// of their ranges, three-byte ones, surrogates, at any position in a group
// of four.
TEST(TextWriterTest, WordsAsUtf16BytesAsPut) {
  const char16_t units[] = {0x41,  0x7F,   0x80,   0x627,  0x6D2,  0x7FF,
                            0x800, 0x200C, 0xD83D, 0xDE00, 0xFFFD, 0x0};
  std::mt19937 rng(9);
  for (int round = 0; round < 2000; ++round) {
    std::u16string word(rng() % 14, u'\u0628');
    for (char16_t& u : word) {
      if (rng() % 3 == 0) u = units[rng() % (sizeof(units) / 2)];
    }
    std::string bytes;
    for (char16_t u : word) {
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    }
    StringSink expected, got;
    TextWriter a(expected, TextWriter::kUtf8), b(got, TextWriter::kUtf8);
    a.Put(word);
    b.PutUtf16LE(reinterpret_cast<const unsigned char*>(bytes.data()),
                 word.size());
    a.Finish();
    b.Finish();
    ASSERT_EQ(expected.bytes, got.bytes) << "round " << round;
    ASSERT_EQ(expected.bytes, ToUtf8(word)) << "round " << round;
  }
}

class FileSourceTest : public urdulex::test::TempDirTest {};

// A file read while another program changes it is not one version of it.
TEST_F(FileSourceTest, InputChangedWhileReadIsAnError) {
  struct {
    const char* what;
    std::string change;  // shell command run after the first block
    bool fails;
  } cases[] = {
      {"untouched", "true", false},
      {"grown", "echo more >> in", true},
      {"shrunk", "truncate -s 100 in", true},
      {"rewritten in place",
       "printf X | dd of=in bs=1 seek=5000 conv=notrunc "
       "2>/dev/null && touch -d 2001-01-01 in",
       true},
      {"replaced", "cp in new && mv new in", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MakeFile("in", std::string(100000, 'a'));
    FileSource source(Path("in"));
    unsigned char block[4096];
    ASSERT_EQ(sizeof(block), source.Read(block, sizeof(block)));
    ASSERT_EQ(0, Run(c.change));
    std::string error;
    try {
      while (source.Read(block, sizeof(block)) > 0) {
      }
    } catch (const Error& e) {
      error = e.message();
    }
    EXPECT_EQ(c.fails ? Path("in") + " changed while being read" : "", error);
  }
}

}  // namespace
}  // namespace urdulex::internal
