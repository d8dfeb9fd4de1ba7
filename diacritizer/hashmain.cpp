#include "diacritizer/hashmain.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/TARNIException.h"
#include "foundation/Utility.h"
#include "script/LexEnigneUtility.h"

WordFormHashTable wordFormHashTable;

namespace {

// Module name stamped on every error raised or passed on here.
const char kModule[] = "hashmain";

// Records read from the file at a time.
constexpr size_t kRecordsPerRead = 4096;

bool Reject(std::string* rejection, const wordform::TableProblem& problem) {
  if (rejection != nullptr) *rejection = wordform::LoaderText(problem);
  return false;
}

[[noreturn]] void ThrowInvalid(int line,
                               const wordform::TableProblem& problem) {
  throw InvalidFormatException(kModule, line, kErrorInvalidFormat,
                               wordform::LoaderText(problem));
}

[[noreturn]] void ThrowRead(int line, wordform::TableFault fault) {
  wordform::TableProblem problem;
  problem.fault = fault;
  throw IOException(kModule, line, kErrorFileRead,
                    wordform::LoaderText(problem));
}

// Reads one header word to `word`; bytes the file does not have stay 0.
// False when not a single byte was left.
template <typename Reader>
bool ReadHeaderWord(Reader& reader, unsigned char* word) {
  return reader.Read(reinterpret_cast<char*>(word),
                     wordform::kHeaderWordSize) != 0;
}

// Rejects links that would let a search leave the table or walk forever.
// Throws InvalidFormatException naming the first bad slot and its link.
void CheckLinks(const WordFormTableFile& file) {
  const wordform::TableProblem problem = wordform::CheckChains(
      file.records.size(), file.slots,
      [&](size_t s) { return file.records[s].next; },
      wordform::ChainRule::kLoader);
  if (problem) ThrowInvalid(__LINE__, problem);
}

// The reads of ReadTable over bytes in memory, with FileReader's rules: a
// read that runs past the end sets the end of file, and any read after
// that throws.
class MemoryReader {
 public:
  MemoryReader(const unsigned char* bytes, size_t size)
      : bytes_(bytes), size_(size) {}
  // Checks and consumes the mark, as FileReader::Open does.
  void Open() {
    wordform::TableHeader header;
    const wordform::TableProblem problem =
        wordform::DecodeHeader(bytes_, size_, &header);
    if (problem.fault == wordform::TableFault::kNoMark) {
      throw IOException(kModule, __LINE__, kErrorFileOpen,
                        wordform::LoaderText(problem));
    }
    at_ = wordform::kMarkSize;
  }
  int Read(char* buffer, int count) {
    if (eof_) {
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "End of file encountered.");
    }
    size_t n = static_cast<size_t>(count);
    if (n > size_ - at_) {
      n = size_ - at_;
      eof_ = true;
    }
    if (n > 0) std::memcpy(buffer, bytes_ + at_, n);
    at_ += n;
    return n > 0 ? 1 : 0;
  }
  int EoF() const { return eof_ ? 1 : 0; }
  int64_t Tell() const { return static_cast<int64_t>(at_); }
  int64_t FileSize() const { return static_cast<int64_t>(size_); }

 private:
  const unsigned char* bytes_;
  size_t size_;
  size_t at_ = 0;
  bool eof_ = false;
};

