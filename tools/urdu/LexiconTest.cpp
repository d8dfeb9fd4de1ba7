// Checks of the shipped lexicon, data/diacritizer/words.txt: each entry
// written by the convention of doc/lexicon.md, the lines well formed and
// unique, the readings of one bare form together, the gold sample agreeing
// with it, and every entry stored by `urdu table build` and given back by
// `urdu diacritize`.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "diacritizer/TableBuilder.h"
#include "foundation/TestUtil.h"
#include "text/Tokenizer.h"

namespace {

const std::string kSource = URDULEX_SOURCE_DIR;
const std::string kWords = kSource + "/data/diacritizer/words.txt";
const std::string kGold = kSource + "/data/urdu/gold.txt";

constexpr wchar_t kFathatan = 0x064B, kFatha = 0x064E, kDamma = 0x064F,
                  kKasra = 0x0650, kShadda = 0x0651, kSukun = 0x0652,
                  kMaddah = 0x0653, kKhariZabar = 0x0670;
constexpr wchar_t kAlef = 0x0627, kAlefMadda = 0x0622, kLam = 0x0644,
                  kDoChashmiHe = 0x06BE, kYe = 0x06CC, kBariYe = 0x06D2,
                  kNoonGhunna = 0x06BA, kHamzaYe = 0x0626, kHeHamza = 0x06C2;

// The Arabic-script letters, as `urdu evaluate` counts them.
bool IsLetter(wchar_t c) {
  return (c >= 0x0621 && c <= 0x063A) || (c >= 0x0641 && c <= 0x064A) ||
         (c >= 0x066E && c <= 0x066F) || (c >= 0x0671 && c <= 0x06D3) ||
         c == 0x06D5;
}

bool IsLifted(wchar_t c) { return c >= kFatha && c <= kMaddah; }

std::wstring Bare(const std::wstring& word) {
  std::wstring bare;
  for (wchar_t c : word) {
    if (!IsLifted(c)) bare.push_back(c);
  }
  return bare;
}

// The key a form is stored under a second time, its bare form less its
// khari zabars, when the symbol K can write each back: on a letter that
// carries nothing else. Empty when there is none.
std::wstring SecondKey(const std::wstring& form) {
  std::wstring key;
  bool khari_zabar = false;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] != kKhariZabar) {
      if (!IsLifted(form[i])) key.push_back(form[i]);
      continue;
    }
    if (i == 0 || !IsLetter(form[i - 1]) ||
        (i + 1 < form.size() && IsLifted(form[i + 1]))) {
      return L"";
    }
    khari_zabar = true;
  }
  return khari_zabar ? key : L"";
}

// A letter of a form with what it carries.
struct Letter {
  wchar_t c;
  bool shadda = false;
  wchar_t vowel = 0;  // fatha, damma, kasra, fathatan, sukun or maddah
};

// A form as letters; what cannot be put on a letter goes to `faults`.
std::vector<Letter> Letters(const std::wstring& form,
                            std::vector<std::string>* faults) {
  std::vector<Letter> letters;
  for (wchar_t c : form) {
    if (IsLetter(c)) {
      letters.push_back(Letter{c});
    } else if (c != kShadda && c != kKhariZabar &&
               !(c >= kFathatan && c <= kMaddah)) {
      faults->push_back("a character that is neither letter nor mark");
    } else if (letters.empty()) {
      faults->push_back("a mark before the first letter");
    } else if (c == kShadda) {
      Letter& l = letters.back();
      if (l.shadda) faults->push_back("two shaddas on one letter");
      if (l.vowel != 0) faults->push_back("a vowel mark before the shadda");
      l.shadda = true;
    } else if (c != kKhariZabar) {
      if (letters.back().vowel != 0) {
        faults->push_back("two vowel marks on one letter");
      }
      letters.back().vowel = c;
    }
  }
  return letters;
}

bool IsShortVowel(wchar_t m) {
  return m == kFatha || m == kDamma || m == kKasra;
}

// Fixed Arabic and Persian expressions that keep the vowel of their last
// letter (doc/lexicon.md).
const std::set<std::wstring> kFinalVowelWords = {
    L"\u0627\u064E\u0644\u0633\u0651\u064E\u0644\u0627\u0645\u064F",  // اَلسَّلامُ
    L"\u0628\u064E\u0631\u0627\u06C1\u0650",  // بَراہِ
};

