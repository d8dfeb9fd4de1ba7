// CheckWordFormTableExtent: whether a word-form table file holds exactly
// the records its header announces. The loader (LoadWordFormHashTable,
// ReadWordFormTableFile) takes a file cut short as a table whose missing
// slots are unused, and drops records past the announced slot count; both
// give lookups that silently miss words. A program that loads a user's
// table calls this after a successful load and refuses the file when it
// gives false.
//
// Nothing is thrown; a file the check cannot open or whose header the
// loader would refuse is left to the loader, which reports it.

#ifndef URDULEX_DIACRITIZER_WORDFORMEXTENT_H_
#define URDULEX_DIACRITIZER_WORDFORMEXTENT_H_

#include <string>

// False when the size of the table file `fileName` is not its header plus
// one record per announced slot; `*problem` then says so in words that
// follow the file's name, for example "is cut short: 5 slots announced, 3
// complete records found" (no final stop). True otherwise.
bool CheckWordFormTableExtent(const std::string& fileName,
                              std::string* problem);

#endif  // URDULEX_DIACRITIZER_WORDFORMEXTENT_H_
