// UnendedLineFinder: finds the text that the line readers of the 16-bit
// rules files would drop without a word. Those readers act on a line only
// at its CR, so a last line cut short or saved without a line end is lost,
// and the file loads as if it were whole. A reader hands every unit it
// reads to the finder, so that the file is judged on the very bytes it
// loaded, from a pipe as from a regular file, and is never read twice.
//
// Nothing is thrown.

#ifndef URDULEX_FOUNDATION_LINEENDS_H_
#define URDULEX_FOUNDATION_LINEENDS_H_

#include <cstdint>

class UnendedLineFinder {
 public:
  // The next 16-bit unit of the file, after the mark.
  void Add(uint32_t unit) {
    const bool blank =
        unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n';
    if (unit == '\n' && after_cr_) unended_ = 0;
    if (!blank && unended_ == 0) unended_ = line_;
    if (unit == '\n') ++line_;
    after_cr_ = unit == '\r';
  }

  // For a file whose units all went to Add, and which ended in half a unit
  // when `half_unit`: the number of the line, counted from 1 by its LFs,
  // where anything but blanks (space, tab, CR, LF) after the last CR LF
  // starts, or where the half unit lies when there is no such text; 0 when
  // the file is whole. A file without any CR LF counts from its first unit.
  uint64_t UnendedLine(bool half_unit) const {
    return unended_ == 0 && half_unit ? line_ : unended_;
  }

 private:
  uint64_t line_ = 1;
  uint64_t unended_ = 0;  // line of the first text since the last CR LF
  bool after_cr_ = false;
};

#endif  // URDULEX_FOUNDATION_LINEENDS_H_
