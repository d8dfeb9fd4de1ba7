// urdu: the everyday command line of urdulex. UTF-8 text in and out (UTF-16
// recognised by its byte-order mark), files named as arguments or standard
// input, standard output unless -o, so that the subcommands compose in
// pipelines:
//
//   urdu strip < in.txt | urdu diacritize --table t.lex > out.txt
//
// Each subcommand wires pieces of the library together; see `urdu help` and
// doc/urdu.1. Exit status 0 on success, 1 on failure, 2 on misuse; every
// failure prints one line on standard error. Failures found before the
// output is opened leave no output file, and an output file already begun
// is removed when a failure comes later.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "diacritizer/WordFormFormat.h"
#include "foundation/TARNIException.h"
#include "normalization/Normalization.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "tools/urdu/Diacritize.h"
#include "tools/urdu/Evaluate.h"
#include "tools/urdu/TextFilters.h"
#include "tools/urdu/TextIO.h"
#include "tools/urdu/Tokenizer.h"
#include "tools/uztconv/UZTStream.h"
#include "tools/wordforms/WordFormTable.h"

namespace urdu {
namespace {

const char kHelp[] =
    "usage: urdu COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "Text commands read the FILEs, or standard input when there is none or\n"
    "for '-', as UTF-8 (UTF-16 when it starts with its byte-order mark), and\n"
    "write UTF-8 to standard output or to -o FILE.\n"
    "\n"
    "  diacritize  restore diacritics from a word-form table\n"
    "  evaluate    diacritic and word error rates against a gold text\n"
    "  normalize   the NFC form of the configured rules\n"
    "  strip       remove the Arabic-script combining marks\n"
    "  codes       the letter codes of codemapper, a line for a line\n"
    "  table       build, dump or check a word-form table\n"
    "  uzt         encode or decode UZT with a mapping file\n"
    "  help        this text, or `urdu help COMMAND`\n"
    "\n"
    "Options of every text command:\n"
    "  -o FILE        write to FILE instead of standard output\n"
    "  --utf16        write the 16-bit form: mark FF FE, CR LF line ends\n"
    "  --lenient      replace invalid UTF-8 with U+FFFD instead of failing\n"
    "  --progress, --no-progress\n"
    "                 force the progress line on standard error on or off\n"
    "                 (default: on when standard error is a terminal)\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage. See urdu(1).\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"diacritize",
     "usage: urdu diacritize [--table FILE] [--lines] [--forms first|all]\n"
     "                       [--report FILE] [-v] [COMMON] [FILE...]\n"
     "Restores the diacritics of every word the word-form table knows\n"
     "(default wordformshashtable.lex). Words are separated by white space\n"
     "and punctuation; --lines takes each line as one word. A word is\n"
     "looked up by its bare form and replaced by the table's first form, or\n"
     "all of them as form1|form2 with --forms all. --report FILE lists the\n"
     "unknown words with their counts (TSV, most frequent first); -v prints\n"
     "a coverage line on standard error.\n"},
    {"evaluate",
     "usage: urdu evaluate --gold GOLD [--table FILE] [COMMON] [PREDICTED]\n"
     "Compares PREDICTED (or standard input) with GOLD word by word and\n"
     "prints the diacritic and word error rates, with and without the last\n"
     "letter of each word, and with --table the table's coverage of the\n"
     "gold words.\n"},
    {"normalize",
     "usage: urdu normalize [--config FILE] [--check] [COMMON] [FILE...]\n"
     "Writes the NFC form of each line with the rules the configuration\n"
     "names (default config.ini; relative rules paths are taken from its\n"
     "folder). --check changes nothing: it lists the lines that would\n"
     "change, as NAME:LINE: text, and exits 1 when there is one.\n"},
    {"strip",
     "usage: urdu strip [--keep-shadda] [COMMON] [FILE...]\n"
     "Removes every Arabic-script combining mark (U+0610-U+061A,\n"
     "U+064B-U+065F, U+0670, U+06D6-U+06ED), all but the shadda with\n"
     "--keep-shadda. Letters are never decomposed.\n"},
    {"codes",
     "usage: urdu codes [--table FILE] [COMMON] [FILE...]\n"
     "Writes the letter codes of each line with the code table of\n"
     "codemapper (default rules.txt), a shadda doubling its letter.\n"},
    {"table",
     "usage: urdu table build [LIST] [-o FILE] [--slots N | --load L]\n"
     "       urdu table dump [FILE] [-o OUT]\n"
     "       urdu table check [FILE] [-o OUT]\n"
     "Builds a word-form table from a list of diacritized words, prints it\n"
     "as text, or checks it.\n"},
    {"uzt",
     "usage: urdu uzt encode --mapping FILE [-o OUT] [INPUT]\n"
     "       urdu uzt decode --mapping FILE [--utf16] [-o OUT] [INPUT]\n"
     "Converts Unicode text to UZT bytes, or UZT bytes to UTF-8 (UTF-16LE\n"
     "with its mark with --utf16, line ends as decoded).\n"},
};

