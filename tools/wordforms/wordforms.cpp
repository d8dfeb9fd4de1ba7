// wordforms: builds, dumps and checks word-form table files.
//
//   wordforms build LIST -o FILE [--slots N | --load L]
//   wordforms dump FILE
//   wordforms check FILE
//
// LIST holds diacritized words, one a line, in UTF-8 or in UTF-16 with its
// byte-order mark, each optionally followed by tab-separated id, tag and
// flag. Exit status 0 on success, 1 on failure (one line on standard error),
// 2 on wrong usage.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "diacritizer/WordFormFormat.h"
#include "foundation/FileWriter.h"
#include "script/LexEnigneUtility.h"
#include "tools/wordforms/WordFormTable.h"

namespace {

const char kProgram[] = "wordforms";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr double kDefaultLoad = 0.8;

// Ends the program with one line on standard error.
class Failure {
 public:
  explicit Failure(std::string message, int status = kExitFailure)
      : message(std::move(message)), status(status) {}
  std::string message;
  int status;
};

[[noreturn]] void Usage() {
  throw Failure(
      "usage: wordforms build LIST -o FILE [--slots N | --load L] | "
      "dump FILE | check FILE",
      kExitUsage);
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw Failure(name + ": cannot open");
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (in.bad()) throw Failure(name + ": read error");
  return bytes;
}

std::vector<std::wstring> DecodeLines(const std::string& name,
                                      const std::string& bytes) {
  std::vector<std::wstring> lines;
  std::string error;
  if (!wordform::DecodeTextLines(bytes, &lines, &error)) {
    throw Failure(name + ":" + error);
  }
  return lines;
}

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring TrimBlanks(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Parses a decimal field within [low, high]; -1 is accepted for the id.
bool ParseNumber(const std::wstring& field, long long low, long long high,
                 long long* value) {
  std::string text;
  for (wchar_t c : TrimBlanks(field)) {
    if (c > 0x7F) return false;
    text.push_back(static_cast<char>(c));
  }
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

int Build(const std::vector<std::string>& args) {
  std::string list, output;
  long long slots = 0;
  double load = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (a == "--slots" && i + 1 < args.size()) {
      char* end = nullptr;
      slots = std::strtoll(args[++i].c_str(), &end, 10);
      if (*end != '\0' || slots < 1) {
        throw Failure("--slots wants a positive number", kExitUsage);
      }
    } else if (a == "--load" && i + 1 < args.size()) {
      char* end = nullptr;
      load = std::strtod(args[++i].c_str(), &end);
      if (*end != '\0' || !(load > 0 && load <= 1)) {
        throw Failure("--load wants a number in (0, 1]", kExitUsage);
      }
    } else if (list.empty() && !a.empty() && a[0] != '-') {
      list = a;
    } else {
      Usage();
    }
  }
  if (list.empty() || output.empty() || (slots != 0 && load != 0)) Usage();

  const std::vector<std::wstring> lines = DecodeLines(list, ReadFile(list));
  wordform::WordFormTableBuilder builder;
  size_t skipped[8] = {0};
  size_t blank = 0;
  for (size_t n = 0; n < lines.size(); ++n) {
    std::vector<std::wstring> fields(1);
    for (wchar_t c : lines[n]) {
      if (c == L'\t') {
        fields.emplace_back();
      } else {
        fields.back().push_back(c);
      }
    }
    const std::wstring word = TrimBlanks(fields[0]);
    const std::string where = list + ":" + std::to_string(n + 1) + ": ";
    if (word.empty() && fields.size() == 1) {
      ++blank;
      continue;
    }
    if (fields.size() > 4) throw Failure(where + "more than four fields");
    long long id = 0xFFFFFFFFll, tag = 0, flag = 0;
    if (fields.size() > 1 && !ParseNumber(fields[1], -1, 0xFFFFFFFFll, &id)) {
      throw Failure(where + "id is not a number from -1 to 4294967295");
    }
    if (fields.size() > 2 && !ParseNumber(fields[2], 0, 255, &tag)) {
      throw Failure(where + "tag is not a number from 0 to 255");
    }
    if (fields.size() > 3 && !ParseNumber(fields[3], 0, 255, &flag)) {
      throw Failure(where + "flag is not a number from 0 to 255");
    }
    wordform::SkipReason reason =
        builder.Add(word, static_cast<uint32_t>(id), static_cast<uint8_t>(tag),
                    static_cast<uint8_t>(flag));
    ++skipped[static_cast<int>(reason)];
  }
  int64_t table_slots =
      slots != 0 ? slots
                 : builder.SlotsForLoad(load != 0 ? load : kDefaultLoad);
  std::string bytes, error;
  if (!builder.Build(table_slots, &bytes, &error)) throw Failure(error);

  // The table goes out through the library's writer: mark, then raw bytes.
  FileWriter writer;
  if (!writer.Open(output, FileWriter::UNICODE, false) ||
      !writer.Write(bytes.data() + wordform::kMarkSize,
                    static_cast<int>(bytes.size() - wordform::kMarkSize)) ||
      !writer.Close()) {
    throw Failure(output + ": cannot write");
  }

  std::ostringstream summary;
  summary << kProgram << ": " << builder.size() << " forms in " << table_slots
          << " slots (load "
          << static_cast<double>(builder.size()) /
                 static_cast<double>(table_slots)
          << ") written to " << output;
  size_t total_skipped = 0;
  for (int r = 1; r < 8; ++r) total_skipped += skipped[r];
  summary << "; skipped " << total_skipped;
  for (int r = 1; r < 8; ++r) {
    if (skipped[r] != 0) {
      summary << ", " << skipped[r] << " "
              << wordform::SkipReasonName(static_cast<wordform::SkipReason>(r));
    }
  }
  if (blank != 0) summary << "; " << blank << " blank lines";
  std::fprintf(stderr, "%s\n", summary.str().c_str());
  return 0;
}

wordform::TableImage LoadImage(const std::string& name) {
  wordform::TableImage image;
  std::string error;
  if (!wordform::ParseTableImage(ReadFile(name), &image, &error)) {
    throw Failure(name + ": " + error);
  }
  return image;
}

int Dump(const std::string& name) {
  const wordform::TableImage image = LoadImage(name);
  std::string out;
  for (size_t s = 0; s < image.records.size(); ++s) {
    const wordform::TableRecord& r = image.records[s];
    if (r.next == wordform::kUnusedSlot) continue;
    out += wordform::DumpLine(s, r);
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (std::fflush(stdout) != 0) throw Failure("cannot write standard output");
  return 0;
}

int Check(const std::string& name) {
  const wordform::TableImage image = LoadImage(name);
  wordform::TableSummary summary;
  std::string error;
  if (!wordform::CheckTableImage(image, &summary, &error)) {
    throw Failure(name + ": " + error);
  }
  std::printf("%s: %d slots, %zu records, longest chain %zu, load %.3f\n",
              name.c_str(), summary.slots, summary.records,
              summary.longest_chain,
              static_cast<double>(summary.records) / summary.slots);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) Usage();
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "build") return Build(args);
    if (command == "dump" && args.size() == 1) return Dump(args[0]);
    if (command == "check" && args.size() == 1) return Check(args[0]);
    Usage();
  } catch (const Failure& f) {
    if (f.status == kExitUsage && f.message.rfind("usage:", 0) == 0) {
      std::fprintf(stderr, "%s\n", f.message.c_str());
    } else {
      std::fprintf(stderr, "%s: %s\n", kProgram, f.message.c_str());
    }
    return f.status;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
    return kExitFailure;
  }
}
