#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/TableBuilder.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
#include "foundation/Error.h"
#include "foundation/TARNIException.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::ScratchDirTest;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;

class WordFormLookupTest : public ScratchDirTest {
 protected:
  // What opening `path` gives: "open", "rejected: WHY", "extent: WHY" or
  // "throws CODE: MESSAGE".
  static std::string Opened(const std::string& path,
                            const WordFormLookup::Limits& limits) {
    WordFormLookup lookup;
    std::string why;
    try {
      switch (lookup.Open(path, false, &why, limits)) {
        case WordFormLookup::Verdict::kOpen:
          return "open";
        case WordFormLookup::Verdict::kRejected:
          return "rejected: " + why;
        case WordFormLookup::Verdict::kExtent:
          return "extent: " + why;
      }
    } catch (const TARNIException& e) {
      return Thrown(e);
    }
    return "?";
  }
  // The same from the loader's one read and the extent check.
  static std::string Loaded(const std::string& path) {
    WordFormTableFile file;
    std::string why;
    try {
      if (!ReadWordFormTableFile(path, &file, &why)) return "rejected: " + why;
    } catch (const TARNIException& e) {
      return Thrown(e);
    }
    return CheckWordFormTableExtent(file, &why) ? "open" : "extent: " + why;
  }
  static std::string Thrown(const TARNIException& e) {
    return "throws " + std::to_string(e.GetErrorCode()) + ": " +
           e.GetExceptionMsg();
  }
  // The first form of `key` as UTF-16LE bytes, "-" when unknown.
  static std::string Find(const WordFormLookup& lookup,
                          const std::u16string& key) {
    unsigned char room[WordFormLookup::RoomBytes(1)];
    return Text(lookup.Find(Bytes(key), key.size(), room));
  }
  static std::string Text(const WordFormLookup::Answer& answer) {
    return answer.form == nullptr
               ? "-"
               : std::string(reinterpret_cast<const char*>(answer.form),
                             2 * answer.units);
  }
  static const unsigned char* Bytes(const std::u16string& key) {
    return reinterpret_cast<const unsigned char*>(key.data());
  }
  static uint32_t Home(const std::u16string& key, int32_t slots) {
    return HomeSlotHash(slots)(key.data(), key.size());
  }
};

// Every file the loader refuses is refused with the same verdict, whether
// its links are checked at open or as met; sound files open.
TEST_F(WordFormLookupTest, VerdictsAreTheLoaders) {
  const std::string a = Record(L"\x0627", "Z", -2);
  const std::string b = Record(L"\x0628", "R", -2);
  const std::string bad = Record(L"\x0628", "R", 7);
  const std::string files[] = {
      "",
      "\xFF",
      "\xFF\xFE",
      "\xFE\xFF\x01\x00\x00\x00" + a,
      std::string("\xFF\xFE\x01\x00", 4),
      TableFile({0}, {a}),
      TableFile({-5}, {a}),
      TableFile({1 << 30}, {a}),
      TableFile({-1}, {}),
      TableFile({-1, 0, 3}, {a}),
      TableFile({-1, 1}, {}),
      TableFile({-1, 1}, {}) + "\x01",
      TableFile({-1, 1, 0}, {a}),
      TableFile({-1, 1, 9}, {a}),
      TableFile({-1, 2, 9}, {a}),
      TableFile({1}, {}),
      TableFile({1}, {}) + a.substr(0, 39),
      TableFile({1}, {}) + a.substr(0, 40),
      TableFile({1}, {a}),
      TableFile({2}, {a}),
      TableFile({2}, {a, b}) + "x",
      TableFile({2}, {a, b, b}),
      TableFile({2}, {a, bad, b}),
      TableFile({2}, {a, bad}),
      TableFile({2}, {Record(L"\x0627", "Z", 1), Record(L"\x0628", "R", 0)}),
  };
  int index = 0;
  for (const std::string& bytes : files) {
    SCOPED_TRACE("file " + std::to_string(index++));
    const std::string path = Write("t.lex", bytes);
    const std::string loaded = Loaded(path);
    EXPECT_EQ(loaded, Opened(path, WordFormLookup::Limits()));
    // Links left to the walks: only a fault in them may open.
    const std::string lazy = Opened(path, {0, WordFormLookup::kWalkSlots});
    if (lazy != loaded) {
      EXPECT_EQ("open", lazy);
      EXPECT_NE(std::string::npos, loaded.find(" links to ")) << loaded;
    }
  }
}

