#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/TableBuilder.h"
#include "text/Diacritize.h"

namespace {

using urdulex::internal::Diacritizer;

const wchar_t kLetters[] = {0x0627, 0x0628, 0x062A, 0x062F, 0x0631, 0x0633,
                            0x0644, 0x0645, 0x0646, 0x06A9, 0x06CC, 0x06C1};
const wchar_t kMarks[] = {0x064E, 0x0650, 0x064F, 0x0651, 0x0652};

std::string Utf8(const std::wstring& w) {
  std::u16string units;
  for (wchar_t c : w) {
    if (c < 0x10000) {
      units.push_back(static_cast<char16_t>(c));
    } else {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return urdulex::internal::ToUtf8(units);
}

class DiacritizeUtf8Test : public urdulex::diactest::ScratchDirTest {
 protected:
  // Output of a run over `bytes`, or the error line.
  static std::string Run(const WordFormLookup& table, const std::string& bytes,
                         bool utf8, bool lenient, bool report) {
    Diacritizer::Options options;
    options.utf8 = utf8;
    options.count_unknown = report;
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter out(sink,
                                      urdulex::internal::TextWriter::kUtf8);
    Diacritizer diacritizer(table, options, out);
    urdulex::internal::MemorySource source(bytes, "in");
    urdulex::internal::TextReader reader(source, lenient);
    try {
      diacritizer.Run(reader);
      out.Finish();
    } catch (const urdulex::internal::Error& e) {
      return "error: " + e.message();
    }
    std::string counts;
    for (const auto& entry : diacritizer.Unknown()) {
      counts += urdulex::internal::ToUtf8(entry.first) + "=" +
                std::to_string(entry.second);
    }
    return sink.bytes + "|" + counts + "|" +
           urdulex::internal::FormatCoverage(diacritizer.coverage());
  }
};

// Text kept UTF-8 gives the output of text decoded and encoded again, on
// random mixes of the things the tokenizer tells apart, across the block
// ends of the reader, in each kind of input.
TEST_F(DiacritizeUtf8Test, SameOutputAsDecodedText) {
  std::mt19937 rng(16);
  const auto word = [&](size_t letters) {
    std::wstring w;
    for (size_t i = 0; i < letters; ++i) w += kLetters[rng() % 12];
    return w;
  };
  wordform::WordFormTableBuilder builder;
  std::vector<std::wstring> known;
  for (uint32_t id = 0; known.size() < 400; ++id) {
    std::wstring w = word(1 + rng() % 5);
    std::wstring form;
    for (wchar_t c : w) {
      form += c;
      if (rng() % 3 == 0) form += kMarks[rng() % 3];
    }
    if (!builder.Add(form, id, 0, 0)) {
      known.push_back(w);
    }
    // A homograph now and then.
    if (rng() % 8 == 0) builder.Add(w + kMarks[0], id, 0, 0);
  }
  std::string bytes;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.7), &bytes).ok());
  WordFormLookup table;
  urdulex::internal::OpenWordFormTable(Write("t.lex", bytes), false, false,
                                       &table);

