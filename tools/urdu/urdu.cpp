// urdu: the everyday command line of urdulex. UTF-8 text in and out (UTF-16
// recognised by its byte-order mark), files named as arguments or standard
// input, standard output unless -o, so that the subcommands compose in
// pipelines:
//
//   urdu strip < in.txt | urdu diacritize --table t.lex > out.txt
//
// Each subcommand wires pieces of the library together; see `urdu help` and
// doc/urdu.1. Exit status 0 on success, 1 on failure, 2 on misuse; every
// failure prints one line on standard error. Output files are replaced
// whole once everything was written (foundation/OutputFile.h): a failure or
// an interruption leaves the previous file in place. No output may be one
// of the run's inputs.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "codemapper/TextFilters.h"
#include "diacritizer/Diacritize.h"
#include "diacritizer/Evaluate.h"
#include "diacritizer/Messages.h"
#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableCheck.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/Tokenizer.h"
#include "foundation/Encoding.h"
#include "foundation/ParallelLines.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/TextIO.h"
#include "foundation/Threads.h"
#include "foundation/Version.h"
#include "normalization/LoadNormalization.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "script/UZTStream.h"
#include "tools/urdu/DataFiles.h"

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
    "  version     the version of urdulex (also --version)\n"
    "\n"
    "Options of every text command:\n"
    "  -o FILE        write to FILE instead of standard output\n"
    "  --utf16        write the 16-bit form: mark FF FE, CR LF line ends\n"
    "  --lenient      replace invalid UTF-8 with U+FFFD instead of failing\n"
    "  -f, --from ENCODING\n"
    "                 read the inputs in ENCODING (CP1256, ISO-8859-6,\n"
    "                 UTF-16LE, UTF-32, ...: what `iconv -l` lists)\n"
    "  --progress, --no-progress\n"
    "                 force the progress line on standard error on or off\n"
    "                 (default: on when standard error is a terminal)\n"
    "  -j N           diacritize, normalize, strip, codes: N threads, on\n"
    "                 blocks of whole lines written in order (default: every\n"
    "                 core for input over 4 MB or of unknown size; -j 1: one)\n"
    "\n"
    "DATA: a table, code table or configuration that no option names is\n"
    "taken from the folder $URDULEX_DATA, else from the installation's\n"
    "share/urdulex (beside the program's bin/).\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage. See urdu(1).\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"diacritize",
     "usage: urdu diacritize [--table FILE] [--lines]\n"
     "                       [--ambiguous first|common|keep|all]\n"
     "                       [--report FILE] [-v] [COMMON] [FILE...]\n"
     "Restores the diacritics of every word the word-form table knows\n"
     "(default: the shipped one, see DATA in urdu help). Words are\n"
     "separated by white space and punctuation; --lines takes each line as\n"
     "one word. Only words holding an Arabic-script letter are looked up;\n"
     "numbers, Latin words and markup pass through, counted apart. A word\n"
     "is looked up by its bare form without directional marks and\n"
     "tatweels, and replaced by the table's first form; it keeps its\n"
     "directional marks where they stood and loses its tatweels. A word\n"
     "not found is written as it came.\n"
     "A word with several forms is, by --ambiguous: first, given the first\n"
     "form (the default); common, given only the marks all its forms share\n"
     "on each letter; keep, left as it came; all, given every form as\n"
     "form1|form2 (--forms first|all is the same as --ambiguous first|all).\n"
     "--report FILE lists the unknown words with their counts (TSV, most\n"
     "frequent first), then the words with several forms: bare form, count\n"
     "and form1|form2. -v prints a coverage line on standard error.\n"},
    {"evaluate",
     "usage: urdu evaluate --gold GOLD [--table [FILE]] [COMMON] [PREDICTED]\n"
     "Compares PREDICTED (or standard input) with GOLD word by word and\n"
     "prints the diacritic and word error rates, with and without the last\n"
     "letter of each word, and with --table the table's coverage of the\n"
     "gold words. Only words holding an Arabic-script letter count.\n"
     "--table with no FILE after it (last, or before another option)\n"
     "takes the shipped table.\n"},
    {"normalize",
     "usage: urdu normalize [--config FILE] [--check] [--diff] [COMMON]\n"
     "                      [FILE...]\n"
     "Writes each line in the normal form of the rules the configuration\n"
     "names (default: the shipped one; relative rules paths are taken\n"
     "from its folder). The shipped rules are this project's Urdu normal form, "
     "not\n"
     "Unicode NFC: they compose alef + madda above, and waw, yeh, heh and\n"
     "yeh barree + hamza above, when side by side; write the Arabic yeh,\n"
     "alef maksura, kaf and heh as the Urdu letters and the Arabic-Indic\n"
     "digits as the Extended ones; and move U+06BE in front of the marks\n"
     "before it. They do not reorder marks, compose across a mark or alef\n"
     "with hamza, decompose, fold presentation forms, or touch Latin text\n"
     "(see doc/normalization.md).\n"
     "--check and --diff change nothing and exit 1 when a line would\n"
     "change. --check lists every change, one a line, as\n"
     "NAME:LINE:COLUMN: U+064A -> U+06CC (COLUMN in characters, from 1);\n"
     "--diff writes each such line before and after, as -NAME:LINE: text\n"
     "and +NAME:LINE: text. Standard error gives the counts.\n"},
    {"strip",
     "usage: urdu strip [--keep-shadda] [COMMON] [FILE...]\n"
     "Removes every Arabic-script combining mark (U+0610-U+061A,\n"
     "U+064B-U+065F, U+0670, U+06D6-U+06ED), all but the shadda with\n"
     "--keep-shadda. A letter is never taken apart: a base letter with a\n"
     "combining madda or hamza (alef + U+0653, yeh + U+0654, ...) becomes\n"
     "the one letter (U+0622, U+0626, ...) before the marks go.\n"},
    {"codes",
     "usage: urdu codes [--table FILE] [COMMON] [FILE...]\n"
     "Writes the letter codes of each line with the code table of\n"
     "codemapper (default: the shipped one), a shadda doubling its letter.\n"},
    {"table",
     "usage: urdu table build [LIST] [-o FILE] [--slots N | --load L]\n"
     "                        [--skipped FILE] [--exclude-uncertain]\n"
     "       urdu table dump [FILE] [-o OUT]\n"
     "       urdu table check [FILE] [-o OUT]\n"
     "Builds a word-form table from a list of diacritized words, prints it\n"
     "as text, or checks it. build names every word it does not store as\n"
     "LIST:LINE: word: reason, on standard error or into --skipped FILE,\n"
     "and will not write the table to a terminal (status 2).\n"
     "--exclude-uncertain leaves out the forms of flag 4, the less certain\n"
     "vocalizations of the shipped lexicon.\n"},
    {"uzt",
     "usage: urdu uzt encode --mapping FILE [ON-ERROR] [-o OUT] [INPUT]\n"
     "       urdu uzt decode --mapping FILE [--utf16] [ON-ERROR] [-o OUT]\n"
     "                       [INPUT]\n"
     "Converts Unicode text to UZT bytes, or UZT bytes to UTF-8 (UTF-16LE\n"
     "with its mark with --utf16, line ends as decoded).\n"
     "ON-ERROR: --on-error fail|skip|substitute [--substitute BYTE]\n"
     "A character without a UZT form (encode), or a byte that cannot be\n"
     "decoded, stops the conversion with its line, column and byte offset\n"
     "(fail, the default), is dropped (skip), or is replaced (substitute):\n"
     "encode writes BYTE (default ?), which must stand for a character of\n"
     "the mapping; decode writes the character U+00XX of BYTE. BYTE is one\n"
     "character or a number (0x3F, 63); --substitute alone means\n"
     "substitute. Standard error says how many were dropped or replaced.\n"
     "Malformed UTF-8 or UTF-16 input always fails.\n"},
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
    if (a == "-f") a = "--from";
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

