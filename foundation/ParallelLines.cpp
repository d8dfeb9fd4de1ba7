#include "foundation/ParallelLines.h"

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

namespace urdu {

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

uint64_t CountLineEnds(const char* data, size_t n, LineUnit unit) {
  if (unit == LineUnit::kByte) {
    return static_cast<uint64_t>(std::count(data, data + n, '\n'));
  }
  uint64_t lines = 0;
  for (size_t i = 0; i + 1 < n; i += 2) lines += IsLineEnd(data + i, unit);
  return lines;
}

// Cuts the sources into blocks, one at a time, on the thread of Run.
class BlockReader {
 public:
  BlockReader(const std::vector<ByteSource*>& sources, size_t block)
      : sources_(sources), block_(block) {}

  // The next block, or false at the end of the last source. Throws what a
  // source throws.
  bool Next(LineBlock* out) {
    LineBlock& b = *out;
    while (input_ < sources_.size()) {
      Fill();
      if (first_ && !unit_known_) {
        unit_ = LineUnitOf(reinterpret_cast<const unsigned char*>(buf_.data()),
                           buf_.size());
        unit_known_ = true;
        scanned_ = 0;
      }
      const size_t unit = UnitSize(unit_);
      size_t cut = LastCut(buf_.data(), scanned_, buf_.size(), unit_);
      if (cut == 0 && !eof_) {
        // A line longer than the block so far: the block grows.
        scanned_ = buf_.size() - buf_.size() % unit;
        want_ = buf_.size() + block_;
        continue;
      }
      if (eof_) cut = buf_.size();
      if (cut > 0) {
        LineSegment s;
        s.input = input_;
        s.begin = b.bytes.size();
        s.size = cut;
        s.offset = offset_;
        s.line = line_;
        s.first = first_;
        s.unit = unit_;
        b.bytes.append(buf_, 0, cut);
        b.segments.push_back(s);
        offset_ += cut;
        line_ += CountLineEnds(buf_.data(), cut, unit_);
        first_ = false;
        buf_.erase(0, cut);
      }
      scanned_ = 0;
      want_ = block_;
      if (!eof_ || !buf_.empty()) return true;
      // The source is done. When it ended inside a line, the next one's
      // first bytes join this block.
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
  // Reads until the buffer holds want_ bytes or the source ends.
  void Fill() {
    ByteSource& source = *sources_[input_];
    while (!eof_ && buf_.size() < want_) {
      const size_t at = buf_.size();
      // Some room at least: a converting source hands out whole
      // characters.
      const size_t n = std::max(std::min(want_ - at, kRead), kLeastRead);
      buf_.resize(at + n);
      const size_t got =
          source.Read(reinterpret_cast<unsigned char*>(&buf_[at]), n);
      buf_.resize(at + got);
      if (got == 0) eof_ = true;
    }
  }

  void NextInput() {
    ++input_;
    buf_.clear();
    eof_ = false;
    first_ = true;
    unit_known_ = false;
    offset_ = 0;
    line_ = 0;
    scanned_ = 0;
    want_ = block_;
  }

  const std::vector<ByteSource*>& sources_;
  const size_t block_;
  size_t input_ = 0;
  std::string buf_;  // bytes of the input read and not yet in a block
  size_t want_ = block_;
  size_t scanned_ = 0;  // bytes of buf_ known to hold no line end
  bool eof_ = false;
  bool first_ = true;
  bool unit_known_ = false;
  LineUnit unit_ = LineUnit::kByte;
  uint64_t offset_ = 0;  // of buf_[0] in the input
  uint64_t line_ = 0;    // line ends before buf_[0]
};

}  // namespace

LineUnit LineUnitOf(const unsigned char* data, size_t n) {
  if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) return LineUnit::kUtf16LE;
  if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) return LineUnit::kUtf16BE;
  return LineUnit::kByte;
}

void ParallelLines::Run(const std::vector<ByteSource*>& sources,
                        const Process& process, const Write& write) {
  const unsigned threads = std::max(1u, options_.threads);
  const size_t in_flight =
      options_.in_flight > 0 ? options_.in_flight : 2 * size_t{threads};
  BlockReader reader(sources, std::max<size_t>(options_.block, 2));

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
  for (unsigned i = 0; i < threads; ++i) crew.threads.emplace_back(worker, i);

  std::exception_ptr read_error;
  bool end = false;
  uint64_t number = 0;
  while (true) {
    while (!end && order.size() < in_flight) {
      std::unique_ptr<Slot> slot(new Slot);
      try {
        end = !reader.Next(&slot->block);
      } catch (...) {
        read_error = std::current_exception();
        end = true;
      }
      if (end) break;
      slot->block.number = number++;
      std::lock_guard<std::mutex> lock(mutex);
      waiting.push_back(slot.get());
      order.push_back(std::move(slot));
      work.notify_one();
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

}  // namespace urdu
