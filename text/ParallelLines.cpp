#include "text/ParallelLines.h"

#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/Threads.h"
#include "foundation/Utf8.h"

namespace urdulex::internal {

namespace {

// Most bytes asked of a source at a time while a block fills.
constexpr size_t kRead = 1 << 20;
constexpr size_t kLeastRead = 16;

size_t UnitSize(LineUnit unit) { return unit == LineUnit::kByte ? 1 : 2; }

bool IsLineEnd(const char* p, LineUnit unit) {
  switch (unit) {
    case LineUnit::kByte:
      return p[0] == '\n';
    case LineUnit::kUtf16LE:
      return p[0] == '\n' && p[1] == '\0';
    case LineUnit::kUtf16BE:
      return p[0] == '\0' && p[1] == '\n';
  }
  return false;
}

// The end of the last line end in `data[from, n)`, both multiples of the
// unit size; 0 when there is none.
size_t LastCut(const char* data, size_t from, size_t n, LineUnit unit) {
  if (unit == LineUnit::kByte) {
    for (size_t i = n; i > from; --i) {
      if (data[i - 1] == '\n') return i;
    }
    return 0;
  }
  for (size_t i = n - n % 2; i >= from + 2; i -= 2) {
    if (IsLineEnd(data + i - 2, unit)) return i;
  }
  return 0;
}

// LF bytes in `data[0, n)`, eight at a time: the counter of each byte
// lane gains 1 where the byte is LF.
uint64_t CountLfBytes(const char* data, size_t n) {
  uint64_t lines = 0;
  size_t i = 0;
  while (n - i >= 8) {
    // Lanes count to at most 255 before they are summed.
    const size_t end = i + 8 * std::min<size_t>((n - i) / 8, 255);
    uint64_t lanes = 0;
    for (; i < end; i += 8) {
      uint64_t word;
      std::memcpy(&word, data + i, 8);
      lanes += utf8::LineFeedBytes(word);
    }
    // The lanes summed in pairs (at most 510 each), then the pairs.
    constexpr uint64_t kEven = 0x00FF00FF00FF00FFULL;
    const uint64_t pairs = (lanes & kEven) + ((lanes >> 8) & kEven);
    lines += (pairs * 0x0001000100010001ULL) >> 48;
  }
  for (; i < n; ++i) lines += data[i] == '\n';
  return lines;
}

uint64_t CountLineEnds(const char* data, size_t n, LineUnit unit) {
  if (unit == LineUnit::kByte) return CountLfBytes(data, n);
  uint64_t lines = 0;
  size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Four units at a time: a unit that is LF turns to zero, and the top
  // bit of each 16-bit lane tells whether the lane holds anything else.
  const uint64_t lf = unit == LineUnit::kUtf16LE ? 0x000A000A000A000AULL
                                                 : 0x0A000A000A000A00ULL;
  constexpr uint64_t kLow = 0x7FFF7FFF7FFF7FFFULL;
  constexpr uint64_t kOnes = 0x0001000100010001ULL;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    const uint64_t v = word ^ lf;
    const uint64_t other = ((v | ((v & kLow) + kLow)) >> 15) & kOnes;
    lines += 4 - ((other * kOnes) >> 48);
  }
#endif
  for (; i + 1 < n; i += 2) lines += IsLineEnd(data + i, unit);
  return lines;
}

// Cuts the sources into blocks, one at a time, on the thread of Run. The
// bytes are read straight into the block; only the unfinished line at its
// end is copied, to start the next one. With `streams`, a line longer than
// a block is handed out as a long line instead: its first bytes, then the
// rest read by ReadLine.
class BlockReader {
 public:
  BlockReader(const std::vector<ByteSource*>& sources, size_t block,
              bool streams)
      : sources_(sources), block_(block), streams_(streams) {}

  // Whether the block Next gave is a long line's start (it holds no
  // bytes then): the line is read by ReadLine and closed by EndLine.
  bool long_line() const { return long_; }
  const LineSegment& line_segment() const { return line_segment_; }
  const std::string& line_name() const { return sources_[input_]->name(); }

