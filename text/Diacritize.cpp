#include "text/Diacritize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/hashmain.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/Utf8.h"
#include "script/ArabicComposition.h"
#include "script/LexEnigneUtility.h"
#include "text/WordKey.h"

// Keys go to the index as the bytes of the UTF-16 units in memory, which
// the index takes for UTF-16LE.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the word-form index takes keys as UTF-16LE bytes"
#endif

namespace urdulex::internal {

namespace {

std::wstring Wide(const char16_t* p, size_t n) {
  return std::wstring(p, p + n);
}

}  // namespace

bool AppendBareForm(const char16_t* word, size_t n, std::u16string* out) {
  size_t i = 0;
  while (i < n && !IsLiftedMark(word[i])) ++i;
  if (i == n) return false;
  LexEnigneUtility utility;
  std::wstring bare;
  std::string symbols;
  utility.SeparateSymbolicDiacritics(Wide(word, n), bare, symbols);
  for (wchar_t c : bare) out->push_back(static_cast<char16_t>(c));
  return true;
}

namespace {

// The start of a file that decides whether it is a word list.
constexpr size_t kSniff = 4096;

// Whether `path` is a regular file of UTF-8 text, no NUL, with an
// Arabic-script letter: what a word list (one diacritized word a line) is,
// and what a table never is.
bool LooksLikeWordList(const std::string& path) {
  // A sequence cut by the end of the piece read does not count against
  // it. Only a regular file is looked at again: the bytes of a pipe or a
  // FIFO were taken by the table's one read, and a FIFO opened anew would
  // wait for a writer that never comes.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  unsigned char bytes[kSniff];
  const ssize_t got = ::read(fd, bytes, sizeof(bytes));
  ::close(fd);
  if (got <= 0) return false;
  const size_t n = static_cast<size_t>(got);
  bool arabic = false;
  for (size_t i = 0; i < n;) {
    if (bytes[i] == 0) return false;
    char32_t c = bytes[i];
    size_t valid = 0;
    int len = 1;
    if (c >= 0x80) {
      len = utf8::DecodeSequence(bytes + i, n - i, &c, &valid);
      if (len == 0 && n == sizeof(bytes)) break;  // cut by the piece's end
      if (len <= 0) return false;
    }
    arabic = arabic || (c >= 0x0600 && c <= 0x06FF);
    i += static_cast<size_t>(len);
  }
  return arabic;
}

void OpenTable(const std::string& path, bool all_forms, bool private_copy,
               WordFormLookup* table) {
  const std::string where = "table " + QuoteName(path) + ": ";
  try {
    // The file is opened once; its verdicts and the lookups all come from
    // that one opening.
    WordFormLookup::Limits limits;
    limits.private_copy = private_copy;
    std::string rejection;
    switch (table->Open(path, all_forms, &rejection, limits)) {
      case WordFormLookup::Verdict::kOpen:
        break;
      case WordFormLookup::Verdict::kRejected:
        throw Error(where + rejection);
      case WordFormLookup::Verdict::kExtent:
        // The loader takes a file cut short as a table with unused slots,
        // whose words would silently go unfound.
        throw Error("table " + QuoteName(path) + " " + rejection);
    }
  } catch (const TARNIException& e) {
    throw Error(where + e.GetExceptionMsg());
  }
}

}  // namespace

void OpenWordFormTable(const std::string& path, bool all_forms,
                       bool private_copy, WordFormLookup* table) {
  try {
    OpenTable(path, all_forms, private_copy, table);
  } catch (const Error&) {
    if (!LooksLikeWordList(path)) throw;
    throw Error(Error::kWordList,
                "table " + QuoteName(path) +
                    " looks like a word list, not a word-form table");
  }
}

void RethrowTableError(const WordFormLookup& table) {
  // What went wrong is the exception in flight; any other than this goes
  // on as it is (a table that changed is an Error already).
  try {
    throw;
  } catch (const TARNIException& e) {
    throw Error("table " + QuoteName(table.path()) + ": " +
                e.GetExceptionMsg());
  }
}

void CheckUnchanged(const WordFormLookup& table) {
  if (!table.Unchanged()) {
    throw Error(Error::kChanged, "table " + QuoteName(table.path()) +
                                     " changed while being read");
  }
}

WordFormLookup::Forms TableForms(const WordFormLookup& table,
                                 const char16_t* key, size_t n) {
  try {
    return table.AllForms(key, n);
  } catch (...) {
    RethrowTableError(table);
  }
}

void Diacritizer::PrepareFor(const WordFormLookup& table, int64_t bytes,
                             unsigned threads) {
  // A text of many words per slot of the table would have its walks switch
  // to the full index soon anyway: building it first spares those walks.
  // A short text never pays for it, so start-up stays that of the mapping.
  if (bytes <= 0) return;
  try {
    table.Expect(static_cast<uint64_t>(bytes / kBytesPerWord), threads);
  } catch (...) {
    RethrowTableError(table);
  }
}

namespace {

// Whether a run of separators ends a sentence: a full stop, a question or
// exclamation mark, or a line end.
bool EndsSentence(const char16_t* text, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    switch (text[i]) {
      case u'\n':
      case u'\r':
      case u'.':
      case u'!':
      case u'?':
      case 0x061F:  // Arabic question mark
      case 0x06D4:  // Urdu full stop
      case 0x2028:
      case 0x2029:
        return true;
      default:
        break;
    }
  }
  return false;
}

// The same for UTF-8 bytes.
bool EndsSentenceUtf8(const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n':
      case '\r':
      case '.':
      case '!':
      case '?':
        return true;
      case 0x9F:  // U+061F: D8 9F
      case 0x94:  // U+06D4: DB 94
        if (i > 0 && static_cast<unsigned char>(text[i - 1]) ==
                         (c == 0x9F ? 0xD8 : 0xDB)) {
          return true;
        }
        break;
      case 0xA8:  // U+2028, U+2029: E2 80 A8, E2 80 A9
      case 0xA9:
        if (i > 1 && static_cast<unsigned char>(text[i - 1]) == 0x80 &&
            static_cast<unsigned char>(text[i - 2]) == 0xE2) {
          return true;
        }
        break;
      default:
        break;
    }
  }
  return false;
}