// An input named on the command line, opened when it is first read and
// closed at its end, so that a run over many files holds one at a time.
// Until then its size is what its name leads to says. Standard input is
// there from the start.
class NamedInput : public ByteSource {
 public:
  explicit NamedInput(const std::string& name) : given_(name) {
    if (name == "-") {
      source_.reset(new FileSource(name));
      name_ = source_->name();
      size_ = source_->Size();
      return;
    }
    name_ = name;
    struct stat st;
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      size_ = static_cast<int64_t>(st.st_size);
    }
  }
  size_t Read(unsigned char* buffer, size_t n) override {
    if (!source_) {
      if (done_) return 0;
      source_.reset(new FileSource(given_));
      size_ = source_->Size();
    }
    const size_t got = source_->Read(buffer, n);
    if (got == 0) {
      source_.reset();
      done_ = true;
    }
    return got;
  }
  int64_t Size() const override { return size_; }
  const std::string& name() const override { return name_; }

 private:
  std::string given_;
  std::string name_;
  std::unique_ptr<FileSource> source_;
  int64_t size_ = -1;
  bool done_ = false;
};

// The common shape of the text commands: inputs, an output, progress.
class TextCommand {
 public:
  // Notes the text inputs in `files` (which holds the command's other
  // inputs already) and refuses an output that is one of them, by what
  // their names lead to: each input is opened only when it is reached.
  TextCommand(const Arguments& args, RunFiles& files) : args_(args) {
    output_name_ = args.Value("-o", "-");
    if (args.files.empty()) {
      inputs_.emplace_back(new NamedInput("-"));
      files.Input("input", "-");
    } else {
      for (const std::string& name : args.files) {
        inputs_.emplace_back(new NamedInput(name));
        files.Input("input", name);
      }
    }
    int64_t total = 0;
    for (const auto& input : inputs_) {
      total = input->Size() < 0 || total < 0 ? -1 : total + input->Size();
    }
    files.Output("output", output_name_);
    if (!args.Value("--from", "").empty())
      CheckEncoding(args.Value("--from", ""));
    const bool show = args.Has("--progress") ||
                      (!args.Has("--no-progress") && ::isatty(2) == 1);
    progress_.reset(new Progress(show, args.command.c_str(), total));
    threads_ = ThreadsOf(args, total);
    total_bytes_ = total;
  }