const char* FindHelp(const std::string& command) {
  for (const CommandHelp& help : kCommands) {
    if (command == help.name) return help.text;
  }
  return nullptr;
}

// The usage line of a subcommand's misuse.
[[noreturn]] void Misuse(const std::string& command, const std::string& why) {
  throw Error(command + ": " + why + " (see urdu " + command + " --help)",
              kExitUsage);
}

// Parsed command line of one subcommand.
struct Arguments {
  std::string command;
  std::map<std::string, std::string> values;  // options with a value
  std::set<std::string> flags;                // options without one
  std::vector<std::string> files;

  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
  std::string Value(const std::string& option,
                    const std::string& fallback) const {
    auto it = values.find(option);
    return it == values.end() ? fallback : it->second;
  }
};

// Options every text command takes.
const char* const kCommonFlags[] = {"--utf16", "--lenient", "--progress",
                                    "--no-progress"};

Arguments Parse(const std::string& command, int argc, char** argv, int first,
                const std::set<std::string>& valued,
                const std::set<std::string>& flags) {
  Arguments args;
  args.command = command;
  bool options = true;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (!options || a == "-" || a.empty() || a[0] != '-') {
      args.files.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    std::string value;
    bool has_value = false;
    const size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      has_value = true;
    }
    if (valued.count(a) != 0) {
      if (!has_value) {
        if (i + 1 >= argc) Misuse(command, a + " wants a value");
        value = argv[++i];
      }
      args.values[a] = value;
    } else if (flags.count(a) != 0 && !has_value) {
      args.flags.insert(a);
    } else {
      Misuse(command, "unknown option " + a);
    }
  }
  return args;
}

// The common shape of the text commands: inputs, an output, progress.
class TextCommand {
 public:
  explicit TextCommand(const Arguments& args) : args_(args) {
    output_name_ = args.Value("-o", "-");
    if (args.files.empty()) {
      inputs_.emplace_back(new FileSource("-"));
    } else {
      for (const std::string& name : args.files) {
        inputs_.emplace_back(new FileSource(name));
      }
    }
    int64_t total = 0;
    for (const auto& input : inputs_) {
      total = input->Size() < 0 || total < 0 ? -1 : total + input->Size();
    }
    RefuseInput(output_name_);
    const bool show = args.Has("--progress") ||
                      (!args.Has("--no-progress") && ::isatty(2) == 1);
    progress_.reset(new Progress(show, args.command.c_str(), total));
  }

  // Opens the output; after this a failure removes it.
  TextWriter& Open() {
    sink_.reset(new FileSink(output_name_));
    writer_.reset(new TextWriter(
        *sink_, args_.Has("--utf16") ? TextWriter::kUtf16 : TextWriter::kUtf8));
    return *writer_;
  }

  // Runs `body` on a reader of each input in turn.
  template <typename Body>
  void ForEachInput(Body&& body) {
    for (const auto& input : inputs_) {
      TextReader reader(*input, args_.Has("--lenient"), progress_.get());
      body(reader);
      if (reader.replaced() > 0)
        replaced_.emplace_back(&reader.name(), reader.replaced());
    }
  }

  void Finish() {
    progress_->Finish();
    writer_->Finish();
    for (const auto& r : replaced_) {
      std::fprintf(stderr,
                   "urdu: %s: %llu invalid sequences replaced by U+FFFD\n",
                   r.first->c_str(), static_cast<unsigned long long>(r.second));
    }
  }