  const std::vector<std::wstring> pieces = {
      L" ",          L"  ",     L"\r\n",   L"\n",
      L"\t",         L".",      L"\u06D4", L"\u060C",
      L"\"",         L"\u00A0", L"\u3000", L"\u2026",
      L"abc",        L"x1",     L"42",     L"\u06F4\u06F2",
      L"\u200C",     L"\u200D", L"\u200E", L"\u200F",
      L"\u061C",     L"\u202B", L"\u2067", L"\u0640",
      L"\U0001F600", L"\u00E9", L"\u0654", L"\uFEFB"};
  const auto text = [&](size_t bytes_wanted) {
    std::string out;
    while (out.size() < bytes_wanted) {
      const unsigned kind = rng() % 10;
      std::wstring w;
      if (kind < 4) {
        w = known[rng() % known.size()];
      } else if (kind < 6) {
        w = word(1 + rng() % 6);
      } else if (kind == 6 && rng() % 40 == 0) {
        w = word(1000 + rng() % 60);  // about the longest word kept whole
      }
      // Marks, joiners, directional marks and tatweels in and around it.
      for (unsigned k = rng() % 3; k > 0 && !w.empty(); --k) {
        const size_t at = rng() % (w.size() + 1);
        const wchar_t extra[] = {
            kMarks[rng() % 5], 0x200C, 0x200E, 0x0640, 0x202E, 0x2069};
        w.insert(w.begin() + static_cast<ptrdiff_t>(at), extra[rng() % 6]);
      }
      out += Utf8(w);
      out += Utf8(pieces[rng() % pieces.size()]);
    }
    return out;
  };
  struct Case {
    const char* name;
    size_t bytes;
    const char* prefix;  // a mark in front
    bool lenient;
    bool report;
    bool utf16;  // the text given as UTF-16LE
  };
  const Case cases[] = {
      {"short", 3000, "", false, true, false},
      {"over block ends", (5u << 20) / 2, "", false, false, false},
      {"mark", 5000, "\xEF\xBB\xBF", false, false, false},
      {"lenient", 5000, "", true, true, false},
      {"utf16", 5000, "\xFF\xFE", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string in = text(c.bytes);
    for (int variant = 0; variant < 3; ++variant) {
      std::string input = in;
      if (variant > 0) {
        // A bad byte, a cut sequence or a surrogate somewhere.
        const char* bad[] = {"\xFF", "\xD8", "\xED\xA0\x80", "\xC0\xAF"};
        input.insert(rng() % input.size(), bad[rng() % 4]);
        if (variant == 2) input += "\xDB";
      }
      if (c.utf16) {
        // The text with its faults replaced, as UTF-16LE.
        urdulex::internal::Units decoded;
        urdulex::internal::TextDecoder decoder(true);
        bool ok = true;
        urdulex::internal::DecodeError e;
        decoder.Decode(reinterpret_cast<const unsigned char*>(input.data()),
                       input.size(), true, &decoded, &ok, &e);
        input.clear();
        for (char16_t u : decoded) {
          input.push_back(static_cast<char>(u & 0xFF));
          input.push_back(static_cast<char>(u >> 8));
        }
      }
      input = c.prefix + input;
      const std::string want = Run(table, input, false, c.lenient, c.report);
      const std::string got = Run(table, input, true, c.lenient, c.report);
      EXPECT_EQ(variant == 0 || c.lenient || c.utf16,
                want.compare(0, 6, "error:") != 0)
          << want.substr(0, 200);
      if (want != got) {
        size_t at = 0;
        while (at < want.size() && at < got.size() && want[at] == got[at]) {
          ++at;
        }
        ADD_FAILURE() << "variant " << variant << " differs at byte " << at
                      << " of " << want.size() << ": "
                      << want.substr(at > 40 ? at - 40 : 0, 120) << " / "
                      << got.substr(at > 40 ? at - 40 : 0, 120);
      }
    }
  }
}

class DiacritizeTest : public urdulex::diactest::ScratchDirTest {};

// What the diacritizer makes of running text, case by case: known words
// get their forms, the rest and every separator stay, homographs go as the
// policy says, line mode drops the blanks around a line's word.
TEST_F(DiacritizeTest, RunningTextByCase) {
  wordform::WordFormTableBuilder builder;
  uint32_t id = 0;
  for (const wchar_t* form :
       {L"کِتاب", L"کَتاب", L"قَلَم", L"اَور", L"مُلک", L"مِلک", L"مُلکی"}) {
    ASSERT_FALSE(builder.Add(form, id++, 0, 0)) << id;
  }
  std::string bytes;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.7), &bytes).ok());
  WordFormLookup table;
  urdulex::internal::OpenWordFormTable(Write("t.lex", bytes), true, false,
                                       &table);
  using Ambiguous = Diacritizer::Ambiguous;
  struct {
    const char* name;
    const char* text;
    Ambiguous ambiguous;
    bool lines;
    const char* want;
    const char* coverage;  // the start of FormatCoverage
  } cases[] = {
      {"known word", "قلم", Ambiguous::kFirst, false, "قَلَم",
       "1 Urdu words, 1 known"},
      {"unknown word stays", "گھوڑا", Ambiguous::kFirst, false, "گھوڑا",
       "1 Urdu words, 0 known"},
      {"separators stay", "قلم، قلم۔ (اور)", Ambiguous::kFirst, false,
       "قَلَم، قَلَم۔ (اَور)", "3 Urdu words, 3 known"},
      {"found by its bare form", "قَلم", Ambiguous::kFirst, false, "قَلَم",
       "1 Urdu words, 1 known"},
      {"homograph, first", "کتاب", Ambiguous::kFirst, false, "کِتاب",
       "1 Urdu words, 1 known"},
      {"homograph, common marks", "ملک", Ambiguous::kCommon, false, "ملک",
       "1 Urdu words, 1 known"},
      {"homograph kept", "کتاب اور", Ambiguous::kKeep, false, "کتاب اَور",
       "2 Urdu words, 2 known"},
      {"homograph, all forms", "کتاب", Ambiguous::kAll, false, "کِتاب|کَتاب",
       "1 Urdu words, 1 known"},
      {"a word is never a part of another", "ملکی ملکیت", Ambiguous::kFirst,
       false, "مُلکی ملکیت", "2 Urdu words, 1 known"},
      {"other words pass, counted apart", "abc 42 قلم ۴۲", Ambiguous::kFirst,
       false, "abc 42 قَلَم ۴۲", "1 Urdu words, 1 known"},
      {"line mode drops the blanks", "  قلم \t\nکتاب\n", Ambiguous::kFirst,
       true, "قَلَم\nکِتاب\n", "2 Urdu words, 2 known"},
      {"empty text", "", Ambiguous::kFirst, false, "", "0 Urdu words, 0 known"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Diacritizer::Options options;
    options.ambiguous = c.ambiguous;
    options.lines = c.lines;
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter out(sink,
                                      urdulex::internal::TextWriter::kUtf8);
    Diacritizer diacritizer(table, options, out);
    urdulex::internal::MemorySource source(c.text, "in");
    urdulex::internal::TextReader reader(source, false);
    diacritizer.Run(reader);
    out.Finish();
    EXPECT_EQ(c.want, sink.bytes);
    const std::string coverage =
        urdulex::internal::FormatCoverage(diacritizer.coverage());
    EXPECT_EQ(0u, coverage.find(c.coverage)) << coverage;
  }
}