// Text is cut for the context rules only right after a line end: a line
// end always ends a sentence and a token, whatever the characters around
// it, so the sentences of a text do not depend on where it is cut.

// One past the last line end of text[0, n), or 0.
size_t AfterLastLineUtf8(const char* text, size_t n) {
  while (n > 0 && text[n - 1] != '\n') --n;
  return n;
}

// A line longer than kLongestSentence is cut after a blank that follows
// the end of a sentence (. ! ? ؟ ۔), where a cut changes no word's
// neighbours: one past that blank, or 0 when there is none.
size_t AfterLastSentenceUtf8(const char* text, size_t n) {
  for (size_t i = n; i >= 2; --i) {
    if (text[i - 1] != ' ' && text[i - 1] != '\t') continue;
    const unsigned char c = static_cast<unsigned char>(text[i - 2]);
    if (c == '.' || c == '!' || c == '?') return i;
    if (i >= 3 && (c == 0x9F || c == 0x94) &&
        static_cast<unsigned char>(text[i - 3]) == (c == 0x9F ? 0xD8 : 0xDB)) {
      return i;
    }
  }
  return 0;
}

size_t AfterLastSentence(const char16_t* text, size_t n) {
  for (size_t i = n; i >= 2; --i) {
    if (text[i - 1] != u' ' && text[i - 1] != u'\t') continue;
    const char16_t c = text[i - 2];
    if (c == u'.' || c == u'!' || c == u'?' || c == 0x061F || c == 0x06D4) {
      return i;
    }
  }
  return 0;
}

// One past the first line end of text[0, n), or 0.
size_t AfterFirstLineUtf8(const char* text, size_t n) {
  const void* end = std::memchr(text, '\n', n);
  return end == nullptr
             ? 0
             : static_cast<size_t>(static_cast<const char*>(end) - text) + 1;
}

}  // namespace

void Diacritizer::Run(TextReader& reader) {
  if (options_.utf8 && !options_.lines && !NeedsAllForms(options_) &&
      out_.encoding() == TextWriter::kUtf8) {
    RunUtf8(reader);
    return;
  }
  PrepareFor(table_, reader.size());
  Tokenizer tokenizer(options_.lines);
  // `text` starts with the unfinished word of the block before, if any.
  Units text;
  bool more = true;
  while (more) {
    more = reader.Next(&text);
    size_t n = text.size();
    if (more && options_.context != nullptr) {
      // Whole lines at a time, for a word's neighbours: the rest waits for
      // the next block, unless it is longer than any sentence.
      while (n > 0 && text[n - 1] != u'\n') --n;
      if (n == 0 && text.size() < kLongestSentence) continue;
      if (n == 0) n = AfterLastSentence(text.data(), text.size());
      if (n == 0) n = text.size();
    }
    tokens_.clear();
    const size_t used = tokenizer.Split(text.data(), n, !more, &tokens_);
    Process(text.data(), tokens_);
    text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(used));
  }
}

void Diacritizer::Process(const char16_t* text,
                          const std::vector<Token>& tokens) {
  // Keys and hashes of every word first, then the lookups.
  words_.clear();
  keys_.clear();
  uint32_t sentence = 0;
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    if (token.kind != Token::kWord && options_.context != nullptr &&
        EndsSentence(text + token.start, token.length)) {
      ++sentence;
    }
    if (token.kind != Token::kWord || token.length == 0) continue;
    // A word without an Arabic-script letter is passed through; a line
    // is looked up whatever it holds, as the `diacritizer` program does.
    if (!token.letter && !options_.lines) continue;
    Word word{static_cast<uint32_t>(t),
              kInText,
              token.length,
              token.start,
              token.length,
              IsPlain(token),
              sentence};
    const size_t at = keys_.size();
    if ((token.marked || token.ignorable) &&
        AppendWordKey(text + token.start, token.length, &keys_)) {
      word.key = static_cast<uint32_t>(at);
      word.length = static_cast<uint32_t>(keys_.size() - at);
      if (word.length == 0) continue;  // nothing but ignorables
    }
    words_.push_back(word);
  }
  LookUp(text, tokens.size(),
         [&](size_t t, const Word* word, const Answer* answer) {
           Emit(text, tokens[t], word, answer);
         });
  FlushPassed();  // the text is about to go
}

template <typename EmitToken>
void Diacritizer::LookUp(const char16_t* text, size_t tokens,
                         EmitToken&& emit) {
  size_t t = 0;
  for (size_t w = 0; w < words_.size(); w += kBatch) {
    const size_t n = std::min(kBatch, words_.size() - w);
    if (n > batch_) {
      batch_ = n;
      queries_.reset(new WordFormLookup::Query[n]);
      answers_.reset(new Answer[n]);
      room_.reset(new unsigned char[WordFormLookup::RoomBytes(n)]);
    }
    for (size_t k = 0; k < n; ++k) {
      const Word& word = words_[w + k];
      const char16_t* key =
          word.key == kInText ? text + word.text : keys_.data() + word.key;
      queries_[k] = {reinterpret_cast<const unsigned char*>(key), word.length};
    }
    try {
      table_.FindMany(queries_.get(), n, answers_.get(), room_.get());
    } catch (...) {
      RethrowTableError(table_);
    }
    AskTails(text, w, n);
    for (size_t k = 0; k < n; ++k) {
      for (; t < words_[w + k].token; ++t) emit(t, nullptr, nullptr);
      tail_ = tails_.empty() ? nullptr : &tails_[k];
      emit(t++, &words_[w + k], &answers_[k]);
    }
    tail_ = nullptr;
  }
  for (; t < tokens; ++t) emit(t, nullptr, nullptr);
}

