// The error family of the library. Every error the library throws is a
// TARNIException or one of its subclasses, thrown by value and caught by
// reference. An exception names the source module that raised it (the file
// name without extension), the line of the throw, an error code and an
// English message.
//
// A function that reads a file of its own may catch a reader error, stamp its
// own module, line and sentence on it and rethrow the same object ("catch,
// stamp, pass on"). The word-form table loader does this.
//
// The classes are plain values: no virtual functions, no standard exception
// base, so a catch of std::exception never sees them.

#ifndef URDULEX_FOUNDATION_TARNIEXCEPTION_H_
#define URDULEX_FOUNDATION_TARNIEXCEPTION_H_

#include <string>

// Error codes in use.
enum TARNIErrorCode {
  kErrorGeneral = 0,            // missing mapping table, unmapped character
  kErrorFileOpen = 16,          // 0x10: a file that cannot be opened
  kErrorFileRead = 17,          // 0x11: a read on an open file
  kErrorMemoryAllocation = 32,  // 0x20: record allocation and conversion
  kErrorInvalidFormat = 49,     // 0x31: unknown code plate or character
};

class TARNIException {
 public:
  TARNIException(std::string file_name, int line_num, int error_code,
                 std::string message);

  std::string GetFileName() const { return file_name_; }
  int GetLineNum() const { return line_num_; }
  int GetErrorCode() const { return error_code_; }
  std::string GetExceptionMsg() const { return message_; }

  void SetFileName(std::string file_name);
  void SetLineNum(int line_num) { line_num_ = line_num; }
  void SetErrorCode(int error_code) { error_code_ = error_code; }
  void SetExceptionMsg(std::string message);

  // "Error Code (0x<hex code>) in <file> (<line>): <message>", no line end.
  std::string GetFormatedExceptionMessage() const;

  // Always empty; kept for callers that ask for it.
  std::string GetErrorString() const { return std::string(); }

 private:
  std::string file_name_;
  int line_num_;
  int error_code_;
  std::string message_;
};

class IOException : public TARNIException {
 public:
  IOException(std::string file_name, int line_num, int error_code,
              std::string message);
};

class InvalidFormatException : public TARNIException {
 public:
  InvalidFormatException(std::string file_name, int line_num, int error_code,
                         std::string message);
};

class MemoryAllocationException : public TARNIException {
 public:
  MemoryAllocationException(std::string file_name, int line_num, int error_code,
                            std::string message);
};

class OutOfBoundException : public TARNIException {
 public:
  OutOfBoundException(std::string file_name, int line_num, int error_code,
                      std::string message);
};

class XMLParserException : public TARNIException {
 public:
  XMLParserException(std::string file_name, int line_num, int error_code,
                     std::string message);
};

#endif  // URDULEX_FOUNDATION_TARNIEXCEPTION_H_