  // Up to `n` bytes of the long line into `out`, the line end the last;
  // 0 at its end. Throws what a source throws.
  size_t ReadLine(unsigned char* out, size_t n) {
    if (line_done_ || n == 0) return 0;
    size_t got;
    bool from_head = head_at_ < head_.size();
    if (from_head) {
      got = std::min(n, head_.size() - head_at_);
      std::memcpy(out, head_.data() + head_at_, got);
      head_at_ += got;
    } else {
      got = eof_ ? 0 : sources_[input_]->Read(out, n);
      if (got == 0) {
        eof_ = true;
        line_done_ = true;
        return 0;
      }
    }
    const size_t end = LineEndIn(reinterpret_cast<const char*>(out), got);
    if (end < got) {
      // The bytes after the line end start the next block.
      if (from_head) {
        head_at_ -= got - end;
      } else {
        carry_.insert(carry_.end(), out + end, out + got);
      }
    }
    prev_ = static_cast<char>(out[end - 1]);
    line_bytes_ += end;
    return end;
  }

  // Ends the long line, read to its end: the next block starts after it.
  void EndLine() {
    carry_.insert(carry_.begin(),
                  head_.begin() + static_cast<ptrdiff_t>(head_at_),
                  head_.end());
    head_.clear();
    head_at_ = 0;
    offset_ += line_bytes_;
    if (ended_) ++line_;
    first_ = false;
    // An input that ends inside the line: its next input's first line
    // goes the same way, where a block would hold both.
    stream_next_ =
        !ended_ && line_bytes_ > 0 && eof_ && input_ + 1 < sources_.size();
    if (stream_next_) NextInput();
    long_ = false;
  }

  // The next block into `out` (empty, its buffers kept), or false at the
  // end of the last source. Throws what a source throws.
  bool Next(LineBlock* out) {
    LineBlock& b = *out;
    while (input_ < sources_.size()) {
      const size_t start = b.bytes.size();
      b.bytes.insert(b.bytes.end(), carry_.begin(), carry_.end());
      carry_.clear();
      size_t want = block_;
      size_t scanned = 0;  // bytes from `start` known to hold no line end
      size_t cut = 0;
      while (true) {
        Fill(&b.bytes, start + want);
        const char* data = b.bytes.data() + start;
        const size_t n = b.bytes.size() - start;
        if (!unit_known_) {
          unit_ = LineUnitOf(reinterpret_cast<const unsigned char*>(data), n);
          unit_known_ = true;
        }
        if (stream_next_ && start == 0) return Long(&b);
        cut = eof_ ? n : LastCut(data, scanned, n, unit_);
        if (cut > 0 || eof_) break;
        if (streams_ && start == 0 && b.segments.empty()) return Long(&b);
        // A line longer than the block so far: the block grows.
        scanned = n - n % UnitSize(unit_);
        want = n + block_;
      }
      carry_.assign(b.bytes.begin() + static_cast<ptrdiff_t>(start + cut),
                    b.bytes.end());
      b.bytes.resize(start + cut);
      if (cut > 0) {
        LineSegment s;
        s.input = input_;
        s.begin = start;
        s.size = cut;
        s.offset = offset_;
        s.line = line_;
        s.first = first_;
        s.unit = unit_;
        b.segments.push_back(s);
        offset_ += cut;
        line_ += CountLineEnds(b.bytes.data() + start, cut, unit_);
        first_ = false;
      }
      if (!eof_) return true;
      // The source is done. When it ended inside a line, the next one's
      // first bytes join this block.
      const size_t unit = UnitSize(unit_);
      const bool open =
          cut > 0 &&
          (cut < unit ||
           !IsLineEnd(b.bytes.data() + b.bytes.size() - unit, unit_));
      NextInput();
      if (!open && !b.segments.empty()) return true;
    }
    return !b.segments.empty();
  }

