#include "diacritizer/Diacritize.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordKey.h"
#include "diacritizer/hashmain.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"

// Keys go to the index as the bytes of the UTF-16 units in memory, which
// the index takes for UTF-16LE.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the word-form index takes keys as UTF-16LE bytes"
#endif

namespace urdu {

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

FormTable::FormTable(const std::string& path, bool all_forms,
                     const WordFormLookup::Limits& limits)
    : path_(path) {
  const std::string where = "table " + QuoteName(path) + ": ";
  try {
    // The file is opened once; its verdicts and the lookups all come from
    // that one opening.
    std::string rejection;
    switch (lookup_.Open(path, all_forms, &rejection, limits)) {
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
  } catch (const WordFormLookup::Changed&) {
    Fail();
  }
}

void FormTable::Fail() const {
  // Called from a handler: what went wrong is the exception in flight;
  // any other than these goes on as it is.
  try {
    throw;
  } catch (const TARNIException& e) {
    throw Error("table " + QuoteName(path_) + ": " + e.GetExceptionMsg());
  } catch (const WordFormLookup::Changed&) {
    throw Error("table " + QuoteName(path_) + " changed while being read");
  }
}

void FormTable::CheckUnchanged() const {
  if (!lookup_.Unchanged()) {
    throw Error("table " + QuoteName(path_) + " changed while being read");
  }
}

void FormTable::UseIndex() const {
  try {
    lookup_.UseIndex();
  } catch (...) {
    Fail();
  }
}

void FormTable::UseDirectory() const {
  try {
    lookup_.UseDirectory();
  } catch (...) {
    Fail();
  }
}

FormTable::Forms FormTable::AllForms(const char16_t* key, size_t n) const {
  std::u16string k(key, n);
  {
    std::lock_guard<std::mutex> lock(forms_mutex_);
    auto it = forms_.find(k);
    if (it != forms_.end()) {
      recent_.splice(recent_.begin(), recent_, it->second.place);
      return it->second.forms;
    }
  }
  auto forms = std::make_shared<std::vector<std::u16string>>();
  try {
    lookup_.Forms(Bytes(key), n, forms.get());
  } catch (...) {
    Fail();
  }
  // Another thread may have put the same key in meanwhile: emplace keeps
  // the first.
  std::lock_guard<std::mutex> lock(forms_mutex_);
  auto added = forms_.emplace(std::move(k), Cached{std::move(forms), {}});
  Cached& cached = added.first->second;
  if (!added.second) {
    recent_.splice(recent_.begin(), recent_, cached.place);
    return cached.forms;
  }
  recent_.push_front(&added.first->first);
  cached.place = recent_.begin();
  Forms result = cached.forms;
  if (forms_.size() > kFormsCacheWords) {
    forms_.erase(*recent_.back());
    recent_.pop_back();
  }
  return result;
}

size_t FormTable::CachedWords() const {
  std::lock_guard<std::mutex> lock(forms_mutex_);
  return forms_.size();
}

void Diacritizer::PrepareFor(const FormTable& table, int64_t bytes) {
  // A text of many words per slot of the table would have its walks switch
  // to the full index soon anyway: building it first spares those walks.
  // A short text never pays for it, so start-up stays that of the mapping.
  if (bytes > 0 && static_cast<uint64_t>(bytes) / kBytesPerSlotForIndex >=
                       static_cast<uint64_t>(table.IndexAfterSteps())) {
    table.UseIndex();
  } else if (bytes > 0 &&
             static_cast<uint64_t>(bytes) / kBytesPerSlotForDirectory >=
                 static_cast<uint64_t>(table.slots())) {
    // A few words per slot: the directory of the chains.
    table.UseDirectory();
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
    Word word{static_cast<uint32_t>(t),
              kInText,
              token.length,
              0,
              token.start,
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
         [&](size_t t, const Word* word) { Emit(text, tokens[t], word); });
  FlushPassed();  // the text is about to go
}

template <typename EmitToken>
void Diacritizer::LookUp(const char16_t* text, size_t tokens,
                         EmitToken&& emit) {
  if (steps_ > table_.IndexAfterSteps()) {
    table_.UseIndex();
    steps_ = 0;
  }
  // Four hashes at a time: their chains of operations overlap.
  constexpr size_t kGroup = 4;
  for (size_t w = 0; w < words_.size(); w += kGroup) {
    const unsigned char* keys[kGroup] = {};
    size_t units[kGroup] = {};
    uint64_t hashes[kGroup] = {};
    const size_t n = std::min(kGroup, words_.size() - w);
    for (size_t k = 0; k < n; ++k) {
      const Word& word = words_[w + k];
      const char16_t* key =
          word.key == kInText ? text + word.text : keys_.data() + word.key;
      keys[k] = reinterpret_cast<const unsigned char*>(key);
      units[k] = word.length;
    }
    table_.HashMany(keys, units, n, hashes);
    for (size_t k = 0; k < n; ++k) words_[w + k].hash = hashes[k];
  }
  // The lookups go in batches of kBatch words: the slots and entries of a
  // batch are loaded first, their cache misses overlapping (and the slots
  // of the next batch fetched ahead), then the batch is written.
  const size_t count = words_.size();
  const bool indexed = table_.indexed();
  size_t w = 0;
  size_t t = 0;
  while (w < count) {
    const size_t end = std::min(count, w + kBatch);
    unsigned touched = 0;
    const size_t ahead = std::min(count, end + kBatch);
    if (indexed) {
      // A pipeline of prefetches, none of which waits: the slots of a
      // batch four batches ahead, the entries of the batch two ahead
      // (whose slots came two batches ago); this batch's entries came two
      // batches ago. The first batches of a block are loaded at once.
      if (w == 0) {
        const size_t slots = std::min(count, 4 * kBatch);
        for (size_t k = end; k < slots; ++k) table_.Prefetch(words_[k].hash);
        for (size_t k = 0; k < end; ++k)
          touched += table_.Touch(words_[k].hash);
        for (size_t k = end; k < ahead; ++k)
          table_.TouchNext(words_[k].hash, 1);
      }
      const size_t slots = std::min(count, w + 5 * kBatch);
      for (size_t k = std::min(count, w + 4 * kBatch); k < slots; ++k) {
        table_.Prefetch(words_[k].hash);
      }
      const size_t entries = std::min(count, w + 3 * kBatch);
      for (size_t k = std::min(count, w + 2 * kBatch); k < entries; ++k) {
        table_.TouchNext(words_[k].hash, 1);
      }
    } else {
      for (size_t k = end; k < ahead; ++k) table_.Prefetch(words_[k].hash);
      for (size_t k = w; k < end; ++k) touched += table_.Touch(words_[k].hash);
      for (size_t depth = 1; depth <= 2; ++depth) {
        for (size_t k = w; k < end; ++k) {
          touched += table_.TouchNext(words_[k].hash, depth);
        }
      }
    }
    touched_ += touched;
    for (; w < end; ++w) {
      for (; t < words_[w].token; ++t) emit(t, nullptr);
      emit(t++, &words_[w]);
    }
  }
  for (; t < tokens; ++t) emit(t, nullptr);
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
    Word word{static_cast<uint32_t>(t), kInText, units, 0, at, units};
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
         [&](size_t t, const Word* word) { EmitUtf8(text, tokens[t], word); });
  FlushPassed();  // the text is about to go
}

void Diacritizer::EmitUtf8(const char* text, const Token& token,
                           const Word* word) {
  const char* original = text + token.start;
  if (token.kind == Token::kOverlong) {
    if (token.letter) {
      ++coverage_.tokens;
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
  const char16_t* key = word->key == kInText ? wide : keys_.data() + word->key;
  size_t units = 0;
  const unsigned char* form =
      table_.Find(key, word->length, word->hash, room_, &units, &steps_);
  as_written_ = false;
  if (form == nullptr && token.ignorable) {
    form = FindAsWritten(wide, word->units, &units);
  }
  if (form == nullptr) {
    ++coverage_.tokens;
    ++coverage_.unknown;
    if (options_.count_unknown) {
      ++unknown_[std::u16string(wide, word->units)];
    }
    PassUtf8(original, token.length);
    return;
  }
  ++coverage_.tokens;
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
                       const Word* word) {
  const char16_t* original = text + token.start;
  switch (token.kind) {
    case Token::kBlank:
      return;
    case Token::kSeparator:
      Pass(original, token.length);
      return;
    case Token::kOverlong:
      if (token.letter) {
        ++coverage_.tokens;
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
  size_t units = 0;
  const unsigned char* form =
      table_.Find(key, word->length, word->hash, room_, &units, &steps_);
  as_written_ = false;
  if (form == nullptr && token.ignorable) {
    form = FindAsWritten(original, token.length, &units);
  }
  if (form == nullptr) {
    if (!token.letter) {
      ++coverage_.other;
    } else {
      ++coverage_.tokens;
      ++coverage_.unknown;
      if (options_.count_unknown) {
        ++unknown_[std::u16string(original, token.length)];
      }
    }
    Pass(original, token.length);
    return;
  }
  ++coverage_.tokens;
  ++coverage_.known;
  FlushPassed();
  if (NeedsAllForms(options_)) {
    const FormTable::Forms held =
        as_written_ ? table_.AllForms(written_key_.data(), written_key_.size())
                    : table_.AllForms(key, word->length);
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
  const unsigned char* form =
      table_.Find(key.data(), key.size(), table_.Hash(key.data(), key.size()),
                  room_, units);
  as_written_ = form != nullptr;
  return form;
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
  const double known = c.tokens == 0 ? 0.0
                                     : 100.0 * static_cast<double>(c.known) /
                                           static_cast<double>(c.tokens);
  char text[200];
  std::snprintf(text, sizeof(text),
                "%llu Urdu words, %llu known (%.2f%%), %llu unknown, %llu "
                "ambiguous; %llu other tokens passed through",
                static_cast<unsigned long long>(c.tokens),
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

}  // namespace urdu
