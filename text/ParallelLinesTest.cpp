#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/Threads.h"
#include "text/ParallelLines.h"

namespace urdulex::internal {
namespace {

// A source that hands out its bytes `piece` at a time, and may fail at the
// end instead of ending.
class SlowSource : public ByteSource {
 public:
  SlowSource(std::string bytes, bool fail, size_t piece)
      : bytes_(std::move(bytes)), fail_(fail), piece_(piece) {}
  size_t Read(unsigned char* buffer, size_t n) override {
    const size_t k = std::min({n, bytes_.size() - at_, piece_});
    if (k == 0 && fail_) throw Error("source failed");
    std::copy(bytes_.data() + at_, bytes_.data() + at_ + k, buffer);
    at_ += k;
    return k;
  }
  const std::string& name() const override { return name_; }

 private:
  std::string bytes_;
  bool fail_;
  size_t piece_;
  size_t at_ = 0;
  std::string name_ = "slow";
};

// Line ends in `bytes`, as units of `unit`.
long LineEnds(const std::string& bytes, LineUnit unit) {
  if (unit == LineUnit::kByte)
    return std::count(bytes.begin(), bytes.end(), '\n');
  long n = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    n += unit == LineUnit::kUtf16LE ? bytes[i] == '\n' && bytes[i + 1] == 0
                                    : bytes[i] == 0 && bytes[i + 1] == '\n';
  }
  return n;
}

TEST(ParallelLinesTest, BlocksCutAfterLineEndsAndComeBackInOrder) {
  const std::string lines = "one\ntwo\r\nthree\n\nfour five six\nseven";
  // LF units in either order and units holding the byte 0A, over many
  // eight-byte words.
  std::string units;
  for (int i = 0; i < 60; ++i) {
    static const char kUnits[][2] = {
        {'\n', 0}, {0x0A, 0x0A}, {0, '\n'}, {'a', 0}, {0x0A, 0x06}};
    units.append(kUnits[i * 7 % 5], 2);
  }
  // Lines of units holding the byte 0A, longer than a block, in either
  // order: their line ends are met wherever the reads cut them.
  std::string long_le = "\xFF\xFE", long_be = "\xFE\xFF";
  for (int line = 0; line < 6; ++line) {
    for (int i = 0; i < 30 + line; ++i) {
      long_le.append(i % 3 == 0 ? "\x0A\x06" : i % 3 == 1 ? "\0\n" : "\n\n", 2);
      long_be.append(i % 3 == 0 ? "\x06\x0A" : i % 3 == 1 ? "\n\0" : "\n\n", 2);
    }
    long_le.append("\n\0", 2);
    long_be.append("\0\n", 2);
  }
  const struct {
    const char* what;
    std::vector<std::string> inputs;
    size_t block;
  } kCases[] = {
      {"small blocks", {lines}, 5},
      {"one block", {lines}, 1 << 20},
      {"a line longer than a block", {std::string(100, 'x') + "\ny\n"}, 8},
      {"inputs ending inside a line join the next",
       {"a\nb", "c\nd", "", "\n", "e"},
       2},
      // 0A 00 (LE) and 00 0A (BE) at odd offsets are no line ends.
      {"UTF-16LE",
       {std::string("\xFF\xFE"
                    "a\0"
                    "\x41\x0A"
                    "\0\x06"
                    "\n\0"
                    "b\0"
                    "\n\0"
                    "c\0",
                    16)},
       2},
      {"UTF-16BE",
       {std::string("\xFE\xFF"
                    "\0a"
                    "\x06\0"
                    "\x0A\x41"
                    "\0\n"
                    "\0b"
                    "\0\n",
                    14)},
       3},
      {"UTF-16LE, long blocks", {"\xFF\xFE" + units}, 24},
      {"UTF-16BE, long blocks", {"\xFE\xFF" + units}, 40},
      {"UTF-16LE, a line longer than a block", {long_le}, 8},
      {"UTF-16BE, a line longer than a block", {long_be}, 8},
      {"empty inputs", {"", ""}, 4},
      {"blocks full of line ends", {std::string(5000, '\n') + "x\n"}, 2100},
  };
  // Each also with the lines longer than a block streamed, one at a time.
  for (const auto& c : kCases) {
    for (unsigned run = 0; run < 4; ++run) {
      const unsigned threads = run % 2 == 0 ? 1 : 3;
      const bool streams = run >= 2;
      std::vector<std::unique_ptr<SlowSource>> owned;
      std::vector<ByteSource*> sources;
      for (const std::string& input : c.inputs) {
        owned.emplace_back(new SlowSource(input, false, 7));
        sources.push_back(owned.back().get());
      }
      std::vector<std::string> rebuilt(c.inputs.size());
      // Where a part of an input goes, checked against what came before.
      const auto add = [&](const LineSegment& s, const std::string& part) {
        std::string& before = rebuilt[s.input];
        EXPECT_EQ(before.size(), s.offset) << c.what;
        EXPECT_EQ(before.empty(), s.first) << c.what;
        EXPECT_EQ(LineEnds(before, s.unit), static_cast<long>(s.line))
            << c.what;
        before += part;
        // Only an input's last part may end inside a line.
        const bool whole = before.size() == c.inputs[s.input].size();
        if (!whole) {
          EXPECT_EQ(LineEnds(before, s.unit),
                    LineEnds(before.substr(0, before.size() - 1), s.unit) + 1)
              << c.what;
        }
      };
      ParallelLines::Stream stream;
      size_t streamed = 0;
      if (streams) {
        stream = [&](const LineSegment& s, ByteSource& line) {
          std::string part;
          unsigned char bytes[3];
          while (size_t n = line.Read(bytes, sizeof bytes)) {
            part.append(bytes, bytes + n);
          }
          EXPECT_LE(LineEnds(part, s.unit), 1) << c.what;
          add(s, part);
          ++streamed;
        };
      }
      uint64_t next = 0;
      ParallelLines::Options options;
      options.threads = threads;
      options.block = c.block;
      ParallelLines(options).Run(
          sources,
          [](unsigned worker, LineBlock& block) {
            ASSERT_LT(worker, 3u);
            block.output.assign(block.bytes.begin(), block.bytes.end());
          },
          [&](LineBlock& block) {
            EXPECT_EQ(next++, block.number) << c.what;
            EXPECT_EQ(std::string(block.bytes.begin(), block.bytes.end()),
                      block.output)
                << c.what;
            for (const LineSegment& s : block.segments) {
              add(s, std::string(block.bytes.data() + s.begin, s.size));
            }
          },
          stream);
      EXPECT_EQ(c.inputs, rebuilt) << c.what << ", " << threads << " threads";
      if (streams && c.block == 8) {
        EXPECT_GT(streamed, 0u) << c.what;
      }
    }
  }
}

TEST(ParallelLinesTest, TheFirstFailureInInputOrderWins) {
  const std::string text = "a\nb\nc\nd\ne\nf\n";
  const struct {
    const char* what;
    char fail_on;     // a block holding this letter throws
    bool read_fails;  // the source fails at its end
    const char* written;
    const char* error;
  } kCases[] = {
      {"a worker fails", 'c', false, "a\nb\n", "block c"},
      {"the first of two failing blocks", 'b', false, "a\n", "block b"},
      {"the source fails after every block", 0, true, "a\nb\nc\nd\ne\nf\n",
       "source failed"},
      {"a block fails before the source", 'e', true, "a\nb\nc\nd\n", "block e"},
  };
  for (const auto& c : kCases) {
    // A block for each line.
    SlowSource source(text, c.read_fails, 2);
    std::string written, error;
    ParallelLines::Options options;
    options.threads = 2;
    options.block = 2;
    try {
      ParallelLines(options).Run(
          {&source},
          [&](unsigned, LineBlock& block) {
            if (std::count(block.bytes.begin(), block.bytes.end(), c.fail_on)) {
              throw Error(std::string("block ") + c.fail_on);
            }
            block.output.assign(block.bytes.begin(), block.bytes.end());
          },
          [&](LineBlock& block) { written += block.output; });
    } catch (const Error& e) {
      error = e.message();
    }
    EXPECT_EQ(c.written, written) << c.what;
    EXPECT_EQ(c.error, error) << c.what;
  }
}

TEST(ParallelLinesTest, ThreadsTheSystemRefusesLeaveTheOutputAsItWas) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\n";
  text += "last, no line end";
  // What `threads` give with the threads from the `refuse_from`th on
  // refused (-1: none), a block holding `fail_on` failing.
  const auto run = [&](unsigned threads, long refuse_from, char fail_on) {
    SlowSource source(text, false, 5);
    std::string written;
    ParallelLines::Options options;
    options.threads = threads;
    options.block = 16;
    RefuseThreadsFrom(refuse_from);
    try {
      ParallelLines(options).Run(
          {&source},
          [&](unsigned worker, LineBlock& block) {
            EXPECT_LT(static_cast<long>(worker), std::max(refuse_from, 1L));
            const std::string bytes(block.bytes.begin(), block.bytes.end());
            if (bytes.find(fail_on) != bytes.npos) {
              throw Error(std::string(1, fail_on));
            }
            block.output = bytes;
          },
          [&](LineBlock& block) { written += block.output; });
    } catch (const Error& e) {
      written += "|" + e.message();
    }
    RefuseThreadsFrom(-1);
    return written;
  };
  for (char fail_on : {'\0', '7'}) {
    const std::string one = run(1, -1, fail_on);
    for (long refuse_from : {0L, 1L, 3L}) {
      EXPECT_EQ(one, run(4, refuse_from, fail_on))
          << "refused from " << refuse_from << ", failing on " << fail_on;
    }
  }
}

}  // namespace
}  // namespace urdulex::internal