void Diacritizer::RunUtf8(TextReader& reader) {
  PrepareFor(table_, reader.size());
  Tokenizer tokenizer;
  // `text` starts with the unfinished word of the block before, if any.
  Utf8Bytes text;
  bool more = true;
  const bool context = options_.context != nullptr;
  while (more) {
    more = reader.NextUtf8(&text);
    size_t n = text.size();
    if (more && context) {
      // Whole lines at a time, for a word's neighbours: the rest waits for
      // the next block, unless it is longer than any sentence.
      n = AfterLastLineUtf8(text.data(), n);
      if (n == 0 && text.size() < kLongestSentence) continue;
      if (n == 0) n = AfterLastSentenceUtf8(text.data(), text.size());
      if (n == 0) n = text.size();
    }
    // Never more units than bytes.
    if (wide_.size() < n) wide_.resize(n);
    // In pieces of about kPiece bytes, each ending after a space (after a
    // line, for the context rules), so that the tokens, keys and words
    // of a piece stay in the cache and no word is cut by a piece's end.
    size_t at = 0;
    while (true) {
      size_t end = n;
      if (n - at > 2 * kPiece) {
        const char* from = text.data() + at + kPiece;
        const size_t left = n - at - kPiece;
        if (context) {
          const size_t after = AfterFirstLineUtf8(from, left);
          if (after != 0) end = at + kPiece + after;
        } else if (const void* space = std::memchr(from, ' ', left)) {
          end = static_cast<size_t>(static_cast<const char*>(space) -
                                    text.data()) +
                1;
        }
      }
      tokens_.clear();
      wide_at_.clear();
      const bool last = !more && end == n && n == text.size();
      const size_t used = tokenizer.SplitUtf8(
          text.data() + at, end - at, last, &tokens_, wide_.data(), &wide_at_);
      ProcessUtf8(text.data() + at, tokens_);
      at += used;
      if (end == n) break;
    }
    text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(at));
  }
}

void Diacritizer::ProcessUtf8(const char* text,
                              const std::vector<Token>& tokens) {
  words_.clear();
  keys_.clear();
  size_t next = 0;  // of wide_at_
  uint32_t sentence = 0;
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    if (token.kind != Token::kWord) {
      if (options_.context != nullptr &&
          EndsSentenceUtf8(text + token.start, token.length)) {
        ++sentence;
      }
      continue;
    }
    const uint32_t at = wide_at_[next];
    const uint32_t units = wide_at_[next + 1];
    next += 2;
    if (!token.letter) continue;
    Word word{static_cast<uint32_t>(t), kInText, units, at, units,
              IsPlain(token),           sentence};
    const size_t key_at = keys_.size();
    if ((token.marked || token.ignorable) &&
        AppendWordKey(wide_.data() + at, units, &keys_)) {
      word.key = static_cast<uint32_t>(key_at);
      word.length = static_cast<uint32_t>(keys_.size() - key_at);
      if (word.length == 0) continue;  // nothing but ignorables
    }
    words_.push_back(word);
  }
  LookUp(wide_.data(), tokens.size(),
         [&](size_t t, const Word* word, const Answer* answer) {
           EmitUtf8(text, tokens[t], word, answer);
         });
  FlushPassed();  // the text is about to go
}

void Diacritizer::EmitUtf8(const char* text, const Token& token,
                           const Word* word, const Answer* answer) {
  const char* original = text + token.start;
  if (token.kind == Token::kOverlong) {
    if (token.letter) {
      ++coverage_.words;
      ++coverage_.unknown;
    } else {
      ++coverage_.other;
    }
  } else if (token.kind == Token::kWord && word == nullptr &&
             token.length > 0) {
    ++coverage_.other;
  }
  if (word == nullptr) {
    PassUtf8(original, token.length);
    return;
  }
  const char16_t* wide = wide_.data() + word->text;
  current_ = static_cast<size_t>(word - words_.data());
  text_ = wide_.data();
  if (answer->form != nullptr && !token.marked && !token.folds &&
      !token.ignorable) {
    const int form = RuleForm(wide, word->units);
    if (form >= 0) {
      if (!PutRuleForm(form, wide, word->units, token, *answer)) {
        PassUtf8(original, token.length);
      }
      return;
    }
    ++coverage_.words;
    ++coverage_.known;
    FlushPassed();
    out_.PutUtf16LE(answer->form, answer->units);
    return;
  }
  const char16_t* key = word->key == kInText ? wide : keys_.data() + word->key;
  if (!PutWord(wide, word->units, token, key, word->length, *answer)) {
    PassUtf8(original, token.length);
  }
}

void Diacritizer::Emit(const char16_t* text, const Token& token,
                       const Word* word, const Answer* answer) {
  const char16_t* original = text + token.start;
  switch (token.kind) {
    case Token::kBlank:
      return;
    case Token::kSeparator:
      Pass(original, token.length);
      return;
    case Token::kOverlong:
      if (token.letter) {
        ++coverage_.words;
        ++coverage_.unknown;
      } else {
        ++coverage_.other;
      }
      Pass(original, token.length);
      return;
    case Token::kWord:
      break;
  }
  if (word == nullptr) {  // not looked up
    if (token.length > 0) ++coverage_.other;
    Pass(original, token.length);
    return;
  }
  const char16_t* key =
      word->key == kInText ? original : keys_.data() + word->key;
  current_ = static_cast<size_t>(word - words_.data());
  text_ = text;
  const bool plain = answer->form != nullptr && !token.marked && !token.folds &&
                     !token.ignorable;
  const int form =
      plain && !options_.lines && options_.ambiguous == Ambiguous::kFirst
          ? RuleForm(key, word->length)
          : -1;
  if (form >= 0) {
    if (!PutRuleForm(form, original, token.length, token, *answer)) {
      Pass(original, token.length);
    }
    return;
  }
  if (plain && !NeedsAllForms(options_)) {
    ++coverage_.words;
    ++coverage_.known;
    FlushPassed();
    out_.PutUtf16LE(answer->form, answer->units);
    return;
  }
  if (!PutWord(original, token.length, token, key, word->length, *answer)) {
    Pass(original, token.length);
  }
}

