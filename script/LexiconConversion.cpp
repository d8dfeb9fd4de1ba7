// Conversion of dictionary entries between the Unicode and the UZT form.
//
// The records of both forms come from one template per record, so one
// field table per record serves both directions: Fields() below lists the
// fields in the order they are converted, and a FormConverter converts one
// field, choosing the direction by the types it is given.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/TARNIException.h"
#include "lexicon/Structs.h"
#include "script/LexEnigneUtility.h"

namespace {

const char kModule[] = "LexEnigneUtility";

// Field tables. `c(in.f, out.f)` converts field f; an assignment copies it
// unchanged.

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordRef<A>& in, BasicWordRef<B>& out) {
  out.id = in.id;
  out.tag = in.tag;
  c(in.word, out.word);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordWithID<A>& in, BasicWordWithID<B>& out) {
  out.id = in.id;
  out.tag = in.tag;
  c(in.word, out.word);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicIdiomRef<A>& in, BasicIdiomRef<B>& out) {
  out.id = in.id;
  c(in.text, out.text);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicCompoundRef<A>& in,
            BasicCompoundRef<B>& out) {
  out.id = in.id;
  c(in.text, out.text);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordPro<A>& in, BasicWordPro<B>& out) {
  out.symbolicDiacritics = in.symbolicDiacritics;
  c(in.word, out.word);
  c(in.pronunciation, out.pronunciation);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordProRef<A>& in, BasicWordProRef<B>& out) {
  out.id = in.id;
  out.tag = in.tag;
  out.symbolicDiacritics = in.symbolicDiacritics;
  c(in.pronunciation, out.pronunciation);
  c(in.word, out.word);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicInfl<A>& in, BasicInfl<B>& out) {
  out.tag = in.tag;
  c(in.form, out.form);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicExample<A>& in, BasicExample<B>& out) {
  c(in.textA, out.textA);
  c(in.textB, out.textB);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicSearchResult<A>& in,
            BasicSearchResult<B>& out) {
  out.tag = in.tag;
  out.flag = in.flag;
  c(in.word, out.word);
  c(in.text, out.text);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicSense<A>& in, BasicSense<B>& out) {
  c(in.subSenses, out.subSenses);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicIdiomSense<A>& in, BasicIdiomSense<B>& out) {
  c(in.subSenses, out.subSenses);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicSubSense<A>& in, BasicSubSense<B>& out) {
  c(in.listA, out.listA);
  c(in.listC, out.listC);
  c(in.listB, out.listB);
  c(in.examples, out.examples);
  c(in.text, out.text);
  c(in.wordRefs, out.wordRefs);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicIdiomSubSense<A>& in,
            BasicIdiomSubSense<B>& out) {
  c(in.listA, out.listA);
  c(in.listB, out.listB);
  c(in.examples, out.examples);
  c(in.text, out.text);
  c(in.idiomRefs, out.idiomRefs);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicIdiomData<A>& in, BasicIdiomData<B>& out) {
  out.flag = in.flag;
  c(in.idiom, out.idiom);
  c(in.list, out.list);
  c(in.senses, out.senses);
  c(in.wordRefs, out.wordRefs);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicCompoundInfo<A>& in,
            BasicCompoundInfo<B>& out) {
  out.flag = in.flag;
  c(in.wordRef, out.wordRef);
  c(in.list, out.list);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordInfo<A>& in, BasicWordInfo<B>& out) {
  out.id = in.id;
  out.tag = in.tag;
  out.flag = in.flag;
  c(in.word, out.word);
  c(in.text, out.text);
  c(in.results, out.results);
}

template <typename C, typename A, typename B>
void Fields(const C& c, const BasicWordData<A>& in, BasicWordData<B>& out) {
  c(in.word, out.word);
  out.flagA = in.flagA;
  out.flagB = in.flagB;
  c(in.textB, out.textB);
  c(in.wordRefsA, out.wordRefsA);
  c(in.wordRefsB, out.wordRefsB);
  c(in.wordRefsC, out.wordRefsC);
  c(in.wordRef, out.wordRef);
  c(in.list, out.list);
  c(in.textA, out.textA);
  c(in.wordPros, out.wordPros);
  c(in.compound, out.compound);
  c(in.compoundRefs, out.compoundRefs);
  c(in.partsOfSpeech, out.partsOfSpeech);
}

// Converts one value into the other form; the types of `in` and `out` say
// which way.
class FormConverter {
 public:
  explicit FormConverter(const LexEnigneUtility& utility) : utility_(utility) {}

  void operator()(const std::wstring& in, std::string& out) const {
    utility_.ConvertUnicode2UZT(in, out);
  }
  void operator()(const std::string& in, std::wstring& out) const {
    utility_.ConvertUZT2Unicode(in, out);
  }
  void operator()(uint8_t in, uint8_t& out) const { out = in; }

