#include "diacritizer/TableFormat.h"

namespace wordform {

namespace {

std::string Number(int64_t n) { return std::to_string(n); }

// "5 slots announced, 3 complete records": the extent in the loader's
// words.
std::string Counts(const TableProblem& p) {
  return Number(p.slots) + " slots announced, " + std::to_string(p.records) +
         (p.records == 1 ? " complete record" : " complete records");
}

TableProblem Fault(TableFault fault, int64_t slots) {
  TableProblem problem;
  problem.fault = fault;
  problem.slots = slots;
  return problem;
}

}  // namespace

std::string LoaderText(const TableProblem& p) {
  switch (p.fault) {
    case TableFault::kNone:
      return "";
    case TableFault::kNoMark:
      return "File is not Unicode based.";
    case TableFault::kHeaderCutShort:
    case TableFault::kCountCutShort:
      return "End of file encountered.";
    case TableFault::kCheckWordCutShort:
      return "The extended header ends after the slot count.";
    case TableFault::kNoSlots:
      return "The table header announces no slots.";
    case TableFault::kExtendedNoSlots:
      return "The extended header announces no slots.";
    case TableFault::kZeroCheckWord:
      return "The extended header's check word is zero.";
    case TableFault::kSlotsBelowOne:
      return "The table header announces " + Number(p.slots) + " slots.";
    case TableFault::kTooManySlots:
      return "The table header announces " + Number(p.slots) +
             " slots, more than the limit of " + Number(kMaxTableSlots) + ".";
    case TableFault::kNoRecord:
    case TableFault::kFewerRecords:
      return "is cut short: " + Counts(p) + " found";
    case TableFault::kPartialRecord:
      return "is cut short: " + Counts(p) + " and a partial one of " +
             std::to_string(p.bytes) + " bytes found";
    case TableFault::kSurplusRecords:
      return "holds more records than slots: " + Counts(p) + " found";
    case TableFault::kLinkOutside:
      return "Slot " + Number(p.slot) + " links to " + Number(p.link) +
             ", outside the table of " + Number(p.slots) + " slots.";
    case TableFault::kCycle:
      return "Slot " + Number(p.slot) + " links to " + Number(p.link) +
             ", closing a cycle.";
    case TableFault::kChainIntoUnused:
      return "The chain through slot " + Number(p.slot) +
             " runs into unused slot " + Number(p.link) + ".";
    case TableFault::kHomeUnused:
      return "Slot " + Number(p.slot) +
             " is not on the chain of its home slot " + Number(p.link) +
             ", which is unused.";
    case TableFault::kOffHomeChain:
      return "Slot " + Number(p.slot) +
             " is not on the chain of its home slot " + Number(p.link) + ".";
  }
  return "";
}

std::string CheckText(const TableProblem& p) {
  switch (p.fault) {
    case TableFault::kNone:
      return "";
    case TableFault::kNoMark:
      return "no byte-order mark FF FE";
    case TableFault::kHeaderCutShort:
      return "header cut short";
    case TableFault::kCountCutShort:
    case TableFault::kCheckWordCutShort:
      return "extended header cut short";
    case TableFault::kNoSlots:
    case TableFault::kExtendedNoSlots:
    case TableFault::kSlotsBelowOne:
      return "header announces " + Number(p.slots) + " slots";
    case TableFault::kZeroCheckWord:
      return "extended header has a zero check word";
    case TableFault::kTooManySlots:
      return "header announces " + Number(p.slots) +
             " slots, more than the limit of " + Number(kMaxTableSlots);
    case TableFault::kNoRecord:
      return "no record after the header";
    case TableFault::kPartialRecord:
      return std::to_string(p.bytes) + " bytes after the last whole record";
    case TableFault::kFewerRecords:
    case TableFault::kSurplusRecords:
      return std::to_string(p.records) + " records for " + Number(p.slots) +
             " slots";
    case TableFault::kLinkOutside:
      return "slot " + Number(p.slot) + " links to " + Number(p.link) +
             ", outside the table of " + Number(p.slots) + " slots";
    case TableFault::kCycle:
      return "slot " + Number(p.slot) + " links to " + Number(p.link) +
             ", closing a cycle";
    case TableFault::kChainIntoUnused:
      return "the chain through slot " + Number(p.slot) +
             " runs into unused slot " + Number(p.link);
    case TableFault::kHomeUnused:
      return "slot " + Number(p.slot) +
             " is not on the chain of its home slot " + Number(p.link) +
             ", which is unused";
    case TableFault::kOffHomeChain:
      return "slot " + Number(p.slot) +
             " is not on the chain of its home slot " + Number(p.link);
  }
  return "";
}

TableProblem DecodeHeader(const unsigned char* bytes, size_t size,
                          TableHeader* header) {
  *header = TableHeader();
  if (size < static_cast<size_t>(kMarkSize) || bytes[0] != 0xFF ||
      bytes[1] != 0xFE) {
    return Fault(TableFault::kNoMark, 0);
  }
  if (size < static_cast<size_t>(kShortHeaderBytes)) {
    return Fault(TableFault::kHeaderCutShort, 0);
  }
  const unsigned char* word = bytes + kMarkSize;
  int32_t slots = Int32At(word);
  header->slots = slots;
  header->size = kShortHeaderBytes;
  if (slots == 0) return Fault(TableFault::kNoSlots, 0);
  if (ExtendedHeaderFollows(word)) {
    header->extended = true;
    header->slots = 0;
    if (size < static_cast<size_t>(kShortHeaderBytes + kHeaderWordSize)) {
      return Fault(TableFault::kCountCutShort, 0);
    }
    slots = Int32At(word + kHeaderWordSize);
    header->slots = slots;
    if (size < static_cast<size_t>(kLongHeaderBytes)) {
      return Fault(TableFault::kCheckWordCutShort, slots);
    }
    header->size = kLongHeaderBytes;
    if (slots == 0) return Fault(TableFault::kExtendedNoSlots, 0);
    if (Int32At(word + 2 * kHeaderWordSize) == 0) {
      return Fault(TableFault::kZeroCheckWord, slots);
    }
  }
  if (slots < 1) return Fault(TableFault::kSlotsBelowOne, slots);
  if (slots > kMaxTableSlots) return Fault(TableFault::kTooManySlots, slots);
  return TableProblem();
}

TableProblem JudgeExtent(const TableExtent& extent, bool fewer_is_fault) {
  TableProblem problem;
  const uint64_t slots = extent.slots > 0 ? extent.slots : 0;
  if (extent.partial_bytes != 0) {
    problem.fault = TableFault::kPartialRecord;
  } else if (extent.records < slots) {
    if (extent.records == 0) {
      problem.fault = TableFault::kNoRecord;
    } else if (fewer_is_fault) {
      problem.fault = TableFault::kFewerRecords;
    }
  } else if (extent.records > slots) {
    problem.fault = TableFault::kSurplusRecords;
  }
  if (problem) {
    problem.slots = extent.slots;
    problem.records = extent.records;
    problem.bytes = extent.partial_bytes;
  }
  return problem;
}

TableProblem CheckRecordChains(const unsigned char* records, size_t held,
                               int64_t slots, ChainRule rule) {
  return CheckChains(
      held, slots,
      [records](size_t s) { return RecordNext(records + s * kRecordSize); },
      rule);
}

}  // namespace wordform
