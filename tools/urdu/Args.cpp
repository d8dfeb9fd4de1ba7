#include "tools/urdu/Args.h"

#include <algorithm>
#include <cstring>

namespace urdulex::internal {

namespace {

// The words of a list separated by spaces.
std::vector<std::string> Words(const char* list) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = list;; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*p == '\0') return words;
    } else {
      word += *p;
    }
  }
}

// The options a command takes after `subcommand`; with `every`, those of
// all its subcommands.
struct OptionSet {
  std::set<std::string> valued, optional, flags;
  std::set<std::string> Long() const {
    std::set<std::string> names{"--help"};
    for (const auto* set : {&valued, &flags}) {
      for (const std::string& name : *set) {
        if (name.compare(0, 2, "--") == 0) names.insert(name);
      }
    }
    return names;
  }
};

OptionSet OptionsOf(const Options& options, const std::string& subcommand,
                    bool every) {
  OptionSet set;
  if ((options.common & Options::kText) != 0) {
    set.valued.insert({"-o", "--from"});
    set.flags.insert({"--utf16", "--lenient", "--progress", "--no-progress"});
  }
  if ((options.common & Options::kThreads) != 0) set.valued.insert("-j");
  for (std::string option : Words(options.valued)) {
    if (option.back() == '?') {
      option.pop_back();
      set.optional.insert(option);
    }
    set.valued.insert(option);
  }
  for (const std::string& flag : Words(options.flags)) {
    const size_t colon = flag.find(':');
    if (colon == std::string::npos) {
      set.flags.insert(flag);
    } else if (every || (flag.compare(0, colon, subcommand) == 0 &&
                         colon == subcommand.size())) {
      set.flags.insert(flag.substr(colon + 1));
    }
  }
  return set;
}

// The long options of `names` that `name` stands for: itself when it is
// one, else those it is the start of.
std::vector<std::string> Meant(const std::set<std::string>& names,
                               const std::string& name) {
  if (names.count(name) != 0) return {name};
  std::vector<std::string> meant;
  if (name.size() <= 2) return meant;
  for (const std::string& option : names) {
    if (option.compare(0, name.size(), name) == 0) meant.push_back(option);
  }
  return meant;
}

// "a, b or c" (with `last` " or ").
std::string Choices(const std::vector<std::string>& words,
                    const char* last = " or ") {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? last : ", ";
    text += words[i];
  }
  return text;
}

// The edit distance of `a` and `b`, a swap of two neighbours counting as
// one edit.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1,
                                     std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

void Misuse(const std::string& command, const std::string& why) {
  throw UsageError(command + ": " + why + " (see urdu " + command + " --help)");
}

std::string Closest(const std::string& word,
                    const std::vector<std::string>& names) {
  std::string closest;
  int close = 0;
  for (const std::string& name : names) {
    if (Distance(word, name) <= (name.size() <= 4 ? 1u : 2u)) {
      closest = name;
      ++close;
    }
  }
  return close == 1 ? closest : "";
}

std::string DidYouMean(const std::string& word,
                       const std::vector<std::string>& names) {
  const std::string meant = Closest(word, names);
  return meant.empty() ? "" : "; did you mean " + meant + "?";
}

std::string LongOption(const std::vector<std::string>& names,
                       const std::string& name) {
  const std::vector<std::string> meant =
      Meant(std::set<std::string>(names.begin(), names.end()), name);
  return meant.size() == 1 ? meant[0] : "";
}

bool AsksForHelp(const Options& options, int argc, char** argv) {
  const std::set<std::string> names = OptionsOf(options, "", true).Long();
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") return false;
    if (word == "-h") return true;
    const std::vector<std::string> meant = Meant(names, word);
    if (meant.size() == 1 && meant[0] == "--help") return true;
  }
  return false;
}

Arguments Parse(const std::string& command, const Options& options, int argc,
                char** argv) {
  Arguments args;
  args.command = command;
  int first = 2;
  if (options.subcommands != nullptr) {
    if (argc < 3) Misuse(command, options.question);
    const std::vector<std::string> choices = Words(options.subcommands);
    args.subcommand = argv[2];
    bool known = false;
    for (const std::string& choice : choices)
      known |= choice == args.subcommand;
    if (!known) {
      Misuse(command, "unknown " + command + " command " + args.subcommand +
                          DidYouMean(args.subcommand, choices));
    }
    first = 3;
  }
  const OptionSet set = OptionsOf(options, args.subcommand, false);
  const std::set<std::string> names = set.Long();
  const std::vector<std::string> words(argv + first, argv + argc);
  bool more_options = true;
  for (size_t i = 0; i < words.size(); ++i) {
    std::string a = words[i];
    if (!more_options || a == "-" || a.empty() || a[0] != '-') {
      args.files.push_back(a);
      continue;
    }
    if (a == "--") {
      more_options = false;
      continue;
    }
    std::string value;
    bool has_value = false;
    if (a.compare(0, 2, "--") == 0) {
      // --name=VALUE, and a long option by the start of its name.
      const size_t eq = a.find('=');
      if (eq != std::string::npos) {
        value = a.substr(eq + 1);
        a = a.substr(0, eq);
        has_value = true;
      }
      const std::vector<std::string> meant = Meant(names, a);
      if (meant.size() > 1) {
        Misuse(command, a + " is ambiguous: " + Choices(meant));
      }
      if (meant.size() == 1) a = meant[0];
    } else if (a.size() > 2 && set.valued.count(a.substr(0, 2)) != 0) {
      // -jN, the value of a short option joined to it.
      value = a.substr(2);
      a = a.substr(0, 2);
      has_value = true;
    } else if (a.compare(0, 2, "-f") == 0 && set.valued.count("--from") != 0 &&
               a.size() > 2) {
      value = a.substr(2);
      a = "-f";
      has_value = true;
    }
    if (a == "-f") a = "--from";
    if (set.valued.count(a) != 0) {
      if (!has_value) {
        // An option that may come without a value, and does: it is last,
        // or before another option.
        const bool alone = i + 1 == words.size() ||
                           (words[i + 1][0] == '-' && words[i + 1] != "-");
        if (set.optional.count(a) != 0 && alone) {
          has_value = true;
        } else if (i + 1 >= words.size()) {
          Misuse(command, a + " wants a value");
        } else {
          value = words[++i];
        }
      }
      args.values[a] = value;
    } else if (set.flags.count(a) != 0 && !has_value) {
      args.flags.insert(a);
    } else {
      Misuse(command, "unknown option " + a);
    }
  }
  // Standard input is read once: as the input, or as a file an option
  // names.
  std::vector<std::string> readers;
  for (const char* option :
       {"--gold", "--table", "--rules", "--config", "--mapping"}) {
    if (args.Value(option, "") == "-")
      readers.push_back(option + std::string(" -"));
  }
  bool input = args.files.empty();
  for (const std::string& name : args.files) input |= name == "-";
  if (input) readers.push_back("the input");
  if (readers.size() > 1) {
    Misuse(command, Choices(readers, " and ") +
                        (readers.size() == 2 ? " both" : " all") +
                        " read standard input");
  }
  return args;
}

}  // namespace urdulex::internal
