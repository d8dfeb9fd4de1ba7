// urdu table: build, dump or check a word-form table.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableCheck.h"
#include "diacritizer/TableFormat.h"
#include "foundation/Quote.h"
#include "text/CanonicalKey.h"
#include "text/TextIO.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kTableHelp[] =
    "usage: urdu table build [LIST] [-o FILE] [--slots N | --load L]\n"
    "                        [--skipped FILE] [--exclude-uncertain]\n"
    "       urdu table dump [FILE] [-o OUT]\n"
    "       urdu table check [FILE] [-o OUT]\n"
    "Builds a word-form table from a list of diacritized words, prints it\n"
    "as text, or checks it. build names every word it does not store as\n"
    "LIST:LINE: word: reason, on standard error or into --skipped FILE,\n"
    "and will not write the table to a terminal (status 2).\n"
    "--exclude-uncertain leaves out the forms of flag 4, the less certain\n"
    "vocalizations of the shipped lexicon.\n";

namespace {

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

}  // namespace

int RunTable(const Arguments& args) {
  const std::string& what = args.subcommand;
  if (args.files.size() > 1) Misuse("table", "one file at most");
  const std::string input = args.files.empty() ? "-" : args.files[0];
  const std::string output = args.Value("-o", "-");
  RunFiles files;
  files.Input(what == "build" ? "word list" : "word-form table", input);
  AddOutput(files, "output", output);
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
    if (skipped_name == "-" && StandardOutputClosed()) {
      throw Error("standard output is closed");
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
    const uint8_t leave_out = args.Has("--exclude-uncertain") ? 4 : 0;
    const wordform::Status built = wordform::BuildTableFromList(
        list_name, ReadTableBytes(input), slots, load, &build, leave_out,
        AppendCanonicalKey);
    if (!built.ok()) throw Error(built.message());
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
  const std::string table = ReadTableBytes(input);
  // A check refuses bad links before a record is made for every slot (a
  // sparse file of millions of zero slots costs a few bytes a slot).
  if (what == "check") {
    const wordform::Status links = wordform::CheckTableLinks(table);
    if (!links.ok()) throw Error(name + ": " + links.message());
  }
  const wordform::Status parsed = wordform::ParseTableImage(table, &image);
  if (!parsed.ok()) throw Error(name + ": " + parsed.message());
  std::string text;
  if (what == "check") {
    wordform::TableSummary summary;
    const wordform::Status checked = wordform::CheckTableImage(image, &summary);
    if (!checked.ok()) throw Error(name + ": " + checked.message());
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

}  // namespace urdulex::internal
