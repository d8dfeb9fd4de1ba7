#include "text/UZTStream.h"

#include <string>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "text/TextIO.h"

namespace urdulex::internal {

std::string StreamErrorMessage(const std::string& name,
                               const StreamError& error) {
  if (error.offset < 0) return MessageName(name) + ": " + error.message();
  std::string where;
  if (error.line > 0) where += "line " + std::to_string(error.line) + ", ";
  if (error.column > 0) {
    where += "column " + std::to_string(error.column) + ", ";
  }
  return MessageName(name) + ": " + where + "byte offset " +
         std::to_string(error.offset) + ": " + error.message();
}

void LoadMappingFile(const std::string& path, UZTMapping* mapping) {
  try {
    mapping->Load(path);
  } catch (const IOException& e) {
    throw Error(e.GetExceptionMsg());  // names the file already
  } catch (const TARNIException& e) {
    throw Error(QuoteName(path) + ": " + e.GetExceptionMsg());
  }
}

}  // namespace urdulex::internal