// One rule of the writing convention: true when letter `i` of `w` breaks it.
struct Rule {
  const char* name;
  std::function<bool(const std::vector<Letter>& w, size_t i)> broken;
};

wchar_t At(const std::vector<Letter>& w, size_t i) {
  return i < w.size() ? w[i].c : 0;
}

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = {
      {"no sukun", [](auto& w, size_t i) { return w[i].vowel == kSukun; }},
      {"no maddah above (write the letter U+0622)",
       [](auto& w, size_t i) { return w[i].vowel == kMaddah; }},
      {"alef marked only by an initial short vowel or a final tanwin",
       [](auto& w, size_t i) {
         const Letter& l = w[i];
         if (l.c != kAlef) return false;
         if (l.shadda) return true;
         return l.vowel != 0 && !(i == 0 && IsShortVowel(l.vowel)) &&
                !(i + 1 == w.size() && l.vowel == kFathatan);
       }},
      {"tanwin only on a final alef",
       [](auto& w, size_t i) {
         return w[i].vowel == kFathatan &&
                !(w[i].c == kAlef && i + 1 == w.size());
       }},
      {"no mark on alef madda, noon ghunna, bari ye, hamza ye, he hamza",
       [](auto& w, size_t i) {
         const wchar_t c = w[i].c;
         return (c == kAlefMadda || c == kNoonGhunna || c == kBariYe ||
                 c == kHamzaYe || c == kHeHamza) &&
                (w[i].shadda || w[i].vowel != 0);
       }},
      {"no vowel mark before alef (but the article's silent alef: بِال)",
       [](auto& w, size_t i) {
         const wchar_t next = At(w, i + 1);
         return (next == kAlef || next == kAlefMadda) &&
                IsShortVowel(w[i].vowel) && w[i].c != kAlef &&
                !(i == 0 && next == kAlef && At(w, i + 2) == kLam);
       }},
      {"the vowel of an aspirate on its do-chashmi he, the shadda on the "
       "consonant",
       [](auto& w, size_t i) {
         return (At(w, i + 1) == kDoChashmiHe && w[i].vowel != 0) ||
                (w[i].c == kDoChashmiHe && w[i].shadda);
       }},
      {"no zer before a word-final ye",
       [](auto& w, size_t i) {
         return i + 2 == w.size() && w[i + 1].c == kYe && w[i].vowel == kKasra;
       }},
      {"no mark on a word-final ye",
       [](auto& w, size_t i) {
         return i + 1 == w.size() && w[i].c == kYe &&
                (w[i].shadda || w[i].vowel != 0);
       }},
      {"no zer or pesh before bari ye",
       [](auto& w, size_t i) {
         return At(w, i + 1) == kBariYe &&
                (w[i].vowel == kKasra || w[i].vowel == kDamma);
       }},
      {"no short vowel on the last letter",
       [](auto& w, size_t i) {
         return i + 1 == w.size() && IsShortVowel(w[i].vowel);
       }},
  };
  return rules;
}

// What is wrong with `form` by the convention; empty when nothing.
std::vector<std::string> Faults(const std::wstring& form) {
  std::vector<std::string> faults;
  const std::vector<Letter> letters = Letters(form, &faults);
  for (const Rule& rule : Rules()) {
    if (std::string(rule.name) == "no short vowel on the last letter" &&
        kFinalVowelWords.count(form) != 0) {
      continue;
    }
    for (size_t i = 0; i < letters.size(); ++i) {
      if (rule.broken(letters, i)) {
        faults.push_back(rule.name);
        break;
      }
    }
  }
  return faults;
}

std::string Utf8(const std::wstring& s) { return wordform::ToUtf8(s); }

struct Entry {
  std::wstring form;
  size_t line;
};