  // Records, by their field tables.
  template <typename In, typename Out>
  void operator()(const In& in, Out& out) const {
    Fields(*this, in, out);
  }

  template <typename A, typename B>
  void operator()(const std::vector<A>& in, std::vector<B>& out) const {
    out.reserve(out.size() + in.size());
    for (const A& item : in) {
      B converted{};
      (*this)(item, converted);
      out.push_back(std::move(converted));
    }
  }

  // Parts of speech: a null pointer, or one whose name selects no class,
  // gives null. If one fails, the objects this call created are released.
  template <typename A, typename B>
  void operator()(const std::vector<BasicPOS<A>*>& in,
                  std::vector<BasicPOS<B>*>& out) const {
    const size_t first = out.size();
    out.reserve(first + in.size());  // push_back below cannot throw
    try {
      for (BasicPOS<A>* pos : in) {
        out.push_back(pos == nullptr ? nullptr : NewTwin(pos));
      }
    } catch (...) {
      for (size_t i = first; i < out.size(); ++i) delete out[i];
      out.resize(first);
      throw;
    }
  }

 private:
  POS_UZT* NewTwin(POS* pos) const { return utility_.ConvertToPOS_UZT(pos); }
  POS* NewTwin(POS_UZT* pos) const { return utility_.ConvertFromPOS_UZT(pos); }

  const LexEnigneUtility& utility_;
};

template <typename Out, typename In>
Out Converted(const LexEnigneUtility& utility, const In& in) {
  Out out;
  const FormConverter convert(utility);
  convert(in, out);
  return out;
}

// One attribute of a part of speech, moved through the virtual interface:
// read from the source with `get`, converted, written with `set`.
template <typename InPOS, typename OutPOS, typename V, typename W>
struct Step {
  int (InPOS::*get)(V&);
  int (OutPOS::*set)(W);
  const char* getting;
  const char* setting;
};

template <typename InPOS, typename OutPOS, typename V, typename W>
Step<InPOS, OutPOS, V, W> MakeStep(int (InPOS::*get)(V&), int (OutPOS::*set)(W),
                                   const char* getting, const char* setting) {
  return {get, set, getting, setting};
}

// Runs `step`; on a failure stores its description in `failed` and answers
// false.
template <typename InPOS, typename OutPOS, typename V, typename W>
bool Run(const FormConverter& c, InPOS& in, OutPOS& out,
         const Step<InPOS, OutPOS, V, W>& step, const char*& failed) {
  V value{};
  if ((in.*step.get)(value) != 1) {
    failed = step.getting;
    return false;
  }
  std::decay_t<W> converted{};
  c(value, converted);
  if ((out.*step.set)(std::forward<W>(converted)) != 1) {
    failed = step.setting;
    return false;
  }
  return true;
}

// The attribute steps in order; the description of the first that fails,
// or null.
template <typename A, typename B>
const char* TransferAttributes(const FormConverter& c, BasicPOS<A>& in,
                               BasicPOS<B>& out) {
  using I = BasicPOS<A>;
  using O = BasicPOS<B>;
  const char* failed = nullptr;
  // clang-format off
  (void)(Run(c, in, out, MakeStep(&I::GetSubcats, &O::SetSubcats, "getting sub-categories", "setting sub-categories"), failed) &&
         Run(c, in, out, MakeStep(&I::GetGender, &O::SetGender, "getting genders", "setting genders"), failed) &&
         Run(c, in, out, MakeStep(&I::GetNumber, &O::SetNumber, "getting number", "setting numbers"), failed) &&
         Run(c, in, out, MakeStep(&I::GetSingular, &O::SetSingular, "getting singular", "setting singular"), failed) &&
         Run(c, in, out, MakeStep(&I::GetSingVoc, &O::SetSingVoc, "getting vocative singular", "setting vocative singular"), failed) &&
         Run(c, in, out, MakeStep(&I::GetSingObl, &O::SetSingObl, "getting oblique singular", "setting oblique singular"), failed) &&
         Run(c, in, out, MakeStep(&I::GetPlural, &O::SetPlural, "getting plural", "setting plural"), failed) &&
         Run(c, in, out, MakeStep(&I::GetPlVoc, &O::SetPlVoc, "getting vocative plural", "setting vocative plural"), failed) &&
         Run(c, in, out, MakeStep(&I::GetPlObl, &O::SetPlObl, "getting oblique plural", "setting oblique plural"), failed) &&
         Run(c, in, out, MakeStep(&I::GetPlExp, &O::SetPlExp, "getting exceptional plural", "setting exceptional plural"), failed) &&
         Run(c, in, out, MakeStep(&I::GetComparatives, &O::SetComparatives, "getting comparatives", "setting comparatives"), failed) &&
         Run(c, in, out, MakeStep(&I::GetSuperlatives, &O::SetSuperlatives, "getting superlatives", "setting superlatives"), failed) &&
         Run(c, in, out, MakeStep(&I::GetOppositeGender, &O::SetOppositeGender, "getting opposite genders", "setting opposite genders"), failed) &&
         Run(c, in, out, MakeStep(&I::GetTense, &O::SetTense, "getting tense", "setting tense"), failed) &&
         Run(c, in, out, MakeStep(&I::GetCase, &O::SetCase, "getting case", "setting case"), failed) &&
         Run(c, in, out, MakeStep(&I::GetPerson, &O::SetPerson, "getting person", "setting person"), failed) &&
         Run(c, in, out, MakeStep(&I::GetInflections, &O::SetInflections, "getting inflections", "setting inflections"), failed));
  // clang-format on
  return failed;
}