  void Discard() {
    if (progress_) progress_->Finish();
    if (sink_) sink_->Discard();
  }

  // Writing `name` would empty an input before it is read.
  void RefuseInput(const std::string& name) const {
    for (const auto& input : inputs_) {
      if (name != "-" && input->IsFile(name)) {
        throw Error("input and output are the same file: " + name);
      }
    }
  }

 private:
  const Arguments& args_;
  std::string output_name_;
  std::vector<std::unique_ptr<FileSource>> inputs_;
  std::unique_ptr<Progress> progress_;
  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<TextWriter> writer_;
  std::vector<std::pair<const std::string*, uint64_t>> replaced_;
};

// Runs `body` with the command's output; removes the output on failure.
template <typename Body>
int WithOutput(TextCommand& command, Body&& body) {
  try {
    body(command.Open());
    command.Finish();
  } catch (...) {
    command.Discard();
    throw;
  }
  return 0;
}

int Diacritize(const Arguments& args) {
  const std::string forms = args.Value("--forms", "first");
  if (forms != "first" && forms != "all") {
    Misuse(args.command, "--forms wants first or all");
  }
  Diacritizer::Options options;
  options.lines = args.Has("--lines");
  options.all_forms = forms == "all";
  const std::string report_name = args.Value("--report", "");
  options.count_unknown = !report_name.empty();
  options.count_ambiguous = args.Has("-v");
  FormTable table(args.Value("--table", wordform::kFileName),
                  options.all_forms || options.count_ambiguous);
  TextCommand command(args);
  std::unique_ptr<FileSink> report;
  if (!report_name.empty()) {
    command.RefuseInput(report_name);
    report.reset(new FileSink(report_name));
  }
  Coverage coverage;
  try {
    WithOutput(command, [&](TextWriter& out) {
      Diacritizer diacritizer(table, options, out);
      command.ForEachInput(
          [&](TextReader& reader) { diacritizer.Run(reader); });
      coverage = diacritizer.coverage();
      if (report) {
        TextWriter tsv(*report, TextWriter::kUtf8);
        for (const auto& entry : diacritizer.Unknown()) {
          tsv.Put(entry.first);
          const std::string count = "\t" + std::to_string(entry.second) + "\n";
          tsv.PutLatin1(count.data(), count.size());
        }
        tsv.Finish();
      }
    });
  } catch (...) {
    if (report) report->Discard();
    throw;
  }
  if (args.Has("-v")) {
    const double known = coverage.tokens == 0
                             ? 0.0
                             : 100.0 * static_cast<double>(coverage.known) /
                                   static_cast<double>(coverage.tokens);
    std::fprintf(stderr,
                 "urdu: %llu tokens, %llu known (%.2f%%), %llu unknown, %llu "
                 "ambiguous\n",
                 static_cast<unsigned long long>(coverage.tokens),
                 static_cast<unsigned long long>(coverage.known), known,
                 static_cast<unsigned long long>(coverage.unknown),
                 static_cast<unsigned long long>(coverage.ambiguous));
  }
  return 0;
}

int Evaluate(const Arguments& args) {
  const std::string gold_name = args.Value("--gold", "");
  if (gold_name.empty()) Misuse(args.command, "--gold GOLD is required");
  if (args.files.size() > 1) Misuse(args.command, "one PREDICTED text at most");
  std::unique_ptr<FormTable> table;
  if (args.values.count("--table") != 0) {
    table.reset(new FormTable(args.Value("--table", ""), true));
  }
  FileSource gold_source(gold_name);
  const std::string output = args.Value("-o", "-");
  if (output != "-" && gold_source.IsFile(output)) {
    throw Error("input and output are the same file: " + output);
  }
  TextCommand command(args);  // the predicted text is its input
  return WithOutput(command, [&](TextWriter& out) {
    TextReader gold_reader(gold_source, args.Has("--lenient"));
    Evaluation evaluation;
    command.ForEachInput([&](TextReader& predicted_reader) {
      WordStream gold(gold_reader);
      WordStream predicted(predicted_reader);
      urdu::Evaluate(gold, predicted, table.get(), &evaluation);
    });
    const std::string report = FormatEvaluation(evaluation);
    out.PutLatin1(report.data(), report.size());
  });
}