  // The threads of the run: -j N, else every core for an input over a few
  // MB or of unknown size.
  unsigned threads() const { return threads_; }
  // The size of all the inputs in bytes, or -1 when one is not known.
  int64_t total_bytes() const { return total_bytes_; }

  // Begins the output; a failure after this leaves the old file in place.
  TextWriter& Open() {
    sink_.reset(new FileSink(output_name_));
    writer_.reset(new TextWriter(
        *sink_, args_.Has("--utf16") ? TextWriter::kUtf16 : TextWriter::kUtf8));
    return *writer_;
  }

  // Runs `body(state, reader, out, lines)` over the text of every input,
  // where `lines` is the number of line ends in the input before the
  // reader's text: with one thread on each input in turn, with states[0]
  // and `out`; with more on blocks of whole lines, worker w with
  // states[w] (one a thread) and a writer of its own, the blocks written
  // to `out`'s sink in input order.
  template <typename State, typename Body>
  void Run(TextWriter& out, std::vector<State>& states, Body&& body) {
    if (threads_ <= 1) {
      ForEachInput(
          [&](TextReader& reader) { body(states[0], reader, out, 0); });
      return;
    }
    RunBlocks(states, body);
  }

  // Runs `body` on a reader of each input in turn.
  template <typename Body>
  void ForEachInput(Body&& body) {
    for (const auto& input : inputs_) {
      TextReader reader(*input, args_.Has("--lenient"), progress_.get(),
                        args_.Value("--from", ""));
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
                   MessageName(*r.first).c_str(),
                   static_cast<unsigned long long>(r.second));
    }
  }

  void Discard() {
    if (progress_) progress_->Finish();
    if (sink_) sink_->Discard();
  }

 private:
  static unsigned ThreadsOf(const Arguments& args, int64_t total) {
    const std::string jobs = args.Value("-j", "");
    if (jobs.empty()) {
      const int64_t kFew = int64_t{4} << 20;
      return total < 0 || total > kFew ? ThreadsFor(0) : 1;
    }
    char* end = nullptr;
    const unsigned long n = std::strtoul(jobs.c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > 1024 || jobs[0] == '-') {
      Misuse(args.command, "-j wants a number of threads from 1 to 1024");
    }
    return static_cast<unsigned>(n);
  }

  // Hands on what is read from an input to the progress line.
  class Counted : public ByteSource {
   public:
    Counted(ByteSource& source, ConvertingSource* converter, Progress& progress)
        : source_(source), converter_(converter), progress_(progress) {}
    size_t Read(unsigned char* buffer, size_t n) override {
      const size_t got = source_.Read(buffer, n);
      progress_.Advance(converter_ != nullptr ? converter_->TakeRead() : got);
      return got;
    }
    const std::string& name() const override { return source_.name(); }

   private:
    ByteSource& source_;
    ConvertingSource* converter_;
    Progress& progress_;
  };

  template <typename State, typename Body>
  void RunBlocks(std::vector<State>& states, Body& body) {
    const bool lenient = args_.Has("--lenient");
    const std::string from = args_.Value("--from", "");
    std::vector<std::unique_ptr<ConvertingSource>> converters;
    std::vector<std::unique_ptr<Counted>> counted;
    std::vector<ByteSource*> sources;
    for (const auto& input : inputs_) {
      ConvertingSource* converter = nullptr;
      if (!from.empty()) {
        converters.emplace_back(new ConvertingSource(*input, from, lenient));
        converter = converters.back().get();
      }
      counted.emplace_back(new Counted(
          converter != nullptr ? static_cast<ByteSource&>(*converter) : *input,
          converter, *progress_));
      sources.push_back(counted.back().get());
    }
    // Invalid sequences replaced, by worker and input.
    std::vector<std::vector<uint64_t>> replaced(
        threads_, std::vector<uint64_t>(inputs_.size()));
    ParallelLines::Options options;
    options.threads = threads_;
    // A hidden knob for the tests: small blocks on small inputs.
    if (const char* block = std::getenv("URDU_BLOCK_BYTES")) {
      options.block = std::strtoul(block, nullptr, 10);
    }
    const TextWriter::Encoding encoding =
        args_.Has("--utf16") ? TextWriter::kUtf16 : TextWriter::kUtf8;
    // A writer for each worker, kept from block to block as the one
    // writer of a single thread is (a block starts after a line end, where
    // a writer keeps nothing), writing into the block's output.
    std::vector<StringSink> sinks(threads_);
    std::vector<std::unique_ptr<TextWriter>> writers;
    for (StringSink& sink : sinks) {
      writers.emplace_back(new TextWriter(sink, encoding));
      writers.back()->OmitMark();
    }
    bool written = false;
    ParallelLines(options).Run(
        sources,
        [&](unsigned worker, LineBlock& block) {
          StringSink& sink = sinks[worker];
          TextWriter& out = *writers[worker];
          sink.bytes.swap(block.output);  // its buffer, from an earlier block
          for (const LineSegment& segment : block.segments) {
            SegmentSource source(block, segment,
                                 inputs_[segment.input]->name());
            TextReader reader(source, lenient);
            ResumeAt(segment, &reader);
            body(states[worker], reader, out, segment.line);
            replaced[worker][segment.input] += reader.replaced();
          }
          out.Finish();  // hands over what it holds; it can go on
          block.output.swap(sink.bytes);
        },
        [&](LineBlock& block) {
          if (!written && encoding == TextWriter::kUtf16) {
            writer_->OmitMark();
            sink_->Write("\xFF\xFE", 2);
          }
          written = true;
          sink_->Write(block.output.data(), block.output.size());
        });
    for (size_t i = 0; i < inputs_.size(); ++i) {
      uint64_t n = converters.empty() ? 0 : converters[i]->replaced();
      for (const auto& by_input : replaced) n += by_input[i];
      if (n > 0) replaced_.emplace_back(&inputs_[i]->name(), n);
    }
  }

  const Arguments& args_;
  std::string output_name_;
  std::vector<std::unique_ptr<NamedInput>> inputs_;
  std::unique_ptr<Progress> progress_;
  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<TextWriter> writer_;
  int64_t total_bytes_ = -1;
  std::vector<std::pair<const std::string*, uint64_t>> replaced_;
  unsigned threads_ = 1;
};