// With the links left to the walks, a bad link is reported by the lookup
// that meets it, and one closing a cycle by the full index the long walk
// builds; other keys are answered.
TEST_F(WordFormLookupTest, LinkFaultsAreReportedWhenMet) {
  const int32_t slots = 64;
  const std::u16string good = u"\u0627\u0628", far = u"\u062A\u062B",
                       looped = u"\u062C\u062D";
  const uint32_t g = Home(good, slots), f = Home(far, slots),
                 l = Home(looped, slots);
  ASSERT_TRUE(g != f && g != l && f != l);
  std::vector<std::string> records(slots, UnusedRecord());
  records[g] = Record(L"\x0627\x0628", "Z", -2);
  records[f] = Record(L"\x062A\x062B", "Z", 99);
  records[l] = Record(L"\x062C\x062D", "Z", static_cast<int32_t>(l));
  const std::string path = Write("t.lex", TableFile({slots}, records));
  struct {
    std::u16string key;
    std::string error;  // empty: found
  } cases[] = {
      {good, ""},
      {far, "Slot " + std::to_string(f) +
                " links to 99, outside the table "
                "of 64 slots."},
      {good, ""},
      {looped, "Slot " + std::to_string(f) +
                   " links to 99, outside the "
                   "table of 64 slots."},
  };
  WordFormLookup lookup;
  std::string why;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            lookup.Open(path, false, &why, {0, WordFormLookup::kWalkSlots}));
  for (const auto& c : cases) {
    std::string error;
    try {
      EXPECT_EQ(u'\u0627' == c.key[0] ? 6u : 0u, Find(lookup, c.key).size());
    } catch (const InvalidFormatException& e) {
      error = e.GetExceptionMsg();
    }
    EXPECT_EQ(c.error, error);
  }
  // Readied for many lookups, the lookup makes the directory of the
  // chains, which checks every link before any lookup.
  WordFormLookup directed;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            directed.Open(path, false, &why, {0, WordFormLookup::kWalkSlots}));
  try {
    directed.Expect(slots);
    ADD_FAILURE() << "no exception";
  } catch (const InvalidFormatException& e) {
    EXPECT_EQ(cases[1].error, e.GetExceptionMsg());
  }
  // Without the bad link, the cycle is what the full index refuses.
  records[f] = Record(L"\x062A\x062B", "Z", -2);
  const std::string cycle = Write("c.lex", TableFile({slots}, records));
  WordFormLookup cyclic;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            cyclic.Open(cycle, false, &why, {0, WordFormLookup::kWalkSlots}));
  EXPECT_EQ(6u, Find(cyclic, far).size());
  EXPECT_EQ(WordFormLookup::Backend::kWalk, cyclic.backend());
  try {
    Find(cyclic, looped);
    ADD_FAILURE() << "no exception";
  } catch (const InvalidFormatException& e) {
    EXPECT_EQ("Slot " + std::to_string(l) + " links to " + std::to_string(l) +
                  ", closing a cycle.",
              e.GetExceptionMsg());
  }
}