// Runs `line` on every line of every input: the text without its line end
// and whether an LF ended it (a CR before the LF belongs to the end).
template <typename Line>
void ForEachLine(TextCommand& command, Line&& line) {
  Units text;
  command.ForEachInput([&](TextReader& reader) {
    uint64_t number = 0;
    // `text` holds the unfinished line of the block before.
    bool more = true;
    while (more) {
      more = reader.Next(&text);
      size_t start = 0;
      for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        const size_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
        line(reader, ++number, text.data() + start, end - start,
             text.data() + end, i + 1 - end);
        start = i + 1;
      }
      if (!more && start < text.size()) {
        line(reader, ++number, text.data() + start, text.size() - start,
             text.data() + text.size(), 0);
        start = text.size();
      }
      text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(start));
    }
  });
}

int Normalize(const Arguments& args) {
  const std::string config = args.Value("--config", "config.ini");
  Normalization normalization;
  try {
    if (!normalization.Initialize(config)) {
      throw Error(normalization.GetLastError());
    }
    // The rules reader adds a rule only at its CR: a last line cut short
    // would be lost without a word. The read that loaded the rules saw it.
    if (const uint64_t line = normalization.NfcRulesUnendedLine()) {
      throw Error("NFC rules file " + normalization.NfcRulesPath() +
                  " ends without CR LF: line " + std::to_string(line) +
                  " would be ignored");
    }
  } catch (const TARNIException& e) {
    throw Error(config + ": " + e.GetExceptionMsg());
  }
  const bool check = args.Has("--check");
  TextCommand command(args);
  uint64_t changed = 0;
  WithOutput(command, [&](TextWriter& out) {
    std::wstring wide, normalized;
    std::u16string result;
    ForEachLine(command,
                [&](TextReader& reader, uint64_t number, const char16_t* line,
                    size_t n, const char16_t* end, size_t end_units) {
                  wide.assign(line, line + n);
                  normalization.Normalize(wide, NFC, normalized);
                  if (!check) {
                    result.assign(normalized.begin(), normalized.end());
                    out.Put(result);
                    out.Put(end, end_units);
                    return;
                  }
                  if (normalized == wide) return;
                  ++changed;
                  const std::string where =
                      reader.name() + ":" + std::to_string(number) + ": ";
                  out.PutLatin1(where.data(), where.size());
                  out.Put(line, n);
                  out.Put(u'\n');
                });
  });
  if (changed > 0) {
    throw Error(std::to_string(changed) + " lines would change");
  }
  return 0;
}

int Strip(const Arguments& args) {
  TextCommand command(args);
  const bool keep_shadda = args.Has("--keep-shadda");
  return WithOutput(command, [&](TextWriter& out) {
    Units text;
    command.ForEachInput([&](TextReader& reader) {
      while (reader.Next(&text)) {
        out.Put(text.data(), StripMarks(text.data(), text.size(), keep_shadda));
        text.clear();
      }
    });
  });
}

int Codes(const Arguments& args) {
  const std::string table = args.Value("--table", "rules.txt");
  // The table reader stores a line only at its CR: a last line cut short
  // would be lost without a word. The read that loads the table finds it.
  std::string error;
  uint64_t unended_line = 0;
  if (!ReadPatterns(table.c_str(), &error, &unended_line)) {
    throw Error("code table " + table + ": " + error);
  }
  if (unended_line != 0) {
    throw Error("code table " + table + " ends without CR LF: line " +
                std::to_string(unended_line) + " would be ignored");
  }
  TextCommand command(args);
  return WithOutput(command, [&](TextWriter& out) {
    std::wstring scratch;
    std::string codes;
    ForEachLine(command, [&](TextReader&, uint64_t, const char16_t* line,
                             size_t n, const char16_t*, size_t) {
      codes.clear();
      AppendLineCodes(line, n, &scratch, &codes);
      codes.push_back('\n');
      out.PutLatin1(codes.data(), codes.size());
    });
  });
}