class LexiconTest : public urdulex::test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::vector<std::wstring> lines;
    const wordform::Status decoded =
        wordform::DecodeTextLines(Contents(kWords), &lines);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    const std::set<long> tags = {10, 11, 20, 21, 30, 31, 32,
                                 40, 50, 51, 60, 61, 62, 63};
    for (size_t n = 0; n < lines.size(); ++n) {
      if (lines[n].empty()) continue;  // the end of the last line
      // word<TAB>id<TAB>tag<TAB>flag
      std::vector<std::wstring> fields(1);
      for (wchar_t c : lines[n]) {
        if (c == L'\t') {
          fields.emplace_back();
        } else {
          fields.back().push_back(c);
        }
      }
      const std::string where = "words.txt:" + std::to_string(n + 1);
      ASSERT_EQ(4u, fields.size()) << where;
      long number[3];
      for (int f = 0; f < 3; ++f) {
        wchar_t* end = nullptr;
        number[f] = std::wcstol(fields[f + 1].c_str(), &end, 10);
        ASSERT_TRUE(!fields[f + 1].empty() && *end == 0) << where;
      }
      EXPECT_GE(number[0], 1) << where << ": id";
      EXPECT_EQ(1u, tags.count(number[1])) << where << ": tag";
      EXPECT_TRUE(number[2] >= 0 && number[2] <= 7) << where << ": flag";
      entries_.push_back(Entry{fields[0], n + 1});
    }
  }

  std::vector<Entry> entries_;
};

// Each rule catches its fault, and right forms pass.
TEST(LexiconConventionTest, RulesCatchTheirFaults) {
  const struct {
    const wchar_t* form;
    const char* fault;  // null: the form is right
  } cases[] = {
      {L"\u0627\u064F\u0631\u062F\u064F\u0648", nullptr},  // اُردُو
      {L"\u0645\u064F\u062D\u064E\u0628\u0651\u064E\u062A", nullptr},  // مُحَبَّت
      {L"\u0641\u064E\u0648\u0631\u0627\u064B", nullptr},        // فَوراً
      {L"\u0628\u0650\u0627\u0644\u06A9\u064F\u0644", nullptr},  // بِالکُل
      {L"\u067E\u064E\u062A\u0651\u06BE\u064E\u0631", nullptr},  // پَتّھَر
      {L"\u0627\u064F\u0631\u0652\u062F\u064F\u0648", "no sukun"},  // اُرْدُو
      {L"\u0645\u064F\u062D\u064E\u0628\u064E\u0651\u062A",  // vowel, shadda
       "a vowel mark before the shadda"},
      {L"\u06A9\u0650\u064E\u062A\u0627\u0628",
       "two vowel marks on one letter"},
      {L"\u064E\u06A9\u062A\u0627\u0628", "a mark before the first letter"},
      {L"\u06A9\u062A\u0627\u0628x",
       "a character that is neither letter nor mark"},
      {L"\u0627\u0653\u0645", "no maddah above (write the letter U+0622)"},
      {L"\u0628\u0627\u064E\u062A",  // بات with a zabar on its alef
       "alef marked only by an initial short vowel or a final tanwin"},
      {L"\u06A9\u062A\u064B\u0627\u0628", "tanwin only on a final alef"},
      {L"\u0645\u06CC\u06BA\u064E",
       "no mark on alef madda, noon ghunna, bari ye, hamza ye, he hamza"},
      {L"\u06A9\u0650\u062A\u064E\u0627\u0628",  // کِتَاب
       "no vowel mark before alef (but the article's silent alef: بِال)"},
      {L"\u0628\u064E\u06BE\u0631\u0646\u0627",  // بَھرنا
       "the vowel of an aspirate on its do-chashmi he, the shadda on the "
       "consonant"},
      {L"\u0644\u064E\u0691\u06A9\u0650\u06CC",
       "no zer before a word-final ye"},
      {L"\u0628\u06BE\u06CC\u064F", "no mark on a word-final ye"},
      {L"\u06A9\u064F\u06D2", "no zer or pesh before bari ye"},
      {L"\u062F\u0650\u0644\u064E", "no short vowel on the last letter"},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> faults = Faults(c.form);
    if (c.fault == nullptr) {
      EXPECT_TRUE(faults.empty()) << Utf8(c.form) << ": " << faults[0];
    } else {
      EXPECT_EQ(1u, std::count(faults.begin(), faults.end(), c.fault))
          << Utf8(c.form) << ": " << c.fault;
    }
  }
}

TEST_F(LexiconTest, EveryEntryFollowsTheConvention) {
  ASSERT_GE(entries_.size(), 3000u);
  size_t reported = 0;
  for (const Entry& e : entries_) {
    for (const std::string& fault : Faults(e.form)) {
      ADD_FAILURE() << "words.txt:" << e.line << ": " << Utf8(e.form) << ": "
                    << fault;
      if (++reported == 20) return;
    }
  }
}

