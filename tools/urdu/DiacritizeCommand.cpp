// urdu diacritize: the diacritics of every word a word-form table knows.

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Quote.h"
#include "text/ContextRules.h"
#include "text/Diacritize.h"
#include "text/Reports.h"
#include "text/TextIO.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/DataFiles.h"
#include "tools/urdu/FormTables.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kDiacritizeHelp[] =
    "usage: urdu diacritize [--table FILE] [--lines] [--normalize]\n"
    "                       [--ambiguous context|first|common|keep|all]\n"
    "                       [--fallback first|common|keep|all] [--rules FILE]\n"
    "                       [--report FILE] [--stats FILE] [-v] [COMMON]\n"
    "                       [FILE...]\n"
    "Restores the diacritics of every word the word-form table knows\n"
    "(default: the shipped one, see DATA in urdu help). Words are\n"
    "separated by white space and punctuation; --lines takes each line as\n"
    "one word. Only words holding an Arabic-script letter are looked up;\n"
    "numbers, Latin words and markup pass through, counted apart. A word\n"
    "is looked up by its bare form, and else by its canonical key (Arabic\n"
    "letters as Urdu ones, letters composed, presentation forms unfolded,\n"
    "without khari zabar, tatweels and directional marks). A found word\n"
    "keeps its letters and gets the marks of the table's first form;\n"
    "--normalize writes the table's form instead. A word written with\n"
    "marks gets the first form whose marks include them (a kasra on the\n"
    "last letter, the izafat, stays); with none, it is left as it came\n"
    "(\"kept\"). A word not found is split into known parts where a\n"
    "zero-width non-joiner or a letter that joins none after it allows\n"
    "(\"split\"), and else written as it came.\n"
    "A word with several forms is, by --ambiguous: context (the default),\n"
    "given the reading the context rules (--rules FILE, default the\n"
    "shipped ones) choose by its neighbours in its sentence, and where none\n"
    "applies treated by --fallback (default first); first, given the first\n"
    "form; common, given only the marks all its forms share on each\n"
    "letter; keep, left as it came; all, given every form as form1|form2\n"
    "(--forms first|all is the same as --ambiguous first|all).\n"
    "--report FILE lists the unknown words with their counts (TSV, most\n"
    "frequent first), then the words with several forms: bare form, count\n"
    "and form1|form2 (and with context, how often the rules chose its\n"
    "reading and how often the fallback did), then the words kept and\n"
    "split, with \"kept\" or \"split\" as the third field. -v prints a\n"
    "coverage line on standard error; --stats FILE writes its counts to\n"
    "FILE, one NAME<TAB>COUNT a line. `urdu report merge` adds up the\n"
    "reports, or the stats, of the shards of a text.\n";

namespace {

// A context rules file is a few hundred lines: one of more than this is no
// such file.
constexpr size_t kMostRulesBytes = 16 << 20;

}  // namespace

int RunDiacritize(const Arguments& args) {
  using Ambiguous = Diacritizer::Ambiguous;
  static const std::map<std::string, Ambiguous> kAmbiguous = {
      {"first", Ambiguous::kFirst},
      {"common", Ambiguous::kCommon},
      {"keep", Ambiguous::kKeep},
      {"all", Ambiguous::kAll}};
  // --forms first|all is the older name of the same choice.
  if (args.values.count("--forms") != 0 &&
      args.values.count("--ambiguous") != 0) {
    Misuse(args.command, "--ambiguous or --forms, not both");
  }
  const std::string forms = args.Value("--forms", "context");
  if (forms != "first" && forms != "all" && args.values.count("--forms")) {
    Misuse(args.command, "--forms wants first or all");
  }
  // --ambiguous context (the default): the context rules decide where they
  // apply, the --fallback elsewhere.
  const bool context = args.Value("--ambiguous", forms) == "context";
  if (!context && (args.values.count("--fallback") != 0 ||
                   args.values.count("--rules") != 0)) {
    Misuse(args.command, "--fallback and --rules go with --ambiguous context");
  }
  const auto ambiguous =
      kAmbiguous.find(context ? args.Value("--fallback", "first")
                              : args.Value("--ambiguous", forms));
  if (ambiguous == kAmbiguous.end()) {
    Misuse(args.command,
           context ? "--fallback wants first, common, keep or all"
                   : "--ambiguous wants context, first, common, keep or all");
  }
  // The table first: the data a run cannot do without.
  const std::string table_name =
      FindDataFile(kWordFormTableData, args.Value("--table", ""));
  ContextRules rules;
  std::string rules_name;
  if (context) {
    rules_name = FindDataFile(kContextRulesData, args.Value("--rules", ""));
    FileSource source(rules_name);
    const Status read =
        rules.Parse(source.ReadAll(kMostRulesBytes), MessageName(rules_name));
    if (!read.ok()) throw Error(read.message());
  }
  Diacritizer::Options options;
  if (context) options.context = &rules;
  options.lines = args.Has("--lines");
  options.normalize = args.Has("--normalize");
  options.ambiguous = ambiguous->second;
  const std::string report_name = args.Value("--report", "");
  options.count_unknown = !report_name.empty();
  options.list_ambiguous = !report_name.empty();
  // The counts of -v and --stats are the same.
  options.count_ambiguous = args.Has("-v") || args.values.count("--stats") != 0;
  RunFiles files;
  files.Input("word-form table", table_name);
  if (context) files.Input("context rules", rules_name);
  TextCommand command(args, files);
  WordFormLookup table;
  OpenTable(table_name, Diacritizer::NeedsAllForms(options), &table);
  // Threads see the text in blocks: the table is readied for the whole.
  Diacritizer::PrepareFor(table, command.total_bytes(), command.threads());
  ByteSink* report = command.OpenReport();
  // The table is shared by the threads; each has a diacritizer of its
  // own, which keeps its buffers and counts from block to block, and
  // always writes to the same writer (Run's one writer of the thread).
  struct State {
    std::unique_ptr<Diacritizer> diacritizer;
  };
  std::vector<State> states(command.threads());
  Coverage coverage;
  WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t) {
          if (!state.diacritizer) {
            state.diacritizer.reset(new Diacritizer(table, options, out));
          }
          state.diacritizer->Run(reader);
        });
    ReportCounts counts;
    counts.context = context;
    for (const State& state : states) {
      if (!state.diacritizer) continue;
      coverage += state.diacritizer->coverage();
      if (report) AddLists(*state.diacritizer, &counts);
    }
    if (report) {
      // The words with several forms are listed with their forms.
      AddForms(table, &counts);
      // Neither the report nor the text may come of two versions of the
      // table.
      CheckUnchanged(table);
      WriteReport(counts, *report);
    }
    CheckUnchanged(table);
    if (ByteSink* stats = command.OpenStats()) {
      const std::string text = FormatStats(coverage);
      stats->Write(text.data(), text.size());
      stats->Close();
    }
  });
  if (args.Has("-v")) {
    std::fprintf(stderr, "urdu: %s\n", FormatCoverage(coverage).c_str());
  }
  return 0;
}

}  // namespace urdulex::internal