// The name that selects the class: the Unicode name itself, or the decoded
// UZT name.
std::wstring UnicodeName(const FormConverter&, const std::wstring& name) {
  return name;
}
std::wstring UnicodeName(const FormConverter& c, const std::string& name) {
  std::wstring decoded;
  c(name, decoded);
  return decoded;
}

// Converts a part of speech into the form whose strings are B. `encoding`
// names that form in messages; a failing step throws with `step_code`.
template <typename B, typename A>
BasicPOS<B>* ConvertPOS(const FormConverter& c, BasicPOS<A>& in,
                        const std::string& encoding, int step_code) {
  std::unique_ptr<BasicPOS<B>> out;
  const char* failed = nullptr;
  try {
    const std::wstring name = UnicodeName(c, in.name);
    out.reset(NewPOSForName<B>(name));
    if (out == nullptr) return nullptr;
    out->texts = in.texts;
    if constexpr (kIsUztForm<B>) {
      c(in.name, out->name);
    } else {
      out->name = name;
    }
    c(in.senses, out->senses);
    failed = TransferAttributes(c, in, *out);
    if (failed == nullptr) out->SetIrregular(in.IsIrregular());
  } catch (const std::bad_alloc&) {
    throw MemoryAllocationException(
        kModule, __LINE__, kErrorMemoryAllocation,
        "Could not allocate memory for POS struct while converting into " +
            encoding + " encoding.");
  } catch (TARNIException& e) {
    e.SetExceptionMsg(e.GetExceptionMsg() + " Converting POS into " + encoding +
                      " encoding failed.");
    throw;
  }
  if (failed != nullptr) {
    throw TARNIException(kModule, __LINE__, step_code,
                         "Converting POS into " + encoding +
                             " encoding: Error occurred while " + failed + ".");
  }
  return out.release();
}

}  // namespace

POS_UZT* LexEnigneUtility::ConvertToPOS_UZT(POS* pos) const {
  return ConvertPOS<std::string>(FormConverter(*this), *pos, "UZT",
                                 kErrorGeneral);
}

POS* LexEnigneUtility::ConvertFromPOS_UZT(POS_UZT* pos) const {
  return ConvertPOS<std::wstring>(FormConverter(*this), *pos, "Unicode",
                                  kErrorMemoryAllocation);
}

#define URDULEX_RECORD_CONVERTERS(Record)                                    \
  Record##_UZT LexEnigneUtility::ConvertTo##Record##_UZT(const Record& in)   \
      const {                                                                \
    return Converted<Record##_UZT>(*this, in);                               \
  }                                                                          \
  Record LexEnigneUtility::ConvertFrom##Record##_UZT(const Record##_UZT& in) \
      const {                                                                \
    return Converted<Record>(*this, in);                                     \
  }

URDULEX_RECORD_CONVERTERS(WordRef)
URDULEX_RECORD_CONVERTERS(WordWithID)
URDULEX_RECORD_CONVERTERS(IdiomRef)
URDULEX_RECORD_CONVERTERS(CompoundRef)
URDULEX_RECORD_CONVERTERS(WordPro)
URDULEX_RECORD_CONVERTERS(WordProRef)
URDULEX_RECORD_CONVERTERS(Infl)
URDULEX_RECORD_CONVERTERS(Example)
URDULEX_RECORD_CONVERTERS(SearchResult)
URDULEX_RECORD_CONVERTERS(Sense)
URDULEX_RECORD_CONVERTERS(SubSense)
URDULEX_RECORD_CONVERTERS(IdiomSense)
URDULEX_RECORD_CONVERTERS(IdiomSubSense)
URDULEX_RECORD_CONVERTERS(IdiomData)
URDULEX_RECORD_CONVERTERS(CompoundInfo)
URDULEX_RECORD_CONVERTERS(WordInfo)
URDULEX_RECORD_CONVERTERS(WordData)

#undef URDULEX_RECORD_CONVERTERS
