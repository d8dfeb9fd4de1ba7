#include "diacritizer/hashmain.h"

#include <utility>
#include <vector>

#include "diacritizer/WordFormFormat.h"
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

// A rejected file leaves the table empty, whatever it held before.
void SetRejection(std::string* rejection, const std::string& why) {
  wordFormHashTable.Deallocate();
  if (rejection != nullptr) *rejection = why;
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
void CheckLinks(const WordFormHashTable& table) {
  const int32_t n = table.tableSize;
  for (int32_t s = 0; s < n; ++s) {
    int32_t next = table.nodes[s].next;
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
  std::vector<uint8_t> state(static_cast<size_t>(n), kNew);
  std::vector<int32_t> path;
  for (int32_t start = 0; start < n; ++start) {
    path.clear();
    int32_t s = start;
    while (s >= 0 && state[s] == kNew) {
      state[s] = kOnPath;
      path.push_back(s);
      int32_t next = table.nodes[s].next;
      if (next >= 0 && state[next] == kOnPath) {
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
bool ReadTable(FileReader& reader, std::string* rejection) {
  int32_t header = 0;
  ReadHeaderWord(reader, &header);
  int32_t slots = header;
  if (header == 0) {
    SetRejection(rejection, "The table header announces no slots.");
    return false;
  }
  if (header == wordform::kExtendedHeader) {
    ReadHeaderWord(reader, &slots);
    if (slots == 0) {
      SetRejection(rejection, "The extended header announces no slots.");
      return false;
    }
    int32_t extra = 0;
    if (!ReadHeaderWord(reader, &extra)) {
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "The extended header ends after the slot count.");
    }
    if (extra == 0) {
      SetRejection(rejection, "The extended header's check word is zero.");
      return false;
    }
  }
  if (slots > wordform::kMaxTableSlots) {
    wordFormHashTable.Deallocate();
    throw InvalidFormatException(
        kModule, __LINE__, kErrorInvalidFormat,
        "The table header announces " + std::to_string(slots) +
            " slots, more than the limit of " +
            std::to_string(wordform::kMaxTableSlots) + ".");
  }
  if (!wordFormHashTable.Allocate(slots, slots)) {
    SetRejection(rejection, "The table header announces " +
                                std::to_string(slots) + " slots.");
    return false;
  }

  wchar_t units[wordform::kKeyUnits];
  unsigned char tail[wordform::kTailBytes];
  reader.Read(units, wordform::kKeyUnits);
  reader.Read(reinterpret_cast<char*>(tail), wordform::kTailBytes);
  int32_t k = 0;
  // Records past the last slot would be dropped, so they are not read.
  while (!reader.EoF() && k < wordFormHashTable.tableSize) {
    WordFormHashNode& node = wordFormHashTable.nodes[k];
    int key_length = 0;
    while (key_length < wordform::kKeyUnits && units[key_length] != 0) {
      ++key_length;
    }
    node.key.assign(units, static_cast<size_t>(key_length));
    int symbol_length = 0;
    while (symbol_length < wordform::kSymbolBytes && tail[symbol_length] != 0) {
      ++symbol_length;
    }
    node.data.symbolicDiacritics.assign(reinterpret_cast<const char*>(tail),
                                        static_cast<size_t>(symbol_length));
    node.data.id =
        static_cast<uint32_t>(LittleEndian32(tail + wordform::kIdOffset));
    node.data.tag = tail[wordform::kTagOffset];
    node.data.flag = tail[wordform::kFlagOffset];
    node.next = LittleEndian32(tail + wordform::kNextOffset);
    ++k;
    reader.Read(units, wordform::kKeyUnits);
    if (!reader.EoF()) {
      reader.Read(reinterpret_cast<char*>(tail), wordform::kTailBytes);
    }
  }
  try {
    CheckLinks(wordFormHashTable);
  } catch (...) {
    wordFormHashTable.Deallocate();
    throw;
  }
  return true;
}

}  // namespace

bool LoadWordFormHashTable(const std::string& fileName) {
  return LoadWordFormHashTable(fileName, nullptr);
}

bool LoadWordFormHashTable(const std::string& fileName,
                           std::string* rejection) {
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
    return ReadTable(reader, rejection);
  } catch (IOException& e) {
    wordFormHashTable.Deallocate();
    e.SetFileName(kModule);
    e.SetLineNum(__LINE__);
    e.SetExceptionMsg(e.GetExceptionMsg() +
                      " Hash table reading problem occurred.");
    throw;
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