bool Diacritizer::PutWord(const char16_t* word, size_t n, const Token& token,
                          const char16_t* key, size_t key_units,
                          const Answer& answer) {
  if (answer.form == nullptr && token.letter && !token.marked && !token.folds &&
      !token.ignorable && !options_.lines && !NeedsAllForms(options_)) {
    const int parts = SplitPlain(word, n);
    if (parts == 0) {
      ++coverage_.words;
      ++coverage_.unknown;
      if (options_.count_unknown) ++unknown_[std::u16string(word, n)];
      return false;
    }
    if (parts > 0) {
      // Its parts are the words of the text.
      coverage_.words += static_cast<uint64_t>(parts);
      coverage_.known += static_cast<uint64_t>(parts);
      ++coverage_.split;
      if (options_.count_unknown) ++split_[std::u16string(word, n)];
      return true;
    }
  }
  marked_.Assign(word, n);
  // Found by its own key and written without marks: the table's forms
  // have the word's letters, unless the key lost a madda or hamza of the
  // word (in line mode, as the diacritizer program has it, they always do).
  direct_ = answer.form != nullptr && !token.marked && !token.ignorable &&
            (options_.lines || marked_.key().compare(0, std::u16string::npos,
                                                     key, key_units) == 0);
  Readings(word, n, token.ignorable, key, key_units, answer.form != nullptr,
           marked_, &readings_);
  if (readings_.empty()) {
    if (!token.letter) {
      ++coverage_.other;
      return false;
    }
    word_out_.clear();
    direct_ = false;
    size_t ambiguous = 0;
    const size_t parts =
        options_.lines ? 0 : Split(word, token, &word_out_, &ambiguous);
    if (parts > 0) {
      coverage_.words += parts;
      coverage_.known += parts;
      if (NeedsAllForms(options_)) coverage_.ambiguous += ambiguous;
      ++coverage_.split;
      if (options_.count_unknown) ++split_[std::u16string(word, n)];
      FlushPassed();
      out_.Put(word_out_);
      return true;
    }
    ++coverage_.words;
    ++coverage_.unknown;
    if (options_.count_unknown) ++unknown_[std::u16string(word, n)];
    return false;
  }
  ++coverage_.words;
  ++coverage_.known;
  if (readings_.size() > 1 && NeedsAllForms(options_)) {
    ++coverage_.ambiguous;
    if (options_.list_ambiguous) ++ambiguous_[found_key_];
  }
  Agreeing(marked_, readings_, &agreeing_);
  if (agreeing_.empty()) {
    ++coverage_.kept;
    if (options_.count_unknown) ++kept_[std::u16string(word, n)];
    return false;
  }
  word_out_.clear();
  const int form = agreeing_.size() > 1
                       ? RuleForm(found_key_.data(), found_key_.size())
                       : -1;
  if (form >= 0) {
    candidates_.clear();
    for (size_t i : agreeing_) candidates_.push_back(readings_[i]);
    const int chosen = ChooseByContext(form, candidates_);
    if (options_.count_unknown) {
      ++(chosen >= 0 ? decided_ : fallen_back_)[found_key_];
    }
    if (chosen >= 0) {
      PutReading(word, n, token, marked_,
                 readings_[agreeing_[static_cast<size_t>(chosen)]], &word_out_);
      FlushPassed();
      out_.Put(word_out_);
      return true;
    }
  }
  if (agreeing_.size() > 1 && NeedsAllForms(options_)) {
    switch (options_.ambiguous) {
      case Ambiguous::kFirst:
      case Ambiguous::kContext:  // options.context says which rules
        break;
      case Ambiguous::kCommon: {
        std::vector<std::u16string> forms;
        for (size_t i : agreeing_) forms.push_back(readings_[i]);
        PutReading(word, n, token, marked_, CommonMarks(forms), &word_out_);
        FlushPassed();
        out_.Put(word_out_);
        return true;
      }
      case Ambiguous::kKeep:
        return false;
      case Ambiguous::kAll:
        for (size_t i = 0; i < agreeing_.size(); ++i) {
          if (i > 0) word_out_.push_back(u'|');
          PutReading(word, n, token, marked_, readings_[agreeing_[i]],
                     &word_out_);
        }
        FlushPassed();
        out_.Put(word_out_);
        return true;
    }
  }
  PutReading(word, n, token, marked_, readings_[agreeing_[0]], &word_out_);
  FlushPassed();
  out_.Put(word_out_);
  return true;
}

namespace {

// The tags of the words of a window, looked up when a rule first asks.
class WindowTags : public TagSource {
 public:
  WindowTags(const WordFormLookup& table, std::vector<ContextWord>* window,
             const std::pair<const char16_t*, size_t>* keys)
      : table_(table), window_(*window), keys_(keys), asked_(0) {}

  uint32_t TagsOf(size_t j) override {
    if ((asked_ >> j & 1) != 0) return window_[j].tags;
    asked_ |= uint32_t{1} << j;
    uint32_t tags = 0;
    try {
      for (uint8_t tag :
           table_.Tags(reinterpret_cast<const unsigned char*>(keys_[j].first),
                       keys_[j].second)) {
        tags |= TagBit(tag);
      }
    } catch (...) {
      RethrowTableError(table_);
    }
    window_[j].tags = tags;
    return tags;
  }

 private:
  const WordFormLookup& table_;
  std::vector<ContextWord>& window_;
  const std::pair<const char16_t*, size_t>* keys_;
  uint32_t asked_;  // a bit per word whose tags are known
};

// Whether two forms of one key carry the same marks on each letter, in
// whatever order each writes those of a letter.
bool SameMarks(const MarkedWord& a, const MarkedWord& b) {
  if (a.size() != b.size() || a.key() != b.key()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].marks != b[i].marks) return false;
  }
  return true;
}

}  // namespace

