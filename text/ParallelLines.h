// Line filters on several cores: the inputs are read in blocks cut right
// after a line end, the blocks are handed to worker threads, and their
// results are written strictly in input order, so that the output is the
// one a single thread would give. At most a few blocks are in flight, so
// memory does not grow with the input: a line longer than a block is
// taken as one thread takes it, streamed to its end on the thread of Run
// (or, for a caller that streams nothing, makes its block as long as the
// line).
//
// A block never ends inside a line. Blocks usually hold the bytes of one
// input; when an input does not end with a line end, its last bytes and the
// next input's first line travel in one block, so that a filter that
// carries state from one input to the next (a writer remembering a CR)
// sees them together, as it would in one thread.
//
// Failures: the first failure in input order wins. A worker's exception is
// kept with its block and thrown from Run once every block before it has
// been written; a failed read of an input is thrown once every block
// before it has been written. Nothing after the failure is written.

#ifndef URDULEX_TEXT_PARALLELLINES_H_
#define URDULEX_TEXT_PARALLELLINES_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "text/TextIO.h"

namespace urdulex::internal {

// How line ends look in an input's bytes: the byte LF (UTF-8 and the
// encodings like it), or the UTF-16 unit LF in either byte order, at an
// even offset from the start of the input.
enum class LineUnit { kByte, kUtf16LE, kUtf16BE };

// The line unit of an input that starts with `data[0, n)` (at least its
// first two bytes, or all of it): UTF-16 by its byte-order mark, else
// bytes.
LineUnit LineUnitOf(const unsigned char* data, size_t n);

// The bytes of one input within a block.
struct LineSegment {
  size_t input = 0;  // which input, from 0
  size_t begin = 0;  // where they start in the block's bytes
  size_t size = 0;
  uint64_t offset = 0;  // of their first byte in the input
  uint64_t line = 0;    // line ends in the input before them
  bool first = false;   // the input's first bytes
  LineUnit unit = LineUnit::kByte;
};

// Bytes of a block, left uninitialised when the buffer grows.
using Bytes = std::vector<char, DefaultInitAllocator<char>>;

struct LineBlock {
  uint64_t number = 0;  // from 0, in input order
  Bytes bytes;
  std::vector<LineSegment> segments;
  // What the block gives, written in order. Its buffer is kept for a
  // later block: fill it with assign or append (or swap it in and out).
  std::string output;
  std::exception_ptr error;
};

class ParallelLines {
 public:
  struct Options {
    unsigned threads = 2;     // worker threads, at least 1
    size_t block = 1u << 20;  // bytes a block aims at
    size_t in_flight = 0;     // blocks read and not yet written; 0: 2 a thread
  };
  // Fills block.output from block.bytes on worker thread `worker` (0 to
  // threads - 1): work that needs state keeps it per worker.
  using Process = std::function<void(unsigned worker, LineBlock& block)>;
  // Takes a finished block's output, in block order, on the thread of Run.
  using Write = std::function<void(LineBlock& block)>;
  // Takes a line longer than a block, on the thread of Run once every
  // block before it is written and no worker is busy: reads `line`, the
  // bytes of `segment` (its size unknown, 0), to the end (the line end
  // included, or the end of its input), and writes what they give
  // itself. A line that ends its input without a line end has the next
  // input's first line streamed after it, as a block would hold both.
  using Stream =
      std::function<void(const LineSegment& segment, ByteSource& line)>;

  explicit ParallelLines(const Options& options) : options_(options) {}

  // Reads every source in turn, to its end, and runs the blocks through
  // `process` and `write`. Throws the first failure in input order. When
  // the system refuses threads, the work goes on with the workers that
  // started (worker numbers from 0), or with none on the thread of Run:
  // the same output.
  void Run(const std::vector<ByteSource*>& sources, const Process& process,
           const Write& write, const Stream& stream = nullptr);

 private:
  Options options_;
};

// The text of one segment: a byte source over its bytes, named after its
// input, for a TextReader (see TextReader::Resume).
class SegmentSource : public ByteSource {
 public:
  SegmentSource(const LineBlock& block, const LineSegment& segment,
                const std::string& name)
      : data_(block.bytes.data() + segment.begin),
        size_(segment.size),
        name_(name) {}
  size_t Read(unsigned char* buffer, size_t n) override;
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  const std::string& name() const override { return name_; }

 private:
  const char* data_;
  size_t size_;
  size_t at_ = 0;
  const std::string& name_;
};

// Sets `reader`, made on a SegmentSource of `segment`, to decode it as the
// part of its input it is: the form of the input, and the offsets and line
// numbers its messages give. The first segment of an input needs nothing.
void ResumeAt(const LineSegment& segment, TextReader* reader);

// A text filter over ParallelLines: every segment of a block is read by a
// TextReader that resumes where the segment is in its input, and written
// by its worker's TextWriter into the block's output. A worker keeps its
// writer from block to block, as a single thread keeps its one writer (a
// block starts after a line end, where a writer holds nothing), and
// worker 0's writes a line longer than a block straight to the output.
class TextBlocks {
 public:
  // Filters `reader` to `out` on worker `worker`; `line` counts the line
  // ends of the input before the reader's first byte.
  using Body = std::function<void(unsigned worker, TextReader& reader,
                                  TextWriter& out, uint64_t line)>;
  // Takes the filtered bytes in input order (perhaps none), on the
  // thread of Run.
  using Write = std::function<void(const char* data, size_t n)>;

  // `lenient` readers replace what does not decode; the writers write
  // `encoding` without its mark, which the output gets once.
  TextBlocks(const ParallelLines::Options& options,
             TextWriter::Encoding encoding, bool lenient);
  ~TextBlocks();

  // Filters every source in turn, as ParallelLines::Run. With `stream`, a
  // line longer than a block is filtered on worker 0 to the sink `stream`
  // returns, called once before each such line; without, its block grows
  // to hold it.
  void Run(const std::vector<ByteSource*>& sources, const Body& body,
           const Write& write,
           const std::function<ByteSink*()>& stream = nullptr);

  // Invalid sequences the readers replaced in input `input`.
  uint64_t replaced(size_t input) const;

 private:
  struct WorkerSink;
  ParallelLines::Options options_;
  TextWriter::Encoding encoding_;
  bool lenient_;
  std::vector<std::vector<uint64_t>> replaced_;  // by worker, by input
};

// The number of threads to use for `jobs` (0: the cores this process may
// run on).
unsigned ThreadsFor(unsigned jobs);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_PARALLELLINES_H_
