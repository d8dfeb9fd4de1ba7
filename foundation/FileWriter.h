// FileWriter writes the two text file forms of the library: 16-bit Unicode
// (mark FF FE, then little-endian units, each wide character cut to its low
// 16 bits) and plain bytes ("ASCII").
//
// The writer never throws: a bad name, a file that cannot be created, a mark
// that does not match the requested form when extending, and every write on
// a closed writer or in the wrong form give 0 and write nothing. A write the
// system refuses (a full disk) also gives 0; Flush and Close report whether
// everything written so far reached the file.
//
// The object owns its file and closes it on destruction; it is not copyable
// and not thread-safe.

#ifndef URDULEX_FOUNDATION_FILEWRITER_H_
#define URDULEX_FOUNDATION_FILEWRITER_H_

#include <cstdint>
#include <cstdio>
#include <string>

class FileWriter {
 public:
  enum CODE { UNICODE = 0, ASCII = 1 };

  FileWriter();
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Opens or creates `name`. Without `append` the file is truncated (and a
  // UNICODE file gets the mark); with `append` an existing file is extended
  // when its mark agrees with `code`, and is never truncated: one that
  // cannot be read and written is refused. Returns 1, or 0 on any failure.
  // Files are written in place; OutputFile replaces a file as a whole.
  int Open(const char* name, CODE code, bool append);
  int Open(const std::string& name, CODE code, bool append) {
    return Open(name.c_str(), code, append);
  }
  // Writes to the open descriptor `fd` (a copy of it, closed by Close;
  // `fd` stays the caller's) from where it is, without emptying it; a
  // UNICODE writer starts with the mark. This is how an OutputFile's
  // file is written. Returns 1, or 0 on any failure.
  int Open(int fd, CODE code);
  // Closes the file. False when the file was open and some written data
  // could not be stored (a failed write, flush or close).
  bool Close();

  int Write(const wchar_t* buffer, int count);  // UNICODE form only
  int Write(const std::wstring& text);          // UNICODE form only
  int Write(const std::string& text);           // ASCII form only
  int Write(const char* buffer, int count);     // either form

  // Direction 0 from the start (past the mark in UNICODE form), 1 from the
  // current position, 2 from the end; other values move nothing. In UNICODE
  // form the offset is increased by 2 whatever the direction.
  void Seekp(long offset, short direction);
  // Write position from the first byte of the file; -1 when closed.
  int64_t Tellp();
  // False when the writer is open and its buffered data could not be stored.
  bool Flush();

  bool IsOpen() const { return open_; }
  // True while no write has failed since Open.
  bool Good() const { return open_ && !failed_; }

  static bool DoesExist(const char* name);
  static bool DoesExist(const std::string& name) {
    return DoesExist(name.c_str());
  }
  // True when both names lead to one existing file, so that opening the one
  // for writing would empty the other (also through links).
  static bool SameFile(const std::string& a, const std::string& b);

 private:
  int WriteBytes(const char* data, size_t n);

  std::FILE* file_;
  bool open_;
  CODE code_;
  bool append_;
  bool failed_;
};

#endif  // URDULEX_FOUNDATION_FILEWRITER_H_
