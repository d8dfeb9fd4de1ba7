// Times Normalization::Normalize (NFC, the shipped Urdu rules) against ICU's
// NFC Normalizer2 on the same generated Urdu text, side by side in one run,
// and prints both speeds in characters per second and their ratio.
//
//   normalization_bench CONFIG [MILLION_CHARACTERS]   (default 50)
//
// The text is lines of Urdu words, with some Arabic letter forms, Arabic-
// Indic digits, letters written as letter + combining mark, and U+06BE
// after a diacritic, so that the rules fire now and then. Both sides are
// handed the text line by line and write into a reused result; the rounds
// alternate and each side keeps its best time.

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "normalization/Normalization.h"

namespace {

constexpr int kRounds = 5;

std::vector<std::wstring> MakeLines(size_t characters) {
  // Urdu words as written; most need no change.
  const std::vector<std::wstring> words = {
      L"\x0627\x0631\x062F\x0648",
      L"\x067E\x0627\x06A9\x0633\x062A\x0627\x0646",
      L"\x06A9\x062A\x0627\x0628",
      L"\x0679\x06BE\x06CC\x06A9",
      L"\x0686\x0627\x0626\x06D2",
      L"\x06AF\x06BE\x0631",
      L"\x0645\x06CC\x06BA",
      L"\x06C1\x06D2",
      L"\x06A9\x06C1",
      L"\x0633\x06D2",
      L"\x0646\x06D2",
      L"\x06A9\x06CC",
      L"\x0627\x0648\x0631",
      L"\x0628\x06BE\x06CC",
      L"\x0634\x06C1\x0631",
      L"\x0632\x0628\x0627\x0646",
      L"\x0622\x067E",
      L"\x0644\x0691\x06A9\x0627",
      L"\x062F\x0646\x06CC\x0627",
      L"\x0645\x0633\x0626\x0644\x06C1",
      L"\x06A9\x0631\x062A\x06D2",
      L"\x06C1\x06CC\x06BA",
      L"\x0648\x0642\x062A",
      L"\x062D\x06A9\x0648\x0645\x062A",
      L"\x0628\x0627\x062A",
      L"\x06AF\x06CC\x0627",
  };
  // Words that the rules change.
  const std::vector<std::wstring> changed = {
      L"\x0643\x062A\x0627\x0628",        // Arabic kaf
      L"\x06C1\x064A\x06BA",              // Arabic yeh
      L"\x0627\x0644\x0644\x0647",        // Arabic heh
      L"\x0661\x0669\x0664\x0667",        // Arabic-Indic digits
      L"\x0627\x0653\x067E",              // alef + madda
      L"\x0633\x0648\x0654\x0627\x0644",  // waw + hamza
      L"\x06AF\x064E\x06BE\x0631",        // U+06BE after a diacritic
      L"\x0639\x0644\x0649",              // alef maksura
  };
  std::mt19937 rng(1);
  std::vector<std::wstring> lines;
  size_t total = 0;
  while (total < characters) {
    std::wstring line;
    const int n = 6 + static_cast<int>(rng() % 10);
    for (int w = 0; w < n; ++w) {
      if (w > 0) line += L' ';
      line += rng() % 20 == 0 ? changed[rng() % changed.size()]
                              : words[rng() % words.size()];
    }
    line += L'\x06D4';
    total += line.size();
    lines.push_back(line);
  }
  return lines;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr,
                 "usage: normalization_bench CONFIG [MILLION_CHARACTERS]\n");
    return 2;
  }
  const size_t millions = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 50;

  Normalization front;
  if (!front.Initialize(argv[1])) {
    std::fprintf(stderr, "normalization_bench: %s\n",
                 front.GetLastError().c_str());
    return 1;
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* icu_nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) {
    std::fprintf(stderr, "normalization_bench: no ICU NFC: %s\n",
                 u_errorName(status));
    return 1;
  }

  const std::vector<std::wstring> lines = MakeLines(millions * 1000000);
  std::vector<std::u16string> lines16;
  size_t characters = 0;
  for (const std::wstring& line : lines) {
    lines16.emplace_back(line.begin(), line.end());
    characters += line.size();
  }

  double best_ours = 1e30, best_icu = 1e30;
  size_t ours_out = 0, icu_out = 0, ours_changed = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    std::wstring result;
    size_t out = 0;
    for (const std::wstring& line : lines) {
      front.Normalize(line, NFC, result);
      out += result.size();
    }
    best_ours = std::min(best_ours, Seconds(start));
    ours_out = out;

    start = std::chrono::steady_clock::now();
    icu::UnicodeString dest;
    out = 0;
    for (const std::u16string& line : lines16) {
      // A read-only alias: ICU reads the line where it is.
      const icu::UnicodeString src(false, line.data(),
                                   static_cast<int32_t>(line.size()));
      icu_nfc->normalize(src, dest, status);
      out += static_cast<size_t>(dest.length());
    }
    best_icu = std::min(best_icu, Seconds(start));
    icu_out = out;
    if (U_FAILURE(status)) {
      std::fprintf(stderr, "normalization_bench: ICU failed: %s\n",
                   u_errorName(status));
      return 1;
    }
  }

  std::wstring result;
  for (const std::wstring& line : lines) {
    front.Normalize(line, NFC, result);
    ours_changed += result != line;
  }

  const double ours = static_cast<double>(characters) / best_ours;
  const double icu = static_cast<double>(characters) / best_icu;
  std::printf(
      "text: %zu characters in %zu lines; %zu lines changed by the "
      "rules\n",
      characters, lines.size(), ours_changed);
  std::printf("%-34s %10s %16s\n", "", "best s", "characters/s");
  std::printf("%-34s %10.3f %16.0f\n", "Normalization::Normalize (NFC)",
              best_ours, ours);
  std::printf("%-34s %10.3f %16.0f\n", "ICU Normalizer2 NFC", best_icu, icu);
  std::printf(
      "ratio (ours / ICU, characters per second): %.2f; the goal is "
      "1 or more\n",
      ours / icu);
  std::printf("(output characters: ours %zu, ICU %zu)\n", ours_out, icu_out);
  return 0;
}
