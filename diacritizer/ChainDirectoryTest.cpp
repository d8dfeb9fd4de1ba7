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

}  // namespace