 private:
  // Reads until `bytes` holds `size` bytes or the source ends.
  void Fill(Bytes* bytes, size_t size) {
    ByteSource& source = *sources_[input_];
    while (!eof_ && bytes->size() < size) {
      const size_t at = bytes->size();
      // Some room at least: a converting source hands out whole
      // characters.
      const size_t n = std::max(std::min(size - at, kRead), kLeastRead);
      bytes->resize(at + n);
      const size_t got =
          source.Read(reinterpret_cast<unsigned char*>(bytes->data() + at), n);
      bytes->resize(at + got);
      if (got == 0) eof_ = true;
    }
  }

  // Makes the bytes of `b`, which start a line, a long line's first.
  bool Long(LineBlock* b) {
    head_.swap(b->bytes);
    b->bytes.clear();
    head_at_ = 0;
    line_bytes_ = 0;
    line_done_ = false;
    ended_ = false;
    stream_next_ = false;
    long_ = true;
    line_segment_ = LineSegment();
    line_segment_.input = input_;
    line_segment_.offset = offset_;
    line_segment_.line = line_;
    line_segment_.first = first_;
    line_segment_.unit = unit_;
    return true;
  }

  // The end of the long line's line end in `data[0, n)`, the bytes after
  // line_bytes_ of it; `n` when there is none. Sets line_done_ and ended_
  // when there is.
  size_t LineEndIn(const char* data, size_t n) {
    if (unit_ == LineUnit::kByte) {
      const void* lf = std::memchr(data, '\n', n);
      if (lf == nullptr) return n;
      line_done_ = ended_ = true;
      return static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
    }
    // Units start at even offsets of the line (and of the input): a unit
    // ends at byte i when line_bytes_ + i is odd. A unit begun in the last
    // read ends at byte 0; the others are found by their byte LF.
    const size_t odd = line_bytes_ % 2 == 0 ? 1 : 0;
    const auto ends_line = [&](size_t i) {
      const char pair[2] = {i > 0 ? data[i - 1] : prev_, data[i]};
      return IsLineEnd(pair, unit_);
    };
    if (odd == 0 && n > 0 && ends_line(0)) {
      line_done_ = ended_ = true;
      return 1;
    }
    const size_t after = unit_ == LineUnit::kUtf16LE ? 1 : 0;  // the LF
    for (size_t from = 0; from < n;) {
      const void* hit = std::memchr(data + from, '\n', n - from);
      if (hit == nullptr) break;
      const size_t i =
          static_cast<size_t>(static_cast<const char*>(hit) - data) + after;
      if (i < n && i % 2 == odd && ends_line(i)) {
        line_done_ = ended_ = true;
        return i + 1;
      }
      from = i - after + 1;
    }
    return n;
  }

  void NextInput() {
    ++input_;
    eof_ = false;
    first_ = true;
    unit_known_ = false;
    offset_ = 0;
    line_ = 0;
  }

  const std::vector<ByteSource*>& sources_;
  const size_t block_;
  const bool streams_;
  // The long line: its bytes read into a block, those of them handed out,
  // and those after, up to its end.
  bool long_ = false;
  LineSegment line_segment_;
  Bytes head_;
  size_t head_at_ = 0;
  uint64_t line_bytes_ = 0;
  char prev_ = 0;             // its last byte handed out
  bool line_done_ = false;    // read to its end
  bool ended_ = false;        // by a line end
  bool stream_next_ = false;  // the next input's first line is long too
  size_t input_ = 0;
  Bytes carry_;  // the input's bytes read after the last block's cut
  bool eof_ = false;
  bool first_ = true;
  bool unit_known_ = false;
  LineUnit unit_ = LineUnit::kByte;
  uint64_t offset_ = 0;  // of carry_[0] in the input
  uint64_t line_ = 0;    // line ends before carry_[0]
};

// A long line, for the Stream of Run.
class LongLine : public ByteSource {
 public:
  explicit LongLine(BlockReader& reader) : reader_(reader) {}
  size_t Read(unsigned char* buffer, size_t n) override {
    return reader_.ReadLine(buffer, n);
  }
  const std::string& name() const override { return reader_.line_name(); }

