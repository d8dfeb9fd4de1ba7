#include "diacritizer/WordFormExtent.h"

bool CheckWordFormTableExtent(const WordFormTableFile& file,
                              std::string* problem) {
  wordform::TableExtent extent;
  extent.slots = file.slots;
  extent.records = file.records_in_file;
  extent.partial_bytes = file.partial_bytes;
  const wordform::TableProblem fault = wordform::JudgeExtent(extent, true);
  if (!fault) return true;
  *problem = wordform::LoaderText(fault);
  return false;
}
