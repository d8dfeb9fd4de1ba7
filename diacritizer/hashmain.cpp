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

int32_t LittleEndian32(const unsigned char* p) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
      static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

bool Reject(std::string* rejection, const std::string& why) {
  if (rejection != nullptr) *rejection = why;
  return false;
}

// Reads one header word; bytes the file does not have stay 0. False when
// not a single byte was left.
template <typename Reader>
bool ReadHeaderWord(Reader& reader, int32_t* value) {
  unsigned char bytes[wordform::kHeaderWordSize] = {0, 0, 0, 0};
  int got = reader.Read(reinterpret_cast<char*>(bytes), sizeof(bytes));
  *value = LittleEndian32(bytes);
  return got != 0;
}

// Rejects links that would let a search leave the table or walk forever.
// Throws InvalidFormatException naming the first bad slot and its link.
// `next(s)` is the link of slot s, for the `records` slots held.
template <typename Next>
void CheckLinksOf(size_t records, int32_t n, Next next_of) {
  for (size_t s = 0; s < records; ++s) {
    int32_t next = next_of(s);
    if (next < wordform::kEndOfChain || next >= n) {
      ThrowLinkOutsideTable(s, next, n);
    }
  }
  // Every slot has at most one successor, so a walk that meets a slot of
  // its own path has found a cycle. Each slot is walked once.
  enum : uint8_t { kNew, kOnPath, kDone };
  std::vector<uint8_t> state(records, kNew);
  std::vector<int32_t> path;
  for (size_t start = 0; start < records; ++start) {
    path.clear();
    int32_t s = static_cast<int32_t>(start);
    while (s >= 0 && static_cast<size_t>(s) < records && state[s] == kNew) {
      state[s] = kOnPath;
      path.push_back(s);
      int32_t next = next_of(static_cast<size_t>(s));
      if (next >= 0 && static_cast<size_t>(next) < records &&
          state[next] == kOnPath) {
        throw InvalidFormatException(kModule, __LINE__, kErrorInvalidFormat,
                                     "Slot " + std::to_string(s) +
                                         " links to " + std::to_string(next) +
                                         ", closing a cycle.");
      }
      s = next;
    }
    for (int32_t p : path) state[p] = kDone;
  }
}

void CheckLinks(const WordFormTableFile& file) {
  CheckLinksOf(file.records.size(), file.slots,
               [&](size_t s) { return file.records[s].next; });
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
    if (size_ < 2 || bytes_[0] != 0xFF || bytes_[1] != 0xFE) {
      throw IOException(kModule, __LINE__, kErrorFileOpen,
                        "File is not Unicode based.");
    }
    at_ = 2;
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
  int32_t header = 0;
  ReadHeaderWord(reader, &header);
  int32_t slots = header;
  if (header == 0) {
    return Reject(rejection, "The table header announces no slots.");
  }
  if (header == wordform::kExtendedHeader) {
    ReadHeaderWord(reader, &slots);
    if (slots == 0) {
      return Reject(rejection, "The extended header announces no slots.");
    }
    int32_t extra = 0;
    if (!ReadHeaderWord(reader, &extra)) {
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "The extended header ends after the slot count.");
    }
    if (extra == 0) {
      return Reject(rejection, "The extended header's check word is zero.");
    }
  }
  file->slots = slots;
  if (slots < 1) {
    return Reject(rejection, "The table header announces " +
                                 std::to_string(slots) + " slots.");
  }
  if (slots > wordform::kMaxTableSlots) {
    throw InvalidFormatException(
        kModule, __LINE__, kErrorInvalidFormat,
        "The table header announces " + std::to_string(slots) +
            " slots, more than the limit of " +
            std::to_string(wordform::kMaxTableSlots) + ".");
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
  const uint64_t body = static_cast<uint64_t>(reader.Tell() - body_start);
  file->records_in_file = body / wordform::kRecordSize;
  file->partial_bytes = static_cast<uint32_t>(body % wordform::kRecordSize);
  CheckLinks(*file);
  return true;
}

}  // namespace

void ThrowLinkOutsideTable(size_t slot, int32_t next, int32_t slots) {
  throw InvalidFormatException(
      kModule, __LINE__, kErrorInvalidFormat,
      "Slot " + std::to_string(slot) + " links to " + std::to_string(next) +
          ", outside the table of " + std::to_string(slots) + " slots.");
}

void CheckWordFormTableLinks(const unsigned char* records, size_t count,
                             int32_t slots) {
  const unsigned char* next =
      records + wordform::kKeyBytes + wordform::kNextOffset;
  CheckLinksOf(count, slots, [&](size_t s) {
    return LittleEndian32(next + s * wordform::kRecordSize);
  });
}

void WordFormTableFile::Add(const unsigned char* record) {
  const unsigned char* tail = record + wordform::kKeyBytes;
  Entry entry;
  entry.next = LittleEndian32(tail + wordform::kNextOffset);
  entry.id = static_cast<uint32_t>(LittleEndian32(tail + wordform::kIdOffset));
  entry.tag = tail[wordform::kTagOffset];
  entry.flag = tail[wordform::kFlagOffset];
  const uint8_t units = static_cast<uint8_t>(wordform::KeyUnits(record));
  const uint8_t symbols = static_cast<uint8_t>(wordform::SymbolBytes(record));
  entry.key_units = units;
  entry.symbol_bytes = symbols;
  entry.text = static_cast<uint32_t>(text.size());
  text.insert(text.end(), record, record + 2 * units);
  text.insert(text.end(), tail, tail + symbols);
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