// Runs `body` with the command's output; puts the output in place only when
// `body` succeeds.
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

void AddCoverage(const Coverage& add, Coverage* to) {
  to->tokens += add.tokens;
  to->known += add.known;
  to->unknown += add.unknown;
  to->ambiguous += add.ambiguous;
  to->other += add.other;
}

int Diacritize(const Arguments& args) {
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
  const std::string forms = args.Value("--forms", "first");
  if (forms != "first" && forms != "all") {
    Misuse(args.command, "--forms wants first or all");
  }
  const auto ambiguous = kAmbiguous.find(args.Value("--ambiguous", forms));
  if (ambiguous == kAmbiguous.end()) {
    Misuse(args.command, "--ambiguous wants first, common, keep or all");
  }
  Diacritizer::Options options;
  options.lines = args.Has("--lines");
  options.ambiguous = ambiguous->second;
  const std::string report_name = args.Value("--report", "");
  options.count_unknown = !report_name.empty();
  options.list_ambiguous = !report_name.empty();
  options.count_ambiguous = args.Has("-v");
  const std::string table_name =
      FindDataFile(kWordFormTableData, args.Value("--table", ""));
  RunFiles files;
  files.Input("word-form table", table_name);
  TextCommand command(args, files);
  if (!report_name.empty()) files.Output("report", report_name);
  const std::unique_ptr<FormTable> table_file =
      OpenFormTable(table_name, Diacritizer::NeedsAllForms(options));
  FormTable& table = *table_file;
  // Threads see the text in blocks: the table is readied for the whole.
  Diacritizer::PrepareFor(table, command.total_bytes());
  std::unique_ptr<FileSink> report;
  if (!report_name.empty()) report.reset(new FileSink(report_name));
  // The table is shared by the threads; each has a diacritizer of its
  // own, which keeps its buffers and counts from block to block, and
  // always writes to the same writer (Run's one writer of the thread).
  struct State {
    std::unique_ptr<Diacritizer> diacritizer;
  };
  std::vector<State> states(command.threads());
  Coverage coverage;
  try {
    WithOutput(command, [&](TextWriter& writer) {
      command.Run(
          writer, states,
          [&](State& state, TextReader& reader, TextWriter& out, uint64_t) {
            if (!state.diacritizer) {
              state.diacritizer.reset(new Diacritizer(table, options, out));
            }
            state.diacritizer->Run(reader);
          });
      std::unordered_map<std::u16string, uint64_t> unknown, ambiguous;
      for (const State& state : states) {
        if (!state.diacritizer) continue;
        AddCoverage(state.diacritizer->coverage(), &coverage);
        if (!report) continue;
        for (const auto& entry : state.diacritizer->Unknown()) {
          unknown[entry.first] += entry.second;
        }
        for (const auto& entry : state.diacritizer->AmbiguousWords()) {
          ambiguous[entry.first] += entry.second;
        }
      }
      if (report) {
        TextWriter tsv(*report, TextWriter::kUtf8);
        for (const auto& entry : ByCount(unknown)) {
          tsv.Put(entry.first);
          const std::string count = "\t" + std::to_string(entry.second) + "\n";
          tsv.PutLatin1(count.data(), count.size());
        }
        // Then the words with several forms, with their forms as a third
        // field.
        for (const auto& entry : ByCount(ambiguous)) {
          tsv.Put(entry.first);
          const std::string count = "\t" + std::to_string(entry.second) + "\t";
          tsv.PutLatin1(count.data(), count.size());
          const FormTable::Forms held =
              table.AllForms(entry.first.data(), entry.first.size());
          const std::vector<std::u16string>& forms = *held;
          for (size_t i = 0; i < forms.size(); ++i) {
            if (i > 0) tsv.Put(u'|');
            tsv.Put(forms[i]);
          }
          tsv.Put(u'\n');
        }
        // Neither the report nor the text may come of two versions of
        // the table.
        table.CheckUnchanged();
        tsv.Finish();
      }
      table.CheckUnchanged();
    });
  } catch (...) {
    if (report) report->Discard();
    throw;
  }
  if (args.Has("-v")) {
    std::fprintf(stderr, "urdu: %s\n", FormatCoverage(coverage).c_str());
  }
  return 0;
}

