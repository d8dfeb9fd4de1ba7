// The command line of one `urdu` command: what it takes, and the words
// given, parsed. Misuse is reported as `urdu` reports it, with a pointer to
// the command's --help.

#ifndef URDULEX_TOOLS_URDU_ARGS_H_
#define URDULEX_TOOLS_URDU_ARGS_H_

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace urdulex::internal {

// What a command takes. Options are listed as words separated by spaces.
struct Options {
  enum Common {
    kNone = 0,
    // The options of every text command: -o and -f/--from with a value;
    // --utf16, --lenient, --progress and --no-progress.
    kText = 1,
    // -j N, the threads of the text commands that run on blocks of lines.
    kThreads = 2,
  };
  int common = kNone;
  // Options with a value, as --name VALUE or --name=VALUE. "NAME?" may also
  // come without one, when it is last or the next word starts with '-': it
  // then has the value "".
  const char* valued = "";
  // Options without a value. "SUB:NAME" is taken only after the
  // subcommand SUB.
  const char* flags = "";
  // When not null, the first word must be one of these ("build dump
  // check"); `question` is the misuse when it is missing.
  const char* subcommands = nullptr;
  const char* question = nullptr;
};

// Parsed command line of one command.
struct Arguments {
  std::string command;
  std::string subcommand;                     // one of Options::subcommands
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

// Wrong usage of `urdu`: exit status kExitUsage, and `message` printed as
// it is when it starts with "usage:", else after "urdu: ".
class UsageError {
 public:
  explicit UsageError(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

// Throws the UsageError "COMMAND: WHY (see urdu COMMAND --help)".
[[noreturn]] void Misuse(const std::string& command, const std::string& why);

// The words argv[2, argc) of `command` (argv[1]) as `options` have them:
// options before and between the files, "--" ending them, "-" standard
// input. A long option may be given by the start of its name, as long as
// no other option starts so (--ambig for --ambiguous); a short one takes
// its value joined to it too (-j4 as -j 4). Throws the misuse of an
// unknown or ambiguous option, of a value missing, of a subcommand missing
// or unknown, or of standard input named twice (as the input, or a file of
// --gold, --table, --rules, --config, --mapping).
Arguments Parse(const std::string& command, const Options& options, int argc,
                char** argv);

// Whether -h, --help or a start of it that no other option of the command
// shares is one of argv[2, argc) before a "--".
bool AsksForHelp(const Options& options, int argc, char** argv);

// The one of `names` that `name` is, or is the start of; "" when none or
// several are.
std::string LongOption(const std::vector<std::string>& names,
                       const std::string& name);

// The one of `names` that `word` is close to: one letter off, or two for
// a name of more than four letters (a swap of two neighbours counting as
// one); "" when none is, or several are.
std::string Closest(const std::string& word,
                    const std::vector<std::string>& names);

// "; did you mean NAME?" for the Closest name, "" when there is none.
std::string DidYouMean(const std::string& word,
                       const std::vector<std::string>& names);

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_URDU_ARGS_H_