// One walk longer than the bound puts every later lookup on the index, the
// rest of its batch too; so do long walks within the bound once they have
// stepped past the walk slots kStepsPerSlot times the slots, and never
// shorter ones.
TEST_F(WordFormLookupTest, LongWalksSwitchToTheIndex) {
  const int32_t slots = 200;
  WordFormHashTable homes;
  ASSERT_TRUE(homes.Allocate(slots, slots));
  std::vector<std::wstring> keys;
  const std::string path =
      Write("t.lex", TableFile({slots}, urdulex::diactest::OneLongChain(
                                            homes, slots, "Z", &keys)));
  // Walks of at most 64 slots.
  const WordFormLookup::Limits bounded{WordFormLookup::kEagerRecords, 8};
  WordFormLookup lookup;
  std::string why;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            lookup.Open(path, true, &why, bounded));
  const std::u16string last(keys[slots - 1].begin(), keys[slots - 1].end());
  const std::u16string first(keys[0].begin(), keys[0].end());
  EXPECT_EQ(8u, Find(lookup, last).size());  // a short walk
  EXPECT_EQ(WordFormLookup::Backend::kWalk, lookup.backend());
  EXPECT_EQ(8u, Find(lookup, first).size());  // the whole chain
  EXPECT_EQ(WordFormLookup::Backend::kIndex, lookup.backend());
  EXPECT_EQ(1u, lookup.AllForms(Bytes(last), last.size())->size());
  // A batch of ever longer walks, many in flight when the first too long
  // one switches: every key in it is found, on the walks before and on the
  // index after.
  WordFormLookup batched;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            batched.Open(path, true, &why, bounded));
  std::vector<std::u16string> batch;
  for (int i = 0; i < 100; ++i) {
    const std::wstring& key = keys[slots - 1 - i];
    batch.emplace_back(key.begin(), key.end());
  }
  std::vector<WordFormLookup::Query> queries;
  for (const std::u16string& key : batch) {
    queries.push_back({Bytes(key), key.size()});
  }
  std::vector<WordFormLookup::Answer> answers(batch.size());
  std::vector<unsigned char> room(WordFormLookup::RoomBytes(batch.size()));
  batched.FindMany(queries.data(), queries.size(), answers.data(), room.data());
  EXPECT_EQ(WordFormLookup::Backend::kIndex, batched.backend());
  for (size_t i = 0; i < batch.size(); ++i) {
    EXPECT_EQ(Find(lookup, batch[i]), Text(answers[i])) << i;
  }
  // Walks never too long but past walk slots of 100 (by 100 slots each):
  // the index once they have stepped kStepsPerSlot times the slots past
  // them. Past walk slots of 200 they never are.
  for (const size_t walk_slots : {100, 200}) {
    WordFormLookup stepping;
    ASSERT_EQ(WordFormLookup::Verdict::kOpen,
              stepping.Open(path, true, &why,
                            {WordFormLookup::kEagerRecords, walk_slots}));
    const uint64_t walks = WordFormLookup::kStepsPerSlot * slots / 100;
    for (uint64_t i = 0; i <= walks; ++i) {
      EXPECT_EQ(WordFormLookup::Backend::kWalk, stepping.backend()) << i;
      EXPECT_EQ(8u, Find(stepping, first).size());
    }
    EXPECT_EQ(walk_slots == 100 ? WordFormLookup::Backend::kIndex
                                : WordFormLookup::Backend::kWalk,
              stepping.backend());
  }
  // Readied for a directory, a table whose chain runs past the bound gets
  // the index at once, and one within it keeps the directory.
  for (const size_t walk_slots : {8, 100}) {
    WordFormLookup directed;
    ASSERT_EQ(WordFormLookup::Verdict::kOpen,
              directed.Open(path, true, &why,
                            {WordFormLookup::kEagerRecords, walk_slots}));
    directed.Expect(slots, 2);
    EXPECT_EQ(walk_slots == 8 ? WordFormLookup::Backend::kIndex
                              : WordFormLookup::Backend::kDirectory,
              directed.backend());
    EXPECT_EQ(8u, Find(directed, first).size());
  }
}

// Expect readies the back end that pays for the lookups announced.
TEST_F(WordFormLookupTest, ExpectPicksTheBackEnd) {
  const int32_t slots = 400;
  const std::string path = Write(
      "t.lex",
      TableFile({slots}, std::vector<std::string>(slots, UnusedRecord())));
  const uint64_t directory = slots / WordFormLookup::kSlotsPerLookup,
                 index = WordFormLookup::kLookupsPerSlot * slots;
  const struct {
    uint64_t lookups;
    WordFormLookup::Backend backend;
  } cases[] = {
      {0, WordFormLookup::Backend::kWalk},
      {directory - 1, WordFormLookup::Backend::kWalk},
      {directory, WordFormLookup::Backend::kDirectory},
      {index - 1, WordFormLookup::Backend::kDirectory},
      {index, WordFormLookup::Backend::kIndex},
      {UINT64_MAX, WordFormLookup::Backend::kIndex},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lookups);
    WordFormLookup lookup;
    std::string why;
    ASSERT_EQ(WordFormLookup::Verdict::kOpen, lookup.Open(path, false, &why));
    lookup.Expect(c.lookups, 2);
    EXPECT_EQ(c.backend, lookup.backend());
  }
}

