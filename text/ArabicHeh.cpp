#include "text/ArabicHeh.h"

#include <algorithm>
#include <string>
#include <vector>

#include "script/ArabicComposition.h"
#include "text/WordKey.h"

namespace urdulex::internal {

namespace {

// The words whose hehs the position alone reads wrongly, as Urdu writes
// them. Matched on their letters (see MatchLetter), so each is listed bare
// and once; inflected forms are words of their own.
const char16_t* const kListedWords[] = {
    // Aspirated at the end: the heh doachashmee is the word's last letter.
    u"کچھ",
    u"مجھ",
    u"تجھ",
    u"سمجھ",
    u"بوجھ",
    u"بانجھ",
    u"ساتھ",
    u"ہاتھ",
    u"پوچھ",
    u"دیکھ",
    u"سیکھ",
    u"لکھ",
    u"رکھ",
    u"چکھ",
    u"بیٹھ",
    u"اٹھ",
    u"پیٹھ",
    u"آنکھ",
    u"لاکھ",
    u"راکھ",
    u"کوکھ",
    u"سوکھ",
    u"دودھ",
    u"پڑھ",
    u"بڑھ",
    u"چڑھ",
    u"کاڑھ",
    u"چھ",
    u"آٹھ",
    u"ساٹھ",
    u"ڈیڑھ",
    u"بدھ",
    // Heh goal right after a letter that takes aspiration, inside the word.
    u"نہیں",
    u"بہت",
    u"کہا",
    u"کہاں",
    u"کہیں",
    u"کہی",
    u"کہے",
    u"کہو",
    u"کہنا",
    u"کہنے",
    u"کہتا",
    u"کہتی",
    u"کہتے",
    u"کہانی",
    u"رہا",
    u"رہی",
    u"رہے",
    u"رہو",
    u"رہنا",
    u"رہنے",
    u"رہتا",
    u"رہتی",
    u"رہتے",
    u"رہنما",
    u"دوپہر",
    u"پہنچ",
    u"پہنچا",
    u"پہنچی",
    u"پہنچے",
    u"پہنچنے",
    u"پہنچایا",
    u"بہتر",
    u"بہترین",
    u"مہم",
    u"کہیے",
    u"کہانیاں",
    u"پہلا",
    u"پہلی",
    u"پہلے",
    u"جہاں",
    u"جہان",
    u"جہاز",
    u"بہن",
    u"بہتر",
    u"بہار",
    u"بہادر",
    u"مہینہ",
    u"مہینے",
    u"مہمان",
    u"مہربانی",
    u"مہنگا",
    u"مہنگی",
    u"مہنگے",
    u"پہنچ",
    u"پہنچا",
    u"پہنچی",
    u"پہنچے",
    u"پہاڑ",
    u"لہر",
    u"نہر",
    u"دہلی",
    u"تہذیب",
    u"تہوار",
    u"دہشت",
    u"گہرا",
    u"گہری",
    u"گہرے",
    u"لہذا",
};

// The letter a listed word is matched by: the Arabic forms as the Urdu
// letters, and the three hehs as one.
char16_t MatchLetter(char16_t c) {
  switch (c) {
    case 0x0643:
      return 0x06A9;
    case 0x064A:
    case 0x0649:
      return 0x06CC;
    case kArabicHeh:
    case kHehDoachashmee:
      return kHehGoal;
    default:
      return c;
  }
}

struct Listed {
  std::u16string match;     // MatchLetter of each letter
  const char16_t* letters;  // as written
};

class WordList {
 public:
  WordList() {
    for (const char16_t* word : kListedWords) {
      std::u16string match(word);
      for (char16_t& c : match) c = MatchLetter(c);
      longest_ = std::max(longest_, match.size());
      words_.push_back({std::move(match), word});
    }
    std::sort(
        words_.begin(), words_.end(),
        [](const Listed& a, const Listed& b) { return a.match < b.match; });
  }
  size_t longest() const { return longest_; }
  // The word as written whose letters match `match`, or null.
  const char16_t* Find(const std::u16string& match) const {
    const auto it = std::lower_bound(
        words_.begin(), words_.end(), match,
        [](const Listed& a, const std::u16string& m) { return a.match < m; });
    return it != words_.end() && it->match == match ? it->letters : nullptr;
  }