int Diacritizer::ChooseByContext(
    int form, const std::vector<std::u16string>& candidates) {
  // The word and up to two words either side of it in its sentence.
  const uint32_t sentence = words_[current_].sentence;
  size_t first = current_, last = current_;
  while (first > 0 && current_ - first < 2 &&
         words_[first - 1].sentence == sentence) {
    --first;
  }
  while (last + 1 < words_.size() && last - current_ < 2 &&
         words_[last + 1].sentence == sentence) {
    ++last;
  }
  window_.resize(last - first + 1);
  for (size_t j = first; j <= last; ++j) {
    const Word& word = words_[j];
    ContextWord& seen = window_[j - first];
    // A word of letters alone is its own canonical key.
    if (word.plain) {
      seen.key = std::u16string_view(text_ + word.text, word.units);
    } else {
      context_word_.Assign(text_ + word.text, word.units);
      window_store_[j - first] = context_word_.key();
      seen.key = window_store_[j - first];
    }
    window_table_keys_[j - first] = {
        word.key == kInText ? text_ + word.text : keys_.data() + word.key,
        word.length};
    seen.tags = 0;
  }
  WindowTags tags(table_, &window_, window_table_keys_);
  const std::u16string* reading =
      options_.context->Choose(form, window_, current_ - first, nullptr, &tags);
  if (reading == nullptr) return -1;
  for (size_t a = 0; a < candidates.size(); ++a) {
    if (candidates[a] == *reading) return static_cast<int>(a);
  }
  // The rule may write a letter's marks in another order than the table.
  context_word_.Assign(reading->data(), reading->size());
  for (size_t a = 0; a < candidates.size(); ++a) {
    reading_.Assign(candidates[a].data(), candidates[a].size());
    if (SameMarks(context_word_, reading_)) return static_cast<int>(a);
  }
  return -1;
}

bool Diacritizer::PutRuleForm(int form, const char16_t* word, size_t n,
                              const Token& token, const Answer& answer) {
  if (rule_forms_.empty()) rule_forms_.resize(options_.context->forms());
  std::unique_ptr<RuleFormWord>& slot = rule_forms_[static_cast<size_t>(form)];
  if (!slot) slot.reset(new RuleFormWord);
  RuleFormWord& known = *slot;
  if (!known.ready) {
    marked_.Assign(word, n);
    direct_ = marked_.key().compare(0, std::u16string::npos, word, n) == 0;
    Readings(word, n, false, word, n, true, marked_, &readings_);
    Agreeing(marked_, readings_, &agreeing_);
    known.several = readings_.size() > 1;
    known.found_key = found_key_;
    for (size_t i : agreeing_) {
      known.readings.push_back(readings_[i]);
      known.written.emplace_back();
      PutReading(word, n, token, marked_, readings_[i], &known.written.back());
    }
    known.ready = true;
  }
  if (known.readings.empty()) {  // not so plain after all
    return PutWord(word, n, token, word, n, answer);
  }
  ++coverage_.words;
  ++coverage_.known;
  if (known.several && NeedsAllForms(options_)) {
    ++coverage_.ambiguous;
    if (options_.list_ambiguous) ++ambiguous_[known.found_key];
  }
  size_t chosen = 0;
  if (known.readings.size() > 1) {
    const int by_rule = ChooseByContext(form, known.readings);
    if (by_rule >= 0) chosen = static_cast<size_t>(by_rule);
    if (options_.count_unknown) {
      ++(by_rule >= 0 ? decided_ : fallen_back_)[known.found_key];
    }
  }
  FlushPassed();
  out_.Put(known.written[chosen]);
  return true;
}

std::vector<std::u16string> Diacritizer::FormsOf(const char16_t* word,
                                                 size_t n) {
  std::u16string key;
  if (!AppendWordKey(word, n, &key)) key.assign(word, n);
  marked_.Assign(word, n);
  const bool found =
      !key.empty() && !TableForms(table_, key.data(), key.size())->empty();
  direct_ = false;
  Readings(word, n, true, key.data(), key.size(), found, marked_, &readings_);
  Agreeing(marked_, readings_, &agreeing_);
  std::vector<std::u16string> forms;
  for (size_t i : agreeing_) forms.push_back(readings_[i]);
  return forms;
}

bool Diacritizer::KeepAligned(const MarkedWord& marked,
                              std::vector<std::u16string>* forms) {
  forms->erase(std::remove_if(forms->begin(), forms->end(),
                              [&](const std::u16string& form) {
                                reading_.Assign(form.data(), form.size());
                                return !Aligned(marked, reading_);
                              }),
               forms->end());
  return !forms->empty();
}

void Diacritizer::Readings(const char16_t* word, size_t n, bool ignorable,
                           const char16_t* key, size_t key_units, bool found,
                           const MarkedWord& marked,
                           std::vector<std::u16string>* out) {
  as_written_ = false;
  auto all = [&](const char16_t* k, size_t units) {
    const WordFormLookup::Forms held = TableForms(table_, k, units);
    *out = *held;
    found_key_.assign(k, units);
    return !out->empty();
  };
  const std::u16string& canonical = marked.key();
  const bool other_key =
      canonical.compare(0, std::u16string::npos, key, key_units) != 0;
  if (found) {
    all(key, key_units);
    if (!other_key) return;
    // A key without the word's madda or hamza may find other letters.
    if (KeepAligned(marked, out)) return;
  }
  out->clear();
  if (ignorable) {
    // A table may hold the word with its directional marks or tatweels.
    written_key_.clear();
    if (!AppendBareForm(word, n, &written_key_)) written_key_.assign(word, n);
    if (all(written_key_.data(), written_key_.size())) {
      as_written_ = true;
      return;
    }
  }
  if (canonical.empty()) return;
  if (other_key && all(canonical.data(), canonical.size())) {
    return;
  }
  // The few words with heh goal where a U+0647 reads as U+06BE by its
  // place.
  const std::u16string& heh_goal = marked.heh_goal_key();
  if (!heh_goal.empty() && all(heh_goal.data(), heh_goal.size()) &&
      KeepAligned(marked, out)) {
    return;
  }
  // The hamza of an izafat on a final heh or yeh barree.
  const char16_t last = canonical.back();
  if (last == 0x06C2 || last == 0x06D3) {
    scratch_.assign(canonical);
    scratch_.back() = last == 0x06C2 ? 0x06C1 : 0x06D2;
    if (all(scratch_.data(), scratch_.size())) return;
  }
  out->clear();
}

