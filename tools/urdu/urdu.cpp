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
// whole once everything was written (foundation/SafeOutput.h): a failure or
// an interruption leaves the previous file in place. No output may be one
// of the run's inputs.

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "foundation/OutputFile.h"
#include "foundation/TARNIException.h"
#include "foundation/Threads.h"
#include "foundation/Version.h"
#include "text/ApiSupport.h"
#include "text/TextIO.h"
#include "tools/common/ExitStatus.h"
#include "tools/urdu/Args.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {
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
    "  report      merge: add up the reports or stats of diacritize runs\n"
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
    "                 (default: on when standard error is a terminal): MB\n"
    "                 read, MB/s, and for files the share done, time left\n"
    "  -j N           diacritize, normalize, strip, codes: N threads, on\n"
    "                 blocks of whole lines written in order (default: every\n"
    "                 core for input over 4 MB or of unknown size; -j 1: one)\n"
    "\n"
    "A long option may be shortened to a start no other option shares\n"
    "(--ambig for --ambiguous); a short one takes its value joined too\n"
    "(-j4, -oOUT); -- ends the options, so that a FILE may start with -.\n"
    "\n"
    "DATA: a table, code table or configuration that no option names is\n"
    "taken from the folder $URDULEX_DATA, else from the installation's\n"
    "share/urdulex (beside the program's bin/).\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage. See urdu(1).\n";

struct Command {
  const char* name;
  const char* help;
  Options options;
  int (*run)(const Arguments& args);
};

constexpr int kText = Options::kText;
constexpr int kTextOnBlocks = Options::kText | Options::kThreads;

const Command kCommands[] = {
    {"diacritize",
     kDiacritizeHelp,
     {kTextOnBlocks,
      "--table --forms --ambiguous --fallback --rules --report --stats",
      "--lines --normalize -v"},
     RunDiacritize},
    // --table with no FILE after it takes the shipped table.
    {"evaluate", kEvaluateHelp, {kText, "--gold --table?"}, RunEvaluate},
    {"normalize",
     kNormalizeHelp,
     {kTextOnBlocks, "--config", "--check --diff"},
     RunNormalize},
    {"strip", kStripHelp, {kTextOnBlocks, "", "--keep-shadda"}, RunStrip},
    {"codes", kCodesHelp, {kTextOnBlocks, "--table"}, RunCodes},
    {"report",
     kReportHelp,
     {Options::kNone, "-o", "-v", "merge", "merge?"},
     RunReport},
    {"table",
     kTableHelp,
     {Options::kNone, "-o --slots --load --skipped", "--exclude-uncertain",
      "build dump check", "build, dump or check?"},
     RunTable},
    {"uzt",
     kUztHelp,
     {Options::kNone, "-o --mapping --on-error --substitute", "decode:--utf16",
      "encode decode", "encode or decode?"},
     RunUzt},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const Command& command : kCommands) names.push_back(command.name);
  return names;
}

int Help(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  const Command* command = FindCommand(argv[2]);
  if (command == nullptr) {
    Misuse("help", std::string("no command ") + argv[2] +
                       DidYouMean(argv[2], CommandNames()));
  }
  std::fputs(command->help, stdout);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    throw UsageError("usage: urdu COMMAND [OPTIONS] [FILE...] (see urdu help)");
  }
  std::string name = argv[1];
  if (name.compare(0, 2, "--") == 0) {
    const std::string option = LongOption({"--help", "--version"}, name);
    if (!option.empty()) name = option;
  }
  if (name == "help" || name == "--help" || name == "-h") {
    return Help(argc, argv);
  }
  if (name == "version" || name == "--version") {
    std::printf("urdu (urdulex) %s\n", UrdulexVersion());
    return 0;
  }
  const Command* command = FindCommand(name);
  if (command == nullptr) {
    std::vector<std::string> names = CommandNames();
    names.push_back("help");
    names.push_back("version");
    const std::string meant = DidYouMean(name, names);
    throw UsageError("unknown command " + name +
                     (meant.empty() ? " (see urdu help)" : meant));
  }
  if (AsksForHelp(command->options, argc, argv)) {
    std::fputs(command->help, stdout);
    return 0;
  }
  return command->run(Parse(name, command->options, argc, argv));
}

}  // namespace
}  // namespace urdulex::internal

namespace {

// What `urdu` advises on a failure of the library: which --from reads an
// input that is in another encoding.
std::string Advice(const urdulex::internal::Error& e) {
  std::string advice;
  for (const std::string& encoding : e.encodings()) {
    advice +=
        (advice.empty() ? ": read it with --from " : " or --from ") + encoding;
  }
  return advice;
}

int RunAndReport(int argc, char** argv) {
  try {
    return urdulex::internal::Run(argc, argv);
  } catch (const urdulex::internal::UsageError& e) {
    if (e.message().compare(0, 6, "usage:") == 0) {
      std::fprintf(stderr, "%s\n", e.message().c_str());
    } else {
      std::fprintf(stderr, "urdu: %s\n",
                   urdulex::internal::PlainMessage(e.message()).c_str());
    }
    return urdulex::internal::kExitUsage;
  } catch (const urdulex::internal::Error& e) {
    std::fprintf(stderr, "urdu: %s%s\n",
                 urdulex::internal::PlainMessage(e.message()).c_str(),
                 Advice(e).c_str());
    return urdulex::internal::kExitFailure;
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "urdu: %s\n",
                 urdulex::internal::PlainMessage(e.GetExceptionMsg()).c_str());
    return urdulex::internal::kExitFailure;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "urdu: out of memory\n");
    return urdulex::internal::kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (::fcntl(1, F_GETFD) < 0 && errno == EBADF) {
    urdulex::internal::NoteStandardOutputClosed();
  }
  OpenStandardDescriptors("urdu");
  OutputFile::HandleSignals("urdu");
  urdulex::internal::RefuseThreadsAsTheEnvironmentSays();
  int status = RunAndReport(argc, argv);
  // Text that went through stdio (the help texts) is judged only here: a
  // full disk must not pass for success. A failure already reported keeps
  // its one line.
  errno = 0;
  const bool failed = std::ferror(stdout) != 0;
  if ((std::fclose(stdout) != 0 || failed) && status == 0) {
    if (urdulex::internal::StandardOutputClosed()) {
      std::fprintf(stderr, "urdu: standard output is closed\n");
    } else {
      std::fprintf(stderr, "urdu: cannot write standard output: %s\n",
                   errno != 0 ? std::strerror(errno) : "write error");
    }
    status = urdulex::internal::kExitFailure;
  }
  return status;
}