int Evaluate(const Arguments& args) {
  const std::string gold_name = args.Value("--gold", "");
  if (gold_name.empty()) Misuse(args.command, "--gold GOLD is required");
  if (args.files.size() > 1) Misuse(args.command, "one PREDICTED text at most");
  std::unique_ptr<FormTable> table;
  std::string table_name;
  if (args.values.count("--table") != 0) {
    table_name = FindDataFile(kWordFormTableData, args.Value("--table", ""));
    table = OpenFormTable(table_name, true);
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
      urdu::Evaluate(gold, predicted, table.get(), &evaluation);
    });
    // Counts of two versions of the table would pass for one's.
    if (table) table->CheckUnchanged();
    const std::string report = FormatEvaluation(evaluation);
    out.PutLatin1(report.data(), report.size());
  });
}

// Runs `piece` on every line of `reader`'s text, in one or more pieces that
// together are the line without its line end: piece(reader, number, text,
// n, end, end_units, last), where `last` marks the line's last piece and
// `end` its line end of `end_units` units (LF, or CR LF, or none at the end
// of the input). A line is cut only where `can_cut(text, i)` allows a cut
// before text[i] (i > 0; the caller sees text[i - 1] and text[i]); the
// unfinished line is cut as late as it allows at the end of every block,
// so a long line is never held whole, and every unit is looked at a
// bounded number of times. With a `can_cut` that never allows, each line
// comes whole. Line numbers go on from `number`.
template <typename CanCut, typename Piece>
void ForEachLinePiece(TextReader& reader, uint64_t number, CanCut&& can_cut,
                      Piece&& piece) {
  Units text;
  {
    // `text` starts with the unfinished line of the block before, whose
    // units before `scanned` hold no LF, and no place to cut before
    // `uncut` (positions after the line's start).
    size_t scanned = 0;
    size_t uncut = 1;
    bool more = true;
    while (more) {
      more = reader.Next(&text);
      const char16_t* data = text.data();
      const size_t size = text.size();
      size_t start = 0;
      for (size_t i = scanned; i < size; ++i) {
        if (data[i] != '\n') continue;
        const size_t end = i > start && data[i - 1] == '\r' ? i - 1 : i;
        piece(reader, ++number, data + start, end - start, data + end,
              i + 1 - end, true);
        start = i + 1;
        uncut = start + 1;
      }
      if (!more) {
        if (start < size) {
          piece(reader, ++number, data + start, size - start, data + size, 0,
                true);
        }
        start = size;
      } else if (start < size) {
        // The latest place to cut the unfinished line, if any: its
        // units from there on wait for the next block.
        size_t cut = size - 1;
        const size_t lowest = std::max(start + 1, uncut);
        while (cut >= lowest && !can_cut(data, cut)) --cut;
        if (cut >= lowest) {
          piece(reader, number + 1, data + start, cut - start, nullptr, 0,
                false);
          start = cut;
        }
      }
      // Every place up to the block's last unit has been judged.
      uncut = std::max<size_t>(size - start, 1);
      text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(start));
      scanned = text.size();
    }
  }
}

// Runs `line` on every line of `reader`'s text, held whole: the text
// without its line end, and the line end (LF or CR LF; none at the end).
template <typename Line>
void ForEachLine(TextReader& reader, uint64_t number, Line&& line) {
  ForEachLinePiece(
      reader, number, [](const char16_t*, size_t) { return false; },
      [&](TextReader& reader, uint64_t number, const char16_t* text, size_t n,
          const char16_t* end, size_t end_units,
          bool) { line(reader, number, text, n, end, end_units); });
}

