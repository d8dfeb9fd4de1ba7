#include "diacritizer/LineDiacritizer.h"

#include <cstring>
#include <memory>
#include <vector>

#include "diacritizer/TableFormat.h"
#include "foundation/Error.h"
#include "text/BlockOutput.h"
#include "text/ParallelLines.h"

namespace {

using urdulex::internal::BlockBytes;
using urdulex::internal::BlockOutput;

// Input is read this many bytes at a time (an even number).
constexpr size_t kInputChunkBytes = 1 << 18;
// Inputs larger than this go on every core the process may run on.
constexpr int64_t kInputBytesForThreads = int64_t{4} << 20;

// Blanks that Trim removes, as UTF-16LE units.
bool IsBlankUnit(const unsigned char* p) {
  return p[1] == 0 &&
         (p[0] == ' ' || p[0] == '\t' || p[0] == '\r' || p[0] == '\n');
}

// Turns lines into output lines: trims, looks up, writes the separator.
// The lines are looked up in batches (WordFormLookup::FindMany), whose
// cache misses overlap, and then written.
//
// Aligned to a cache line, so that two threads' diacritizers never share
// one.
template <typename Out>
class alignas(64) Lines {
 public:
  Lines(const WordFormLookup& table, Out& out)
      : table_(table),
        out_(out),
        queries_(new WordFormLookup::Query[kBatch]),
        answers_(new WordFormLookup::Answer[kBatch]),
        line_ends_(new bool[kBatch]),
        room_(new unsigned char[WordFormLookup::RoomBytes(kBatch)]) {}

  // Queues a line of `units` UTF-16LE units, which ended in LF when
  // `line_end` (its output line then ends in CR LF); the bytes must stay in
  // place until Flush.
  void Add(const unsigned char* text, size_t units, bool line_end) {
    while (units > 0 && IsBlankUnit(text)) {
      text += 2;
      --units;
    }
    while (units > 0 && IsBlankUnit(text + 2 * (units - 1))) --units;
    queries_[queued_] = {text, units};
    line_ends_[queued_] = line_end;
    if (++queued_ == kBatch) Flush();
  }

  // Writes every queued line.
  void Flush() {
    if (queued_ == 0) return;
    table_.FindMany(queries_.get(), queued_, answers_.get(), room_.get());
    for (size_t k = 0; k < queued_; ++k) Emit(k);
    queued_ = 0;
  }

 private:
  static constexpr size_t kBatch = 1024;  // lines looked up together

  // Writes a line's word, restored when the table knows it, and its line
  // end.
  void Emit(size_t k) {
    static const unsigned char kLineEnd[4] = {'\r', 0, '\n', 0};
    const WordFormLookup::Query& line = queries_[k];
    const WordFormLookup::Answer& answer = answers_[k];
    if (answer.form == nullptr &&
        line.units > static_cast<size_t>(wordform::kKeyUnits)) {  // no key
      out_.Bytes(line.key, 2 * line.units);
      if (line_ends_[k]) out_.Bytes(kLineEnd, sizeof(kLineEnd));
      return;
    }
    const unsigned char* word = answer.form != nullptr ? answer.form : line.key;
    size_t bytes = 2 * (answer.form != nullptr ? answer.units : line.units);
    unsigned char* room = out_.Room(kRoomBytes);
    if (bytes > 0) std::memcpy(room, word, bytes);
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
  std::unique_ptr<WordFormLookup::Query[]> queries_;
  std::unique_ptr<WordFormLookup::Answer[]> answers_;
  std::unique_ptr<bool[]> line_ends_;
  std::unique_ptr<unsigned char[]> room_;
  size_t queued_ = 0;
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
size_t AddLines(const unsigned char* data, size_t size, Lines<Out>& lines) {
  size_t start = 0;
  while (true) {
    const size_t lf = FindLineEnd(data, size, start);
    if (lf == size) return start;
    lines.Add(data + start, (lf - start) / 2, true);
    start = lf + 2;
  }
}

void Run(urdulex::internal::ByteSource& input, const WordFormLookup& table,
         OutputBuffer& out) {
  Lines<OutputBuffer> lines(table, out);
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
      lines.Add(pending.data(), pending.size() / 2, true);
      lines.Flush();
      pending.clear();
      start = lf + 2;
    }
    start += AddLines(data + start, size - start, lines);
    lines.Flush();  // the chunk is about to be overwritten
    pending.assign(data + start, data + size);
  }
  lines.Add(pending.data(), pending.size() / 2, false);
  lines.Flush();
  out.Flush();
}

void RunThreaded(urdulex::internal::ByteSource& input,
                 const WordFormLookup& table, OutputBuffer& out,
                 const LineRun& run) {
  std::vector<BlockOutput> outputs(run.threads);
  std::vector<std::unique_ptr<Lines<BlockOutput>>> workers;
  for (BlockOutput& output : outputs) {
    workers.emplace_back(new Lines<BlockOutput>(table, output));
  }
  urdulex::internal::ParallelLines::Options options;
  options.threads = run.threads;
  options.block = run.block_bytes;
  // The blocks read and not yet written have numbers that differ modulo
  // this: each has its output bytes.
  options.in_flight = 2 * size_t{run.threads};
  std::vector<BlockBytes> written(options.in_flight);
  urdulex::internal::ParallelLines(options).Run(
      {&input},
      [&](unsigned worker, urdulex::internal::LineBlock& block) {
        BlockOutput& output = outputs[worker];
        // Room for the diacritics of most inputs.
        output.Begin(&written[block.number % written.size()],
                     2 * block.bytes.size());
        Lines<BlockOutput>& lines = *workers[worker];
        for (const urdulex::internal::LineSegment& segment : block.segments) {
          const unsigned char* data =
              reinterpret_cast<const unsigned char*>(block.bytes.data()) +
              segment.begin;
          size_t size = segment.size;
          if (segment.first) {  // the mark
            data += 2;
            size -= 2;
          }
          // A block ends after a line end but at the end of the input.
          const size_t start = AddLines(data, size, lines);
          lines.Add(data + start, (size - start) / 2, false);
          lines.Flush();
        }
        output.End();
      },
      [&](urdulex::internal::LineBlock& block) {
        const BlockBytes& output = written[block.number % written.size()];
        out.FlushWith(output.bytes.data(), output.used);
      });
  out.Flush();
}

}  // namespace

unsigned LineRun::ThreadsFor(int64_t bytes) {
  return bytes > kInputBytesForThreads ? urdulex::internal::ThreadsFor(0) : 1;
}

LinesEnd DiacritizeLines(urdulex::internal::ByteSource& input,
                         const WordFormLookup& table, OutputBuffer& out,
                         const LineRun& run) {
  using urdulex::internal::Error;
  try {
    if (run.threads > 1) {
      RunThreaded(input, table, out, run);
    } else {
      Run(input, table, out);
    }
  } catch (const Error& e) {
    if (e.kind() == Error::kWriteFailed) return LinesEnd::kWriteFailed;
    if (e.kind() == Error::kInputChanged) return LinesEnd::kInputShrank;
    throw;
  }
  return LinesEnd::kWritten;
}
