#include "diacritizer/TableCheck.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "diacritizer/HashTable.h"
#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableFormat.h"
#include "script/LexEnigneUtility.h"

namespace wordform {

namespace {

const unsigned char* Bytes(const std::string& bytes) {
  return reinterpret_cast<const unsigned char*>(bytes.data());
}

Status Refuse(const TableProblem& problem) {
  return Status::Failure(CheckText(problem));
}

}  // namespace

Status ParseTableImage(const std::string& bytes, TableImage* image) {
  *image = TableImage();
  TableHeader header;
  const TableProblem problem =
      DecodeHeader(Bytes(bytes), bytes.size(), &header);
  image->extended_header = header.extended;
  if (problem) return Refuse(problem);
  image->slots = header.slots;
  const TableExtent extent = ExtentOf(header.slots, bytes.size() - header.size);
  image->records_in_file = extent.records;
  image->trailing_bytes = extent.partial_bytes;
  const size_t stored =
      std::min(image->records_in_file, static_cast<size_t>(header.slots));
  image->records.assign(stored, TableRecord());
  const unsigned char* at = Bytes(bytes) + header.size;
  for (size_t k = 0; k < stored; ++k, at += kRecordSize) {
    const RecordFields fields = DecodeRecord(at);
    TableRecord& record = image->records[k];
    record.key.resize(fields.key_units);
    for (size_t u = 0; u < fields.key_units; ++u) {
      record.key[u] =
          static_cast<wchar_t>(fields.key[2 * u] | fields.key[2 * u + 1] << 8);
    }
    record.symbols.assign(reinterpret_cast<const char*>(fields.symbols),
                          fields.symbol_bytes);
    record.id = fields.id;
    record.tag = fields.tag;
    record.flag = fields.flag;
    record.next = fields.next;
  }
  return Status();
}

Status CheckTableLinks(const std::string& bytes) {
  // The header as ParseTableImage reads it; one it refuses is left to it.
  TableHeader header;
  if (DecodeHeader(Bytes(bytes), bytes.size(), &header)) return Status();
  const TableExtent extent = ExtentOf(header.slots, bytes.size() - header.size);
  TableProblem problem = JudgeExtent(extent, false);
  if (problem) return Refuse(problem);
  // Only the slots the file holds are looked at, so a header announcing
  // millions of slots over a few records costs the records.
  const size_t held = std::min(static_cast<size_t>(extent.records),
                               static_cast<size_t>(header.slots));
  problem = CheckRecordChains(Bytes(bytes) + header.size, held, header.slots,
                              ChainRule::kStrict);
  if (problem) return Refuse(problem);
  return Status();
}

Status CheckTableImage(const TableImage& image, TableSummary* summary) {
  TableExtent extent;
  extent.slots = image.slots;
  extent.records = image.records_in_file;
  extent.partial_bytes = static_cast<uint32_t>(image.trailing_bytes);
  TableProblem problem = JudgeExtent(extent, false);
  if (problem) return Refuse(problem);
  const std::vector<TableRecord>& r = image.records;
  const size_t slots = r.size();
  // Chain lengths, and cycles, in one pass over the links: length[s] is
  // the number of slots a walk from s visits.
  std::vector<uint32_t> length;
  problem = CheckChains(
      slots, image.slots, [&](size_t s) { return r[s].next; },
      ChainRule::kStrict, &length);
  if (problem) return Refuse(problem);
  // From here on every link of a used slot is -2 or a held slot.
  //
  // A walk from slot a reaches slot b exactly when b is a itself or one of
  // a's ancestors in the forest where each slot's parent is its `next`. The
  // entry and leave times of one depth-first pass over that forest answer this
  // for every record at once, so long shared chains cost no more than
  // short ones.
  std::vector<uint32_t> child_start(slots + 1, 0);
  for (size_t s = 0; s < slots; ++s) {
    if (r[s].next >= 0) ++child_start[static_cast<size_t>(r[s].next) + 1];
  }
  for (size_t s = 0; s < slots; ++s) child_start[s + 1] += child_start[s];
  std::vector<uint32_t> children(child_start[slots]);
  {
    std::vector<uint32_t> fill(child_start.begin(), child_start.end() - 1);
    for (size_t s = 0; s < slots; ++s) {
      if (r[s].next >= 0) {
        children[fill[static_cast<size_t>(r[s].next)]++] =
            static_cast<uint32_t>(s);
      }
    }
  }
  std::vector<uint32_t> enter(slots, 0), leave(slots, 0);
  {
    uint32_t clock = 0;
    std::vector<std::pair<uint32_t, uint32_t>> stack;  // slot, next child
    for (size_t root = 0; root < slots; ++root) {
      if (r[root].next >= 0) continue;
      enter[root] = clock++;
      stack.emplace_back(static_cast<uint32_t>(root), child_start[root]);
      while (!stack.empty()) {
        const uint32_t node = stack.back().first;
        const uint32_t child = stack.back().second;
        if (child < child_start[node + 1]) {
          ++stack.back().second;
          const uint32_t c = children[child];
          enter[c] = clock++;
          stack.emplace_back(c, child_start[c]);
        } else {
          leave[node] = clock++;
          stack.pop_back();
        }
      }
    }
  }
  const HomeSlotHash home(image.slots);
  size_t records = 0;
  int64_t longest = 0;
  for (size_t s = 0; s < slots; ++s) {
    if (r[s].next == kUnusedSlot) continue;
    ++records;
    const std::wstring& key = r[s].key;
    if (key.empty() || key[0] == L'@') continue;
    const size_t h = home(key.data(), key.size());
    problem.slot = static_cast<int64_t>(s);
    problem.link = static_cast<int64_t>(h);
    if (h >= slots || r[h].next == kUnusedSlot) {
      problem.fault = TableFault::kHomeUnused;
      return Refuse(problem);
    }
    if (enter[s] > enter[h] || leave[h] > leave[s]) {
      problem.fault = TableFault::kOffHomeChain;
      return Refuse(problem);
    }
    if (length[h] > longest) longest = length[h];
  }
  summary->slots = image.slots;
  summary->records = records;
  summary->longest_chain = static_cast<size_t>(longest);
  return Status();
}

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

std::string EscapedText(const std::wstring& text) {
  std::wstring plain;
  std::string out;
  auto flush = [&] {
    out += ToUtf8(plain);
    plain.clear();
  };
  for (wchar_t c : text) {
    const uint32_t u = static_cast<uint32_t>(c);
    if (u < 0x20 || u == 0x7F || u == '\\') {
      flush();
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) {
        out.push_back(kHexDigits[(u >> shift) & 0xF]);
      }
    } else {
      plain.push_back(c);
    }
  }
  flush();
  return out;
}

std::string EscapedSymbols(const std::string& symbols) {
  std::string out;
  for (char ch : symbols) {
    const unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b > 0x7E || b == '\\') {
      out += "\\x";
      out.push_back(kHexDigits[b >> 4]);
      out.push_back(kHexDigits[b & 0xF]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

}  // namespace

std::string DumpLine(size_t slot, const TableRecord& record) {
  LexEnigneUtility utility;
  return std::to_string(slot) + "\t" + EscapedText(record.key) + "\t" +
         EscapedSymbols(record.symbols) + "\t" +
         EscapedText(
             utility.MergeSymbolicDiacritics(record.key, record.symbols)) +
         "\t" + std::to_string(record.id) + "\t" + std::to_string(record.tag) +
         "\t" + std::to_string(record.flag) + "\t" +
         std::to_string(record.next) + "\n";
}

std::string CheckSummary(const std::string& name, const TableSummary& summary) {
  char text[160];
  std::snprintf(text, sizeof(text),
                ": %d slots, %zu records, longest chain %zu, load %.3f",
                summary.slots, summary.records, summary.longest_chain,
                static_cast<double>(summary.records) / summary.slots);
  return name + text;
}

}  // namespace wordform
