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
// read found, and so is an input or a table that changes while it is read
// (a table replaced by rename is not changed: the run goes on with the file
// it opened).
//
// An input of more than a few megabytes is diacritized on every core the
// process may run on, in blocks of lines written in input order: the same
// output. DIACRITIZER_THREADS sets the number of threads (1 to 1024) for
// every input.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormExtent.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/OutputBuffer.h"
#include "foundation/OutputFile.h"
#include "foundation/ParallelLines.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/Threads.h"

namespace {

const char kProgram[] = "diacritizer";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Input is read this many bytes at a time (an even number).
constexpr size_t kInputChunkBytes = 1 << 18;
// Input bytes per table slot from which the lookups go through the
// directory of the chains: about a line of one word for every four slots.
constexpr int64_t kInputBytesPerSlotForDirectory = 4;
// Inputs larger than this are diacritized on every core the process may
// run on, in blocks of lines (foundation/ParallelLines.h).
constexpr int64_t kInputBytesForThreads = int64_t{4} << 20;
// Bytes of input a block of lines aims at: small blocks keep the threads
// busy to the end and the buffers few.
constexpr size_t kBlockBytes = 1 << 16;
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
//
// Aligned to a cache line, so that two threads' diacritizers never share
// one.
template <typename Out>
class alignas(64) Diacritizer {
 public:
  Diacritizer(const WordFormLookup& table, Out& out)
      : table_(table), out_(out) {}

  // Queues a line of `units` UTF-16LE units, which ended in LF when
  // `line_end` (its output line then ends in CR LF); the bytes must stay in
  // place until Flush.
  void Add(const unsigned char* text, size_t units, bool line_end) {
    while (units > 0 && IsBlankUnit(text)) {
      text += 2;
      --units;
    }
    while (units > 0 && IsBlankUnit(text + 2 * (units - 1))) --units;
    const size_t at = added_ % kRing;
    keys_[at] = text;
    units_[at] = units;
    line_ends_[at] = line_end;
    if (++added_ - hashed_ == kGroup) Advance();
  }

  // Writes every queued line.
  void Flush() {
    // The last lines may not fill a group.
    if (hashed_ < added_) Hash(hashed_, added_);
    hashed_ = added_;
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
    Hash(hashed_, added_);
    hashed_ = added_;
    if (added_ > kSecond) SecondStep(added_ - kSecond);
    if (added_ > kThird) EmitUpTo(added_ - kThird);
  }

  // The second step of the lookups of the lines before `end`.
  void SecondStep(uint64_t end) {
    for (; touched_up_to_ < end; ++touched_up_to_) {
      touched_ += table_.StepAhead(&hashes_[touched_up_to_ % kRing]);
    }
  }

  void EmitUpTo(uint64_t end) {
    for (; emitted_ < end; ++emitted_) Emit(emitted_ % kRing);
  }

  // Writes a line's word, restored in place at the end of the output when
  // the table knows it, and its line end.
  void Emit(size_t k) {
    static const unsigned char kLineEnd[4] = {'\r', 0, '\n', 0};
    const unsigned char* key = keys_[k];
    const size_t units = units_[k];
    if (units > static_cast<size_t>(wordform::kKeyUnits)) {  // no key
      out_.Bytes(key, 2 * units);
      if (line_ends_[k]) out_.Bytes(kLineEnd, sizeof(kLineEnd));
      return;
    }
    unsigned char* room = out_.Room(kRoomBytes);
    size_t bytes = 0;
    const unsigned char* found =
        table_.Find(key, units, hashes_[k], room, &bytes, &steps_);
    if (found == nullptr) {
      found = key;
      bytes = 2 * units;
    }
    if (found != room && bytes > 0) std::memcpy(room, found, bytes);
    if (line_ends_[k]) {
      std::memcpy(room + bytes, kLineEnd, sizeof(kLineEnd));
      bytes += sizeof(kLineEnd);
    }
    out_.Commit(bytes);
  }

  // A restored form and a line end.
  static constexpr size_t kRoomBytes = 2 * WordFormLookup::kMaxFormUnits + 4;
  static_assert(kRoomBytes <= OutputBuffer::kRoomBytes, "a line fits");

