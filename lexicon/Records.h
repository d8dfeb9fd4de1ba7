// The records of a dictionary entry, in both of their forms.
//
// Every record is written once as a template over the string type of its
// text fields: std::wstring (one Unicode code point a unit) gives the
// Unicode form (WordRef, Sense, WordData, ...), std::string holding UZT bytes
// gives the UZT form (WordRef_UZT, Sense_UZT, WordData_UZT, ...). The two
// forms have the same fields in the same order; symbolic diacritic strings
// are narrow in both. LexEnigneUtility converts between them.
//
// Records are plain values: public fields, member-wise copy, and Clear where
// a record is reused. Each owns its strings and lists; WordData's
// partsOfSpeech holds pointers it neither creates nor destroys (see below).
// Nothing here throws besides the standard allocation failure.

#ifndef URDULEX_LEXICON_RECORDS_H_
#define URDULEX_LEXICON_RECORDS_H_

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// Entry identifier meaning "no entry".
constexpr uint32_t kNoEntryId = 0xFFFFFFFF;

// True for the string type of the UZT form.
template <typename Str>
constexpr bool kIsUztForm = std::is_same<Str, std::string>::value;

template <typename Str>
class BasicPOS;  // lexicon/PartsOfSpeech.h

// Fields that the system always assigns before reading them (`tag` of
// WordWithID and Infl, `id` of IdiomRef and CompoundRef, `flag` of IdiomData
// and CompoundInfo, `flagA` and `flagB` of WordData_UZT) have no documented
// default; they start at 0 here so that a copy never reads an unset value.

template <typename Str>
struct BasicWordRef {
  Str word;
  uint8_t tag = 0;
  uint32_t id = kNoEntryId;

  void Clear() {
    id = kNoEntryId;
    tag = 0;
    word.clear();
  }
};

// The fields of WordRef, without Clear.
template <typename Str>
struct BasicWordWithID {
  Str word;
  uint8_t tag = 0;  // no documented default
  uint32_t id = kNoEntryId;
};

template <typename Str>
struct BasicIdiomRef {
  Str text;
  uint32_t id = 0;  // no documented default
};

template <typename Str>
struct BasicCompoundRef {
  Str text;
  uint32_t id = 0;  // no documented default
};

template <typename Str>
struct BasicWordPro {
  Str word;
  Str pronunciation;
  std::string symbolicDiacritics;  // narrow in both forms

  void Clear() {
    word.clear();
    pronunciation.clear();
    symbolicDiacritics.clear();
  }
};

template <typename Str>
struct BasicWordProRef {
  Str word;
  uint8_t tag = 0;
  Str pronunciation;
  std::string symbolicDiacritics;  // narrow in both forms
  uint32_t id = kNoEntryId;
};

template <typename Str>
struct BasicInfl {
  BasicWordPro<Str> form;
  uint8_t tag = 0;  // no documented default
};

template <typename Str>
struct BasicExample {
  Str textA;
  Str textB;
};

template <typename Str>
struct BasicSearchResult {
  Str word;
  uint8_t tag = 0;
  uint8_t flag = 0;
  Str text;
};

template <typename Str>
struct BasicSubSense {
  std::vector<Str> listA;
  std::vector<Str> listB;
  std::vector<Str> listC;
  Str text;
  std::vector<BasicWordRef<Str>> wordRefs;
  std::vector<BasicExample<Str>> examples;
};

template <typename Str>
struct BasicSense {
  std::vector<BasicSubSense<Str>> subSenses;
};

template <typename Str>
struct BasicIdiomSubSense {
  std::vector<Str> listA;
  std::vector<Str> listB;
  Str text;
  std::vector<BasicExample<Str>> examples;
  std::vector<BasicIdiomRef<Str>> idiomRefs;
};

template <typename Str>
struct BasicIdiomSense {
  std::vector<BasicIdiomSubSense<Str>> subSenses;
};

template <typename Str>
struct BasicIdiomData {
  uint8_t flag = 0;  // no documented default
  Str idiom;
  std::vector<Str> list;
  std::vector<BasicIdiomSense<Str>> senses;
  std::vector<BasicWordRef<Str>> wordRefs;
};