// Everything after the file is open. Returns false for a header that
// announces no table; reader errors propagate to the caller's handler.
template <typename Reader>
bool ReadTable(Reader& reader, WordFormTableFile* file,
               std::string* rejection) {
  // The header words as the file has them, the bytes it lacks left 0.
  // Where the file ends inside the extended header, the reader's end of
  // file stands, unless the slot count read announces no table.
  unsigned char head[wordform::kLongHeaderBytes] = {0xFF, 0xFE};
  unsigned char* word = head + wordform::kMarkSize;
  bool count_cut = false, check_word_missing = false;
  ReadHeaderWord(reader, word);
  if (wordform::ExtendedHeaderFollows(word)) {
    ReadHeaderWord(reader, word + wordform::kHeaderWordSize);
    count_cut = reader.EoF() != 0;
    if (!count_cut) {
      check_word_missing =
          !ReadHeaderWord(reader, word + 2 * wordform::kHeaderWordSize);
    }
  }
  wordform::TableHeader header;
  const wordform::TableProblem problem =
      wordform::DecodeHeader(head, sizeof(head), &header);
  using wordform::TableFault;
  if (problem.fault == TableFault::kNoSlots ||
      problem.fault == TableFault::kExtendedNoSlots) {
    return Reject(rejection, problem);
  }
  if (count_cut) ThrowRead(__LINE__, TableFault::kCountCutShort);
  if (check_word_missing) ThrowRead(__LINE__, TableFault::kCheckWordCutShort);
  if (problem.fault == TableFault::kZeroCheckWord) {
    return Reject(rejection, problem);
  }
  const int32_t slots = header.slots;
  file->slots = slots;
  if (problem.fault == TableFault::kSlotsBelowOne) {
    return Reject(rejection, problem);
  }
  if (problem.fault == TableFault::kTooManySlots) {
    ThrowInvalid(__LINE__, problem);
  }

  // The end of the data, as the format defines it: a file that ends inside
  // the first key raises the reader's end-of-file error, a record cut short
  // later is dropped, and records past the last slot are dropped. The whole
  // records a regular file's size promises are read in large pieces; the
  // reads after them go record by record.
  const int64_t body_start = reader.Tell();
  const int64_t left = reader.FileSize() - body_start;
  size_t bulk = 0;
  if (left >= wordform::kRecordSize) {
    bulk = static_cast<size_t>(
        std::min<int64_t>(left / wordform::kRecordSize, slots));
  }
  file->records.reserve(bulk);
  file->text.reserve(bulk * 16);
  std::vector<unsigned char> piece(kRecordsPerRead * wordform::kRecordSize);
  for (size_t done = 0; done < bulk;) {
    const size_t n = std::min(bulk - done, kRecordsPerRead);
    reader.Read(reinterpret_cast<char*>(piece.data()),
                static_cast<int>(n * wordform::kRecordSize));
    if (reader.EoF()) {  // the file shrank meanwhile
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "End of file encountered.");
    }
    for (size_t i = 0; i < n; ++i) {
      file->Add(piece.data() + i * wordform::kRecordSize);
    }
    done += n;
  }
  char* record = reinterpret_cast<char*>(piece.data());
  if (bulk == 0) {
    reader.Read(record, wordform::kKeyBytes);
    reader.Read(record + wordform::kKeyBytes, wordform::kTailBytes);
    if (!reader.EoF()) file->Add(piece.data());
  }
  while (!file->records.empty() &&
         file->records.size() < static_cast<size_t>(slots) && !reader.EoF()) {
    reader.Read(record, wordform::kKeyBytes);
    if (reader.EoF()) break;
    reader.Read(record + wordform::kKeyBytes, wordform::kTailBytes);
    if (reader.EoF()) break;
    file->Add(piece.data());
  }
  // Whatever follows the last slot is read too, only to be counted: the
  // verdict on the file's extent must come from this read, not from the
  // size of a file that a pipe does not have and that may change.
  while (!reader.EoF()) {
    reader.Read(reinterpret_cast<char*>(piece.data()),
                static_cast<int>(piece.size()));
  }
  const wordform::TableExtent extent = wordform::ExtentOf(
      slots, static_cast<uint64_t>(reader.Tell() - body_start));
  file->records_in_file = extent.records;
  file->partial_bytes = extent.partial_bytes;
  CheckLinks(*file);
  return true;
}

}  // namespace

void ThrowLinkOutsideTable(size_t slot, int32_t next, int32_t slots) {
  wordform::TableProblem problem;
  problem.fault = wordform::TableFault::kLinkOutside;
  problem.slot = static_cast<int64_t>(slot);
  problem.link = next;
  problem.slots = slots;
  ThrowInvalid(__LINE__, problem);
}

void CheckWordFormTableLinks(const unsigned char* records, size_t count,
                             int32_t slots) {
  const wordform::TableProblem problem = wordform::CheckRecordChains(
      records, count, slots, wordform::ChainRule::kLoader);
  if (problem) ThrowInvalid(__LINE__, problem);
}

