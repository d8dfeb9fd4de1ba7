// The lists of words behind the counts of a diacritization (the report)
// and the counts themselves (the stats), as files of UTF-8 lines, and
// their sums: those of a text's shards add up to those of one run over
// the whole text (doc/stats.md). The programs write and merge these files;
// the API's WordLists and Coverage give the same text.

#ifndef URDULEX_TEXT_REPORTS_H_
#define URDULEX_TEXT_REPORTS_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "text/Diacritize.h"
#include "text/TextIO.h"

namespace urdulex::internal {

// What the report lists, by word.
struct ReportCounts {
  using Counts = std::unordered_map<std::u16string, uint64_t>;
  Counts unknown, ambiguous, kept, split;
  // Of each word of `ambiguous`: its forms, "form1|form2"; and with
  // `context` how often the rules chose its reading, and how often the
  // fallback did.
  std::unordered_map<std::u16string, std::u16string> forms;
  bool context = false;
  Counts by_rules, by_fallback;
};

// Adds the lists `diacritizer` kept (its options count_unknown and
// list_ambiguous) to `counts`; the forms are not filled in (AddForms).
void AddLists(const Diacritizer& diacritizer, ReportCounts* counts);

// Fills in `counts.forms` of every word of `counts.ambiguous` from `table`.
void AddForms(const WordFormLookup& table, ReportCounts* counts);

// Adds `add` to `sum` as the sum of two reports is made: counts of the
// same word in the same part added. Throws Error when a homograph has
// other forms in the two (reports of two tables), or when one was made
// with context rules and the other without, both listing homographs.
void MergeReport(const ReportCounts& add, ReportCounts* sum);

// Writes the report to `sink` as UTF-8 lines, and closes it: the unknown
// words, `word<TAB>count`; the words with several forms,
// `bare<TAB>count<TAB>forms`, with context two more fields
// `<TAB>by-rules<TAB>by-fallback`; then `word<TAB>count<TAB>kept` and
// `word<TAB>count<TAB>split`; each part most frequent first, equal counts
// in the order of their UTF-16 text (ByCount).
void WriteReport(const ReportCounts& report, ByteSink& sink);

// The first line of a stats file.
extern const char kStatsHeader[];

// The stats file of `coverage`: kStatsHeader, then a line `name<TAB>count`
// for each count (words, known, unknown, ambiguous, other, kept, split).
std::string FormatStats(const Coverage& coverage);

// Adds the counts of the stats file `name` (quoted for messages), whose
// lines are `lines` without their line ends, to `sum`. Throws
// Error("NAME:LINE: ...") for a line that is none of a stats file, and
// Error("NAME: ...") for a count missing.
void AddStats(const std::string& name, const std::vector<std::u16string>& lines,
              Coverage* sum);

// The number `text` is, or false: decimal digits alone, below 2^64.
bool ParseCount(const std::u16string& text, uint64_t* count);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_REPORTS_H_