 private:
  BlockReader& reader_;
};

}  // namespace

LineUnit LineUnitOf(const unsigned char* data, size_t n) {
  if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) return LineUnit::kUtf16LE;
  if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) return LineUnit::kUtf16BE;
  return LineUnit::kByte;
}

void ParallelLines::Run(const std::vector<ByteSource*>& sources,
                        const Process& process, const Write& write,
                        const Stream& stream) {
  const unsigned threads = std::max(1u, options_.threads);
  BlockReader reader(sources, std::max<size_t>(options_.block, 2),
                     stream != nullptr);

  struct Slot {
    LineBlock block;
    bool done = false;
  };
  std::mutex mutex;
  std::condition_variable work, finished;
  std::deque<Slot*> waiting;                // read, for a worker to take
  std::deque<std::unique_ptr<Slot>> order;  // read and not yet written
  bool stop = false;

  const auto worker = [&](unsigned index) {
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
      work.wait(lock, [&] { return stop || !waiting.empty(); });
      if (stop) return;
      Slot* slot = waiting.front();
      waiting.pop_front();
      lock.unlock();
      try {
        process(index, slot->block);
      } catch (...) {
        slot->block.error = std::current_exception();
      }
      lock.lock();
      slot->done = true;
      finished.notify_all();
    }
  };

  // Stops and joins the workers however Run ends.
  struct Crew {
    std::mutex& mutex;
    std::condition_variable& work;
    bool& stop;
    std::vector<std::thread> threads;
    ~Crew() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
      }
      work.notify_all();
      for (std::thread& t : threads) t.join();
    }
  } crew{mutex, work, stop, {}};
  // The threads the system gives, if fewer; with none, the blocks are
  // processed here as they are read, one at a time.
  for (unsigned i = 0; i < threads; ++i) {
    if (!StartThread(&crew.threads, [&worker, i] { worker(i); })) break;
  }
  const size_t started = crew.threads.size();
  size_t in_flight =
      options_.in_flight > 0 ? options_.in_flight : 2 * size_t{threads};
  if (started < threads) {
    in_flight = std::min(in_flight, 2 * std::max<size_t>(started, 1));
  }
  if (started == 0) in_flight = 1;

  std::vector<std::unique_ptr<Slot>> spare;  // written, for reuse
  std::exception_ptr read_error;
  bool end = false;
  bool long_line = false;  // read up to one, which waits for the blocks
  uint64_t number = 0;
  while (true) {
    while (!end && !long_line && order.size() < in_flight) {
      std::unique_ptr<Slot> slot;
      if (spare.empty()) {
        slot.reset(new Slot);
      } else {
        slot = std::move(spare.back());
        spare.pop_back();
      }
      try {
        end = !reader.Next(&slot->block);
      } catch (...) {
        read_error = std::current_exception();
        end = true;
      }
      if (end) break;
      if (reader.long_line()) {
        long_line = true;
        spare.push_back(std::move(slot));
        break;
      }
      slot->block.number = number++;
      if (started == 0) {
        try {
          process(0, slot->block);
        } catch (...) {
          slot->block.error = std::current_exception();
        }
        slot->done = true;
        order.push_back(std::move(slot));
        continue;
      }
      std::lock_guard<std::mutex> lock(mutex);
      waiting.push_back(slot.get());
      order.push_back(std::move(slot));
      work.notify_one();
    }
    if (order.empty() && long_line) {
      // Every block before it is written: the workers wait.
      LongLine line(reader);
      stream(reader.line_segment(), line);
      // What the stream left unread.
      unsigned char rest[1 << 12];
      while (line.Read(rest, sizeof rest) > 0) {
      }
      reader.EndLine();
      long_line = false;
      continue;
    }
    if (order.empty()) break;
    std::unique_ptr<Slot> head;
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return order.front()->done; });
      head = std::move(order.front());
      order.pop_front();
    }
    if (head->block.error) std::rethrow_exception(head->block.error);
    write(head->block);
    // Its buffers serve again, so that memory is not asked of the system
    // (and cleared by it) for every block.
    head->done = false;
    head->block.bytes.clear();
    head->block.segments.clear();
    head->block.output.clear();
    spare.push_back(std::move(head));
  }
  if (read_error) std::rethrow_exception(read_error);
}