  const WordFormLookup& table_;
  Out& out_;
  const unsigned char* keys_[kRing] = {};
  size_t units_[kRing] = {};
  bool line_ends_[kRing] = {};
  uint64_t hashes_[kRing] = {};
  uint64_t added_ = 0;          // lines queued so far
  uint64_t hashed_ = 0;         // lines hashed
  uint64_t touched_up_to_ = 0;  // lines whose second step was taken
  uint64_t emitted_ = 0;        // lines written
  uint64_t steps_ = 0;          // slots walked past the home slots
  unsigned touched_ = 0;        // keeps the loads of StepAhead

 public:
  unsigned touched() const { return touched_; }
};

// The input's 16-bit units after the mark, as UTF-16LE bytes. The size of
// the file says how much to read in bulk; whatever else there is (a pipe,
// whose size is unknown, or a file that grew, which is refused once read) is
// read unit by unit, so a trailing odd byte is dropped as the reader drops
// it. With `mark`, the bytes start with the mark FF FE, as the file does,
// for the block reader of the threads to tell the input's line ends.
class InputBytes : public urdu::ByteSource {
 public:
  InputBytes(FileReader& reader, const std::string& name, bool mark)
      : reader_(reader), name_(name) {
    int64_t size = reader.FileSize() - 2;
    bulk_left_ = size > 0 ? static_cast<uint64_t>(size) & ~uint64_t{1} : 0;
    if (mark) tail_ = {0xFF, 0xFE};
  }

  // Up to `n` bytes; a whole number of units when `n` is even. 0 at the
  // end of the input.
  size_t Read(unsigned char* buffer, size_t n) override {
    if (tail_at_ == tail_.size() && bulk_left_ > 0) {
      const size_t k = bulk_left_ < n ? static_cast<size_t>(bulk_left_) : n;
      reader_.Read(reinterpret_cast<char*>(buffer), static_cast<int>(k));
      bulk_left_ -= k;
      // A read that falls short means the file shrank while being read;
      // how much arrived is unknown, and a silently shortened output would
      // pass for a good one.
      if (reader_.EoF()) throw InputChanged();
      return k;
    }
    if (tail_at_ == tail_.size()) {
      tail_.clear();
      tail_at_ = 0;
      if (reader_.EoF()) return 0;
      // Mostly there is nothing left: a small first read spares touching a
      // whole chunk of memory.
      units_.assign(units_.empty() ? 64 : kInputChunkBytes / 2, kNoUnit);
      if (!reader_.Read(units_.data(), static_cast<int>(units_.size()))) {
        return 0;
      }
      for (wchar_t u : units_) {
        if (u == kNoUnit) break;
        tail_.push_back(static_cast<unsigned char>(u & 0xFF));
        tail_.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
      }
    }
    const size_t k = std::min(n, tail_.size() - tail_at_);
    std::memcpy(buffer, tail_.data() + tail_at_, k);
    tail_at_ += k;
    return k;
  }
  const std::string& name() const override { return name_; }

