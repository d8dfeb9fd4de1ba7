// diacritizer INPUT OUTPUT
//
// Restores the diacritics of the words of INPUT, a 16-bit Unicode file with
// one word a line, from the word-form table "wordformshashtable.lex" in the
// working directory, and writes OUTPUT in the same form (mark FF FE, lines
// separated by CR LF): one line per input line, the word with its
// diacritics when the table knows it, else the word trimmed of blanks.
//
// Exit status 0 on success, 1 on any failure, 2 on wrong usage; every
// failure prints one line on standard error. OUTPUT is replaced whole once
// everything was written (foundation/OutputFile.h): a failure or an
// interruption leaves the previous file in place. OUTPUT may be neither the
// input nor the table. A table that does not hold one record per slot of its
// header (cut short, or more records than slots) is refused, on what its one
// read found, and so is an input that changes while it is read.

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormFormat.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/OutputBuffer.h"
#include "foundation/OutputFile.h"
#include "foundation/TARNIException.h"

namespace {

const char kProgram[] = "diacritizer";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Input is read this many bytes at a time (an even number).
constexpr size_t kInputChunkBytes = 1 << 18;
// Input bytes per table slot from which the lookups go through the
// directory of the chains: about a line of one word for every four slots.
constexpr int64_t kInputBytesPerSlotForDirectory = 4;
// Never a 16-bit unit: marks the buffer positions a read did not fill.
constexpr wchar_t kNoUnit = static_cast<wchar_t>(-1);

class InputChanged {};

void Report(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

// Blanks that Trim removes, as UTF-16LE units.
bool IsBlankUnit(const unsigned char* p) {
  return p[1] == 0 &&
         (p[0] == ' ' || p[0] == '\t' || p[0] == '\r' || p[0] == '\n');
}

// Turns lines into output lines: trims, looks up, writes the separator.
// The lookups run as a pipeline, so that the cache misses of many lines
// overlap: the keys of a group of lines are hashed and what their lookups
// read first is fetched; a few groups later, what they read next (the
// record a walk will compare, or the index entry); a few groups later
// still, the lookups run on what has arrived and the lines are written.
class Diacritizer {
 public:
  Diacritizer(const WordFormLookup& table, OutputBuffer& out)
      : table_(table), out_(out) {}

  // Queues a line of `units` UTF-16LE units; the bytes must stay in place
  // until Flush.
  void Add(const unsigned char* text, size_t units) {
    while (units > 0 && IsBlankUnit(text)) {
      text += 2;
      --units;
    }
    while (units > 0 && IsBlankUnit(text + 2 * (units - 1))) --units;
    const size_t at = added_ % kRing;
    keys_[at] = text;
    units_[at] = units;
    if (++added_ % kGroup == 0) Advance();
  }

  // Writes every queued line.
  void Flush() {
    // The last lines may not fill a group.
    const uint64_t begin = added_ - added_ % kGroup;
    if (begin < added_) Hash(begin, added_);
    SecondStep(added_);
    EmitUpTo(added_);
  }

 private:
  static constexpr uint64_t kGroup = 4;  // lines hashed together
  // Lines between the steps of a lookup, and lines in flight.
  static constexpr uint64_t kSecond = 16;
  static constexpr uint64_t kThird = 32;
  static constexpr size_t kRing = 64;
  static_assert(kThird + kGroup <= kRing, "the ring holds the lines in flight");

  void Hash(uint64_t begin, uint64_t end) {
    const unsigned char* keys[kGroup];
    size_t units[kGroup];
    uint64_t hashes[kGroup];
    const size_t n = static_cast<size_t>(end - begin);
    for (size_t k = 0; k < n; ++k) {
      keys[k] = keys_[(begin + k) % kRing];
      units[k] = units_[(begin + k) % kRing];
    }
    table_.HashMany(keys, units, n, hashes);
    for (size_t k = 0; k < n; ++k) {
      hashes_[(begin + k) % kRing] = hashes[k];
      table_.Prefetch(hashes[k]);
    }
  }

  // A group is complete: hash it, take the next step for the lines
  // kSecond back, finish those kThird back.
  void Advance() {
    // Lines come with their lookups fetched ahead, so that most steps cost
    // this program far less than a cache miss: the index pays later.
    if (steps_ > 4 * WordFormLookup::kIndexAfter *
                     static_cast<uint64_t>(table_.slots())) {
      table_.UseIndex();
      steps_ = 0;
    }
    Hash(added_ - kGroup, added_);
    if (added_ > kSecond) SecondStep(added_ - kSecond);
    if (added_ > kThird) EmitUpTo(added_ - kThird);
  }

  // The second step of the lookups of the lines before `end`.
  void SecondStep(uint64_t end) {
    for (; touched_up_to_ < end; ++touched_up_to_) {
      touched_ += table_.TouchNext(hashes_[touched_up_to_ % kRing], 1);
    }
  }

  void EmitUpTo(uint64_t end) {
    for (; emitted_ < end; ++emitted_) Emit(emitted_ % kRing);
  }

  void Emit(size_t k) {
    static const unsigned char kSeparator[4] = {'\r', 0, '\n', 0};
    if (!first_) out_.Bytes(kSeparator, sizeof(kSeparator));
    first_ = false;
    size_t bytes = 0;
    const unsigned char* found = table_.Find(keys_[k], units_[k], hashes_[k],
                                             room_, &bytes, &steps_);
    if (found != nullptr) {
      out_.Bytes(found, bytes);
    } else {
      out_.Bytes(keys_[k], 2 * units_[k]);
    }
  }

  const WordFormLookup& table_;
  OutputBuffer& out_;
  const unsigned char* keys_[kRing] = {};
  size_t units_[kRing] = {};
  uint64_t hashes_[kRing] = {};
  uint64_t added_ = 0;          // lines queued so far
  uint64_t touched_up_to_ = 0;  // lines whose second step was taken
  uint64_t emitted_ = 0;        // lines written
  unsigned char room_[2 * WordFormLookup::kMaxFormUnits];
  uint64_t steps_ = 0;     // slots walked past the home slots
  unsigned touched_ = 0;   // keeps the loads of TouchNext
  bool first_ = true;

 public:
  unsigned touched() const { return touched_; }
};

// The input's 16-bit units after the mark, as UTF-16LE bytes, a chunk at a
// time. The size of the file says how much to read in bulk; whatever else
// there is (a pipe, whose size is unknown, or a file that grew, which is
// refused once read) is read unit by unit, so a trailing odd byte is
// dropped as the reader drops it.
class InputChunks {
 public:
  explicit InputChunks(FileReader& reader) : reader_(reader) {
    int64_t size = reader.FileSize() - 2;
    bulk_left_ = size > 0 ? static_cast<uint64_t>(size) & ~uint64_t{1} : 0;
  }

  // Replaces `chunk` with the next bytes; false at the end of the input.
  bool Next(std::vector<unsigned char>& chunk) {
    chunk.clear();
    if (bulk_left_ > 0) {
      size_t n = bulk_left_ < kInputChunkBytes ? static_cast<size_t>(bulk_left_)
                                               : kInputChunkBytes;
      chunk.resize(n);
      reader_.Read(reinterpret_cast<char*>(chunk.data()), static_cast<int>(n));
      bulk_left_ -= n;
      // A read that falls short means the file shrank while being read; how
      // much arrived is unknown, and a silently shortened output would pass
      // for a good one.
      if (reader_.EoF()) throw InputChanged();
      return true;
    }
    if (reader_.EoF()) return false;
    // Mostly there is nothing left: a small first read spares touching a
    // whole chunk of memory.
    units_.assign(units_.empty() ? 64 : kInputChunkBytes / 2, kNoUnit);
    if (!reader_.Read(units_.data(), static_cast<int>(units_.size()))) {
      return false;
    }
    for (wchar_t u : units_) {
      if (u == kNoUnit) break;
      chunk.push_back(static_cast<unsigned char>(u & 0xFF));
      chunk.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
    }
    return !chunk.empty();
  }

 private:
  FileReader& reader_;
  uint64_t bulk_left_;
  std::vector<wchar_t> units_;  // for the reads unit by unit
};

// One output line per input line: the lines are the pieces between LFs,
// so an input ending in LF ends in an empty line.
void Run(FileReader& reader, const WordFormLookup& table, OutputBuffer& out) {
  Diacritizer diacritizer(table, out);
  InputChunks input(reader);
  std::vector<unsigned char> chunk;
  std::vector<unsigned char> pending;  // start of a line that spans chunks
  while (input.Next(chunk)) {
    const unsigned char* data = chunk.data();
    const size_t size = chunk.size() & ~size_t{1};
    size_t start = 0;  // of the current line
    size_t at = 0;
    while (at < size) {
      const void* hit = std::memchr(data + at, '\n', size - at);
      if (hit == nullptr) break;
      size_t lf =
          static_cast<size_t>(static_cast<const unsigned char*>(hit) - data);
      if (lf % 2 != 0 || data[lf + 1] != 0) {  // a byte of another unit
        at = lf + 1;
        continue;
      }
      if (pending.empty()) {
        diacritizer.Add(data + start, (lf - start) / 2);
      } else {
        diacritizer.Flush();
        pending.insert(pending.end(), data + start, data + lf);
        diacritizer.Add(pending.data(), pending.size() / 2);
        diacritizer.Flush();
        pending.clear();
      }
      start = at = lf + 2;
    }
    diacritizer.Flush();  // the chunk is about to be overwritten
    pending.insert(pending.end(), data + start, data + size);
  }
  diacritizer.Add(pending.data(), pending.size() / 2);
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
  OutputFile::HandleSignals(kProgram);
  try {
    // Refused before anything is read: writing would destroy an input.
    FileIds files;
    files.AddInput(argv[1], "Input");
    files.AddInput(wordform::kFileName, "Word-form table");
    std::string clash, clash_name;
    if (files.Clash(output_name, "output", &clash, &clash_name)) {
      Report(clash + " and output are the same file: " + output_name + ".");
      return kExitFailure;
    }
    // A regular table file is mapped, whatever its size, and looked up in
    // place (WordFormLookup).
    WordFormLookup table;
    std::string rejection;
    switch (table.Open(wordform::kFileName, false, &rejection)) {
      case WordFormLookup::Verdict::kOpen:
        break;
      case WordFormLookup::Verdict::kRejected:
        Report(std::string(wordform::kFileName) + ": " + rejection);
        return kExitFailure;
      case WordFormLookup::Verdict::kExtent:
        // The loader takes a file cut short as a table with unused slots,
        // whose words would silently go unfound. The verdict comes from
        // the one opening, so a FIFO in the table's place is judged the
        // same.
        Report(std::string("Word-form table ") + wordform::kFileName + " " +
               rejection + ".");
        return kExitFailure;
    }

    FileReader reader;
    InputWatch watch;
    watch.Start(argv[1]);
    reader.Open(argv[1], FileReader::UNICODE);
    // An input of a line or more per few slots of the table pays for the
    // directory of its chains (WordFormLookup::UseDirectory).
    if (reader.FileSize() / kInputBytesPerSlotForDirectory >= table.slots()) {
      table.UseDirectory();
    }
    OutputFile output;
    std::string why;
    FileWriter writer;
    if (!output.Begin(output_name, &why) ||
        !writer.Open(output.path(), FileWriter::UNICODE, false)) {
      Report("Could not create output file: " + output_name + ".");
      return kExitFailure;
    }
    OutputBuffer out(writer);
    bool written = true;
    bool changed = false;
    try {
      Run(reader, table, out);
    } catch (const OutputBuffer::WriteError&) {
      written = false;
    } catch (const InputChanged&) {
      changed = true;
    }
    // Bytes of two versions of the input would pass for a good output.
    if (changed || !watch.Unchanged()) {
      Report(std::string("Input file changed while being read: ") + argv[1] +
             ".");
      return kExitFailure;
    }
    // The writer is closed whether or not every write went through.
    if (!writer.Close() || !written || !output.Commit(&why)) {
      Report("Could not write output file: " + output_name + ".");
      return kExitFailure;
    }
    return 0;
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "%s\n", e.GetFormatedExceptionMessage().c_str());
    return kExitFailure;
  } catch (const WordFormLookup::Changed&) {
    Report(std::string("Word-form table ") + wordform::kFileName +
           " changed while being read.");
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    Report("Out of memory.");
    return kExitFailure;
  }
}
