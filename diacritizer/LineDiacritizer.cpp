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

// A line taken piece by piece (one that spans input chunks, or a block):
// written as Lines writes it, holding no more than a key's worth of
// characters and the blanks after the last character written.
template <typename Out>
class LineStream {
 public:
  LineStream(Lines<Out>& lines, Out& out) : lines_(lines), out_(out) {}

  // Takes the next `units` UTF-16LE units of the line.
  void Add(const unsigned char* text, size_t units) {
    while (!long_ && units > 0) {  // a key, or the start of a longer line
      const bool blank = IsBlankUnit(text);
      if (!held_.empty() || !blank) {
        held_.insert(held_.end(), text, text + 2);
        if (!blank) word_end_ = held_.size();
        if (word_end_ > 2 * static_cast<size_t>(wordform::kKeyUnits)) {
          lines_.Flush();  // what was queued comes first
          out_.Bytes(held_.data(), word_end_);
          held_.erase(held_.begin(),
                      held_.begin() + static_cast<ptrdiff_t>(word_end_));
          long_ = true;
        }
      }
      text += 2;
      --units;
    }
    if (units == 0) return;
    // Written up to its last character, the blanks after it held.
    size_t last = units;
    while (last > 0 && IsBlankUnit(text + 2 * (last - 1))) --last;
    if (last > 0) {
      if (!held_.empty()) out_.Bytes(held_.data(), held_.size());
      held_.clear();
      out_.Bytes(text, 2 * last);
    }
    held_.insert(held_.end(), text + 2 * last, text + 2 * units);
  }

  // Ends the line, in LF when `line_end`.
  void End(bool line_end) {
    static const unsigned char kLineEnd[4] = {'\r', 0, '\n', 0};
    if (long_) {
      if (line_end) out_.Bytes(kLineEnd, sizeof(kLineEnd));
    } else {
      lines_.Add(held_.data(), held_.size() / 2, line_end);
      lines_.Flush();
    }
    held_.clear();
    word_end_ = 0;
    long_ = false;
  }

 private:
  Lines<Out>& lines_;
  Out& out_;
  std::vector<unsigned char> held_;
  size_t word_end_ = 0;  // bytes of held_ up to its last non-blank
  bool long_ = false;    // longer than a key: written as it comes
};

void Run(urdulex::internal::ByteSource& input, const WordFormLookup& table,
         OutputBuffer& out) {
  Lines<OutputBuffer> lines(table, out);
  LineStream<OutputBuffer> spanning(lines, out);  // across chunks
  std::vector<unsigned char> chunk(kInputChunkBytes);
  bool within = false;  // a line that spans chunks goes on
  size_t size;
  while ((size = input.Read(chunk.data(), chunk.size())) > 0) {
    const unsigned char* data = chunk.data();
    size_t start = 0;
    if (within) {
      const size_t lf = FindLineEnd(data, size, 0);
      spanning.Add(data, lf / 2);
      if (lf == size) continue;
      spanning.End(true);
      within = false;
      start = lf + 2;
    }
    start += AddLines(data + start, size - start, lines);
    lines.Flush();  // the chunk is about to be overwritten
    if (start < size) {
      spanning.Add(data + start, (size - start) / 2);
      within = true;
    }
  }
  if (within) spanning.End(false);
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
      },
      [&](const urdulex::internal::LineSegment& segment,
          urdulex::internal::ByteSource& line) {
        // Every block before it is written: straight to the output.
        Lines<OutputBuffer> lines(table, out);
        LineStream<OutputBuffer> stream(lines, out);
        std::vector<unsigned char> chunk(kInputChunkBytes);
        size_t kept = 0;  // an odd byte from the read before
        size_t skip = segment.first ? 2 : 0;  // the mark
        size_t got;
        while ((got = line.Read(chunk.data() + kept, chunk.size() - kept)) >
               0) {
          const size_t size = kept + got;
          const size_t even = size & ~size_t{1};
          if (even < skip) {  // not the whole mark yet
            kept = size;
            continue;
          }
          const size_t lf = FindLineEnd(chunk.data(), even, skip);
          stream.Add(chunk.data() + skip, (lf - skip) / 2);
          if (lf < even) {  // the line end, its last bytes
            stream.End(true);
            return;
          }
          kept = size - even;
          if (kept > 0) chunk[0] = chunk[even];
          skip = 0;
        }
        stream.End(false);
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
