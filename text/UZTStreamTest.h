// What the tests of the UZT stream encoder and decoder share: the test
// mapping installed in a utility, random text over its characters, and the
// capture of a whole-stream conversion's outcome.

#ifndef URDULEX_TEXT_UZTSTREAMTEST_H_
#define URDULEX_TEXT_UZTSTREAMTEST_H_

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "text/UZTStream.h"

namespace urdulex::internal {

class UZTStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mapping_.Load(URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt");
    mapping_.Install(util_);
    for (wchar_t c = 1; c <= 0xFFFF; ++c) {
      if (mapping_.PlateClass(c) != UZTMapping::kNoClass)
        alphabet_.push_back(c);
    }
  }

  // Random text biased towards plate changes and fixed sequences.
  std::wstring RandomText(size_t length) {
    static const std::wstring hot =
        L"  \x0621\x0626\x06D3\x06C2\x06C1\x06D2\x0640[]|aZ7  9 ";
    std::wstring text;
    while (text.size() < length) {
      text.push_back(rng_() % 2 ? hot[rng_() % hot.size()]
                                : alphabet_[rng_() % alphabet_.size()]);
    }
    return text;
  }

  UZTMapping mapping_;
  LexEnigneUtility util_;
  std::vector<wchar_t> alphabet_;
  std::mt19937 rng_{12345};
};

// The whole-stream conversions take a direct path until the first failure;
// what they give must be what the stream coders alone give. Runs `run`,
// which returns the count replaced and writes to `*bytes`; the result is
// the bytes, or the StreamError where and what, and the count.
template <typename Run>
std::string Capture(std::string* bytes, Run&& run) {
  bytes->clear();
  try {
    const uint64_t replaced = run();
    return *bytes + "|" + std::to_string(replaced);
  } catch (const StreamError& e) {
    return std::to_string(e.offset) + ":" + std::to_string(e.line) + ":" +
           std::to_string(e.column) + " " + e.message();
  }
}

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UZTSTREAMTEST_H_
