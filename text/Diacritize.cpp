#include "text/Diacritize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diacritizer/WordFormExtent.h"
#include "diacritizer/hashmain.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/Utf8.h"
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

void Diacritizer::PrepareFor(const WordFormLookup& table, int64_t bytes) {
  // A text of many words per slot of the table would have its walks switch
  // to the full index soon anyway: building it first spares those walks.
  // A short text never pays for it, so start-up stays that of the mapping.
  if (bytes <= 0) return;
  try {
    table.Expect(static_cast<uint64_t>(bytes / kBytesPerWord));
  } catch (...) {
    RethrowTableError(table);
  }
}

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
    tokens_.clear();
    const size_t used =
        tokenizer.Split(text.data(), text.size(), !more, &tokens_);
    Process(text.data(), tokens_);
    text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(used));
  }
}

void Diacritizer::Process(const char16_t* text,
                          const std::vector<Token>& tokens) {
  // Keys and hashes of every word first, then the lookups.
  words_.clear();
  keys_.clear();
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    if (token.kind != Token::kWord || token.length == 0) continue;
    // A word without an Arabic-script letter is passed through; a line
    // is looked up whatever it holds, as the `diacritizer` program does.
    if (!token.letter && !options_.lines) continue;
    Word word{static_cast<uint32_t>(t), kInText, token.length, token.start,
              token.length};
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
    for (size_t k = 0; k < n; ++k) {
      for (; t < words_[w + k].token; ++t) emit(t, nullptr, nullptr);
      emit(t++, &words_[w + k], &answers_[k]);
    }
  }
  for (; t < tokens; ++t) emit(t, nullptr, nullptr);
}

void Diacritizer::RunUtf8(TextReader& reader) {
  PrepareFor(table_, reader.size());
  Tokenizer tokenizer;
  // `text` starts with the unfinished word of the block before, if any.
  Utf8Bytes text;
  bool more = true;
  while (more) {
    more = reader.NextUtf8(&text);
    // Never more units than bytes.
    if (wide_.size() < text.size()) wide_.resize(text.size());
    // In pieces of about kPiece bytes, each ending after a space, so that
    // the tokens, keys and words of a piece stay in the cache and no word
    // is cut by a piece's end.
    const size_t n = text.size();
    size_t at = 0;
    while (true) {
      size_t end = n;
      if (n - at > 2 * kPiece) {
        const void* space =
            std::memchr(text.data() + at + kPiece, ' ', n - at - kPiece);
        if (space != nullptr) {
          end = static_cast<size_t>(static_cast<const char*>(space) -
                                    text.data()) +
                1;
        }
      }
      tokens_.clear();
      wide_at_.clear();
      const size_t used =
          tokenizer.SplitUtf8(text.data() + at, end - at, !more && end == n,
                              &tokens_, wide_.data(), &wide_at_);
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
  for (size_t t = 0; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    if (token.kind != Token::kWord) continue;
    const uint32_t at = wide_at_[next];
    const uint32_t units = wide_at_[next + 1];
    next += 2;
    if (!token.letter) continue;
    Word word{static_cast<uint32_t>(t), kInText, units, at, units};
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
  size_t units = answer->units;
  const unsigned char* form = answer->form;
  as_written_ = false;
  if (form == nullptr && token.ignorable) {
    form = FindAsWritten(wide, word->units, &units);
  }
  if (form == nullptr) {
    ++coverage_.words;
    ++coverage_.unknown;
    if (options_.count_unknown) {
      ++unknown_[std::u16string(wide, word->units)];
    }
    PassUtf8(original, token.length);
    return;
  }
  ++coverage_.words;
  ++coverage_.known;
  FlushPassed();
  if (!token.ignorable || as_written_) {
    out_.PutUtf16LE(form, units);
    return;
  }
  scratch_.resize(units);
  std::memcpy(&scratch_[0], form, 2 * units);
  out_.Put(WithDirectionalMarks(wide, word->units, scratch_.data(), units));
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
  size_t units = answer->units;
  const unsigned char* form = answer->form;
  as_written_ = false;
  if (form == nullptr && token.ignorable) {
    form = FindAsWritten(original, token.length, &units);
  }
  if (form == nullptr) {
    if (!token.letter) {
      ++coverage_.other;
    } else {
      ++coverage_.words;
      ++coverage_.unknown;
      if (options_.count_unknown) {
        ++unknown_[std::u16string(original, token.length)];
      }
    }
    Pass(original, token.length);
    return;
  }
  ++coverage_.words;
  ++coverage_.known;
  FlushPassed();
  if (NeedsAllForms(options_)) {
    const WordFormLookup::Forms held =
        as_written_
            ? TableForms(table_, written_key_.data(), written_key_.size())
            : TableForms(table_, key, word->length);
    const std::vector<std::u16string>& forms = *held;
    if (forms.size() > 1) {
      ++coverage_.ambiguous;
      if (options_.list_ambiguous) {
        if (as_written_) {
          ++ambiguous_[written_key_];
        } else {
          ++ambiguous_[std::u16string(key, word->length)];
        }
      }
      switch (options_.ambiguous) {
        case Ambiguous::kFirst:
          break;
        case Ambiguous::kCommon: {
          const std::u16string common = CommonMarks(forms);
          PutForm(original, token, common.data(), common.size());
          return;
        }
        case Ambiguous::kKeep:
          out_.Put(original, token.length);
          return;
        case Ambiguous::kAll:
          for (size_t i = 0; i < forms.size(); ++i) {
            if (i > 0) out_.Put(u'|');
            PutForm(original, token, forms[i].data(), forms[i].size());
          }
          return;
      }
    }
  }
  if (!token.ignorable || as_written_) {
    out_.PutUtf16LE(form, units);
    return;
  }
  scratch_.resize(units);
  std::memcpy(&scratch_[0], form, 2 * units);
  PutForm(original, token, scratch_.data(), units);
}

const unsigned char* Diacritizer::FindAsWritten(const char16_t* word, size_t n,
                                                size_t* units) {
  std::u16string& key = written_key_;
  key.clear();
  if (!AppendBareForm(word, n, &key)) key.assign(word, n);
  WordFormLookup::Answer answer;
  try {
    answer = table_.Find(reinterpret_cast<const unsigned char*>(key.data()),
                         key.size(), written_room_);
  } catch (...) {
    RethrowTableError(table_);
  }
  *units = answer.units;
  as_written_ = answer.form != nullptr;
  return answer.form;
}

void Diacritizer::PutForm(const char16_t* original, const Token& token,
                          const char16_t* form, size_t units) {
  if (!token.ignorable || as_written_) {
    out_.Put(form, units);
    return;
  }
  out_.Put(WithDirectionalMarks(original, token.length, form, units));
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
  return text;
}

namespace {

// A letter of a form with the marks it carries.
struct MarkedLetter {
  char16_t letter;
  bool shadda;
  char16_t vowel;  // another lifted mark, or 0
};

void SplitLetters(const std::u16string& form, std::vector<MarkedLetter>* out) {
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
  std::vector<MarkedLetter> common, other;
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
  for (const MarkedLetter& m : common) {
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

}  // namespace urdulex::internal