// Keys looked up in batches of any size are answered as one by one, on
// every back end: the walks, the directory made on one thread or on
// several (a table large enough to be read in ranges), the index.
TEST_F(WordFormLookupTest, BatchesAgreeWithSingleLookupsOnEveryBackEnd) {
  const int32_t slots = 140000;
  std::mt19937 rng(7);
  const auto word = [&rng](size_t units) {
    std::u16string w;
    for (size_t i = 0; i < units; ++i) {
      w += static_cast<char16_t>(0x0627 + rng() % 20);
    }
    return w;
  };
  // The builder's layout: a key at its home slot, or on its home's chain
  // in a free slot from the top.
  std::vector<std::string> records(slots, UnusedRecord());
  std::vector<int32_t> tail(slots, -1);
  int32_t free_slot = slots - 1;
  std::vector<std::u16string> keys;
  for (int i = 0; i < 3000; ++i) {
    const std::u16string key = word(1 + rng() % 20);
    const uint32_t h = Home(key, slots);
    int32_t s = static_cast<int32_t>(h);
    if (tail[h] >= 0) {
      while (records[free_slot] != UnusedRecord()) --free_slot;
      s = free_slot;
      records[tail[h]].replace(records[tail[h]].size() - 4, 4,
                               Record(L"", "", s).substr(66));
    }
    records[s] = Record(std::wstring(key.begin(), key.end()), "ZR", -2);
    tail[h] = s;
    keys.push_back(key);
  }
  const std::string path = Write("t.lex", TableFile({slots}, records));
  for (int i = 0; i < 1000; ++i) keys.push_back(word(rng() % 25));
  WordFormLookup plain, one, several, indexed;
  std::string why;
  for (WordFormLookup* lookup : {&plain, &one, &several, &indexed}) {
    ASSERT_EQ(WordFormLookup::Verdict::kOpen, lookup->Open(path, false, &why));
  }
  one.Expect(slots, 1);
  several.Expect(slots, 3);
  indexed.Expect(WordFormLookup::kLookupsPerSlot * slots);
  ASSERT_EQ(WordFormLookup::Backend::kDirectory, one.backend());
  ASSERT_EQ(WordFormLookup::Backend::kDirectory, several.backend());
  ASSERT_EQ(WordFormLookup::Backend::kIndex, indexed.backend());
  const size_t sizes[] = {1, 2, 3, 5, 8, 9, 31, 33, 36, 64, 100, 333};
  std::vector<WordFormLookup::Query> queries;
  std::vector<WordFormLookup::Answer> answers;
  std::vector<unsigned char> room;
  size_t found = 0;
  for (size_t k = 0, i = 0; k < keys.size(); ++i) {
    const size_t n = std::min(sizes[i % 12], keys.size() - k);
    queries.clear();
    for (size_t j = 0; j < n; ++j) {
      queries.push_back({Bytes(keys[k + j]), keys[k + j].size()});
    }
    answers.assign(n, WordFormLookup::Answer{nullptr, 0});
    room.assign(WordFormLookup::RoomBytes(n), 0);
    for (const WordFormLookup* lookup : {&plain, &one, &several, &indexed}) {
      lookup->FindMany(queries.data(), n, answers.data(), room.data());
      for (size_t j = 0; j < n; ++j) {
        const std::string expected = Find(plain, keys[k + j]);
        found += lookup == &plain && expected != "-";
        EXPECT_EQ(expected, Text(answers[j]));
      }
    }
    k += n;
  }
  EXPECT_GE(found, 3000u);  // the table's keys, and random ones it holds
}