void WordFormTableFile::Add(const unsigned char* record) {
  const wordform::RecordFields fields = wordform::DecodeRecord(record);
  Entry entry;
  entry.next = fields.next;
  entry.id = fields.id;
  entry.tag = fields.tag;
  entry.flag = fields.flag;
  entry.key_units = static_cast<uint8_t>(fields.key_units);
  entry.symbol_bytes = static_cast<uint8_t>(fields.symbol_bytes);
  entry.text = static_cast<uint32_t>(text.size());
  text.insert(text.end(), fields.key, fields.key + 2 * fields.key_units);
  text.insert(text.end(), fields.symbols, fields.symbols + fields.symbol_bytes);
  records.push_back(entry);
}

namespace {

// Opens `reader` and reads the table from it; the library's report of a
// failure names the step that failed.
template <typename Reader, typename Open>
bool OpenAndReadTable(Reader& reader, Open&& open, WordFormTableFile* file,
                      std::string* rejection) {
  *file = WordFormTableFile();
  try {
    open();
  } catch (IOException& e) {
    e.SetFileName(kModule);
    e.SetLineNum(__LINE__);
    e.SetExceptionMsg(e.GetExceptionMsg() +
                      " Hash table file could not be opened.");
    throw;
  }
  try {
    return ReadTable(reader, file, rejection);
  } catch (IOException& e) {
    e.SetFileName(kModule);
    e.SetLineNum(__LINE__);
    e.SetExceptionMsg(e.GetExceptionMsg() +
                      " Hash table reading problem occurred.");
    throw;
  }
}

}  // namespace

bool ReadWordFormTableFile(const std::string& fileName, WordFormTableFile* file,
                           std::string* rejection) {
  FileReader reader;
  return OpenAndReadTable(
      reader, [&] { reader.Open(fileName, FileReader::UNICODE); }, file,
      rejection);
}

bool ReadWordFormTableBytes(const unsigned char* bytes, size_t size,
                            WordFormTableFile* file, std::string* rejection) {
  MemoryReader reader(bytes, size);
  return OpenAndReadTable(
      reader, [&] { reader.Open(); }, file, rejection);
}

bool LoadWordFormHashTable(const std::string& fileName) {
  return LoadWordFormHashTable(fileName, nullptr);
}

bool LoadWordFormHashTable(const std::string& fileName,
                           std::string* rejection) {
  // The old contents go once the header has announced a slot count, where
  // the table would be allocated anew; a failure after that leaves the
  // table empty rather than half filled.
  WordFormTableFile file;
  bool read = false;
  try {
    read = ReadWordFormTableFile(fileName, &file, rejection);
  } catch (...) {
    if (file.slots != 0) wordFormHashTable.Deallocate();
    throw;
  }
  if (!read) {
    if (file.slots != 0) wordFormHashTable.Deallocate();
    return false;
  }
  FillWordFormHashTable(file, &wordFormHashTable);
  return true;
}

void FillWordFormHashTable(const WordFormTableFile& file,
                           WordFormHashTable* table) {
  table->AllocateHeld(file.slots, file.slots,
                      static_cast<int>(file.records.size()));
  for (size_t k = 0; k < file.records.size(); ++k) {
    const WordFormTableFile::Entry& entry = file.records[k];
    const unsigned char* key = file.Key(k);
    WordFormHashNode& node = table->nodes[k];
    node.key.resize(entry.key_units);
    for (size_t u = 0; u < entry.key_units; ++u) {
      node.key[u] = static_cast<wchar_t>(key[2 * u] | key[2 * u + 1] << 8);
    }
    node.data.symbolicDiacritics.assign(
        reinterpret_cast<const char*>(file.Symbols(k)), entry.symbol_bytes);
    node.data.id = entry.id;
    node.data.tag = entry.tag;
    node.data.flag = entry.flag;
    node.next = entry.next;
  }
}

bool isValidWord(std::wstring word, std::wstring& result) {
  Trim(word);
  result.clear();
  std::vector<WordFormHashNode> found;
  if (wordFormHashTable.Search(word, found)) {
    LexEnigneUtility utility;
    result = utility.MergeSymbolicDiacritics(found[0].key,
                                             found[0].data.symbolicDiacritics);
    return true;
  }
  result = word;
  return false;
}
