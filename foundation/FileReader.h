// FileReader reads the two text file forms of the library: 16-bit Unicode
// (byte-order mark FF FE, then little-endian 16-bit units) and plain 8-bit
// bytes ("ASCII"). It hands out lines up to a delimiter, runs of 16-bit units
// widened to wide characters, and raw bytes.
//
// Misuse and end of file are reported by throwing IOException (module name
// "FileReader"): code 16 for Open failures, 17 for everything else.
// Operations on a closed reader return 0 instead of throwing, except the
// null-buffer check of the buffer reads. A read the system refuses throws
// "Could not read file." (code 16 while Open checks the mark, 17 after) and
// leaves the reader in the end-of-file state; it never passes for a clean
// end of file.
//
// End of file follows the rule of the standard streams: it is set only by a
// read that runs past the last byte, and once set every further line or
// buffer read throws "End of file encountered." until the state is reset
// (Close, Open, the positioned Read, the Unget operations).
//
// Reads go through an internal buffer; the observable behaviour is that of a
// reader taking one unit at a time. The object owns its file and closes it on
// destruction; it is not copyable and not thread-safe.

#ifndef URDULEX_FOUNDATION_FILEREADER_H_
#define URDULEX_FOUNDATION_FILEREADER_H_

#include <cstdint>
#include <memory>
#include <string>

class FileReader {
 public:
  enum CODE { UNICODE = 0, ASCII = 1 };

  FileReader();
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // When on, the wide GetLine does not keep U+0651 (shadda) but repeats the
  // character before it, or the two before it when the one before is U+06BE.
  // Off by default; the letter-code mapper turns it on.
  void SetGeminationExpansion(bool on) { expand_gemination_ = on; }
  bool GeminationExpansion() const { return expand_gemination_; }
  // What that expansion does for a shadda after the end of `line`: appends
  // the last character again, or the last two when the last is U+06BE, and
  // returns how many were appended; 0, appending nothing (the shadda is
  // then kept), when `line` is empty. For text that does not come from a
  // file.
  static int AppendGemination(std::wstring& line);

  // Opens `name` for reading in form `code`; in UNICODE form checks and
  // consumes the mark. Returns 1; every failure throws (code 16) and leaves
  // the reader closed.
  int Open(const char* name, CODE code);
  int Open(const std::string& name, CODE code) {
    return Open(name.c_str(), code);
  }
  void Close();

  // 1 when open and a read has run past the last byte.
  int EoF() const { return open_ && eof_ ? 1 : 0; }
  // Size of the whole file in bytes (mark included); 0 when closed, and for
  // a pipe, which has no size.
  int64_t FileSize() const;
  // Byte position of the next read, from the start of the file (mark
  // included). Once a read has run past the end, the number of bytes the
  // file held: the one way to count what a pipe delivered.
  int64_t Tell() const { return buf_offset_ + static_cast<int64_t>(pos_); }
  // Moves to byte `offset` (past the mark in UNICODE form). 0 when closed.
  // After a read has run past the end it moves nothing. A position before
  // the start, or one no file can reach, puts the reader into the
  // end-of-file state without moving it.
  int SeekG(int64_t offset);
  // The form given to the last Open that opened the file.
  CODE GetCode() const { return code_; }
  bool IsOpen() const { return open_; }

  // True when `name` can be opened by Open (so false for a directory).
  static bool DoesExist(const char* name);
  static bool DoesExist(const std::string& name) {
    return DoesExist(name.c_str());
  }

  // Next line of a UNICODE (wide) or ASCII (narrow) file, at most `max`
  // characters, without the delimiter. Returns 0 and leaves `line` unchanged
  // when nothing was stored (an empty line, or the end of the file).
  int GetLine(std::wstring& line, int max, wchar_t delimiter);
  int GetLine(std::string& line, int max, char delimiter);

  // Up to `count` 16-bit units of a UNICODE file, no delimiter.
  int Read(std::wstring& text, int count);
  // Up to `count` 16-bit units into `buffer`, in either form. The number
  // stored is not reported and no terminator is written.
  int Read(wchar_t* buffer, int count);
  // Up to `count` raw bytes from the current position.
  int Read(char* buffer, int count);
  // SeekG(offset), then up to `count` raw bytes.
  int Read(char* buffer, int64_t offset, int count);

  // Move the read position back by n 16-bit units or n bytes.
  int UngetUnicodeCharacters(int n);
  int UngetAsciiCharacters(int n);

 private:
  // Moves to an absolute byte position; a position before the start puts
  // the reader into the end-of-file state, as a failed stream seek would.
  void Seek(int64_t position);
  // Refills the buffer; false at the end of the file.
  bool Fill();
  // One little-endian unit; false (and the end-of-file state) when fewer
  // than two bytes were left.
  bool ReadUnit(uint16_t* unit);
  // Up to n bytes; sets the end-of-file state on a short read.
  size_t ReadBytes(char* dst, size_t n);
  void CloseFile();

  int fd_;
  bool open_;
  bool eof_;
  CODE code_;
  bool expand_gemination_;
  std::unique_ptr<unsigned char[]> buf_;
  size_t pos_;
  size_t len_;
  int64_t buf_offset_;
  std::wstring scratch_;  // the line being gathered by the wide GetLine
};

#endif  // URDULEX_FOUNDATION_FILEREADER_H_