 private:
  FileReader& reader_;
  const std::string name_;
  uint64_t bulk_left_;
  std::vector<unsigned char> tail_;  // bytes to hand out before reading
  size_t tail_at_ = 0;
  std::vector<wchar_t> units_;  // for the reads unit by unit
};

// Where the first LF unit of `data[from, size)` starts (`from` even), or
// `size`.
size_t FindLineEnd(const unsigned char* data, size_t size, size_t from) {
  while (from < size) {
    const void* hit = std::memchr(data + from, '\n', size - from);
    if (hit == nullptr) break;
    const size_t lf =
        static_cast<size_t>(static_cast<const unsigned char*>(hit) - data);
    if (lf % 2 == 0 && lf + 1 < size && data[lf + 1] == 0) return lf;
    from = lf + 1;  // a byte of another unit
  }
  return size;
}

// Queues the lines of `data[0, size)` (whole units) that end in LF; returns
// where the rest starts.
template <typename Out>
size_t AddLines(const unsigned char* data, size_t size,
                Diacritizer<Out>& diacritizer) {
  size_t start = 0;
  while (true) {
    const size_t lf = FindLineEnd(data, size, start);
    if (lf == size) return start;
    diacritizer.Add(data + start, (lf - start) / 2, true);
    start = lf + 2;
  }
}

// The threads DIACRITIZER_THREADS asks for: 0 when it is unset or empty,
// -1 when it holds no number from 1 to 1024.
int ThreadsAskedFor() {
  const char* jobs = std::getenv("DIACRITIZER_THREADS");
  if (jobs == nullptr || *jobs == '\0') return 0;
  char* end = nullptr;
  const unsigned long n = std::strtoul(jobs, &end, 10);
  if (*end != '\0' || n < 1 || n > 1024 || jobs[0] == '-') return -1;
  return static_cast<int>(n);
}

// One output line per input line: the lines are the pieces between LFs,
// so an input ending in LF ends in an empty line.
void Run(InputBytes& input, const WordFormLookup& table, OutputBuffer& out) {
  Diacritizer<OutputBuffer> diacritizer(table, out);
  std::vector<unsigned char> chunk(kInputChunkBytes);
  std::vector<unsigned char> pending;  // start of a line that spans chunks
  size_t size;
  while ((size = input.Read(chunk.data(), chunk.size())) > 0) {
    const unsigned char* data = chunk.data();
    size_t start = 0;
    if (!pending.empty()) {
      const size_t lf = FindLineEnd(data, size, 0);
      pending.insert(pending.end(), data, data + lf);
      if (lf == size) continue;
      diacritizer.Add(pending.data(), pending.size() / 2, true);
      diacritizer.Flush();
      pending.clear();
      start = lf + 2;
    }
    start += AddLines(data + start, size - start, diacritizer);
    diacritizer.Flush();  // the chunk is about to be overwritten
    pending.assign(data + start, data + size);
  }
  diacritizer.Add(pending.data(), pending.size() / 2, false);
  diacritizer.Flush();
  out.Flush();
}

// The output of a block in the making: bytes that are kept from block to
// block, so that they are neither asked of the system nor cleared again.
struct alignas(64) BlockBytes {
  urdu::Bytes bytes;
  size_t used = 0;
};

// Appends to a block's output, one a thread, each on cache lines of its
// own: most pieces are short, and are copied without a call.
class alignas(64) BlockOutput {
 public:
  static constexpr size_t kAhead = 4096;
  void Begin(BlockBytes* block, size_t expected) {
    block_ = block;
    if (block->bytes.size() < expected) {
      // Nothing to keep: fresh bytes rather than a copy.
      urdu::Bytes fresh;
      fresh.resize(std::max(expected, 2 * block->bytes.size()));
      block->bytes.swap(fresh);
    }
    data_ = block->bytes.data();
    room_ = block->bytes.size();
    used_ = 0;
    cleared_ = 0;
  }
  void Bytes(const void* data, size_t n) {
    std::memcpy(Room(n), data, n);
    Commit(n);
  }
  // As OutputBuffer's.
  unsigned char* Room(size_t n) {
    if (room_ - used_ < n) Grow(n);
    if (used_ + n > cleared_) Clear(used_ + n);
    return reinterpret_cast<unsigned char*>(data_) + used_;
  }
  void Commit(size_t n) { used_ += n; }
  void End() { block_->used = used_; }

 private:
  void Grow(size_t n) {
    block_->bytes.resize(2 * (used_ + n));
    data_ = block_->bytes.data();
    room_ = block_->bytes.size();
  }

  // Clears the bytes up to `end` and a little past: the short copies then
  // find their cache lines at hand, which the processor's way of clearing
  // takes far more cheaply than a copy that misses.
  void Clear(size_t end) {
    const size_t to = std::min(room_, end + kAhead);
    std::memset(data_ + cleared_, 0, to - cleared_);
    cleared_ = to;
  }

