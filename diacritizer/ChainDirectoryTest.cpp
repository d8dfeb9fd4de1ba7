#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diacritizer/ChainDirectory.h"
#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/hashmain.h"
#include "foundation/TARNIException.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;

// The directory checks every link as it is built, whether or not a walk
// would meet it: a link outside the table, then a cycle, with the loader's
// messages; the table without either is sound, on one thread or several.
TEST(ChainDirectoryTest, BuildingChecksEveryLink) {
  const int32_t slots = 64;
  const std::u16string good = u"\u0627\u0628", far = u"\u062A\u062B",
                       looped = u"\u062C\u062D";
  const HomeSlotHash home(slots);
  const uint32_t g = home(good.data(), good.size()),
                 f = home(far.data(), far.size()),
                 l = home(looped.data(), looped.size());
  ASSERT_TRUE(g != f && g != l && f != l);
  std::vector<std::string> records(slots, UnusedRecord());
  records[g] = Record(L"\x0627\x0628", "Z", -2);
  const int32_t self = static_cast<int32_t>(l);
  const struct {
    int32_t far_link, looped_link;
    std::string error;  // empty: sound
  } cases[] = {
      {99, self,
       "Slot " + std::to_string(f) +
           " links to 99, outside the table of 64 slots."},
      {-2, self,
       "Slot " + std::to_string(l) + " links to " + std::to_string(l) +
           ", closing a cycle."},
      {-2, -2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    records[f] = Record(L"\x062A\x062B", "Z", c.far_link);
    records[l] = Record(L"\x062C\x062D", "Z", c.looped_link);
    const std::string bytes = TableFile({slots}, records);
    const auto* body = reinterpret_cast<const unsigned char*>(bytes.data()) + 6;
    for (unsigned threads : {1u, 3u}) {
      std::string error;
      try {
        const ChainDirectory directory(body, slots, 32, threads);
        EXPECT_EQ(static_cast<size_t>(slots), directory.size());
        const unsigned char* first = nullptr;
        size_t steps = 0;
        const uint32_t print = ChainDirectory::Fingerprint(
            reinterpret_cast<const unsigned char*>(good.data()), good.size());
        const uint32_t s = directory.FetchCandidate(g, print, &steps);
        EXPECT_EQ(
            ChainWalk::kFound,
            directory.Walk(reinterpret_cast<const unsigned char*>(good.data()),
                           good.size(), s, print, steps, &first, nullptr));
        EXPECT_EQ(body + size_t{g} * wordform::kRecordSize, first);
      } catch (const InvalidFormatException& e) {
        error = e.GetExceptionMsg();
      }
      EXPECT_EQ(c.error, error);
    }
  }
}

// Chains that meet, that end in an unused slot or that run into a cycle,
// in a table read in one range or in two: keys are found as the walks in
// the records find them (a chain ending in an unused slot holds none), and
// a cycle is refused with the loader's message.
TEST(ChainDirectoryTest, ChainsThatMeetEndBadlyOrLoop) {
  const int32_t slots = 140000;  // two ranges of 69,952 and more slots
  const HomeSlotHash home(slots);
  std::vector<std::u16string> keys;
  std::vector<uint32_t> homes;
  // a's home in the first range, b's in the second.
  for (char16_t c = 0x0627; keys.size() < 2; ++c) {
    const std::u16string key = {0x0628, c};
    const uint32_t h = home(key.data(), key.size());
    if (keys.empty() ? h < 60000 : h >= 70000 && h < 95000) {
      keys.push_back(key);
      homes.push_back(h);
    }
  }
  const int32_t x = 100000, y = 120000, unused = 130000;
  const struct {
    int32_t a, b, x, y;  // the links of a's and b's home slots, x and y
    bool a_found, b_found;
    size_t longest;  // slots read by the longest walk
  } cases[] = {
      {x, x, -2, -2, true, true, 2},        // a and b meet at x
      {x, -2, unused, -2, false, true, 3},  // a's chain ends in an unused slot
      {x, -2, y, x, false, true, 0},        // a runs into the cycle x, y
      {x, y, -2, -2, true, true, 2},        // chains that never meet
      {x, x, -2, y, true, true, 0},         // they meet, and y is a cycle
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a_found);
    std::vector<std::string> records(slots, UnusedRecord());
    records[homes[0]] =
        Record(std::wstring(keys[0].begin(), keys[0].end()), "Z", c.a);
    records[homes[1]] =
        Record(std::wstring(keys[1].begin(), keys[1].end()), "Z", c.b);
    records[x] = Record(L"\x062A", "Z", c.x);
    records[y] = Record(L"\x062B", "Z", c.y);
    const std::string bytes = TableFile({slots}, records);
    const auto* body = reinterpret_cast<const unsigned char*>(bytes.data()) + 6;
    std::string loader;
    try {
      CheckWordFormTableLinks(body, slots, slots);
    } catch (const InvalidFormatException& e) {
      loader = e.GetExceptionMsg();
    }
    for (unsigned threads : {1u, 2u}) {
      SCOPED_TRACE(threads);
      std::string error;
      try {
        const ChainDirectory directory(body, slots, 32, threads);
        for (size_t k = 0; k < 2; ++k) {
          const auto* key = reinterpret_cast<const unsigned char*>(&keys[k][0]);
          const uint32_t print = ChainDirectory::Fingerprint(key, 2);
          size_t steps = 0;
          const uint32_t s = directory.FetchCandidate(homes[k], print, &steps);
          const unsigned char* first = nullptr;
          EXPECT_EQ(k == 0 ? c.a_found : c.b_found,
                    ChainWalk::kFound == directory.Walk(key, 2, s, print, steps,
                                                        &first, nullptr));
        }
        EXPECT_EQ(c.longest, directory.longest());
      } catch (const InvalidFormatException& e) {
        error = e.GetExceptionMsg();
      }
      EXPECT_EQ(loader, error);
    }
  }
}

}  // namespace