void Diacritizer::Agreeing(const MarkedWord& word,
                           const std::vector<std::u16string>& readings,
                           std::vector<size_t>* agreeing) {
  agreeing->clear();
  if (direct_) {
    for (size_t i = 0; i < readings.size(); ++i) agreeing->push_back(i);
    return;
  }
  if (marked_readings_.size() < readings.size()) {
    marked_readings_.resize(readings.size());
  }
  for (size_t i = 0; i < readings.size(); ++i) {
    marked_readings_[i].Assign(readings[i].data(), readings[i].size());
    if (word.marked() ? Agrees(word, marked_readings_[i])
                      : Aligned(word, marked_readings_[i])) {
      agreeing->push_back(i);
    }
  }
}

namespace {

// Whether the form of `units` units, unit(u) each, is word[0, n) with marks
// added (MarkBitOf) and nothing else: then it is written as it is.
template <typename Unit>
bool SameLetters(const char16_t* word, size_t n, size_t units, Unit unit) {
  size_t i = 0;
  for (size_t u = 0; u < units; ++u) {
    const char16_t c = unit(u);
    if (i < n && word[i] == c) {
      ++i;
    } else if (MarkBitOf(c) == 0) {
      return false;
    }
  }
  return i == n;
}

}  // namespace

void Diacritizer::PutReading(const char16_t* word, size_t n, const Token& token,
                             const MarkedWord& marked,
                             const std::u16string& form, std::u16string* out) {
  if (!options_.normalize && !direct_ &&
      !SameLetters(word, n, form.size(), [&](size_t u) { return form[u]; })) {
    reading_.Assign(form.data(), form.size());
    if (Aligned(marked, reading_)) {
      PutMarks(word, marked, reading_, out);
      return;
    }
  }
  if (token.ignorable && !as_written_) {
    *out += WithDirectionalMarks(word, n, form.data(), form.size());
  } else {
    *out += form;
  }
}

size_t Diacritizer::Split(const char16_t* word, const Token& token,
                          std::u16string* out, size_t* ambiguous) {
  // Where a part may begin or end: after a letter that joins none after
  // it, and around a zero-width joiner or non-joiner.
  const MarkedWord& whole = marked_;
  const size_t letters = whole.size();
  auto joiner = [&](size_t i) {
    const char16_t c = whole.key()[whole[i].key];
    return c == 0x200C || c == 0x200D;
  };
  std::vector<uint32_t>& at = split_at_;
  at.assign(1, 0);
  for (size_t i = 0; i + 1 < letters; ++i) {
    if (joiner(i) || joiner(i + 1) ||
        IsNonJoiningLetter(whole.key()[whole[i].key])) {
      at.push_back(static_cast<uint32_t>(i + 1));
    }
  }
  at.push_back(static_cast<uint32_t>(letters));
  constexpr size_t kMostCuts = 16;
  if (at.size() < 3 || at.size() > kMostCuts + 2) return false;
  const size_t m = at.size();
  // part[p * m + q]: 0 untried, 1 a joiner, 2 a known part, 3 neither,
  // 4 a known part of several forms.
  std::vector<uint8_t>& part = split_part_;
  part.assign(m * m, 0);
  std::vector<std::u16string>& chosen = split_chosen_;
  if (chosen.size() < m * m) chosen.resize(m * m);
  MarkedWord& piece = split_piece_;
  auto judge = [&](size_t p, size_t q) {
    uint8_t& verdict = part[p * m + q];
    if (verdict != 0) return verdict;
    const size_t a = at[p], b = at[q];
    if (b - a == 1 && joiner(a)) return verdict = 1;
    verdict = 3;
    if (p == 0 && q == m - 1) return verdict;  // the word, unknown
    for (size_t i = a; i < b; ++i) {
      if (joiner(i)) return verdict;
    }
    if (b - a == 1 && whole.key()[whole[a].key] != 0x0648) return verdict;
    // Most parts tried are not words: a plain word's part is first asked
    // for by its key alone, which costs one probe and no copy.
    const size_t key_at = whole[a].key;
    const size_t key_end = whole[b - 1].key + whole[b - 1].key_units;
    if (key_end - key_at > static_cast<size_t>(wordform::kKeyUnits)) {
      return verdict;
    }
    if (!token.folds && !token.ignorable) {
      WordFormLookup::Answer answer;
      try {
        answer = table_.Find(
            reinterpret_cast<const unsigned char*>(whole.key().data() + key_at),
            key_end - key_at, written_room_);
      } catch (...) {
        RethrowTableError(table_);
      }
      if (answer.form == nullptr) return verdict;
    }
    const char16_t* units = word + whole[a].begin;
    const size_t length = whole[b - 1].end - whole[a].begin;
    piece.Assign(units, length);
    if (piece.key().size() > static_cast<size_t>(wordform::kKeyUnits)) {
      return verdict;
    }
    part_key_.clear();
    if (!AppendWordKey(units, length, &part_key_)) {
      part_key_.assign(units, length);
    }
    const bool found =
        !TableForms(table_, part_key_.data(), part_key_.size())->empty();
    Readings(units, length, false, part_key_.data(), part_key_.size(), found,
             piece, &readings_);
    if (readings_.empty()) return verdict;
    Agreeing(piece, readings_, &agreeing_);
    if (agreeing_.empty()) return verdict;
    std::u16string& text = chosen[p * m + q];
    text.clear();
    if (options_.ambiguous == Ambiguous::kCommon && agreeing_.size() > 1) {
      std::vector<std::u16string> forms;
      for (size_t i : agreeing_) forms.push_back(readings_[i]);
      PutReading(units, length, token, piece, CommonMarks(forms), &text);
    } else {
      PutReading(units, length, token, piece, readings_[agreeing_[0]], &text);
    }
    return verdict = readings_.size() > 1 ? 4 : 2;
  };
  // Fewest parts from each cut to the end, the longest first part first.
  constexpr size_t kNo = SIZE_MAX;
  std::vector<size_t>& parts = split_parts_;
  std::vector<size_t>& next = split_next_;
  parts.assign(m, kNo);
  next.assign(m, kNo);
  parts[m - 1] = 0;
  for (size_t p = m - 1; p-- > 0;) {
    for (size_t q = m - 1; q > p; --q) {
      if (parts[q] == kNo) continue;
      const uint8_t verdict = judge(p, q);
      if (verdict == 3) continue;
      const size_t count = parts[q] + (verdict == 1 ? 0 : 1);
      if (count < parts[p]) {
        parts[p] = count;
        next[p] = q;
      }
    }
  }
  if (parts[0] == kNo || parts[0] < 2) return 0;
  for (size_t p = 0; p + 1 < m; p = next[p]) {
    const size_t q = next[p];
    if (part[p * m + q] == 1) {
      out->append(word + whole[at[p]].begin, word + whole[at[q] - 1].end);
    } else {
      *ambiguous += part[p * m + q] == 4;
      *out += chosen[p * m + q];
    }
  }
  return parts[0];
}