size_t SegmentSource::Read(unsigned char* buffer, size_t n) {
  const size_t k = std::min(n, size_ - at_);
  std::memcpy(buffer, data_ + at_, k);
  at_ += k;
  return k;
}

void ResumeAt(const LineSegment& segment, TextReader* reader) {
  if (segment.first) return;
  static const TextDecoder::Form kForms[] = {
      TextDecoder::kUtf8, TextDecoder::kUtf16LE, TextDecoder::kUtf16BE};
  reader->Resume(kForms[static_cast<int>(segment.unit)], segment.offset,
                 segment.line);
}

struct TextBlocks::WorkerSink : ByteSink {
  void Write(const char* data, size_t n) override {
    if (through != nullptr) {
      through->Write(data, n);
    } else {
      bytes.append(data, n);
    }
  }
  std::string bytes;
  ByteSink* through = nullptr;
};

TextBlocks::TextBlocks(const ParallelLines::Options& options,
                       TextWriter::Encoding encoding, bool lenient)
    : options_(options), encoding_(encoding), lenient_(lenient) {
  options_.threads = std::max(1u, options_.threads);
}

TextBlocks::~TextBlocks() = default;

void TextBlocks::Run(const std::vector<ByteSource*>& sources, const Body& body,
                     const Write& write,
                     const std::function<ByteSink*()>& stream) {
  const unsigned threads = options_.threads;
  replaced_.assign(threads, std::vector<uint64_t>(sources.size()));
  std::vector<WorkerSink> sinks(threads);
  std::vector<std::unique_ptr<TextWriter>> writers;
  for (WorkerSink& sink : sinks) {
    writers.emplace_back(new TextWriter(sink, encoding_));
    writers.back()->OmitMark();
  }
  ParallelLines::Stream streamed;
  if (stream) {
    streamed = [&](const LineSegment& segment, ByteSource& line) {
      ByteSink* to = stream();
      TextReader reader(line, lenient_);
      ResumeAt(segment, &reader);
      sinks[0].through = to;
      body(0, reader, *writers[0], segment.line);
      writers[0]->Finish();
      sinks[0].through = nullptr;
      replaced_[0][segment.input] += reader.replaced();
    };
  }
  ParallelLines(options_).Run(
      sources,
      [&](unsigned worker, LineBlock& block) {
        WorkerSink& sink = sinks[worker];
        TextWriter& out = *writers[worker];
        sink.bytes.swap(block.output);  // its buffer, from an earlier block
        for (const LineSegment& segment : block.segments) {
          SegmentSource source(block, segment, sources[segment.input]->name());
          TextReader reader(source, lenient_);
          ResumeAt(segment, &reader);
          body(worker, reader, out, segment.line);
          replaced_[worker][segment.input] += reader.replaced();
        }
        out.Finish();  // hands over what it holds; it can go on
        block.output.swap(sink.bytes);
      },
      [&](LineBlock& block) {
        write(block.output.data(), block.output.size());
      },
      streamed);
}

uint64_t TextBlocks::replaced(size_t input) const {
  uint64_t n = 0;
  for (const auto& by_input : replaced_) n += by_input[input];
  return n;
}

unsigned ThreadsFor(unsigned jobs) {
  if (jobs > 0) return jobs;
  unsigned cores = 0;
#ifdef __linux__
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
    cores = static_cast<unsigned>(CPU_COUNT(&set));
  }
#endif
  if (cores == 0) cores = std::thread::hardware_concurrency();
  return std::max(1u, cores);
}

}  // namespace urdulex::internal
