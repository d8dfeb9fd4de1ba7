// The engine of the `diacritizer` program: text of one word a line, in
// 16-bit units (UTF-16LE bytes), each line written as its word with the
// diacritics the word-form table gives it, else as the word trimmed of
// blanks, and ending in CR LF where the input line ended in LF. The lines
// are the pieces between LFs, so an input ending in LF ends in an empty
// line.
//
// On more than one thread the input goes in blocks of whole lines
// (text/ParallelLines.h), written in input order: the same output.

#ifndef URDULEX_DIACRITIZER_LINEDIACRITIZER_H_
#define URDULEX_DIACRITIZER_LINEDIACRITIZER_H_

#include <cstddef>
#include <cstdint>

#include "diacritizer/WordFormLookup.h"
#include "foundation/OutputBuffer.h"
#include "text/TextIO.h"

struct LineRun {
  // The threads for an input of `bytes` bytes: every core the process may
  // run on for one of more than a few megabytes, else one.
  static unsigned ThreadsFor(int64_t bytes);
  // The lines of an input of `bytes` bytes, about (a word of six letters
  // and CR LF a line), for WordFormLookup::Expect.
  static uint64_t Lines(int64_t bytes) {
    return bytes > 0 ? static_cast<uint64_t>(bytes) / 16 : 0;
  }

  unsigned threads = 1;
  // Bytes of input a block of lines aims at: small blocks keep the threads
  // busy to the end and the buffers few.
  size_t block_bytes = 1 << 16;
};

// How DiacritizeLines ended.
enum class LinesEnd {
  kWritten,      // every line went to `out`
  kWriteFailed,  // `out` refused bytes
  kInputShrank,  // `input` ended before its size said
};

// Diacritizes the lines of `input` into `out`, and flushes it. On one
// thread `input` gives the bytes after the mark; on more, it starts with
// the mark FF FE, for the blocks to tell the input's line ends. Throws any
// other failure of `input`, the lookups and `out`.
LinesEnd DiacritizeLines(urdulex::internal::ByteSource& input,
                         const WordFormLookup& table, OutputBuffer& out,
                         const LineRun& run);

#endif  // URDULEX_DIACRITIZER_LINEDIACRITIZER_H_