// A mapped file cut short by someone else fails the next lookup instead of
// killing the process.
TEST_F(WordFormLookupTest, FileCutShortUnderTheMapping) {
  // ThreadSanitizer holds a synchronous SIGBUS back for a handler of its
  // own, so that the fault is taken again and again.
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "SIGBUS under ThreadSanitizer";
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  GTEST_SKIP() << "SIGBUS under ThreadSanitizer";
#endif
#endif
  const int32_t slots = 4096;  // 280 KB: many pages
  const std::u16string key = u"\u0627\u0628";
  std::vector<std::string> records(slots, UnusedRecord());
  records[Home(key, slots)] = Record(L"\x0627\x0628", "Z", -2);
  const std::string path = Write("t.lex", TableFile({slots}, records));
  WordFormLookup lookup;
  std::string why;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            lookup.Open(path, false, &why, {0, WordFormLookup::kWalkSlots}));
  EXPECT_EQ(6u, Find(lookup, key).size());
  ASSERT_EQ(0, ::truncate(path.c_str(), 0));
  for (int i = 0; i < 2; ++i) {
    try {
      Find(lookup, key);
      ADD_FAILURE() << "a lookup in the cut table went on";
    } catch (const urdulex::internal::Error& e) {
      EXPECT_EQ(urdulex::internal::Error::kChanged, e.kind()) << e.message();
    }
  }
}

// The forms of the words asked for last are kept, no more: a text of ever
// new words leaves the cache at its bound, and a word that has left it (or
// forms still held after it left) gives the same forms.
TEST_F(WordFormLookupTest, TheFormsCacheKeepsTheWordsAskedForLast) {
  wordform::WordFormTableBuilder builder;
  const std::wstring jin = {0x062C, 0x0646};
  ASSERT_FALSE(
      builder.Add(jin.substr(0, 1) + L'\x0650' + jin.substr(1), 0, 0, 0));
  ASSERT_FALSE(builder.Add(jin + L'\x0651', 1, 0, 0));
  std::string bytes, error;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.7), &bytes).ok());
  WordFormLookup table;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            table.Open(Write("t.lex", bytes), true, &error));
  const std::u16string bare(jin.begin(), jin.end());
  const WordFormLookup::Forms first = table.AllForms(bare.data(), bare.size());
  ASSERT_EQ(2u, first->size());
  const std::vector<std::u16string> expected = *first;
  const size_t kWords = WordFormLookup::kFormsCacheWords + 5000;
  for (size_t i = 0; i < kWords; ++i) {
    std::u16string word = u"\u0628";
    for (char digit : std::to_string(i))
      word.push_back(u'\u06F0' + (digit - '0'));
    EXPECT_TRUE(table.AllForms(word.data(), word.size())->empty());
    EXPECT_LE(table.CachedWords(), WordFormLookup::kFormsCacheWords);
  }
  EXPECT_EQ(WordFormLookup::kFormsCacheWords, table.CachedWords());
  EXPECT_EQ(expected, *first);
  EXPECT_EQ(expected, *table.AllForms(bare.data(), bare.size()));
}

// The tags of a key's records come in chain order, as its forms do, from
// a table opened with or without every form; an unknown key has none.
TEST_F(WordFormLookupTest, TagsComeInTheFormsOrder) {
  wordform::WordFormTableBuilder builder;
  ASSERT_FALSE(builder.Add(L"\x0645\x06CC\x06BA", 1, 60, 3));
  ASSERT_FALSE(builder.Add(L"\x0645\x064E\x06CC\x06BA", 2, 50, 3));
  ASSERT_FALSE(builder.Add(L"\x06A9\x0650\x062A\x0627\x0628", 3, 10, 1));
  std::string bytes, error;
  ASSERT_TRUE(builder.Build(builder.SlotsForLoad(0.7), &bytes).ok());
  const std::string path = Write("t.lex", bytes);
  for (bool all_forms : {true, false}) {
    WordFormLookup table;
    ASSERT_EQ(WordFormLookup::Verdict::kOpen,
              table.Open(path, all_forms, &error));
    const std::u16string main = u"\u0645\u06CC\u06BA";
    EXPECT_EQ((std::vector<std::u16string>{u"\u0645\u06CC\u06BA",
                                           u"\u0645\u064E\u06CC\u06BA"}),
              *table.AllForms(main.data(), main.size()));
    EXPECT_EQ((std::vector<uint8_t>{60, 50}),
              table.Tags(Bytes(main), main.size()));
    const std::u16string book = u"\u06A9\u062A\u0627\u0628";
    EXPECT_EQ(std::vector<uint8_t>{10}, table.Tags(Bytes(book), book.size()));
    const std::u16string none = u"\u0628\u062A";
    EXPECT_TRUE(table.Tags(Bytes(none), none.size()).empty());
  }
}

}  // namespace
