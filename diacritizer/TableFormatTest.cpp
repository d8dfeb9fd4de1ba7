#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diacritizer/DiacritizerTestUtil.h"
#include "diacritizer/TableFormat.h"

namespace {

using urdulex::diactest::Record;
using urdulex::diactest::TableFile;
using urdulex::diactest::UnusedRecord;
using wordform::TableFault;
using wordform::TableProblem;

TableProblem Problem(TableFault fault, int64_t slot, int64_t link,
                     int64_t slots, uint64_t records, uint64_t bytes) {
  TableProblem p;
  p.fault = fault;
  p.slot = slot;
  p.link = link;
  p.slots = slots;
  p.records = records;
  p.bytes = bytes;
  return p;
}

// Every fault once, in the loader's words and in the checker's.
TEST(TableFormatTest, EachFaultInEachWording) {
  const struct {
    TableProblem problem;
    const char* loader;
    const char* check;
  } cases[] = {
      {Problem(TableFault::kNone, 0, 0, 0, 0, 0), "", ""},
      {Problem(TableFault::kNoMark, 0, 0, 0, 0, 0),
       "File is not Unicode based.", "no byte-order mark FF FE"},
      {Problem(TableFault::kHeaderCutShort, 0, 0, 0, 0, 0),
       "End of file encountered.", "header cut short"},
      {Problem(TableFault::kCountCutShort, 0, 0, 0, 0, 0),
       "End of file encountered.", "extended header cut short"},
      {Problem(TableFault::kCheckWordCutShort, 0, 0, 5, 0, 0),
       "The extended header ends after the slot count.",
       "extended header cut short"},
      {Problem(TableFault::kNoSlots, 0, 0, 0, 0, 0),
       "The table header announces no slots.", "header announces 0 slots"},
      {Problem(TableFault::kExtendedNoSlots, 0, 0, 0, 0, 0),
       "The extended header announces no slots.", "header announces 0 slots"},
      {Problem(TableFault::kZeroCheckWord, 0, 0, 5, 0, 0),
       "The extended header's check word is zero.",
       "extended header has a zero check word"},
      {Problem(TableFault::kSlotsBelowOne, 0, 0, -5, 0, 0),
       "The table header announces -5 slots.", "header announces -5 slots"},
      {Problem(TableFault::kTooManySlots, 0, 0, 16777217, 0, 0),
       "The table header announces 16777217 slots, more than the limit of "
       "16777216.",
       "header announces 16777217 slots, more than the limit of 16777216"},
      {Problem(TableFault::kNoRecord, 0, 0, 5, 0, 0),
       "is cut short: 5 slots announced, 0 complete records found",
       "no record after the header"},
      {Problem(TableFault::kPartialRecord, 0, 0, 3, 1, 12),
       "is cut short: 3 slots announced, 1 complete record and a partial one "
       "of 12 bytes found",
       "12 bytes after the last whole record"},
      {Problem(TableFault::kFewerRecords, 0, 0, 5, 3, 0),
       "is cut short: 5 slots announced, 3 complete records found",
       "3 records for 5 slots"},
      {Problem(TableFault::kSurplusRecords, 0, 0, 5, 6, 0),
       "holds more records than slots: 5 slots announced, 6 complete records "
       "found",
       "6 records for 5 slots"},
      {Problem(TableFault::kLinkOutside, 4, 9, 5, 0, 0),
       "Slot 4 links to 9, outside the table of 5 slots.",
       "slot 4 links to 9, outside the table of 5 slots"},
      {Problem(TableFault::kCycle, 3, 1, 0, 0, 0),
       "Slot 3 links to 1, closing a cycle.",
       "slot 3 links to 1, closing a cycle"},
      {Problem(TableFault::kChainIntoUnused, 2, 7, 0, 0, 0),
       "The chain through slot 2 runs into unused slot 7.",
       "the chain through slot 2 runs into unused slot 7"},
      {Problem(TableFault::kHomeUnused, 2, 1, 0, 0, 0),
       "Slot 2 is not on the chain of its home slot 1, which is unused.",
       "slot 2 is not on the chain of its home slot 1, which is unused"},
      {Problem(TableFault::kOffHomeChain, 2, 1, 0, 0, 0),
       "Slot 2 is not on the chain of its home slot 1.",
       "slot 2 is not on the chain of its home slot 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check);
    EXPECT_EQ(c.loader, wordform::LoaderText(c.problem));
    EXPECT_EQ(c.check, wordform::CheckText(c.problem));
  }
}

// The first fault of mark, header and extent, as every reader decodes
// them; the numbers go with it.
TEST(TableFormatTest, DecodesHeaderAndExtent) {
  const std::string one = Record(L"a", "X", -2);
  const struct {
    std::string bytes;
    TableFault fault;
    int64_t slots;  // as the fault gives it
    bool fewer_is_fault;
  } cases[] = {
      {"\xFF", TableFault::kNoMark, 0, true},
      {"\xFE\xFF\x01\x00\x00\x00", TableFault::kNoMark, 0, true},
      {"\xFF\xFE\x01\x00", TableFault::kHeaderCutShort, 0, true},
      {TableFile({0}, {one}), TableFault::kNoSlots, 0, true},
      {TableFile({-1}, {}), TableFault::kCountCutShort, 0, true},
      {TableFile({-1, 0}, {}), TableFault::kCheckWordCutShort, 0, true},
      {TableFile({-1, 0, 0}, {}), TableFault::kExtendedNoSlots, 0, true},
      {TableFile({-1, 4, 0}, {}), TableFault::kZeroCheckWord, 4, true},
      {TableFile({-7}, {}), TableFault::kSlotsBelowOne, -7, true},
      {TableFile({-1, 1 << 30, 1}, {}), TableFault::kTooManySlots, 1 << 30,
       true},
      {TableFile({2}, {}), TableFault::kNoRecord, 2, false},
      {TableFile({2}, {one}) + "12345", TableFault::kPartialRecord, 2, false},
      {TableFile({2}, {one}), TableFault::kFewerRecords, 2, true},
      {TableFile({2}, {one}), TableFault::kNone, 0, false},
      {TableFile({-1, 1, 9}, {one, one}), TableFault::kSurplusRecords, 1,
       false},
      {TableFile({-1, 2, 9}, {one, one}), TableFault::kNone, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
    wordform::TableHeader header;
    TableProblem problem =
        wordform::DecodeHeader(bytes, c.bytes.size(), &header);
    if (!problem) {
      problem = wordform::JudgeExtent(
          wordform::ExtentOf(header.slots, c.bytes.size() - header.size),
          c.fewer_is_fault);
    }
    EXPECT_EQ(static_cast<int>(c.fault), static_cast<int>(problem.fault))
        << wordform::CheckText(problem);
    EXPECT_EQ(c.slots, problem.slots);
  }
}

// The links by either rule: a search takes a chain into an unused slot as
// its end, the checker refuses it.
TEST(TableFormatTest, ChainsByEitherRule) {
  const struct {
    std::vector<int32_t> links;  // -1: an unused slot
    int64_t slots;               // more than the records: the rest unused
    TableProblem loader, strict;
  } cases[] = {
      {{-2, 0, 1}, 3, {}, {}},
      {{-2, 9},
       3,
       Problem(TableFault::kLinkOutside, 1, 9, 3, 0, 0),
       Problem(TableFault::kLinkOutside, 1, 9, 3, 0, 0)},
      {{-3},
       1,
       Problem(TableFault::kLinkOutside, 0, -3, 1, 0, 0),
       Problem(TableFault::kLinkOutside, 0, -3, 1, 0, 0)},
      {{2, 2, 1, -2},
       4,
       Problem(TableFault::kCycle, 1, 2, 0, 0, 0),
       Problem(TableFault::kCycle, 1, 2, 0, 0, 0)},
      {{1, -1}, 2, {}, Problem(TableFault::kChainIntoUnused, 0, 1, 0, 0, 0)},
      {{-2, 2}, 3, {}, Problem(TableFault::kChainIntoUnused, 1, 2, 0, 0, 0)},
      {{1, 0, 3},
       4,
       Problem(TableFault::kCycle, 1, 0, 0, 0, 0),
       Problem(TableFault::kCycle, 1, 0, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    std::string records;
    for (int32_t link : c.links) {
      records += link == -1 ? UnusedRecord() : Record(L"a", "X", link);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(records.data());
    for (auto rule :
         {wordform::ChainRule::kLoader, wordform::ChainRule::kStrict}) {
      const TableProblem got =
          wordform::CheckRecordChains(bytes, c.links.size(), c.slots, rule);
      const TableProblem& want =
          rule == wordform::ChainRule::kLoader ? c.loader : c.strict;
      EXPECT_EQ(wordform::CheckText(want), wordform::CheckText(got))
          << ::testing::PrintToString(c.links);
    }
  }
  // The lengths of the walks, by the strict rule: 2 -> 1 -> 0 -> end.
  std::vector<uint32_t> lengths;
  const int32_t links[] = {-2, 0, 1, -2};
  EXPECT_FALSE(wordform::CheckChains(
      4, 4, [&](size_t s) { return links[s]; }, wordform::ChainRule::kStrict,
      &lengths));
  EXPECT_EQ(std::vector<uint32_t>({1, 2, 3, 1}), lengths);
}

}  // namespace