namespace {

// What SplitPlain needs to know of a unit of a word: whether a part may
// end after it, and whether it leaves the word to Split (a mark that stays
// in the key, a phrase's blank, or an izafat's hamza that may be looked up
// without it).
class PlainUnits {
 public:
  enum Kind : uint8_t { kJoining, kNonJoining, kOther };
  PlainUnits() {
    for (char16_t c = 0x0600; c <= 0x06FF; ++c) {
      Kind& kind = arabic_[c - 0x0600];
      if (ArabicCombiningClass(c) != 0 || (c >= 0x064B && c <= 0x065F) ||
          c == 0x06C2 || c == 0x06D3) {
        kind = kOther;
      } else if (IsNonJoiningLetter(c)) {
        kind = kNonJoining;
      } else {
        kind = kJoining;
      }
    }
  }
  Kind Of(char16_t c) const {
    if (c >= 0x0600 && c <= 0x06FF) return arabic_[c - 0x0600];
    return c == u' ' ? kOther : kJoining;
  }

 private:
  Kind arabic_[0x100];
};

const PlainUnits& Plain() {
  static const PlainUnits units;
  return units;
}

}  // namespace

void Diacritizer::AskTails(const char16_t* text, size_t w, size_t n) {
  tails_.clear();
  if (options_.lines || NeedsAllForms(options_)) return;
  tails_.assign(n, Tails{0, 0, Tails::kNotAsked});
  tail_queries_.clear();
  tail_slots_.clear();
  tail_answers_.clear();
  const PlainUnits& kinds = Plain();
  constexpr size_t kMostCuts = 16;
  for (size_t k = 0; k < n; ++k) {
    const Word& word = words_[w + k];
    if (!word.plain || answers_[k].form != nullptr) continue;
    Tails& tails = tails_[k];
    tails.first = static_cast<uint32_t>(tail_answers_.size());
    const size_t queries = tail_queries_.size();
    const char16_t* units = text + word.text;
    tails.state = Tails::kAsked;
    for (size_t i = 0; i < word.units; ++i) {
      const uint8_t kind = kinds.Of(units[i]);
      if (kind == PlainUnits::kOther) {
        tails.state = Tails::kNotPlain;
        break;
      }
      if (kind != PlainUnits::kNonJoining || i + 1 == word.units) continue;
      if (++tails.count > kMostCuts) {
        tails.state = Tails::kNoSplit;
        break;
      }
      const size_t start = i + 1, length = word.units - start;
      if (length <= static_cast<size_t>(wordform::kKeyUnits) &&
          (length > 1 || units[start] == 0x0648)) {
        tail_slots_.push_back(static_cast<uint32_t>(tail_answers_.size()));
        tail_queries_.push_back(
            {reinterpret_cast<const unsigned char*>(units + start), length});
      }
      tail_answers_.push_back(Answer{nullptr, 0});
    }
    if (tails.state != Tails::kAsked || tails.count == 0) {
      if (tails.state == Tails::kAsked) tails.state = Tails::kNoSplit;
      tail_queries_.resize(queries);
      tail_slots_.resize(queries);
      tail_answers_.resize(tails.first);
    }
  }
  if (tail_queries_.empty()) return;
  tail_batch_.resize(tail_queries_.size());
  if (tail_room_.size() < WordFormLookup::RoomBytes(tail_queries_.size())) {
    tail_room_.resize(WordFormLookup::RoomBytes(tail_queries_.size()));
  }
  try {
    table_.FindMany(tail_queries_.data(), tail_queries_.size(),
                    tail_batch_.data(), tail_room_.data());
  } catch (...) {
    RethrowTableError(table_);
  }
  for (size_t q = 0; q < tail_queries_.size(); ++q) {
    tail_answers_[tail_slots_[q]] = tail_batch_[q];
  }
  // A word none of whose ends is known has no split.
  for (Tails& tails : tails_) {
    if (tails.state != Tails::kAsked) continue;
    bool any = false;
    for (uint32_t c = 0; c < tails.count && !any; ++c) {
      any = tail_answers_[tails.first + c].form != nullptr;
    }
    if (!any) tails.state = Tails::kNoSplit;
  }
}