template <typename Str>
struct BasicCompoundInfo {
  uint8_t flag = 0;  // no documented default
  BasicWordRef<Str> wordRef;
  std::vector<Str> list;
};

// A dictionary entry. `partsOfSpeech` is not owned: whoever fills it owns
// the objects and destroys them through their base pointers; a copy shares
// them. A new Unicode entry has flagB 1; the UZT twin documents no default
// for its flags (the converters assign both) and starts them at 0.
template <typename Str>
struct BasicWordData {
  BasicWordPro<Str> word;
  Str textA;
  std::vector<Str> list;
  uint8_t flagA = 0;
  std::vector<BasicWordRef<Str>> wordRefsA;
  std::vector<BasicWordRef<Str>> wordRefsB;
  BasicWordRef<Str> wordRef;
  Str textB;
  std::vector<BasicPOS<Str>*> partsOfSpeech;
  std::vector<BasicWordPro<Str>> wordPros;
  uint8_t flagB = kIsUztForm<Str> ? 0 : 1;
  BasicCompoundInfo<Str> compound;
  std::vector<BasicWordRef<Str>> wordRefsC;
  std::vector<BasicCompoundRef<Str>> compoundRefs;
};

template <typename Str>
struct BasicWordInfo {
  uint32_t id = kNoEntryId;
  Str word;
  uint8_t tag = 0;
  uint8_t flag = 0;
  Str text;
  std::vector<BasicSearchResult<Str>> results;

  void Clear() {
    text.clear();
    word.clear();
    tag = 0;
    flag = 0;
    id = kNoEntryId;
    results.clear();
  }
};

using WordRef = BasicWordRef<std::wstring>;
using WordWithID = BasicWordWithID<std::wstring>;
using IdiomRef = BasicIdiomRef<std::wstring>;
using CompoundRef = BasicCompoundRef<std::wstring>;
using WordPro = BasicWordPro<std::wstring>;
using WordProRef = BasicWordProRef<std::wstring>;
using Infl = BasicInfl<std::wstring>;
using Example = BasicExample<std::wstring>;
using SearchResult = BasicSearchResult<std::wstring>;
using Sense = BasicSense<std::wstring>;
using SubSense = BasicSubSense<std::wstring>;
using IdiomSense = BasicIdiomSense<std::wstring>;
using IdiomSubSense = BasicIdiomSubSense<std::wstring>;
using IdiomData = BasicIdiomData<std::wstring>;
using CompoundInfo = BasicCompoundInfo<std::wstring>;
using WordData = BasicWordData<std::wstring>;
using WordInfo = BasicWordInfo<std::wstring>;

using WordRef_UZT = BasicWordRef<std::string>;
using WordWithID_UZT = BasicWordWithID<std::string>;
using IdiomRef_UZT = BasicIdiomRef<std::string>;
using CompoundRef_UZT = BasicCompoundRef<std::string>;
using WordPro_UZT = BasicWordPro<std::string>;
using WordProRef_UZT = BasicWordProRef<std::string>;
using Infl_UZT = BasicInfl<std::string>;
using Example_UZT = BasicExample<std::string>;
using SearchResult_UZT = BasicSearchResult<std::string>;
using Sense_UZT = BasicSense<std::string>;
using SubSense_UZT = BasicSubSense<std::string>;
using IdiomSense_UZT = BasicIdiomSense<std::string>;
using IdiomSubSense_UZT = BasicIdiomSubSense<std::string>;
using IdiomData_UZT = BasicIdiomData<std::string>;
using CompoundInfo_UZT = BasicCompoundInfo<std::string>;
using WordData_UZT = BasicWordData<std::string>;
using WordInfo_UZT = BasicWordInfo<std::string>;

// An owned array of 32-bit values; it has no twin and no assignment.
class PList {
 public:
  PList() = default;
  // Copies `other`'s values into a new array of its own.
  PList(PList& other);
  PList& operator=(const PList&) = delete;
  ~PList();

  uint32_t* items = nullptr;
  uint32_t count = 0;
};

#endif  // URDULEX_LEXICON_RECORDS_H_