// Runs `body`, which writes to `sink`, and closes the sink; a failure
// removes what was written.
template <typename Body>
void WriteAll(FileSink& sink, Body&& body) {
  try {
    body();
    sink.Close();
  } catch (...) {
    sink.Discard();
    throw;
  }
}

// The second word of `urdu table ...` and `urdu uzt ...`: one of
// `choices`, or "help" for --help.
std::string SubcommandOf(const char* command, int argc, char** argv,
                         const std::set<std::string>& choices,
                         const std::string& question) {
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0) {
      return "help";
    }
  }
  if (argc < 3) Misuse(command, question);
  const std::string what = argv[2];
  if (choices.count(what) == 0) {
    Misuse(command, std::string("unknown ") + command + " command " + what);
  }
  return what;
}

// The bytes of a whole file (or standard input), for the table commands.
std::string ReadTableBytes(const std::string& name) {
  // Largest table file the loader accepts, with its header.
  const size_t limit =
      static_cast<size_t>(wordform::kMaxTableSlots) * wordform::kRecordSize +
      16;
  FileSource source(name.empty() ? "-" : name);
  return source.ReadAll(limit);
}

int Table(int argc, char** argv) {
  const std::string what = SubcommandOf(
      "table", argc, argv, {"build", "dump", "check"}, "build, dump or check?");
  if (what == "help") {
    std::fputs(FindHelp("table"), stdout);
    return 0;
  }
  const Arguments args =
      Parse("table", argc, argv, 3, {"-o", "--slots", "--load"}, {});
  if (args.files.size() > 1) Misuse("table", "one file at most");
  const std::string input = args.files.empty() ? "-" : args.files[0];
  const std::string output = args.Value("-o", "-");
  std::string bytes;
  if (what == "build") {
    int64_t slots = 0;
    double load = 0;
    if (args.values.count("--slots") != 0) {
      char* end = nullptr;
      const std::string text = args.Value("--slots", "");
      slots = std::strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || slots < 1) {
        Misuse("table", "--slots wants a positive number");
      }
    }
    if (args.values.count("--load") != 0) {
      char* end = nullptr;
      const std::string text = args.Value("--load", "");
      load = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(load > 0 && load <= 1)) {
        Misuse("table", "--load wants a number in (0, 1]");
      }
    }
    if (slots != 0 && load != 0) Misuse("table", "--slots or --load, not both");
    const std::string list_name = input == "-" ? kStandardInput : input;
    wordform::ListBuild build;
    std::string error;
    if (!wordform::BuildTableFromList(list_name, ReadTableBytes(input), slots,
                                      load, &build, &error)) {
      throw Error(error);
    }
    FileSink sink(output);
    WriteAll(sink, [&] { sink.Write(build.bytes.data(), build.bytes.size()); });
    std::fprintf(stderr, "urdu: %s\n",
                 wordform::BuildSummary(
                     build, output == "-" ? "standard output" : output)
                     .c_str());
    return 0;
  }
  const std::string name = input == "-" ? kStandardInput : input;
  wordform::TableImage image;
  std::string error;
  if (!wordform::ParseTableImage(ReadTableBytes(input), &image, &error)) {
    throw Error(name + ": " + error);
  }
  std::string text;
  if (what == "check") {
    wordform::TableSummary summary;
    if (!wordform::CheckTableImage(image, &summary, &error)) {
      throw Error(name + ": " + error);
    }
    text = wordform::CheckSummary(name, summary) + "\n";
  }
  FileSink sink(output);
  WriteAll(sink, [&] {
    if (what == "dump") {
      for (size_t s = 0; s < image.records.size(); ++s) {
        const wordform::TableRecord& r = image.records[s];
        if (r.next == wordform::kUnusedSlot) continue;
        text += wordform::DumpLine(s, r);
        if (text.size() > (1 << 16)) {
          sink.Write(text.data(), text.size());
          text.clear();
        }
      }
    }
    sink.Write(text.data(), text.size());
  });
  return 0;
}