int Diacritizer::SplitPlain(const char16_t* word, size_t n) {
  const Tails* tails =
      tail_ != nullptr && tail_->state != Tails::kNotAsked ? tail_ : nullptr;
  if (tails != nullptr && tails->state == Tails::kNotPlain) return -1;
  if (tails != nullptr && tails->state == Tails::kNoSplit) return 0;
  std::vector<uint32_t>& at = split_at_;
  at.assign(1, 0);
  const PlainUnits& kinds = Plain();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t kind = kinds.Of(word[i]);
    if (kind == PlainUnits::kOther) return -1;
    if (kind == PlainUnits::kNonJoining && i + 1 < n) {
      at.push_back(static_cast<uint32_t>(i + 1));
    }
  }
  at.push_back(static_cast<uint32_t>(n));
  constexpr size_t kMostCuts = 16;
  if (at.size() < 3 || at.size() > kMostCuts + 2) return 0;
  const size_t m = at.size();
  // Fewest parts from each cut to the end, the longest first part first,
  // as Split has it. The ends of the word may have been asked for with the
  // batch of words (AskTails).
  constexpr size_t kNo = SIZE_MAX;
  std::vector<size_t>& parts = split_parts_;
  std::vector<size_t>& next = split_next_;
  parts.assign(m, kNo);
  next.assign(m, kNo);
  parts[m - 1] = 0;
  split_answers_.resize(m);  // of the part chosen from each cut
  if (tails != nullptr) {
    for (size_t p = 1; p + 1 < m; ++p) {
      const Answer& answer = tail_answers_[tails->first + p - 1];
      if (answer.form == nullptr) continue;
      parts[p] = 1;
      next[p] = m - 1;
      split_answers_[p] = answer;
    }
  }
  // Every other part in one batch, then the parts from each cut, the last
  // cut first.
  split_queries_.clear();
  split_query_.assign(m * m, -1);
  for (size_t p = 0; p + 2 < m; ++p) {
    for (size_t q = p + 1; q < m; ++q) {
      if (q == m - 1 && (p == 0 || tails != nullptr)) continue;
      const size_t a = at[p], length = at[q] - at[p];
      if (length > static_cast<size_t>(wordform::kKeyUnits)) break;
      if (length == 1 && word[a] != 0x0648) continue;
      split_query_[p * m + q] = static_cast<int32_t>(split_queries_.size());
      split_queries_.push_back(
          {reinterpret_cast<const unsigned char*>(word + a), length});
    }
  }
  std::vector<Answer>& answers = split_batch_;
  answers.resize(split_queries_.size());
  if (!split_queries_.empty()) {
    if (split_room_.size() < WordFormLookup::RoomBytes(split_queries_.size())) {
      split_room_.resize(WordFormLookup::RoomBytes(split_queries_.size()));
    }
    try {
      table_.FindMany(split_queries_.data(), split_queries_.size(),
                      answers.data(), split_room_.data());
    } catch (...) {
      RethrowTableError(table_);
    }
  }
  for (size_t p = m - 1; p-- > 0;) {
    for (size_t q = m - 1; q > p; --q) {
      const int32_t k = split_query_[p * m + q];
      if (k < 0 || parts[q] == kNo || answers[k].form == nullptr) continue;
      if (parts[q] + 1 < parts[p]) {
        parts[p] = parts[q] + 1;
        next[p] = q;
        split_answers_[p] = answers[k];
      }
    }
  }
  if (parts[0] == kNo) return 0;
  // A table whose forms have other letters than their keys: Split weighs
  // the forms.
  for (size_t p = 0; p + 1 < m; p = next[p]) {
    const Answer& answer = split_answers_[p];
    const unsigned char* form = answer.form;
    if (!SameLetters(
            word + at[p], at[next[p]] - at[p], answer.units, [form](size_t u) {
              return static_cast<char16_t>(form[2 * u] | form[2 * u + 1] << 8);
            })) {
      return -1;
    }
  }
  FlushPassed();
  for (size_t p = 0; p + 1 < m; p = next[p]) {
    const Answer& answer = split_answers_[p];
    out_.PutUtf16LE(answer.form, answer.units);
  }
  return static_cast<int>(parts[0]);
}

std::string FormatCoverage(const Coverage& c) {
  const double known = c.words == 0 ? 0.0
                                    : 100.0 * static_cast<double>(c.known) /
                                          static_cast<double>(c.words);
  char text[200];
  std::snprintf(text, sizeof(text),
                "%llu Urdu words, %llu known (%.2f%%), %llu unknown, %llu "
                "ambiguous; %llu other tokens passed through",
                static_cast<unsigned long long>(c.words),
                static_cast<unsigned long long>(c.known), known,
                static_cast<unsigned long long>(c.unknown),
                static_cast<unsigned long long>(c.ambiguous),
                static_cast<unsigned long long>(c.other));
  std::string line = text;
  if (c.kept > 0) {
    line +=
        "; " + std::to_string(c.kept) + " kept: marks disagree with the table";
  }
  if (c.split > 0) {
    line += "; " + std::to_string(c.split) + " split into known parts";
  }
  return line;
}

namespace {

// A letter of a form with the marks it carries.
struct LetterMarks {
  char16_t letter;
  bool shadda;
  char16_t vowel;  // another lifted mark, or 0
};

void SplitLetters(const std::u16string& form, std::vector<LetterMarks>* out) {
  constexpr char16_t kShadda = 0x0651;
  out->clear();
  for (char16_t c : form) {
    if (!IsLiftedMark(c) || out->empty()) {
      out->push_back({c, false, 0});
    } else if (c == kShadda) {
      out->back().shadda = true;
    } else {
      out->back().vowel = c;
    }
  }
}

}  // namespace

std::vector<std::pair<std::u16string, uint64_t>> ByCount(
    const std::unordered_map<std::u16string, uint64_t>& counts) {
  std::vector<std::pair<std::u16string, uint64_t>> list(counts.begin(),
                                                        counts.end());
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  return list;
}

std::u16string CommonMarks(const std::vector<std::u16string>& forms) {
  if (forms.empty()) return std::u16string();
  std::vector<LetterMarks> common, other;
  SplitLetters(forms[0], &common);
  for (size_t f = 1; f < forms.size(); ++f) {
    SplitLetters(forms[f], &other);
    for (size_t i = 0; i < common.size(); ++i) {
      const bool same = i < other.size() && other[i].letter == common[i].letter;
      if (!same || !other[i].shadda) common[i].shadda = false;
      if (!same || other[i].vowel != common[i].vowel) common[i].vowel = 0;
    }
  }
  std::u16string out;
  for (const LetterMarks& m : common) {
    out.push_back(m.letter);
    if (m.shadda) out.push_back(0x0651);
    if (m.vowel != 0) out.push_back(m.vowel);
  }
  return out;
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::Unknown() const {
  return ByCount(unknown_);
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::AmbiguousWords()
    const {
  return ByCount(ambiguous_);
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::ChosenByRules()
    const {
  return ByCount(decided_);
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::LeftToFallback()
    const {
  return ByCount(fallen_back_);
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::KeptWords()
    const {
  return ByCount(kept_);
}

std::vector<std::pair<std::u16string, uint64_t>> Diacritizer::SplitWords()
    const {
  return ByCount(split_);
}

}  // namespace urdulex::internal
