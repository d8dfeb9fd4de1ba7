// CheckWordFormTableExtent: whether a word-form table file held exactly the
// records its header announces. The loader (LoadWordFormHashTable,
// ReadWordFormTableFile) takes a file cut short as a table whose missing
// slots are unused, and drops records past the announced slot count; both
// give lookups that silently miss words. A program that loads a user's
// table calls this on what ReadWordFormTableFile read and refuses the file
// when it gives false.
//
// The verdict (wordform::JudgeExtent, in the words of wordform::LoaderText)
// is taken from the counts of that one read, never from the file's name or
// size, so a table from a pipe or a FIFO is judged exactly as the same
// bytes in a regular file. Nothing is thrown.

#ifndef URDULEX_DIACRITIZER_WORDFORMEXTENT_H_
#define URDULEX_DIACRITIZER_WORDFORMEXTENT_H_

#include <string>

#include "diacritizer/hashmain.h"

// False when `file` did not hold its header plus one record per announced
// slot; `*problem` then says so in words that follow the file's name, for
// example "is cut short: 5 slots announced, 3 complete records found" (no
// final stop). True otherwise.
bool CheckWordFormTableExtent(const WordFormTableFile& file,
                              std::string* problem);

#endif  // URDULEX_DIACRITIZER_WORDFORMEXTENT_H_
