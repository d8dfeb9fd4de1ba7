#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
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
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    unsigned char room[2 * WordFormLookup::kMaxFormUnits];
    size_t n = 0;
    const unsigned char* form =
        lookup.Find(p, key.size(), lookup.Hash(p, key.size()), room, &n);
    return form == nullptr
               ? "-"
               : std::string(reinterpret_cast<const char*>(form), n);
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
  // Without the bad link, the cycle is what the full index refuses.
  records[f] = Record(L"\x062A\x062B", "Z", -2);
  const std::string cycle = Write("c.lex", TableFile({slots}, records));
  WordFormLookup cyclic;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen,
            cyclic.Open(cycle, false, &why, {0, WordFormLookup::kWalkSlots}));
  EXPECT_EQ(6u, Find(cyclic, far).size());
  EXPECT_FALSE(cyclic.indexed());
  try {
    Find(cyclic, looped);
    ADD_FAILURE() << "no exception";
  } catch (const InvalidFormatException& e) {
    EXPECT_EQ("Slot " + std::to_string(l) + " links to " + std::to_string(l) +
                  ", closing a cycle.",
              e.GetExceptionMsg());
  }
}

// One walk longer than the bound puts every later lookup on the index.
TEST_F(WordFormLookupTest, LongWalkSwitchesToTheIndex) {
  const int32_t slots = 200;
  WordFormHashTable homes;
  ASSERT_TRUE(homes.Allocate(slots, slots));
  std::vector<std::wstring> keys;
  const std::string path =
      Write("t.lex", TableFile({slots}, urdulex::diactest::OneLongChain(
                                            homes, slots, "Z", &keys)));
  WordFormLookup lookup;
  std::string why;
  ASSERT_EQ(WordFormLookup::Verdict::kOpen, lookup.Open(path, true, &why));
  const std::u16string last(keys[slots - 1].begin(), keys[slots - 1].end());
  const std::u16string first(keys[0].begin(), keys[0].end());
  const uint64_t before = lookup.Hash(
      reinterpret_cast<const unsigned char*>(first.data()), first.size());
  EXPECT_EQ(8u, Find(lookup, last).size());  // a short walk
  EXPECT_FALSE(lookup.indexed());
  EXPECT_EQ(8u, Find(lookup, first).size());  // the whole chain
  EXPECT_TRUE(lookup.indexed());
  // A hash taken before the switch still finds its key.
  unsigned char room[2 * WordFormLookup::kMaxFormUnits];
  size_t n = 0;
  EXPECT_NE(nullptr,
            lookup.Find(reinterpret_cast<const unsigned char*>(first.data()),
                        first.size(), before, room, &n));
  std::vector<std::u16string> forms;
  lookup.Forms(reinterpret_cast<const unsigned char*>(last.data()), last.size(),
               &forms);
  EXPECT_EQ(1u, forms.size());
}

// Keys hashed together hash as one by one, and a lookup stepped ahead
// (StepAhead) answers as the plain one, through a directory made on one
// thread or on several, on a table large enough to be read in ranges.
TEST_F(WordFormLookupTest, ManyHashesAndStepsAheadAgree) {
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
  WordFormLookup plain, one, several;
  std::string why;
  for (WordFormLookup* lookup : {&plain, &one, &several}) {
    ASSERT_EQ(WordFormLookup::Verdict::kOpen, lookup->Open(path, false, &why));
  }
  one.UseDirectory();
  several.UseDirectory(3);
  size_t found = 0;
  for (size_t k = 0; k < keys.size();) {
    const size_t group = std::min<size_t>(1 + k % 9, keys.size() - k);
    const unsigned char* p[9];
    size_t units[9];
    uint64_t hashes[9];
    for (size_t j = 0; j < group; ++j) {
      p[j] = reinterpret_cast<const unsigned char*>(keys[k + j].data());
      units[j] = keys[k + j].size();
    }
    for (const WordFormLookup* lookup : {&plain, &one, &several}) {
      lookup->HashMany(p, units, group, hashes);
      for (size_t j = 0; j < group; ++j) {
        const std::string expected = Find(plain, keys[k + j]);
        found += lookup == &plain && expected != "-";
        EXPECT_EQ(lookup->Hash(p[j], units[j]), hashes[j]);
        lookup->StepAhead(&hashes[j]);
        unsigned char room[2 * WordFormLookup::kMaxFormUnits];
        size_t n = 0;
        const unsigned char* form =
            lookup->Find(p[j], units[j], hashes[j], room, &n);
        EXPECT_EQ(expected,
                  form == nullptr
                      ? "-"
                      : std::string(reinterpret_cast<const char*>(form), n));
      }
    }
    k += group;
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
  EXPECT_THROW(Find(lookup, key), WordFormLookup::Changed);
  EXPECT_THROW(Find(lookup, key), WordFormLookup::Changed);
}

}  // namespace