// No form twice, and the readings of a bare form on consecutive lines.
TEST_F(LexiconTest, FormsAreUniqueAndReadingsTogether) {
  std::set<std::wstring> forms;
  std::map<std::wstring, size_t> last_line;  // of each bare form
  for (size_t k = 0; k < entries_.size(); ++k) {
    const Entry& e = entries_[k];
    EXPECT_TRUE(forms.insert(e.form).second)
        << "words.txt:" << e.line << ": " << Utf8(e.form) << " again";
    const std::wstring bare = Bare(e.form);
    auto it = last_line.find(bare);
    if (it != last_line.end()) {
      EXPECT_EQ(it->second + 1, k)
          << "words.txt:" << e.line << ": " << Utf8(e.form)
          << " apart from the other readings of its bare form";
    }
    last_line[bare] = k;
  }
}

// Every word of the gold sample whose bare form the lexicon knows is
// written there as one of the lexicon's forms.
TEST_F(LexiconTest, GoldWordsAreAmongTheReadings) {
  std::map<std::wstring, std::set<std::wstring>> readings;
  for (const Entry& e : entries_) readings[Bare(e.form)].insert(e.form);
  std::vector<std::wstring> lines;
  ASSERT_TRUE(wordform::DecodeTextLines(Contents(kGold), &lines).ok());
  size_t known = 0;
  for (const std::wstring& line : lines) {
    const std::u16string text(line.begin(), line.end());
    std::vector<urdulex::internal::Token> tokens;
    urdulex::internal::Tokenizer().Split(text.data(), text.size(), true,
                                         &tokens);
    for (const urdulex::internal::Token& t : tokens) {
      if (t.kind != urdulex::internal::Token::kWord) continue;
      const std::wstring word(text.begin() + t.start,
                              text.begin() + t.start + t.length);
      auto it = readings.find(Bare(word));
      if (it == readings.end()) continue;
      ++known;
      EXPECT_EQ(1u, it->second.count(word))
          << Utf8(word) << " is not among the lexicon's forms of "
          << Utf8(it->first);
    }
  }
  EXPECT_GE(known, 50u);
}

// `urdu table build` stores every entry, and `urdu diacritize` gives back,
// for the bare form of each, all its readings in the lexicon's order, then
// the forms stored a second time under it (SecondKey), in the same order.
TEST_F(LexiconTest, TableStoresAndDiacritizerRestoresEveryEntry) {
  const std::string urdu = std::string("'") + URDU_PATH + "'";
  ASSERT_EQ(0, Run(urdu + " table build '" + kWords + "' -o t.lex"));
  EXPECT_EQ(0u, stderr_.find("urdu: " + std::to_string(entries_.size()) +
                             " forms in "))
      << stderr_;
  EXPECT_NE(std::string::npos, stderr_.find("; skipped 0\n")) << stderr_;

  std::vector<std::wstring> bare;
  std::map<std::wstring, std::wstring> expected;  // bare -> form1|form2
  for (const Entry& e : entries_) {
    std::wstring& all = expected[Bare(e.form)];
    if (all.empty()) bare.push_back(Bare(e.form));
    all += (all.empty() ? L"" : L"|") + e.form;
  }
  size_t seconds = 0;
  for (const Entry& e : entries_) {
    const std::wstring key = SecondKey(e.form);
    if (key.empty()) continue;
    ++seconds;
    std::wstring& all = expected[key];
    if (all.empty()) bare.push_back(key);
    all += (all.empty() ? L"" : L"|") + e.form;
  }
  EXPECT_GE(seconds, 40u);
  std::wstring input;
  for (const std::wstring& b : bare) input += b + L"\n";
  MakeFile("bare.txt", Utf8(input));
  ASSERT_EQ(0, Run(urdu + " diacritize --table t.lex --lines "
                          "--ambiguous all bare.txt -o out.txt"))
      << stderr_;
  std::vector<std::wstring> out;
  ASSERT_TRUE(wordform::DecodeTextLines(Contents(Path("out.txt")), &out).ok());
  ASSERT_GE(out.size(), bare.size());
  size_t wrong = 0;
  for (size_t k = 0; k < bare.size() && wrong < 20; ++k) {
    if (out[k] == expected[bare[k]]) continue;
    ++wrong;
    ADD_FAILURE() << Utf8(bare[k]) << " gives " << Utf8(out[k])
                  << ", the lexicon " << Utf8(expected[bare[k]]);
  }
}

}  // namespace
