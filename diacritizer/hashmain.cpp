#include "diacritizer/hashmain.h"

#include <algorithm>
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
bool ReadHeaderWord(FileReader& reader, int32_t* value) {
  unsigned char bytes[wordform::kHeaderWordSize] = {0, 0, 0, 0};
  int got = reader.Read(reinterpret_cast<char*>(bytes), sizeof(bytes));
  *value = LittleEndian32(bytes);
  return got != 0;
}

// Rejects links that would let a search leave the table or walk forever.
// Throws InvalidFormatException naming the first bad slot and its link.
void CheckLinks(const WordFormTableFile& file) {
  const int32_t n = file.slots;
  for (size_t s = 0; s < file.records; ++s) {
    int32_t next = file.Next(s);
    if (next < wordform::kEndOfChain || next >= n) {
      throw InvalidFormatException(
          kModule, __LINE__, kErrorInvalidFormat,
          "Slot " + std::to_string(s) + " links to " + std::to_string(next) +
              ", outside the table of " + std::to_string(n) + " slots.");
    }
  }
  // Every slot has at most one successor, so a walk that meets a slot of
  // its own path has found a cycle. Each slot is walked once.
  enum : uint8_t { kNew, kOnPath, kDone };
  std::vector<uint8_t> state(file.records, kNew);
  std::vector<int32_t> path;
  for (size_t start = 0; start < file.records; ++start) {
    path.clear();
    int32_t s = static_cast<int32_t>(start);
    while (s >= 0 && static_cast<size_t>(s) < file.records &&
           state[s] == kNew) {
      state[s] = kOnPath;
      path.push_back(s);
      int32_t next = file.Next(s);
      if (next >= 0 && static_cast<size_t>(next) < file.records &&
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

// Everything after the file is open. Returns false for a header that
// announces no table; reader errors propagate to the caller's handler.
bool ReadTable(FileReader& reader, WordFormTableFile* file,
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
  file->slots = slots;

  // The end of the data, as the format defines it: a file that ends inside
  // the first key raises the reader's end-of-file error, a record cut short
  // later is dropped, and records past the last slot are not read. The
  // whole records the file's size promises are read at once; the reads
  // after them go record by record.
  std::vector<unsigned char>& bytes = file->bytes;
  size_t k = 0;
  const int64_t left = reader.FileSize() - (header == wordform::kExtendedHeader
                                                ? wordform::kMarkSize + 12
                                                : wordform::kMarkSize + 4);
  if (left >= wordform::kRecordSize) {
    k = static_cast<size_t>(
        std::min<int64_t>(left / wordform::kRecordSize, slots));
    bytes.resize(k * wordform::kRecordSize);
    reader.Read(reinterpret_cast<char*>(bytes.data()),
                static_cast<int>(bytes.size()));
    if (reader.EoF()) {  // the file shrank meanwhile
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "End of file encountered.");
    }
  } else {
    bytes.resize(wordform::kRecordSize);
    reader.Read(reinterpret_cast<char*>(bytes.data()), wordform::kKeyBytes);
    reader.Read(reinterpret_cast<char*>(bytes.data()) + wordform::kKeyBytes,
                wordform::kTailBytes);
    if (!reader.EoF()) k = 1;
  }
  while (k > 0 && k < static_cast<size_t>(slots) && !reader.EoF()) {
    bytes.resize((k + 1) * wordform::kRecordSize);
    char* record =
        reinterpret_cast<char*>(bytes.data()) + k * wordform::kRecordSize;
    reader.Read(record, wordform::kKeyBytes);
    if (reader.EoF()) break;
    reader.Read(record + wordform::kKeyBytes, wordform::kTailBytes);
    if (reader.EoF()) break;
    ++k;
  }
  bytes.resize(k * wordform::kRecordSize);
  file->records = k;
  CheckLinks(*file);
  return true;
}

}  // namespace

bool ReadWordFormTableFile(const std::string& fileName, WordFormTableFile* file,
                           std::string* rejection) {
  *file = WordFormTableFile();
  FileReader reader;
  try {
    reader.Open(fileName, FileReader::UNICODE);
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

bool LoadWordFormHashTable(const std::string& fileName) {
  return LoadWordFormHashTable(fileName, nullptr);
}

bool LoadWordFormHashTable(const std::string& fileName,
                           std::string* rejection) {
  // Whatever happens, the old contents go: a failed load leaves the table
  // empty rather than half filled.
  wordFormHashTable.Deallocate();
  WordFormTableFile file;
  if (!ReadWordFormTableFile(fileName, &file, rejection)) return false;
  if (!wordFormHashTable.Allocate(file.slots, file.slots)) return false;
  for (size_t k = 0; k < file.records; ++k) {
    const unsigned char* record = file.Record(k);
    const unsigned char* tail = record + wordform::kKeyBytes;
    WordFormHashNode& node = wordFormHashTable.nodes[k];
    const size_t key_length = file.KeyLength(k);
    node.key.resize(key_length);
    for (size_t u = 0; u < key_length; ++u) {
      node.key[u] =
          static_cast<wchar_t>(record[2 * u] | record[2 * u + 1] << 8);
    }
    size_t symbol_length = 0;
    while (symbol_length < static_cast<size_t>(wordform::kSymbolBytes) &&
           tail[symbol_length] != 0) {
      ++symbol_length;
    }
    node.data.symbolicDiacritics.assign(reinterpret_cast<const char*>(tail),
                                        symbol_length);
    node.data.id =
        static_cast<uint32_t>(LittleEndian32(tail + wordform::kIdOffset));
    node.data.tag = tail[wordform::kTagOffset];
    node.data.flag = tail[wordform::kFlagOffset];
    node.next = LittleEndian32(tail + wordform::kNextOffset);
  }
  return true;
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
