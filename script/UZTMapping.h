// UZTMapping reads a UZT mapping file, checks it against the fixed sequences
// of the UZT conversion and builds the index map and the four tables that
// LexEnigneUtility borrows.
//
// The file is text: one line per character with its code point, its UZT byte
// and its plate class (doc/uzt-mapping.md). The object owns what it builds;
// Install hands borrowed pointers to a LexEnigneUtility, so the mapping must
// outlive every conversion that uses it, and it can be neither copied nor
// moved. Load throws IOException (module "UZTMapping") when the file cannot
// be read, and both Load and Parse throw InvalidFormatException (message
// "line N: ..." naming the offending line, or naming the missing space) when
// the text is not a consistent mapping; on a throw the object is left empty.
// Load and Parse invalidate the tables of an earlier Install. Not thread-safe
// while loading; read-only after.

#ifndef URDULEX_SCRIPT_UZTMAPPING_H_
#define URDULEX_SCRIPT_UZTMAPPING_H_

#include <string>
#include <vector>

#include "script/LexEnigneUtility.h"
#include "script/UrduCharSet.h"

class UZTMapping {
 public:
  // A mapping file larger than this is refused before it is read: the
  // largest sensible mapping (every 16-bit code once) is well under it.
  static constexpr long long kMaxFileSize = 4 * 1024 * 1024;
  // Plate class of a character the mapping does not know.
  static constexpr unsigned char kNoClass = 0;

  UZTMapping() = default;
  UZTMapping(const UZTMapping&) = delete;
  UZTMapping& operator=(const UZTMapping&) = delete;

  // Replaces the mapping with the one in file `path`.
  void Load(const std::string& path);
  // Replaces the mapping with the one in `text` (the contents of a file).
  void Parse(const std::string& text);

  // Installs the tables into `utility`, which borrows them from this object.
  void Install(LexEnigneUtility& utility);

  // Number of characters mapped.
  int Size() const { return static_cast<int>(byte_table_.size()); }
  // 'A', 'U', 'N' or 'X' for a mapped character (by its low 16 bits, as the
  // encoder looks it up), else kNoClass.
  unsigned char PlateClass(wchar_t c) const {
    const unsigned short index = index_map_.GetIndex(c);
    return index == UniChar2IndexMap::kNoIndex ? kNoClass : class_table_[index];
  }
  // The UZT byte of a mapped character of class A, U or N, else 0.
  unsigned char ByteFor(wchar_t c) const {
    const unsigned short index = index_map_.GetIndex(c);
    return index == UniChar2IndexMap::kNoIndex ? 0 : byte_table_[index];
  }
  // The character a byte of the UZT plate stands for through the table
  // (0 for none); the fixed sequences are not included.
  unsigned short UnicodeForByte(unsigned char b) const {
    return unicode_table_[b];
  }

 private:
  void Clear();

  UniChar2IndexMap index_map_;
  std::vector<unsigned char> byte_table_;
  std::vector<unsigned char> class_table_;
  unsigned short unicode_table_[256] = {};
  unsigned char* tables_[2] = {nullptr, nullptr};
};

#endif  // URDULEX_SCRIPT_UZTMAPPING_H_
