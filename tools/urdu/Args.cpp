#include "tools/urdu/Args.h"

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

}  // namespace

void Misuse(const std::string& command, const std::string& why) {
  throw UsageError(command + ": " + why + " (see urdu " + command + " --help)");
}

bool AsksForHelp(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0) {
      return true;
    }
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
      Misuse(command, "unknown " + command + " command " + args.subcommand);
    }
    first = 3;
  }
  std::set<std::string> valued, optional, flags;
  if ((options.common & Options::kText) != 0) {
    valued.insert({"-o", "--from"});
    flags.insert({"--utf16", "--lenient", "--progress", "--no-progress"});
  }
  if ((options.common & Options::kThreads) != 0) valued.insert("-j");
  for (std::string option : Words(options.valued)) {
    if (option.back() == '?') {
      option.pop_back();
      optional.insert(option);
    }
    valued.insert(option);
  }
  for (const std::string& flag : Words(options.flags)) {
    const size_t colon = flag.find(':');
    if (colon == std::string::npos) {
      flags.insert(flag);
    } else if (flag.compare(0, colon, args.subcommand) == 0 &&
               colon == args.subcommand.size()) {
      flags.insert(flag.substr(colon + 1));
    }
  }
  std::vector<std::string> words(argv + first, argv + argc);
  // An option that may come without a value, and does (it is last, or
  // before another option), is taken as NAME= .
  for (size_t i = 0; i < words.size(); ++i) {
    if (optional.count(words[i]) != 0 &&
        (i + 1 == words.size() || words[i + 1][0] == '-')) {
      words[i] += '=';
    }
  }
  bool more_options = true;
  for (size_t i = 0; i < words.size(); ++i) {
    std::string a = words[i];
    if (a == "-f") a = "--from";
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
    const size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      has_value = true;
    }
    if (valued.count(a) != 0) {
      if (!has_value) {
        if (i + 1 >= words.size()) Misuse(command, a + " wants a value");
        value = words[++i];
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

}  // namespace urdulex::internal