 private:
  std::vector<Listed> words_;
  size_t longest_ = 0;
};

const WordList& ListedWords() {
  static const WordList* list = new WordList;
  return *list;
}

bool TakesAspiration(char16_t c) {
  switch (c) {
    case 0x0628:  // ب
    case 0x067E:  // پ
    case 0x062A:  // ت
    case 0x0679:  // ٹ
    case 0x062C:  // ج
    case 0x0686:  // چ
    case 0x062F:  // د
    case 0x0688:  // ڈ
    case 0x0631:  // ر
    case 0x0691:  // ڑ
    case 0x06A9:  // ک
    case 0x0643:  // ك
    case 0x06AA:  // ڪ
    case 0x06AF:  // گ
    case 0x0644:  // ل
    case 0x0645:  // م
    case 0x0646:  // ن
      return true;
    default:
      return false;
  }
}

// Inside a word, not a letter of its own.
bool IsBetweenLetters(char16_t c) {
  return ArabicCombiningClass(c) != 0 || IsIgnorable(c);
}

constexpr char16_t kHamzaAbove = 0x0654;

template <typename Char>
bool InWord(const Char* text, size_t i) {
  const auto c = static_cast<char32_t>(text[i]);
  return c <= 0xFFFF && IsArabicWordUnit(static_cast<char16_t>(c));
}

template <typename Char>
size_t AspirateInPlace(Char* text, size_t n) {
  const WordList* list = nullptr;
  size_t written = 0;
  std::vector<size_t> letters;  // the places of a word's letters
  std::u16string match;
  size_t done = 0;  // the end of the last word read
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<char32_t>(text[i]) != kArabicHeh) continue;
    if (list == nullptr) list = &ListedWords();
    size_t start = i;
    while (start > done && InWord(text, start - 1)) --start;
    letters.clear();
    size_t end = start;
    for (; end < n && InWord(text, end); ++end) {
      if (IsArabicLetter(static_cast<char16_t>(text[end]))) {
        letters.push_back(end);
      }
    }
    const char16_t* listed = nullptr;
    if (letters.size() <= list->longest()) {
      match.clear();
      for (size_t at : letters) {
        match.push_back(MatchLetter(static_cast<char16_t>(text[at])));
      }
      listed = list->Find(match);
    }
    for (size_t k = 0; k < letters.size(); ++k) {
      const size_t at = letters[k];
      if (static_cast<char32_t>(text[at]) != kArabicHeh) continue;
      bool aspirated;
      if (at + 1 < n && static_cast<char32_t>(text[at + 1]) == kHamzaAbove) {
        aspirated = false;
      } else if (listed != nullptr) {
        aspirated = listed[k] == kHehDoachashmee;
      } else {
        aspirated =
            k > 0 && k + 1 < letters.size() &&
            TakesAspiration(static_cast<char16_t>(text[letters[k - 1]]));
      }
      if (aspirated) {
        text[at] = static_cast<Char>(kHehDoachashmee);
        ++written;
      }
    }
    done = end;
    i = end - 1;
  }
  return written;
}

}  // namespace

bool IsArabicWordUnit(char16_t c) {
  return IsArabicLetter(c) || IsBetweenLetters(c);
}

size_t AspirateArabicHehs(char16_t* text, size_t n) {
  return AspirateInPlace(text, n);
}

size_t AspirateArabicHehs(wchar_t* text, size_t n) {
  return AspirateInPlace(text, n);
}

}  // namespace urdulex::internal
