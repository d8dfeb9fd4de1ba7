// Reading, checking and dumping word-form table files outside the
// diacritizer: every fault of a table file found and named, and its
// records listed.
//
// ParseTableImage reads a file's bytes without trusting them, and
// CheckTableImage names the first fault that would make a search go wrong;
// both decode through TableFormat.h and word their faults by its
// CheckText. Nothing here throws except the standard allocation failure;
// faults come back as a failed Status.

#ifndef URDULEX_DIACRITIZER_TABLECHECK_H_
#define URDULEX_DIACRITIZER_TABLECHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Error.h"

namespace wordform {

using urdulex::internal::Status;

// One slot as the file holds it.
struct TableRecord {
  std::wstring key;
  std::string symbols;
  uint32_t id = 0xFFFFFFFFu;
  uint8_t tag = 0;
  uint8_t flag = 0;
  int32_t next = -1;
};

// The parts of a table file, read without judging the links. Its size
// follows the records the file holds, not the slots its header announces.
struct TableImage {
  int32_t slots = 0;
  bool extended_header = false;
  // Slot k for each whole record k the file holds, at most `slots`; the
  // slots past them are unused.
  std::vector<TableRecord> records;
  size_t records_in_file = 0;  // whole records, including surplus ones
  size_t trailing_bytes = 0;   // bytes of a record cut short
};

// Reads the mark, header and records of `bytes`. A failure when the file
// has no mark, its header is cut short or announces no table, or the slot
// count is above kMaxTableSlots.
Status ParseTableImage(const std::string& bytes, TableImage* image);

// What CheckTableImage found in a sound table.
struct TableSummary {
  int32_t slots = 0;
  size_t records = 0;        // occupied slots
  size_t longest_chain = 0;  // slots on the longest chain
};

// Checks record count, links and chains: no record at all, surplus or
// cut-short records, links outside the table or closing a cycle, chains
// that run into an unused slot, records that a search for their key would
// not reach. A failure naming the first fault, or success with `summary`
// filled. Time and memory follow the records, not the slots.
Status CheckTableImage(const TableImage& image, TableSummary* summary);

// The checks of CheckTableImage that need only the links (record count,
// links outside the table, cycles, chains into an unused slot), made on a
// file's bytes with a few bytes a slot, before ParseTableImage builds a
// record for every slot: the same failure. A file whose header
// ParseTableImage refuses passes, for it to judge.
Status CheckTableLinks(const std::string& bytes);

// "NAME: 5 slots, 3 records, longest chain 2, load 0.600".
std::string CheckSummary(const std::string& name, const TableSummary& summary);

// One line of `wordforms dump` for slot `slot`, newline included: slot, key,
// symbols, restored word, id, tag, flag and next, separated by tabs. So that
// a damaged record still gives one line of UTF-8, a backslash, a control
// character or DEL in the key or the restored word is written as \uNNNN,
// and a symbol byte that is not a printable ASCII character, or a
// backslash, as \xNN.
std::string DumpLine(size_t slot, const TableRecord& record);

}  // namespace wordform

#endif  // URDULEX_DIACRITIZER_TABLECHECK_H_
