// urdu report merge: the reports, or the stats, of `urdu diacritize` runs
// over the shards of a text added up into those of one run.

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/Quote.h"
#include "text/Diacritize.h"
#include "text/Reports.h"
#include "text/TextIO.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kReportHelp[] =
    "usage: urdu report merge [-o OUT] [-v] [FILE...]\n"
    "Adds up files of one kind that `urdu diacritize` wrote for the shards\n"
    "of a text: the reports of --report, or the stats of --stats. The sum\n"
    "is written as one run over the whole text writes it: a report with\n"
    "each part most frequent first, or a stats file; with stats, -v prints\n"
    "the coverage line of the sum on standard error, as diacritize -v\n"
    "does. A line that is none of such a file, files of both kinds, or a\n"
    "word given other forms in two reports is an error.\n";

namespace {

// The lines of the input `name` ("-": standard input), without their line
// ends, handed to `line(text, number)` one by one. The last must end too.
template <typename Line>
void ForEachReportLine(const std::string& name, Line&& line) {
  FileSource source(name);
  TextReader reader(source, false);
  Units text;
  std::u16string current;
  uint64_t number = 0;
  while (reader.Next(&text)) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != u'\n') continue;
      current.append(text.data() + start, i - start);
      line(current, ++number);
      current.clear();
      start = i + 1;
    }
    current.append(text.data() + start, text.size() - start);
    text.clear();
  }
  if (!current.empty()) {
    throw Error(MessageName(source.name()) + ":" + std::to_string(number + 1) +
                ": the last line has no line end");
  }
}

// The fields of a line separated by tabs.
std::vector<std::u16string> Fields(const std::u16string& line) {
  std::vector<std::u16string> fields(1);
  for (char16_t c : line) {
    if (c == u'\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The reports read so far, added up, with where each homograph's forms
// and the homographs' number of fields were first seen.
class ReportSum {
 public:
  // Before the lines of each report.
  void Begin() { part_ = 0; }

  void Add(const std::string& name, const std::u16string& line,
           uint64_t number) {
    const std::string where = name + ":" + std::to_string(number);
    const std::vector<std::u16string> fields = Fields(line);
    // The parts in the order of a report.
    enum Part { kUnknown, kHomograph, kKept, kSplit };
    static const char* const kPart[] = {"an unknown word", "a homograph",
                                        "a kept word", "a split word"};
    static const char* const kParts[] = {"unknown words", "homographs",
                                         "kept words", "split words"};
    Part part;
    if (fields.size() == 2) {
      part = kUnknown;
    } else if (fields.size() == 3 && fields[2] == u"kept") {
      part = kKept;
    } else if (fields.size() == 3 && fields[2] == u"split") {
      part = kSplit;
    } else if (fields.size() == 3 || fields.size() == 5) {
      part = kHomograph;
    } else {
      throw Error(where + ": not a line of a report (" +
                  std::to_string(fields.size()) +
                  (fields.size() == 1 ? " field)" : " fields)"));
    }
    if (fields[0].empty() || (part == kHomograph && fields[2].empty())) {
      throw Error(where + ": not a line of a report (an empty field)");
    }
    uint64_t counts[3] = {};
    for (size_t i = 1; i < fields.size(); ++i) {
      if (i == 2) continue;
      if (!ParseCount(fields[i], &counts[i == 1 ? 0 : i - 2]) ||
          (i == 1 && counts[0] == 0)) {
        throw Error(where + ": \"" + ToUtf8(fields[i]) + "\" is not a count");
      }
    }
    if (part < part_) {
      throw Error(where + ": " + kPart[part] + " after the " + kParts[part_]);
    }
    part_ = part;
    const std::u16string& word = fields[0];
    switch (part) {
      case kUnknown:
        sum_.unknown[word] += counts[0];
        return;
      case kKept:
        sum_.kept[word] += counts[0];
        return;
      case kSplit:
        sum_.split[word] += counts[0];
        return;
      case kHomograph:
        break;
    }
    if (homograph_fields_ == 0) {
      homograph_fields_ = fields.size();
      homograph_from_ = where;
      sum_.context = fields.size() == 5;
    } else if (fields.size() != homograph_fields_) {
      throw Error(where + ": a homograph of " + std::to_string(fields.size()) +
                  " fields, where " + homograph_from_ + " has " +
                  std::to_string(homograph_fields_) +
                  ": reports of context rules and of none");
    }
    const auto known = sum_.forms.find(word);
    if (known == sum_.forms.end()) {
      sum_.forms[word] = fields[2];
      forms_from_[word] = where;
    } else if (known->second != fields[2]) {
      throw Error(where + ": the forms of " + ToUtf8(word) +
                  " are not those of " + forms_from_[word] +
                  ": reports of two tables");
    }
    sum_.ambiguous[word] += counts[0];
    if (sum_.context) {
      sum_.by_rules[word] += counts[1];
      sum_.by_fallback[word] += counts[2];
    }
  }

  const ReportCounts& sum() const { return sum_; }

 private:
  ReportCounts sum_;
  std::unordered_map<std::u16string, std::string> forms_from_;
  size_t homograph_fields_ = 0;
  std::string homograph_from_;
  int part_ = 0;  // the part of the report the last line was of
};

}  // namespace

int RunReport(const Arguments& args) {
  std::vector<std::string> inputs = args.files;
  if (inputs.empty()) inputs.push_back("-");
  const std::string output = args.Value("-o", "-");
  RunFiles files;
  for (const std::string& input : inputs) files.Input("input", input);
  AddOutput(files, "output", output);
  ReportSum reports;
  Coverage stats;
  std::string report_name, stats_name;  // the first file of each kind
  for (const std::string& input : inputs) {
    const std::string name = input == "-" ? kStandardInput : QuoteName(input);
    std::vector<std::u16string> lines;
    bool is_stats = false;
    reports.Begin();
    ForEachReportLine(input, [&](const std::u16string& line, uint64_t number) {
      if (number == 1) {
        const std::u16string kHeader = u"# urdu diacritize stats ";
        is_stats = line.compare(0, kHeader.size(), kHeader) == 0;
        if (is_stats && ToUtf8(line) != kStatsHeader) {
          throw Error(name + ":1: stats of another version (" +
                      ToUtf8(line.substr(kHeader.size())) + "), not 1");
        }
        if (is_stats && !report_name.empty()) {
          throw Error("cannot add up the stats " + name + " and the report " +
                      report_name);
        }
        if (!is_stats && !stats_name.empty()) {
          throw Error("cannot add up the report " + name + " and the stats " +
                      stats_name);
        }
      }
      if (is_stats) {
        lines.push_back(line);
      } else {
        reports.Add(name, line, number);
      }
    });
    if (is_stats) {
      AddStats(name, lines, &stats);
      if (stats_name.empty()) stats_name = name;
    } else if (report_name.empty()) {
      if (!stats_name.empty()) {
        throw Error("cannot add up the report " + name + " and the stats " +
                    stats_name);
      }
      report_name = name;
    }
  }
  if (args.Has("-v") && stats_name.empty()) {
    Misuse("report", "-v prints the counts of stats files, not of reports");
  }
  FileSink sink(output);
  WriteAll(sink, [&] {
    if (!stats_name.empty()) {
      const std::string text = FormatStats(stats);
      sink.Write(text.data(), text.size());
    } else {
      WriteReport(reports.sum(), sink);
    }
  });
  if (args.Has("-v")) {
    std::fprintf(stderr, "urdu: %s\n", FormatCoverage(stats).c_str());
  }
  return 0;
}

}  // namespace urdulex::internal
