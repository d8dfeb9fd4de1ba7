#include "foundation/TARNIException.h"

#include <cstdio>
#include <utility>

TARNIException::TARNIException(std::string file_name, int line_num,
                               int error_code, std::string message)
    : line_num_(0), error_code_(0) {
  SetFileName(std::move(file_name));
  SetLineNum(line_num);
  SetErrorCode(error_code);
  SetExceptionMsg(std::move(message));
}

void TARNIException::SetFileName(std::string file_name) {
  file_name_ = std::move(file_name);
}

void TARNIException::SetExceptionMsg(std::string message) {
  message_ = std::move(message);
}

std::string TARNIException::GetFormatedExceptionMessage() const {
  // A negative code prints as its 32-bit two's complement, as "%x" does.
  char code[16];
  std::snprintf(code, sizeof(code), "%x", static_cast<unsigned>(error_code_));
  char line[16];
  std::snprintf(line, sizeof(line), "%d", line_num_);
  std::string out = "Error Code (0x";
  out += code;
  out += ") in ";
  out += file_name_;
  out += " (";
  out += line;
  out += "): ";
  out += message_;
  return out;
}

IOException::IOException(std::string file_name, int line_num, int error_code,
                         std::string message)
    : TARNIException(std::move(file_name), line_num, error_code,
                     std::move(message)) {}

InvalidFormatException::InvalidFormatException(std::string file_name,
                                               int line_num, int error_code,
                                               std::string message)
    : TARNIException(std::move(file_name), line_num, error_code,
                     std::move(message)) {}

MemoryAllocationException::MemoryAllocationException(std::string file_name,
                                                     int line_num,
                                                     int error_code,
                                                     std::string message)
    : TARNIException(std::move(file_name), line_num, error_code,
                     std::move(message)) {}

OutOfBoundException::OutOfBoundException(std::string file_name, int line_num,
                                         int error_code, std::string message)
    : TARNIException(std::move(file_name), line_num, error_code,
                     std::move(message)) {}

XMLParserException::XMLParserException(std::string file_name, int line_num,
                                       int error_code, std::string message)
    : TARNIException(std::move(file_name), line_num, error_code,
                     std::move(message)) {}
