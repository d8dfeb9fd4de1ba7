// Fuzz target for the text path of the urdu program: the reader of UTF-8
// and UTF-16 input with the tokenizer, and the word alignment of evaluate.
//
// The first input byte picks the case:
//   0: the rest is an input file. Read strictly and leniently, whole and in
//      small blocks: the lenient text is the strict one when that succeeds,
//      the blocks give what the whole gives, and the tokens cover the text
//      exactly, words holding no separator.
//   1: the rest is two texts, the gold and the prediction, split at the
//      first byte 0x00. Evaluate must either name a mismatch or give
//      counts that fit together.
//   2: the rest is UTF-8 text, diacritized with a small table of its own:
//      the output stripped of its marks is the input stripped of them
//      (a diacritizer adds marks and nothing else).
// Without libFuzzer, fuzz/FuzzReplayMain.cpp replays the files named on the
// command line.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/Encoding.h"
#include "text/Evaluate.h"
#include "text/TextIO.h"
#include "text/Tokenizer.h"
#include "urdulex/diacritics.h"
#include "urdulex/error.h"
#include "urdulex/wordform_table.h"

namespace {

// Inputs beyond this add nothing the small ones do not reach.
constexpr size_t kMaxInput = 1 << 16;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "urdu_fuzzer: %s\n", what);
  std::abort();
}

// A source that hands out at most `step` bytes a read.
class StepSource : public urdulex::internal::ByteSource {
 public:
  StepSource(const std::string& bytes, size_t step)
      : bytes_(bytes), step_(step) {}
  size_t Read(unsigned char* buffer, size_t n) override {
    size_t k = n < step_ ? n : step_;
    if (k > bytes_.size() - at_) k = bytes_.size() - at_;
    for (size_t i = 0; i < k; ++i) {
      buffer[i] = static_cast<unsigned char>(bytes_[at_ + i]);
    }
    at_ += k;
    return k;
  }
  const std::string& name() const override { return name_; }

 private:
  const std::string& bytes_;
  size_t step_;
  size_t at_ = 0;
  std::string name_ = "input";
};

// The decoded text and its tokens, fed to the tokenizer as the reader
// hands it out. False when strict reading fails.
bool Read(const std::string& bytes, bool lenient, size_t step,
          std::u16string* text, std::vector<urdulex::internal::Token>* tokens) {
  StepSource source(bytes, step);
  urdulex::internal::TextReader reader(source, lenient);
  urdulex::internal::Tokenizer tokenizer;
  urdulex::internal::Units pending;
  text->clear();
  tokens->clear();
  try {
    bool more = true;
    while (more) {
      more = reader.Next(&pending);
      std::vector<urdulex::internal::Token> block;
      const size_t used =
          tokenizer.Split(pending.data(), pending.size(), !more, &block);
      for (urdulex::internal::Token t : block) {
        t.start += static_cast<uint32_t>(text->size());
        tokens->push_back(t);
      }
      text->append(pending.begin(),
                   pending.begin() + static_cast<ptrdiff_t>(used));
      pending.erase(pending.begin(),
                    pending.begin() + static_cast<ptrdiff_t>(used));
    }
  } catch (const urdulex::internal::Error&) {
    // --lenient mends bad sequences, not a UTF-32 text: that is refused.
    const urdulex::internal::Utf32Mark mark = urdulex::internal::FindUtf32Mark(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
        true);
    const bool utf32 = mark == urdulex::internal::Utf32Mark::kLittleEndian ||
                       mark == urdulex::internal::Utf32Mark::kBigEndian;
    if (lenient && !utf32) Fail("lenient reading failed");
    return false;
  }
  return true;
}

