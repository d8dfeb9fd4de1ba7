#include "text/Evaluate.h"

#include <algorithm>
#include <cstdio>

#include "foundation/Quote.h"
#include "script/LexEnigneUtility.h"
#include "text/CanonicalKey.h"
#include "text/WordKey.h"

namespace urdulex::internal {

namespace {

constexpr char16_t kKhariZabar = 0x0670;

// Fathatan, dammatan, kasratan: marks the key keeps but text often leaves
// out, and `urdu strip` takes off.
bool IsTanwin(char16_t c) { return c >= 0x064B && c <= 0x064D; }

bool IsPresentationForm(char16_t c) {
  return (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

// The canonical key of `word` (AppendCanonicalKey).
std::u16string Canonical(const std::u16string& word) {
  std::u16string key;
  AppendCanonicalKey(word.data(), word.size(), &key);
  return key;
}

// The letters of `key`: its bare form without tanwin.
std::u16string BareOf(const std::u16string& key) {
  std::u16string bare;
  if (!AppendBareForm(key.data(), key.size(), &bare)) bare = key;
  bare.erase(std::remove_if(bare.begin(), bare.end(), IsTanwin), bare.end());
  return bare;
}

// The marks of each letter of the canonical key `key` of `word`, sorted,
// one string per letter. The key keeps the lifted marks and tanwins in their
// order after the letters they follow (a madda composed into its alef is no
// longer a mark), and a ligature's letters before its marks, so that these
// fall to its last letter; the khari zabars it leaves out are taken from
// `word`, each with the letter before it.
std::vector<std::u16string> LetterMarks(const std::u16string& word,
                                        const std::u16string& key) {
  std::vector<std::u16string> letters;
  std::u16string before_first;
  for (char16_t c : key) {
    if (IsArabicLetter(c)) {
      letters.emplace_back();
    } else if (IsLiftedMark(c) || IsTanwin(c)) {
      (letters.empty() ? before_first : letters.back()).push_back(c);
    }
  }
  size_t letter = 0;  // letters of `word` so far
  std::u16string form;
  for (char16_t c : word) {
    if (IsPresentationForm(c)) {
      form.clear();
      if (!AppendCanonicalKey(&c, 1, &form)) form.assign(1, c);
      letter += static_cast<size_t>(
          std::count_if(form.begin(), form.end(), IsArabicLetter));
    } else if (IsArabicLetter(c)) {
      ++letter;
    } else if (c == kKhariZabar) {
      // The word has as many letters as its key.
      const size_t at = std::min(letter, letters.size());
      (at == 0 ? before_first : letters[at - 1]).push_back(c);
    }
  }
  if (!letters.empty()) letters.front() += before_first;
  for (std::u16string& marks : letters) std::sort(marks.begin(), marks.end());
  return letters;
}

// Takes the khari zabars off `marks` (sorted: they come last).
void WithoutKhariZabar(std::u16string* marks) {
  while (!marks->empty() && marks->back() == kKhariZabar) marks->pop_back();
}

std::wstring Wide(const std::u16string& s) {
  return std::wstring(s.begin(), s.end());
}

// The key the word is looked up by: its bare form, without directional
// marks and tatweels.
std::u16string Bare(const std::u16string& word) {
  std::u16string bare;
  if (!AppendWordKey(word.data(), word.size(), &bare)) bare = word;
  return bare;
}

std::string Where(const WordStream& stream, uint64_t line, uint64_t index) {
  return MessageName(stream.name()) + ":" + std::to_string(line) + ": word " +
         std::to_string(index);
}

}  // namespace

bool CompareWords(const std::u16string& gold, const std::u16string& predicted,
                  Evaluation* evaluation) {
  const std::u16string gold_key = Canonical(gold);
  const std::u16string predicted_key = Canonical(predicted);
  if (BareOf(gold_key) != BareOf(predicted_key)) return false;
  std::vector<std::u16string> g = LetterMarks(gold, gold_key);
  std::vector<std::u16string> p = LetterMarks(predicted, predicted_key);
  // Equal bare keys have the same letters.
  if (g.empty() || g.size() != p.size()) return true;
  ++evaluation->words;
  evaluation->letters += g.size();
  bool wrong = false;
  bool wrong_before_last = false;
  for (size_t i = 0; i < g.size(); ++i) {
    // A khari zabar only one side writes is no mark of that letter.
    const bool gold_khari = g[i].find(kKhariZabar) != std::u16string::npos;
    if (gold_khari != (p[i].find(kKhariZabar) != std::u16string::npos)) {
      WithoutKhariZabar(gold_khari ? &g[i] : &p[i]);
    }
    if (g[i] == p[i]) continue;
    ++evaluation->letter_errors;
    wrong = true;
    if (i + 1 == g.size()) {
      ++evaluation->last_letter_errors;
    } else {
      wrong_before_last = true;
    }
  }
  evaluation->word_errors += wrong;
  evaluation->word_errors_before_last += wrong_before_last;
  return true;
}

bool WordStream::Next(std::u16string* word, uint64_t* line, uint64_t* index) {
  while (true) {
    while (next_ < tokens_.size()) {
      const Token& token = tokens_[next_++];
      const char16_t* p = text_.data() + token.start;
      if (token.kind == Token::kWord || token.kind == Token::kOverlong) {
        word->assign(p, token.length);
        *line = line_;
        *index = ++index_;
        return true;
      }
      for (uint32_t i = 0; i < token.length; ++i) {
        if (p[i] == '\n') {
          ++line_;
          index_ = 0;
        }
      }
    }
    if (!more_) return false;
    text_.erase(text_.begin(), text_.begin() + static_cast<ptrdiff_t>(used_));
    more_ = reader_.Next(&text_);
    tokens_.clear();
    next_ = 0;
    used_ = tokenizer_.Split(text_.data(), text_.size(), !more_, &tokens_);
  }
}

void Evaluate(WordStream& gold, WordStream& predicted,
              const WordFormLookup* table, Evaluation* evaluation) {
  evaluation->with_table = table != nullptr;
  std::u16string g, p;
  uint64_t gl = 0, gi = 0, pl = 0, pi = 0;
  LexEnigneUtility utility;
  while (true) {
    const bool has_gold = gold.Next(&g, &gl, &gi);
    const bool has_predicted = predicted.Next(&p, &pl, &pi);
    if (!has_gold && !has_predicted) return;
    if (!has_predicted) {
      throw Error(MessageName(predicted.name()) + " ends before " +
                  Where(gold, gl, gi) + " \"" + ToUtf8(g) + "\"");
    }
    if (!has_gold) {
      throw Error(MessageName(gold.name()) + " ends before " +
                  Where(predicted, pl, pi) + " \"" + ToUtf8(p) + "\"");
    }
    const uint64_t words_before = evaluation->words;
    const uint64_t errors_before = evaluation->word_errors;
    if (!CompareWords(g, p, evaluation)) {
      throw Error(Where(gold, gl, gi) + " \"" + ToUtf8(g) + "\" and " +
                  Where(predicted, pl, pi) + " \"" + ToUtf8(p) +
                  "\" differ in more than their marks");
    }
    // Only words with letters count, here as above.
    if (table == nullptr || evaluation->words == words_before) continue;
    const std::u16string bare = Bare(g);
    WordFormLookup::Forms held = TableForms(*table, bare.data(), bare.size());
    if (held->empty()) {
      // A word the table holds under its canonical key.
      const std::u16string key = BareOf(Canonical(g));
      if (key == bare) continue;
      held = TableForms(*table, key.data(), key.size());
    }
    const std::vector<std::u16string>& forms = *held;
    if (forms.empty()) continue;
    ++evaluation->covered;
    if (forms.size() > 1) {
      ++evaluation->ambiguous;
      evaluation->ambiguous_errors += evaluation->word_errors - errors_before;
    }
    std::wstring wide_bare;
    std::string symbols;
    utility.SeparateSymbolicDiacritics(
        Wide(WithoutIgnorables(g.data(), g.size())), wide_bare, symbols);
    const std::wstring merged =
        utility.MergeSymbolicDiacritics(wide_bare, symbols);
    const std::u16string form(merged.begin(), merged.end());
    if (std::find(forms.begin(), forms.end(), form) != forms.end()) {
      ++evaluation->covered_exactly;
    }
  }
}

std::string FormatEvaluation(const Evaluation& e) {
  std::string out;
  const auto line = [&out](const char* name, uint64_t part, uint64_t whole) {
    char text[160];
    const double percent = whole == 0 ? 0.0
                                      : 100.0 * static_cast<double>(part) /
                                            static_cast<double>(whole);
    std::snprintf(text, sizeof(text), "%s\t%.2f%%\t%llu/%llu\n", name, percent,
                  static_cast<unsigned long long>(part),
                  static_cast<unsigned long long>(whole));
    out += text;
  };
  out += "words\t" + std::to_string(e.words) + "\n";
  out += "letters\t" + std::to_string(e.letters) + "\n";
  line("DER", e.letter_errors, e.letters);
  line("DER without last letter", e.letter_errors - e.last_letter_errors,
       e.letters - e.words);
  line("WER", e.word_errors, e.words);
  line("WER without last letter", e.word_errors_before_last, e.words);
  if (e.with_table) {
    line("table knows the word", e.covered, e.words);
    line("table has the gold form", e.covered_exactly, e.words);
    line("WER on ambiguous words", e.ambiguous_errors, e.ambiguous);
  }
  return out;
}

}  // namespace urdulex::internal