int Normalize(const Arguments& args) {
  const std::string config =
      FindDataFile(kNormalizationData, args.Value("--config", ""));
  Normalization normalization;
  LoadNormalization(config, &normalization);
  const bool check = args.Has("--check");
  const bool diff = args.Has("--diff");
  RunFiles files;
  files.Input("configuration", config);
  files.Input("NFC rules file", normalization.NfcRulesPath());
  TextCommand command(args, files);
  // Shared by the threads: normalizing only reads the rules
  // (Normalizer::NormalizeInto and NormalizeWithChanges are const).
  struct State {
    std::wstring wide, normalized;
    std::u16string result;
    std::vector<NormChange> changes;
    uint64_t changed_lines = 0, changes_made = 0;
  };
  std::vector<State> states(command.threads());
  WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
          if (!check && !diff) {
            // A long line goes in pieces, cut where the rules cannot see it.
            ForEachLinePiece(
                reader, lines,
                [&](const char16_t* text, size_t i) {
                  return normalization.CanCutAfter(text[i - 1]);
                },
                [&](TextReader&, uint64_t, const char16_t* line, size_t n,
                    const char16_t* end, size_t end_units, bool) {
                  state.wide.assign(line, line + n);
                  normalization.Normalize(std::move(state.wide), NFC,
                                          state.normalized);
                  state.result.assign(state.normalized.begin(),
                                      state.normalized.end());
                  out.Put(state.result);
                  out.Put(end, end_units);
                });
            return;
          }
          ForEachLine(
              reader, lines,
              [&](TextReader& reader, uint64_t number, const char16_t* line,
                  size_t n, const char16_t*, size_t) {
                std::wstring& wide = state.wide;
                wide.assign(line, line + n);
                normalization.NormalizeWithChanges(wide, NFC, &state.normalized,
                                                   &state.changes);
                if (state.changes.empty()) return;
                ++state.changed_lines;
                state.changes_made += state.changes.size();
                const std::string where =
                    reader.name() + ":" + std::to_string(number);
                if (diff) PutLineDiff(where, wide, state.normalized, out);
                if (!check) return;
                ColumnCursor cursor;
                for (const NormChange& change : state.changes) {
                  PutUtf8(DescribeChange(where, wide, change, &cursor) + "\n",
                          out);
                }
              });
        });
  });
  uint64_t changed_lines = 0, changes_made = 0;
  for (const State& state : states) {
    changed_lines += state.changed_lines;
    changes_made += state.changes_made;
  }
  if (changed_lines > 0) {
    throw Error(std::to_string(changed_lines) +
                (changed_lines == 1 ? " line" : " lines") + " would change (" +
                std::to_string(changes_made) +
                (changes_made == 1 ? " change)" : " changes)"));
  }
  return 0;
}

int Strip(const Arguments& args) {
  RunFiles files;
  TextCommand command(args, files);
  const bool keep_shadda = args.Has("--keep-shadda");
  std::vector<Units> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](Units& text, TextReader& reader, TextWriter& out, uint64_t) {
          // A letter at the end of a block waits for the marks that may follow.
          bool more = true;
          while (more) {
            more = reader.Next(&text);
            const size_t end =
                more ? StripSafeEnd(text.data(), text.size()) : text.size();
            out.Put(text.data(), StripMarks(text.data(), end, keep_shadda));
            text.erase(text.begin(),
                       text.begin() + static_cast<ptrdiff_t>(end));
          }
        });
  });
}

int Codes(const Arguments& args) {
  const std::string table =
      FindDataFile(kCodeTableData, args.Value("--table", ""));
  LoadCodeTable(table, mapper);
  // The texts of the codes, made once and only read by the threads (the
  // mapping through `mapper` alone fills them as it goes).
  std::vector<CodeText> texts(kMapperSlots);
  FillCodeTexts(mapper, texts.data());
  RunFiles files;
  files.Input("code table", table);
  TextCommand command(args, files);
  struct State {
    std::wstring scratch;
    std::string codes;
  };
  std::vector<State> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
          ForEachLinePiece(reader, lines, CodesCanCutBefore,
                           [&](TextReader&, uint64_t, const char16_t* line,
                               size_t n, const char16_t*, size_t, bool last) {
                             state.codes.clear();
                             AppendLineCodes(mapper, texts.data(), line, n,
                                             &state.scratch, &state.codes);
                             if (last) state.codes.push_back('\n');
                             out.PutLatin1(state.codes.data(),
                                           state.codes.size());
                           });
        });
  });
}

// Runs `body`, which writes to `sink`, and closes the sink, which puts the
// file in place; a failure leaves the old file.
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