void FuzzReader(const std::string& bytes) {
  std::u16string strict, lenient, small;
  std::vector<urdulex::internal::Token> strict_tokens, tokens, small_tokens;
  const bool ok = Read(bytes, false, 1 << 20, &strict, &strict_tokens);
  Read(bytes, true, 1 << 20, &lenient, &tokens);
  Read(bytes, true, 3, &small, &small_tokens);
  if (ok && strict != lenient) Fail("lenient text differs from strict text");
  if (small != lenient) Fail("small blocks give another text");
  // The tokens tile the text; words are kept whole across blocks.
  size_t at = 0;
  std::u16string words, small_words;
  for (const urdulex::internal::Token& t : tokens) {
    if (t.start != at) Fail("tokens leave a gap");
    at += t.length;
    if (t.kind == urdulex::internal::Token::kWord) {
      for (uint32_t i = 0; i < t.length; ++i) {
        if (urdulex::internal::IsSeparator(lenient[t.start + i]))
          Fail("separator in word");
      }
      words += lenient.substr(t.start, t.length) + u'|';
    }
  }
  if (at != lenient.size()) Fail("tokens do not cover the text");
  for (const urdulex::internal::Token& t : small_tokens) {
    if (t.kind == urdulex::internal::Token::kWord) {
      small_words += small.substr(t.start, t.length) + u'|';
    }
  }
  if (words != small_words) Fail("small blocks give other words");
}

void FuzzEvaluate(const std::string& bytes) {
  const size_t split = bytes.find('\0');
  const std::string gold = bytes.substr(0, split);
  const std::string predicted =
      split == std::string::npos ? gold : bytes.substr(split + 1);
  urdulex::internal::MemorySource gold_source(gold, "gold");
  urdulex::internal::MemorySource predicted_source(predicted, "predicted");
  urdulex::internal::TextReader gold_reader(gold_source, true);
  urdulex::internal::TextReader predicted_reader(predicted_source, true);
  urdulex::internal::WordStream g(gold_reader);
  urdulex::internal::WordStream p(predicted_reader);
  urdulex::internal::Evaluation e;
  try {
    urdulex::internal::Evaluate(g, p, nullptr, &e);
  } catch (const urdulex::internal::Error&) {
    return;
  }
  if (e.letter_errors > e.letters || e.last_letter_errors > e.letter_errors ||
      e.words > e.letters || e.word_errors > e.words ||
      e.word_errors_before_last > e.word_errors ||
      e.letter_errors - e.last_letter_errors > e.letters - e.words) {
    Fail("counts do not fit together");
  }
  if (split == std::string::npos && (e.letter_errors != 0)) {
    Fail("a text differs from itself");
  }
  urdulex::internal::FormatEvaluation(e);
}

}  // namespace

// Words with homographs, compounds' parts, a khari zabar and the letters
// that join nothing after them.
const urdulex::WordFormTable& Table() {
  static const urdulex::WordFormTable* table = [] {
    char path[] = "/tmp/urdu_fuzzer_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) Fail("no temporary table");
    close(fd);
    urdulex::WordFormTableBuilder builder;
    for (const char* word :
         {u8"کِتاب", u8"کَتاب", u8"اَور", u8"اُس", u8"اِس", u8"صُورَت", u8"حال",
          u8"ہو", u8"گَیا", u8"اَللّٰہ", u8"اَعلیٰ", u8"مَیں", u8"میں", u8"و", u8"دِل",
          u8"قابِل", u8"مَسئلہ"}) {
      builder.Add(word);
    }
    builder.Build(path);
    auto* opened =
        new urdulex::WordFormTable(urdulex::WordFormTable::Open(path));
    unlink(path);
    return opened;
  }();
  return *table;
}

void FuzzDiacritize(const std::string& text) {
  std::string out, bare_in;
  try {
    bare_in = urdulex::StripDiacritics(text);
    out = Table().Diacritize(text);
  } catch (const urdulex::Error&) {
    return;  // not UTF-8
  }
  if (urdulex::StripDiacritics(out) != bare_in) {
    Fail("diacritizing changed more than marks");
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      FuzzReader(rest);
      break;
    case 1:
      FuzzEvaluate(rest);
      break;
    case 2:
      FuzzDiacritize(rest);
      break;
  }
  return 0;
}