  BlockBytes* block_ = nullptr;
  char* data_ = nullptr;
  size_t room_ = 0;
  size_t used_ = 0;
  size_t cleared_ = 0;
};

// The same on `threads` threads, in blocks of whole lines, written in input
// order: the same bytes.
void RunThreaded(InputBytes& input, const WordFormLookup& table,
                 OutputBuffer& out, unsigned threads) {
  std::vector<BlockOutput> outputs(threads);
  std::vector<std::unique_ptr<Diacritizer<BlockOutput>>> workers;
  for (BlockOutput& output : outputs) {
    workers.emplace_back(new Diacritizer<BlockOutput>(table, output));
  }
  urdu::ParallelLines::Options options;
  options.threads = threads;
  options.block = kBlockBytes;
  // The blocks read and not yet written have numbers that differ modulo
  // this: each has its output bytes.
  options.in_flight = 2 * size_t{threads};
  std::vector<BlockBytes> written(options.in_flight);
  // A hidden knob for the tests: small blocks on small inputs.
  if (const char* block = std::getenv("DIACRITIZER_BLOCK_BYTES")) {
    options.block = std::strtoul(block, nullptr, 10);
  }
  urdu::ParallelLines(options).Run(
      {&input},
      [&](unsigned worker, urdu::LineBlock& block) {
        BlockOutput& output = outputs[worker];
        // Room for the diacritics of most inputs.
        output.Begin(&written[block.number % written.size()],
                     2 * block.bytes.size());
        Diacritizer<BlockOutput>& diacritizer = *workers[worker];
        for (const urdu::LineSegment& segment : block.segments) {
          const unsigned char* data =
              reinterpret_cast<const unsigned char*>(block.bytes.data()) +
              segment.begin;
          size_t size = segment.size;
          if (segment.first) {  // the mark
            data += 2;
            size -= 2;
          }
          // A block ends after a line end but at the end of the input.
          const size_t start = AddLines(data, size, diacritizer);
          diacritizer.Add(data + start, (size - start) / 2, false);
          diacritizer.Flush();
        }
        output.End();
      },
      [&](urdu::LineBlock& block) {
        const BlockBytes& output = written[block.number % written.size()];
        out.FlushWith(output.bytes.data(), output.used);
      });
  out.Flush();
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors(kProgram);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", kProgram);
    return kExitUsage;
  }
  const int asked = ThreadsAskedFor();
  if (asked < 0) {
    Report("DIACRITIZER_THREADS wants a number of threads from 1 to 1024.");
    return kExitUsage;
  }
  const std::string output_name = argv[2];
  OutputFile::HandleSignals(kProgram);
  urdu::RefuseThreadsAsTheEnvironmentSays();
  try {
    // Refused before anything is read: writing would destroy an input.
    FileIds files;
    files.AddInput(argv[1], "Input");
    files.AddInput(wordform::kFileName, "Word-form table");
    std::string clash, clash_name;
    if (files.Clash(output_name, "output", &clash, &clash_name)) {
      Report(clash + " and output are the same file: " +
             urdu::QuoteName(output_name) + ".");
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
    // Every core for a large input, unless told otherwise.
    const unsigned threads = asked > 0 ? static_cast<unsigned>(asked)
                             : reader.FileSize() > kInputBytesForThreads
                                 ? urdu::ThreadsFor(0)
                                 : 1;
    // An input of a line or more per few slots of the table pays for the
    // directory of its chains (WordFormLookup::UseDirectory).
    if (reader.FileSize() / kInputBytesPerSlotForDirectory >= table.slots()) {
      table.UseDirectory(threads);
    }
    OutputFile output;
    std::string why;
    FileWriter writer;
    if (!output.Begin(output_name, &why) ||
        !writer.Open(output.fd(), FileWriter::UNICODE)) {
      Report("Could not create output file: " + urdu::QuoteName(output_name) +
             ".");
      return kExitFailure;
    }
    OutputBuffer out(writer);
    bool written = true;
    bool changed = false;
    InputBytes input(reader, argv[1], threads > 1);
    try {
      if (threads > 1) {
        RunThreaded(input, table, out, threads);
      } else {
        Run(input, table, out);
      }
    } catch (const OutputBuffer::WriteError&) {
      written = false;
    } catch (const InputChanged&) {
      changed = true;
    }
    // Bytes of two versions of the input would pass for a good output.
    if (changed || !watch.Unchanged()) {
      Report("Input file changed while being read: " +
             urdu::QuoteName(argv[1]) + ".");
      return kExitFailure;
    }
    // Nor would lookups in two versions of the table (a file rewritten in
    // place under the mapping).
    if (!table.Unchanged()) throw WordFormLookup::Changed();
    // The writer is closed whether or not every write went through.
    if (!writer.Close() || !written || !output.Commit(&why)) {
      Report("Could not write output file: " + urdu::QuoteName(output_name) +
             ".");
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