int Uzt(int argc, char** argv) {
  const std::string what = SubcommandOf("uzt", argc, argv, {"encode", "decode"},
                                        "encode or decode?");
  if (what == "help") {
    std::fputs(FindHelp("uzt"), stdout);
    return 0;
  }
  const bool encode = what == "encode";
  std::set<std::string> flags;
  if (!encode) flags.insert("--utf16");
  const Arguments args =
      Parse("uzt", argc, argv, 3, {"-o", "--mapping"}, flags);
  const std::string mapping_name = args.Value("--mapping", "");
  if (mapping_name.empty()) Misuse("uzt", "--mapping FILE is required");
  if (args.files.size() > 1) Misuse("uzt", "one input at most");
  UZTMapping mapping;
  try {
    mapping.Load(mapping_name);
  } catch (const IOException& e) {
    throw Error(e.GetExceptionMsg());  // names the file already
  } catch (const TARNIException& e) {
    throw Error(mapping_name + ": " + e.GetExceptionMsg());
  }
  LexEnigneUtility utility;
  mapping.Install(utility);
  FileSource input(args.files.empty() ? "-" : args.files[0]);
  const std::string output = args.Value("-o", "-");
  if (output != "-" && input.IsFile(output)) {
    throw Error("input and output are the same file: " + output);
  }
  FileSink sink(output);
  const ReadBytes read = [&](char* buffer, size_t n) {
    return input.Read(reinterpret_cast<unsigned char*>(buffer), n);
  };
  const WriteBytes write = [&](const std::string& bytes) {
    sink.Write(bytes.data(), bytes.size());
  };
  WriteAll(sink, [&] {
    try {
      if (encode) {
        EncodeUZTStream(mapping, utility, read, write);
      } else {
        DecodeUZTStream(mapping, utility, !args.Has("--utf16"), read, write);
      }
    } catch (const StreamError& e) {
      if (e.offset < 0) throw Error(input.name() + ": " + e.message);
      const std::string line =
          e.line > 0 ? "line " + std::to_string(e.line) + ", " : "";
      throw Error(input.name() + ": " + line + "byte offset " +
                  std::to_string(e.offset) + ": " + e.message);
    }
  });
  return 0;
}

int Help(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  const char* text = FindHelp(argv[2]);
  if (text == nullptr) Misuse("help", std::string("no command ") + argv[2]);
  std::fputs(text, stdout);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    throw Error("usage: urdu COMMAND [OPTIONS] [FILE...] (see urdu help)",
                kExitUsage);
  }
  const std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") {
    return Help(argc, argv);
  }
  if (command == "table") return Table(argc, argv);
  if (command == "uzt") return Uzt(argc, argv);
  const char* help = FindHelp(command);
  if (help == nullptr) {
    throw Error("unknown command " + command + " (see urdu help)", kExitUsage);
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0) {
      std::fputs(help, stdout);
      return 0;
    }
  }
  std::set<std::string> valued = {"-o"};
  std::set<std::string> flags(std::begin(kCommonFlags), std::end(kCommonFlags));
  if (command == "diacritize") {
    valued.insert({"--table", "--forms", "--report"});
    flags.insert({"--lines", "-v"});
    return Diacritize(Parse(command, argc, argv, 2, valued, flags));
  }
  if (command == "evaluate") {
    valued.insert({"--gold", "--table"});
    return Evaluate(Parse(command, argc, argv, 2, valued, flags));
  }
  if (command == "normalize") {
    valued.insert("--config");
    flags.insert("--check");
    return Normalize(Parse(command, argc, argv, 2, valued, flags));
  }
  if (command == "strip") {
    flags.insert("--keep-shadda");
    return Strip(Parse(command, argc, argv, 2, valued, flags));
  }
  valued.insert("--table");  // codes
  return Codes(Parse(command, argc, argv, 2, valued, flags));
}

}  // namespace
}  // namespace urdu

int main(int argc, char** argv) {
  try {
    return urdu::Run(argc, argv);
  } catch (const urdu::Error& e) {
    if (e.message().compare(0, 6, "usage:") == 0) {
      std::fprintf(stderr, "%s\n", e.message().c_str());
    } else {
      std::fprintf(stderr, "urdu: %s\n", e.message().c_str());
    }
    return e.status();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "urdu: out of memory\n");
    return urdu::kExitFailure;
  }
}
