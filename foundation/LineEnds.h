// FindUnendedLine: finds the text that the line readers of the 16-bit rules
// files would drop without a word. Those readers act on a line only at its
// CR, so a last line cut short or saved without a line end is lost, and the
// file loads as if it were whole. Programs call this after loading such a
// file, to refuse it instead.
//
// Nothing is thrown; a file that cannot be opened, is not a regular file,
// or lacks the mark FF FE is left to the reader, which reports it.

#ifndef URDULEX_FOUNDATION_LINEENDS_H_
#define URDULEX_FOUNDATION_LINEENDS_H_

#include <cstdint>
#include <string>

// True when the 16-bit Unicode file `path` holds anything but blanks
// (space, tab, CR, LF) after its last CR LF, or ends in half a unit; then
// `*line` is the number of the line, counted from 1 by its LFs, where that
// text starts. A file without any CR LF counts from its first unit.
bool FindUnendedLine(const std::string& path, uint64_t* line);

#endif  // URDULEX_FOUNDATION_LINEENDS_H_
