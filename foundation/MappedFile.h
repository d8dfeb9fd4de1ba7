// MappedFile: a regular file opened read-only and mapped shared with every
// process that maps it, so that opening costs the same whatever its size;
// or, when asked, read into private memory, where it never changes
// afterwards.
//
// A mapped file cut short by someone else while we read it raises SIGBUS on
// the pages it lost; a handler gives them zeros instead and marks the
// mapping cut, which the reader asks (cut) once it has read. The handler
// serves any number of mappings and passes every other SIGBUS on as the
// handler before it (or the default) would take it; once another handler
// replaced it, a file opened later is read into private memory rather than
// mapped unguarded. A mapped file rewritten in place (same size, as `dd
// conv=notrunc`, `cp` or `rsync --inplace` over it do) cannot be told from
// its bytes: the file is kept open and Unchanged compares its size,
// modification and change times with those at Open. Another file renamed
// over the name is no change: the mapping is of the file opened, which
// stays as it was.
//
// Once opened, the bytes may be read on several threads at once.

#ifndef URDULEX_FOUNDATION_MAPPEDFILE_H_
#define URDULEX_FOUNDATION_MAPPEDFILE_H_

#include <cstddef>
#include <string>

#include "foundation/OutputFile.h"

class MappedFile {
 public:
  enum class Opened {
    kOpen,        // data() holds the file's size() bytes (null when empty)
    kNotRegular,  // no regular file could be opened: nothing is open
    kMapFailed,   // the system refused the mapping
    kReadFailed,  // the private copy could not be made
    kChanged,     // the private copy is not the file as opened
  };

  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens `path` once when it is a regular file, and maps it; with
  // `private_copy` (or when the SIGBUS handler no longer serves) reads it
  // into private memory instead.
  Opened Open(const std::string& path, bool private_copy);
  // Unmaps and closes; nothing is open afterwards.
  void Close();

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }
  // Whether the bytes are a private copy rather than the mapped file.
  bool copied() const { return copied_; }
  // Whether the mapped file was found cut short while read: the bytes
  // read since may be zeros.
  bool cut() const;
  // Whether the bytes are still the file as it was at Open: false once
  // the mapped file was cut short, rewritten or touched. A private copy,
  // or nothing open, is always unchanged.
  bool Unchanged() const;
  // Reads every page in now rather than a fault at a time (on the kernels
  // that know the advice), for a caller about to read them all.
  void Populate() const;

  // A mapping known to the SIGBUS handler.
  struct Guard;

 private:
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  bool copied_ = false;
  int fd_ = -1;  // the mapped file, kept open for `watch_`
  InputWatch watch_;
  Guard* guard_ = nullptr;
};

#endif  // URDULEX_FOUNDATION_MAPPEDFILE_H_