// True when `output` ("-" for standard output) is a terminal, which a
// binary file would only garble.
bool IsTerminal(const std::string& output) {
  if (output == "-") return ::isatty(1) == 1;
  struct stat info;
  // Only a character device can be one; nothing else is opened to ask.
  if (::stat(output.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
    return false;
  }
  const int fd = ::open(output.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool terminal = ::isatty(fd) == 1;
  ::close(fd);
  return terminal;
}

// The words `urdu table build` did not store, one line each, on standard
// error or into the file `name`.
void WriteSkippedLines(const std::string& list_name,
                       const std::vector<wordform::SkippedLine>& lines,
                       const std::string& name) {
  if (name.empty()) {
    for (const wordform::SkippedLine& line : lines) {
      std::fputs(wordform::SkippedLineText(list_name, line).c_str(), stderr);
    }
    return;
  }
  FileSink sink(name);
  WriteAll(sink, [&] {
    std::string text;
    for (const wordform::SkippedLine& line : lines) {
      text += wordform::SkippedLineText(list_name, line);
      if (text.size() > (1 << 16)) {
        sink.Write(text.data(), text.size());
        text.clear();
      }
    }
    sink.Write(text.data(), text.size());
  });
}

int Table(int argc, char** argv) {
  const std::string what = SubcommandOf(
      "table", argc, argv, {"build", "dump", "check"}, "build, dump or check?");
  if (what == "help") {
    std::fputs(FindHelp("table"), stdout);
    return 0;
  }
  const Arguments args =
      Parse("table", argc, argv, 3, {"-o", "--slots", "--load", "--skipped"},
            {"--exclude-uncertain"});
  if (args.files.size() > 1) Misuse("table", "one file at most");
  const std::string input = args.files.empty() ? "-" : args.files[0];
  const std::string output = args.Value("-o", "-");
  RunFiles files;
  files.Input(what == "build" ? "word list" : "word-form table", input);
  files.Output("output", output);
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
    const std::string skipped_name = args.Value("--skipped", "");
    if (skipped_name == "-" && output == "-") {
      Misuse("table", "--skipped - wants the table in -o FILE");
    }
    if (IsTerminal(output)) {
      Misuse("table",
             "will not write a binary table to a terminal; give -o "
             "FILE or redirect standard output");
    }
    // Quoted, as it goes into messages and the skipped lines.
    const std::string list_name =
        input == "-" ? kStandardInput : QuoteName(input);
    wordform::ListBuild build;
    std::string error;
    const uint8_t leave_out = args.Has("--exclude-uncertain") ? 4 : 0;
    if (!wordform::BuildTableFromList(list_name, ReadTableBytes(input), slots,
                                      load, &build, &error, leave_out)) {
      throw Error(error);
    }
    FileSink sink(output);
    WriteAll(sink, [&] { sink.Write(build.bytes.data(), build.bytes.size()); });
    WriteSkippedLines(list_name, build.skipped_lines, skipped_name);
    std::fprintf(
        stderr, "urdu: %s\n",
        wordform::BuildSummary(
            build, output == "-" ? "standard output" : QuoteName(output))
            .c_str());
    return 0;
  }
  const std::string name = input == "-" ? kStandardInput : QuoteName(input);
  wordform::TableImage image;
  std::string error;
  const std::string table = ReadTableBytes(input);
  // A check refuses bad links before a record is made for every slot (a
  // sparse file of millions of zero slots costs a few bytes a slot).
  if (what == "check" && !wordform::CheckTableLinks(table, &error)) {
    throw Error(name + ": " + error);
  }
  if (!wordform::ParseTableImage(table, &image, &error)) {
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

// The --on-error and --substitute options of `urdu uzt`. The substitute
// byte is given as one character (`?`), or as a number (0x3F, 63).
OnError UztOnError(const Arguments& args, bool encode,
                   const UZTMapping& mapping) {
  OnError on_error;
  const std::string mode = args.Value("--on-error", "");
  const bool substitute_given = args.values.count("--substitute") != 0;
  if (mode == "skip") {
    on_error.mode = OnError::kSkip;
  } else if (mode == "substitute" || (mode.empty() && substitute_given)) {
    on_error.mode = OnError::kSubstitute;
  } else if (mode != "fail" && !mode.empty()) {
    Misuse("uzt", "--on-error wants fail, skip or substitute");
  }
  if (substitute_given && on_error.mode != OnError::kSubstitute) {
    Misuse("uzt", "--substitute goes with --on-error substitute");
  }
  const std::string text = args.Value("--substitute", "?");
  unsigned long byte =
      text.size() == 1 ? static_cast<unsigned char>(text[0]) : 0;
  if (text.size() > 1) {
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = text.substr(hex ? 2 : 0);
    bool number = !digits.empty() && digits.size() <= 3;
    for (char c : digits) {
      number = number && (hex ? std::isxdigit(static_cast<unsigned char>(c))
                              : std::isdigit(static_cast<unsigned char>(c)));
    }
    if (number) byte = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
  }
  if (byte < 1 || byte > 255) {
    Misuse("uzt", "--substitute wants a byte: one character, or 1 to 255");
  }
  if (!encode) {
    on_error.substitute = static_cast<wchar_t>(byte);  // as the ASCII plate
  } else if (on_error.mode == OnError::kSubstitute &&
             !SubstituteForByte(mapping, static_cast<unsigned char>(byte),
                                &on_error.substitute)) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "0x%02lX", byte);
    throw Error(std::string("--substitute: byte ") + hex +
                " stands for no character of the mapping");
  }
  return on_error;
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
      Parse("uzt", argc, argv, 3,
            {"-o", "--mapping", "--on-error", "--substitute"}, flags);
  const std::string mapping_name = args.Value("--mapping", "");
  if (mapping_name.empty()) Misuse("uzt", "--mapping FILE is required");
  if (args.files.size() > 1) Misuse("uzt", "one input at most");
  const std::string input_name = args.files.empty() ? "-" : args.files[0];
  const std::string output = args.Value("-o", "-");
  RunFiles files;
  files.Input("mapping", mapping_name);
  files.Input("input", input_name);
  files.Output("output", output);
  UZTMapping mapping;
  LoadMappingFile(mapping_name, &mapping);
  const OnError on_error = UztOnError(args, encode, mapping);
  LexEnigneUtility utility;
  mapping.Install(utility);
  FileSource input(input_name);
  FileSink sink(output);
  const ReadBytes read = [&](char* buffer, size_t n) {
    return input.Read(reinterpret_cast<unsigned char*>(buffer), n);
  };
  const WriteBytes write = [&](const std::string& bytes) {
    sink.Write(bytes.data(), bytes.size());
  };
  uint64_t replaced = 0;
  WriteAll(sink, [&] {
    try {
      if (encode) {
        replaced = EncodeUZTStream(mapping, utility, read, write, on_error);
      } else {
        replaced = DecodeUZTStream(mapping, utility, !args.Has("--utf16"), read,
                                   write, on_error);
      }
    } catch (const StreamError& e) {
      throw Error(StreamErrorMessage(input.name(), e));
    }
  });
  if (replaced > 0) {
    std::fprintf(stderr, "urdu: %s: %llu %s %s\n",
                 MessageName(input.name()).c_str(),
                 static_cast<unsigned long long>(replaced),
                 encode ? "characters without a UZT form"
                        : "bytes that could not be decoded",
                 on_error.mode == OnError::kSkip ? "dropped" : "substituted");
  }
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
  if (command == "version" || command == "--version") {
    std::printf("urdu (urdulex) %s\n", UrdulexVersion());
    return 0;
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
  std::set<std::string> valued = {"-o", "--from"};
  std::set<std::string> flags(std::begin(kCommonFlags), std::end(kCommonFlags));
  if (command != "evaluate") valued.insert("-j");
  if (command == "diacritize") {
    valued.insert({"--table", "--forms", "--ambiguous", "--report"});
    flags.insert({"--lines", "-v"});
    return Diacritize(Parse(command, argc, argv, 2, valued, flags));
  }
  if (command == "evaluate") {
    valued.insert({"--gold", "--table"});
    // --table without a file (last, or before another option) asks for
    // the coverage of the default table: it becomes --table= .
    std::vector<char*> words(argv, argv + argc);
    static char default_table[] = "--table=";
    for (size_t i = 2; i < words.size(); ++i) {
      if (std::strcmp(words[i], "--table") == 0 &&
          (i + 1 == words.size() || words[i + 1][0] == '-')) {
        words[i] = default_table;
      }
    }
    return Evaluate(Parse(command, argc, words.data(), 2, valued, flags));
  }
  if (command == "normalize") {
    valued.insert("--config");
    flags.insert({"--check", "--diff"});
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

namespace {

int RunAndReport(int argc, char** argv) {
  try {
    return urdu::Run(argc, argv);
  } catch (const urdu::Error& e) {
    if (e.message().compare(0, 6, "usage:") == 0) {
      std::fprintf(stderr, "%s\n", e.message().c_str());
    } else {
      std::fprintf(stderr, "urdu: %s\n",
                   urdu::PlainMessage(e.message()).c_str());
    }
    return e.status();
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "urdu: %s\n",
                 urdu::PlainMessage(e.GetExceptionMsg()).c_str());
    return urdu::kExitFailure;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "urdu: out of memory\n");
    return urdu::kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors("urdu");
  OutputFile::HandleSignals("urdu");
  urdu::RefuseThreadsAsTheEnvironmentSays();
  int status = RunAndReport(argc, argv);
  // Text that went through stdio (the help texts) is judged only here: a
  // full disk must not pass for success. A failure already reported keeps
  // its one line.
  errno = 0;
  const bool failed = std::ferror(stdout) != 0;
  if ((std::fclose(stdout) != 0 || failed) && status == 0) {
    std::fprintf(stderr, "urdu: cannot write standard output: %s\n",
                 errno != 0 ? std::strerror(errno) : "write error");
    status = urdu::kExitFailure;
  }
  return status;
}
