// urdu evaluate: diacritic and word error rates against a gold text.

#include <memory>
#include <string>

#include "text/Evaluate.h"
#include "text/TextIO.h"
#include "text/Tokenizer.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/DataFiles.h"
#include "tools/urdu/FormTables.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kEvaluateHelp[] =
    "usage: urdu evaluate --gold GOLD [--table [FILE]] [COMMON] [PREDICTED]\n"
    "Compares PREDICTED (or standard input) with GOLD word by word and\n"
    "prints the diacritic and word error rates, with and without the last\n"
    "letter of each word, and with --table the table's coverage of the\n"
    "gold words. Only words holding an Arabic-script letter count.\n"
    "--table with no FILE after it (last, or before another option)\n"
    "takes the shipped table.\n";

int RunEvaluate(const Arguments& args) {
  const std::string gold_name = args.Value("--gold", "");
  if (gold_name.empty()) Misuse(args.command, "--gold GOLD is required");
  if (args.files.size() > 1) Misuse(args.command, "one PREDICTED text at most");
  std::unique_ptr<WordFormLookup> table;
  std::string table_name;
  if (args.values.count("--table") != 0) {
    table_name = FindDataFile(kWordFormTableData, args.Value("--table", ""));
    table.reset(new WordFormLookup);
    OpenTable(table_name, true, table.get());
  }
  FileSource gold_source(gold_name);
  RunFiles files;
  files.Input("gold text", gold_name);
  if (table) files.Input("word-form table", table_name);
  TextCommand command(args, files);  // the predicted text is its input
  return WithOutput(command, [&](TextWriter& out) {
    TextReader gold_reader(gold_source, args.Has("--lenient"), nullptr,
                           args.Value("--from", ""));
    Evaluation evaluation;
    command.ForEachInput([&](TextReader& predicted_reader) {
      WordStream gold(gold_reader);
      WordStream predicted(predicted_reader);
      urdulex::internal::Evaluate(gold, predicted, table.get(), &evaluation);
    });
    // Counts of two versions of the table would pass for one's.
    if (table) CheckUnchanged(*table);
    const std::string report = FormatEvaluation(evaluation);
    out.PutLatin1(report.data(), report.size());
  });
}

}  // namespace urdulex::internal