// Context rules choose among a word's readings by its neighbours in its
// sentence (a full stop or a line end parts sentences); where none holds,
// or its reading is not the word's, `ambiguous` decides.
TEST_F(DiacritizeTest, ContextRulesChooseByNeighbours) {
  wordform::WordFormTableBuilder builder;
  const struct {
    const wchar_t* form;
    uint8_t tag;
  } kForms[] = {{L"میں", 60}, {L"مَیں", 50}, {L"نے", 60},
                {L"گھَر", 10}, {L"کیا", 51}, {L"کِیا", 20},
                {L"گَیا", 21}, {L"اُس", 50},  {L"ہَے", 21}};
  uint32_t id = 0;
  for (const auto& f : kForms) {
    ASSERT_FALSE(builder.Add(f.form, ++id, f.tag, 0)) << id;
  }
  std::string bytes;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.7), &bytes).ok());
  WordFormLookup table;
  urdulex::internal::OpenWordFormTable(Write("t.lex", bytes), true, false,
                                       &table);
  urdulex::internal::ContextRules rules;
  ASSERT_TRUE(rules
                  .Parse("میں -> مَیں: next=نے\n"
                         "کیا -> کِیا: prev.tag=pronoun next=گیا\n"
                         "کیا -> کیا: start\n"
                         "میں -> مِیں: end\n",  // no such reading
                         "rules")
                  .ok());
  using Ambiguous = Diacritizer::Ambiguous;
  const struct {
    const char* text;
    Ambiguous fallback;
    const char* want;
  } kCases[] = {
      {"میں نے", Ambiguous::kFirst, "مَیں نے"},
      {"گھر میں", Ambiguous::kFirst, "گھَر میں"},
      {"میں۔ نے", Ambiguous::kFirst, "میں۔ نے"},  // another sentence
      {"میں\nنے", Ambiguous::kFirst, "میں\nنے"},  // another line
      {"اس کیا گیا", Ambiguous::kFirst, "اُس کِیا گَیا"},
      {"کیا گیا", Ambiguous::kFirst, "کیا گَیا"},
      {"گھر کیا گیا", Ambiguous::kFirst, "گھَر کیا گَیا"},  // not a pronoun
      {"گھر کیا گیا", Ambiguous::kKeep, "گھَر کیا گَیا"},
      {"گھر کیا ہے", Ambiguous::kAll, "گھَر کیا|کِیا ہَے"},
      {"مَیں", Ambiguous::kFirst, "مَیں"},  // the writer's marks first
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    Diacritizer::Options options;
    options.ambiguous = c.fallback;
    options.context = &rules;
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter out(sink,
                                      urdulex::internal::TextWriter::kUtf8);
    Diacritizer diacritizer(table, options, out);
    urdulex::internal::MemorySource source(c.text, "in");
    urdulex::internal::TextReader reader(source, false);
    diacritizer.Run(reader);
    out.Finish();
    EXPECT_EQ(c.want, sink.bytes);
  }
  // A rule's reading matches the table's whichever order it gives the two
  // marks of a letter (fatha and shadda on lam).
  for (const char* order : {"\u064E\u0651", "\u0651\u064E"}) {
    wordform::WordFormTableBuilder two;
    ASSERT_FALSE(two.Add(L"\u0628\u064F\u0644\u0627", 1, 10, 0));
    ASSERT_FALSE(two.Add(L"\u0628\u064E\u0644\u064E\u0651\u0627", 2, 10, 0));
    ASSERT_TRUE(two.Build(two.SlotsForLoad(0.7), &bytes).ok());
    WordFormLookup held;
    urdulex::internal::OpenWordFormTable(Write("two.lex", bytes), true, false,
                                         &held);
    urdulex::internal::ContextRules swapped;
    ASSERT_TRUE(swapped
                    .Parse(std::string("\u0628\u0644\u0627 -> \u0628\u064E"
                                       "\u0644") +
                               order + "\u0627: end\n",
                           "rules")
                    .ok());
    Diacritizer::Options options;
    options.context = &swapped;
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter out(sink,
                                      urdulex::internal::TextWriter::kUtf8);
    Diacritizer diacritizer(held, options, out);
    urdulex::internal::MemorySource source("\u0628\u0644\u0627", "in");
    urdulex::internal::TextReader reader(source, false);
    diacritizer.Run(reader);
    out.Finish();
    EXPECT_EQ(0u, sink.bytes.rfind("\u0628\u064E", 0)) << order;
  }
}

}  // namespace
