// Fuzz target for the word-form table builder's list reader,
// wordform::BuildTableFromList. The input is a word list; a table built
// from it must be exactly one record a slot, pass the builder's own check,
// account for every line of the list, and, loaded by the diacritizer's
// loader from a scratch file, find every stored form by its key. A refused
// list must be refused with a message naming the list or the slot count.
// A difference aborts.
//
// Input layout: one byte choosing the slot count (0: the default load
// factor; n: n slots, so that small tables overflow), then the list.
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableCheck.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/hashmain.h"
#include "foundation/TARNIException.h"
#include "fuzz/FuzzUtil.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;
const char kListName[] = "list";

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "wordlist fuzzer: %s\n", what);
    abort();
  }
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// Loads the table bytes as the diacritizer does, from a scratch file, and
// checks that every occupied record is found by its key.
void CheckLoadedTable(const std::string& bytes,
                      const wordform::TableImage& image) {
  bool whole = false, loaded = false;
  {
    urdulex::fuzz::ScratchFile file("wordlist_fuzz");
    file.Write(bytes.data(), bytes.size());
    try {
      WordFormTableFile read;
      std::string problem;
      whole = ReadWordFormTableFile(file.path(), &read, &problem) &&
              CheckWordFormTableExtent(read, &problem);
      loaded = LoadWordFormHashTable(file.path());
    } catch (const TARNIException&) {
      loaded = false;
    }
  }
  Check(whole, "built table is not one record a slot");
  Check(loaded, "built table does not load");
  std::vector<WordFormHashNode> found;
  for (const wordform::TableRecord& record : image.records) {
    if (record.next == wordform::kUnusedSlot) continue;
    Check(wordFormHashTable.Search(record.key, found), "stored key not found");
    bool same = false;
    for (const WordFormHashNode& node : found) {
      same = same || node.data.symbolicDiacritics == record.symbols;
    }
    Check(same, "stored form not among the forms of its key");
  }
  wordFormHashTable.Deallocate();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  const int64_t slots = data[0];
  const std::string list(reinterpret_cast<const char*>(data + 1), size - 1);

  wordform::ListBuild build;
  const wordform::Status built =
      wordform::BuildTableFromList(kListName, list, slots, 0, &build);
  if (!built.ok()) {
    const std::string& error = built.message();
    Check(StartsWith(error, std::string(kListName) + ":") ||
              error.find(" slots cannot hold ") != std::string::npos,
          "refusal names neither the list nor the slot count");
    return 0;
  }
  Check(slots == 0 || build.slots == slots, "slot count not as asked");
  Check(
      build.bytes.size() ==
          static_cast<size_t>(wordform::kMarkSize + wordform::kHeaderWordSize +
                              wordform::kRecordSize * build.slots),
      "table size is not header plus one record a slot");

  // Every line of the list is stored, skipped for a reason, or blank.
  std::vector<std::wstring> lines;
  Check(wordform::DecodeTextLines(list, &lines).ok(),
        "list built but not decodable");
  size_t accounted = build.blank_lines + build.stored;
  for (size_t n : build.skipped) accounted += n;
  Check(accounted == lines.size(), "lines not accounted for");
  Check(build.stored == build.forms, "stored lines and forms differ");

  wordform::TableImage image;
  wordform::TableSummary summary;
  Check(wordform::ParseTableImage(build.bytes, &image).ok(),
        "built table does not parse");
  Check(wordform::CheckTableImage(image, &summary).ok(),
        "built table fails its check");
  std::set<std::pair<std::wstring, std::string>> forms;
  for (const wordform::TableRecord& record : image.records) {
    if (record.next != wordform::kUnusedSlot) {
      forms.insert({record.key, record.symbols});
    }
  }
  Check(forms.size() == build.forms, "stored forms not distinct or missing");
  CheckLoadedTable(build.bytes, image);
  return 0;
}
