#include "text/Reports.h"

#include <utility>

namespace urdulex::internal {

namespace {

void PutAscii(const std::string& text, TextWriter& out) {
  out.PutLatin1(text.data(), text.size());
}

// The counts of a stats file, in the order they are written.
const std::pair<const char*, uint64_t Coverage::*> kStats[] = {
    {"words", &Coverage::words},     {"known", &Coverage::known},
    {"unknown", &Coverage::unknown}, {"ambiguous", &Coverage::ambiguous},
    {"other", &Coverage::other},     {"kept", &Coverage::kept},
    {"split", &Coverage::split},
};

}  // namespace

const char kStatsHeader[] = "# urdu diacritize stats 1";

void AddLists(const Diacritizer& diacritizer, ReportCounts* counts) {
  const std::pair<std::vector<std::pair<std::u16string, uint64_t>>,
                  ReportCounts::Counts*>
      lists[] = {{diacritizer.Unknown(), &counts->unknown},
                 {diacritizer.AmbiguousWords(), &counts->ambiguous},
                 {diacritizer.ChosenByRules(), &counts->by_rules},
                 {diacritizer.LeftToFallback(), &counts->by_fallback},
                 {diacritizer.KeptWords(), &counts->kept},
                 {diacritizer.SplitWords(), &counts->split}};
  for (const auto& list : lists) {
    for (const auto& entry : list.first) {
      (*list.second)[entry.first] += entry.second;
    }
  }
}

void AddForms(const WordFormLookup& table, ReportCounts* counts) {
  for (const auto& entry : counts->ambiguous) {
    const WordFormLookup::Forms held =
        TableForms(table, entry.first.data(), entry.first.size());
    std::u16string& forms = counts->forms[entry.first];
    forms.clear();
    for (const std::u16string& form : *held) {
      if (!forms.empty()) forms += u'|';
      forms += form;
    }
  }
}

void MergeReport(const ReportCounts& add, ReportCounts* sum) {
  if (!add.ambiguous.empty()) {
    if (sum->ambiguous.empty()) {
      sum->context = add.context;
    } else if (add.context != sum->context) {
      throw Error("cannot add up the homographs of context rules and of none");
    }
    for (const auto& entry : add.forms) {
      const auto known = sum->forms.find(entry.first);
      if (known != sum->forms.end() && known->second != entry.second) {
        throw Error("the forms of " + ToUtf8(entry.first) +
                    " differ: reports of two tables");
      }
    }
  }
  const std::pair<const ReportCounts::Counts*, ReportCounts::Counts*> parts[] =
      {{&add.unknown, &sum->unknown},   {&add.ambiguous, &sum->ambiguous},
       {&add.kept, &sum->kept},         {&add.split, &sum->split},
       {&add.by_rules, &sum->by_rules}, {&add.by_fallback, &sum->by_fallback}};
  for (const auto& part : parts) {
    for (const auto& entry : *part.first)
      (*part.second)[entry.first] += entry.second;
  }
  for (const auto& entry : add.forms) sum->forms.insert(entry);
}

void WriteReport(const ReportCounts& report, ByteSink& sink) {
  TextWriter tsv(sink, TextWriter::kUtf8);
  for (const auto& entry : ByCount(report.unknown)) {
    tsv.Put(entry.first);
    PutAscii("\t" + std::to_string(entry.second) + "\n", tsv);
  }
  // Then the words with several forms, with their forms as a third field.
  const auto count = [](const ReportCounts::Counts& counts,
                        const std::u16string& word) {
    const auto it = counts.find(word);
    return it == counts.end() ? uint64_t{0} : it->second;
  };
  for (const auto& entry : ByCount(report.ambiguous)) {
    tsv.Put(entry.first);
    PutAscii("\t" + std::to_string(entry.second) + "\t", tsv);
    const auto forms = report.forms.find(entry.first);
    if (forms != report.forms.end()) tsv.Put(forms->second);
    if (report.context) {
      // How often the rules chose, and how often the fallback did (the
      // rest the writer's marks decided).
      PutAscii("\t" + std::to_string(count(report.by_rules, entry.first)) +
                   "\t" +
                   std::to_string(count(report.by_fallback, entry.first)),
               tsv);
    }
    tsv.Put(u'\n');
  }
  // Then the words left as written and those split, with what became of
  // them as a third field.
  const std::pair<const char*, const ReportCounts::Counts*> kinds[] = {
      {"kept", &report.kept}, {"split", &report.split}};
  for (const auto& kind : kinds) {
    for (const auto& entry : ByCount(*kind.second)) {
      tsv.Put(entry.first);
      PutAscii("\t" + std::to_string(entry.second) + "\t" + kind.first + "\n",
               tsv);
    }
  }
  tsv.Finish();
}

std::string FormatStats(const Coverage& coverage) {
  std::string text = std::string(kStatsHeader) + "\n";
  for (const auto& stat : kStats) {
    text += std::string(stat.first) + "\t" +
            std::to_string(coverage.*stat.second) + "\n";
  }
  return text;
}

bool ParseCount(const std::u16string& text, uint64_t* count) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - u'0');
    if (n > (UINT64_MAX - digit) / 10) return false;
    n = n * 10 + digit;
  }
  *count = n;
  return true;
}

void AddStats(const std::string& name, const std::vector<std::u16string>& lines,
              Coverage* sum) {
  Coverage read;
  bool seen[sizeof(kStats) / sizeof(kStats[0])] = {};
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string where = name + ":" + std::to_string(i + 1) + ": ";
    const std::u16string& line = lines[i];
    const size_t tab = line.find(u'\t');
    if (tab == std::u16string::npos) {
      throw Error(where + "not a line of stats: NAME<TAB>COUNT");
    }
    const std::string stat = ToUtf8(line.substr(0, tab));
    size_t k = 0;
    while (k < sizeof(kStats) / sizeof(kStats[0]) && stat != kStats[k].first) {
      ++k;
    }
    if (k == sizeof(kStats) / sizeof(kStats[0])) {
      throw Error(where + "no count is called \"" + stat + "\"");
    }
    if (seen[k]) throw Error(where + stat + " a second time");
    seen[k] = true;
    if (!ParseCount(line.substr(tab + 1), &(read.*kStats[k].second))) {
      throw Error(where + stat + " \"" + ToUtf8(line.substr(tab + 1)) +
                  "\" is not a count");
    }
  }
  for (size_t k = 0; k < sizeof(kStats) / sizeof(kStats[0]); ++k) {
    if (!seen[k]) throw Error(name + ": no " + kStats[k].first + " count");
    sum->*kStats[k].second += read.*kStats[k].second;
  }
}

}  // namespace urdulex::internal
