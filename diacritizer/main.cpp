// diacritizer INPUT OUTPUT
//
// Restores the diacritics of the words of INPUT, a 16-bit Unicode file with
// one word a line, from the word-form table "wordformshashtable.lex" in the
// working directory, and writes OUTPUT in the same form (mark FF FE, lines
// separated by CR LF): one line per input line, the word with its
// diacritics when the table knows it, else the word trimmed of blanks.
//
// Exit status 0 on success, 1 on any failure, 2 on wrong usage; every
// failure prints one line on standard error. The table and the input are
// opened before the output, so a failure there leaves no output file.

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "diacritizer/WordFormFormat.h"
#include "diacritizer/WordFormIndex.h"
#include "diacritizer/hashmain.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/TARNIException.h"

namespace {

const char kProgram[] = "diacritizer";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Input is read this many 16-bit units at a time.
constexpr size_t kInputChunkUnits = 1 << 16;
// Output is handed to the writer in pieces of about this size.
constexpr size_t kOutputFlushBytes = 1 << 18;
// Lines looked up together, so that their cache misses overlap.
constexpr size_t kBatchLines = 16;
// Never a 16-bit unit: marks the buffer positions a read did not fill.
constexpr wchar_t kNoUnit = static_cast<wchar_t>(-1);

class WriteError {};

void Report(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Collects UTF-16LE output and hands it to the writer in large pieces.
class Output {
 public:
  explicit Output(FileWriter& writer) : writer_(writer) {
    buffer_.reserve(kOutputFlushBytes + 256);
  }

  void Bytes(const char* bytes, size_t n) {
    buffer_.append(bytes, n);
    if (buffer_.size() >= kOutputFlushBytes) Flush();
  }

  void Units(const wchar_t* units, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      uint32_t u = static_cast<uint32_t>(units[i]);
      buffer_.push_back(static_cast<char>(u & 0xFF));
      buffer_.push_back(static_cast<char>((u >> 8) & 0xFF));
      if (buffer_.size() >= kOutputFlushBytes) Flush();
    }
  }

  void Flush() {
    if (buffer_.empty()) return;
    if (!writer_.Write(buffer_.data(), static_cast<int>(buffer_.size()))) {
      throw WriteError();
    }
    buffer_.clear();
  }

 private:
  FileWriter& writer_;
  std::string buffer_;
};

// Turns lines into output lines: trims, looks up, writes the separator.
class Diacritizer {
 public:
  Diacritizer(const WordFormIndex& index, Output& out)
      : index_(index), out_(out) {}

  // Queues a line; the text must stay in place until Flush.
  void Add(const wchar_t* text, size_t n) {
    while (n > 0 && IsBlank(*text)) {
      ++text;
      --n;
    }
    while (n > 0 && IsBlank(text[n - 1])) --n;
    Line& line = batch_[count_++];
    line.text = text;
    line.length = n;
    line.hash = WordFormIndex::HashKey(text, n);
    index_.Prefetch(line.hash);
    if (count_ == kBatchLines) Flush();
  }

  void Flush() {
    for (size_t i = 0; i < count_; ++i) Emit(batch_[i]);
    count_ = 0;
  }

 private:
  struct Line {
    const wchar_t* text;
    size_t length;
    uint64_t hash;
  };

  void Emit(const Line& line) {
    static const char kSeparator[4] = {'\r', 0, '\n', 0};
    if (!first_) out_.Bytes(kSeparator, sizeof(kSeparator));
    first_ = false;
    if (index_.built()) {
      size_t bytes = 0;
      const char* found =
          index_.Find(line.text, line.length, line.hash, &bytes);
      if (found != nullptr) {
        out_.Bytes(found, bytes);
        return;
      }
      out_.Units(line.text, line.length);
      return;
    }
    std::wstring result;
    isValidWord(std::wstring(line.text, line.length), result);
    out_.Units(result.data(), result.size());
  }

  const WordFormIndex& index_;
  Output& out_;
  Line batch_[kBatchLines];
  size_t count_ = 0;
  bool first_ = true;
};

// Reads up to `capacity` units; returns how many were read.
size_t ReadChunk(FileReader& reader, wchar_t* buffer, size_t capacity) {
  std::fill(buffer, buffer + capacity, kNoUnit);
  if (!reader.Read(buffer, static_cast<int>(capacity))) return 0;
  if (!reader.EoF()) return capacity;
  return static_cast<size_t>(std::find(buffer, buffer + capacity, kNoUnit) -
                             buffer);
}

// One output line per input line: the lines are the pieces between LFs,
// so an input ending in LF ends in an empty line.
void Run(FileReader& reader, const WordFormIndex& index, Output& out) {
  Diacritizer diacritizer(index, out);
  std::vector<wchar_t> chunk(kInputChunkUnits);
  std::wstring pending;  // start of a line that spans chunks
  while (!reader.EoF()) {
    const size_t count = ReadChunk(reader, chunk.data(), chunk.size());
    const wchar_t* data = chunk.data();
    size_t pos = 0;
    while (pos < count) {
      const wchar_t* lf = std::wmemchr(data + pos, L'\n', count - pos);
      if (lf == nullptr) {
        pending.append(data + pos, count - pos);
        break;
      }
      size_t end = static_cast<size_t>(lf - data);
      if (pending.empty()) {
        diacritizer.Add(data + pos, end - pos);
      } else {
        diacritizer.Flush();
        pending.append(data + pos, end - pos);
        diacritizer.Add(pending.data(), pending.size());
        diacritizer.Flush();
        pending.clear();
      }
      pos = end + 1;
    }
    diacritizer.Flush();  // the chunk is about to be overwritten
  }
  diacritizer.Add(pending.data(), pending.size());
  diacritizer.Flush();
  out.Flush();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", kProgram);
    return kExitUsage;
  }
  const std::string output_name = argv[2];
  try {
    std::string rejection;
    if (!LoadWordFormHashTable(wordform::kFileName, &rejection)) {
      Report(std::string(wordform::kFileName) + ": " + rejection);
      return kExitFailure;
    }
    WordFormIndex index;
    index.Build(wordFormHashTable);

    FileReader reader;
    reader.Open(argv[1], FileReader::UNICODE);
    FileWriter writer;
    if (!writer.Open(output_name, FileWriter::UNICODE, false)) {
      Report("Could not create output file: " + output_name + ".");
      return kExitFailure;
    }
    Output out(writer);
    try {
      Run(reader, index, out);
    } catch (const WriteError&) {
      writer.Close();
      Report("Could not write output file: " + output_name + ".");
      return kExitFailure;
    }
    if (!writer.Close()) {
      Report("Could not write output file: " + output_name + ".");
      return kExitFailure;
    }
    return 0;
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "%s\n", e.GetFormatedExceptionMessage().c_str());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    Report("Out of memory.");
    return kExitFailure;
  }
}
