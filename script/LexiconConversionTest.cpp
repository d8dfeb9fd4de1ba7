#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include "foundation/TARNIException.h"
#include "lexicon/LexiconTestUtil.h"
#include "lexicon/Structs.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

namespace {

const char kTestMapping[] = URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt";

// A different Urdu word for every n, in letters of the test mapping.
std::wstring Word(int n) {
  const std::wstring letters = L"\u0627\u0628\u067E\u062A\u062C\u062F\u0631";
  std::wstring word = L"\u0645";
  do {
    word += letters[n % letters.size()];
    n /= static_cast<int>(letters.size());
  } while (n > 0);
  return word;
}

class Filler {
 public:
  std::wstring Text() { return Word(next_++); }
  uint8_t Code() { return static_cast<uint8_t>(next_++); }
  std::vector<std::wstring> Texts() { return {Text(), Text() + L" ab"}; }
  WordRef Ref() { return {Text(), Code(), 1000u + next_++}; }
  WordPro Pro() { return {Text(), Text(), "Z\xFE\x01X"}; }
  WordProRef ProRef() { return {Text(), Code(), Text(), "SZ", 7}; }
  Example Ex() { return {Text(), Text()}; }
  SubSense Sub() {
    return {Texts(), Texts(), Texts(), Text(), {Ref(), Ref()}, {Ex(), Ex()}};
  }
  IdiomSubSense IdiomSub() {
    return {Texts(), Texts(), Text(), {Ex()}, {{Text(), 3}, {Text(), 4}}};
  }
  std::vector<Sense> Senses() { return {{{Sub(), Sub()}}, {{Sub()}}}; }

  // Sets every attribute through the virtual interface; the class keeps
  // what it stores.
  void Fill(POS& pos, const wchar_t* name) {
    pos.name = name;
    pos.texts = {L"free text", L"\u05D0 is kept wide"};
    pos.senses = Senses();
    pos.SetSubcats(Texts());
    pos.SetGender(Code());
    pos.SetNumber(Code());
    for (int (POS::*set)(WordPro) :
         {&POS::SetSingular, &POS::SetSingVoc, &POS::SetSingObl,
          &POS::SetPlural, &POS::SetPlVoc, &POS::SetPlObl}) {
      (pos.*set)(Pro());
    }
    pos.SetPlExp({Pro(), Pro()});
    pos.SetComparatives({ProRef(), ProRef()});
    pos.SetSuperlatives({ProRef()});
    pos.SetOppositeGender({ProRef(), ProRef()});
    pos.SetTense(Code());
    pos.SetCase(Code());
    pos.SetPerson(Code());
    std::vector<Infl> inflections{{Pro(), Code()}, {Pro(), Code()}};
    pos.SetInflections(inflections);
  }

  // Every list non-empty, every class of part of speech, a null one and
  // one whose name selects no class.
  WordData Entry() {
    WordData entry;
    entry.word = Pro();
    entry.textA = Text();
    entry.list = Texts();
    entry.flagA = 4;
    entry.wordRefsA = {Ref(), Ref()};
    entry.wordRefsB = {Ref()};
    entry.wordRef = Ref();
    entry.textB = Text();
    for (const wchar_t* name : {kNounName, kVerbName, kAdjectiveName,
                                kAdverbName, kPronounName, kHarfName}) {
      POS* pos = NewPOSForName<std::wstring>(name);
      Fill(*pos, name);
      entry.partsOfSpeech.push_back(pos);
    }
    entry.partsOfSpeech.push_back(nullptr);
    entry.partsOfSpeech.push_back(new POS);
    entry.partsOfSpeech.back()->name = std::wstring(kNounName) + L" ";
    entry.wordPros = {Pro(), Pro()};
    entry.flagB = 9;
    entry.compound = {5, Ref(), Texts()};
    entry.wordRefsC = {Ref(), Ref()};
    entry.compoundRefs = {{Text(), 8}, {Text(), 0xFFFFFFFF}};
    return entry;
  }

  IdiomData Idiom() {
    return {6, Text(), Texts(), {{{IdiomSub(), IdiomSub()}}}, {Ref(), Ref()}};
  }

 private:
  int next_ = 1;
};

template <typename S>
void DeleteAll(std::vector<BasicPOS<S>*>& list) {
  for (BasicPOS<S>* pos : list) delete pos;
  list.clear();
}

std::string Describe(const char* name, const TARNIException& e) {
  EXPECT_EQ("LexEnigneUtility", e.GetFileName());
  EXPECT_GT(e.GetLineNum(), 0);
  return std::string(name) + " " + std::to_string(e.GetErrorCode()) + " " +
         e.GetExceptionMsg();
}

// Runs `f` and returns the class, code and message of what it throws.
template <typename F>
std::string Thrown(F f) {
  try {
    f();
  } catch (const MemoryAllocationException& e) {
    return Describe("MemoryAllocationException", e);
  } catch (const InvalidFormatException& e) {
    return Describe("InvalidFormatException", e);
  } catch (const TARNIException& e) {
    return Describe("TARNIException", e);
  }
  return "nothing thrown";
}

class LexiconConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mapping_.Load(kTestMapping);
    mapping_.Install(util_);
  }
  std::string Encode(const std::wstring& text) {
    std::string uzt;
    util_.ConvertUnicode2UZT(text, uzt);
    return uzt;
  }

  UZTMapping mapping_;
  LexEnigneUtility util_;
  Filler fill_;
};

TEST_F(LexiconConversionTest, WholeEntryRoundTrip) {
  WordData entry = fill_.Entry();
  WordData_UZT uzt = util_.ConvertToWordData_UZT(entry);
  WordData back = util_.ConvertFromWordData_UZT(uzt);

  EXPECT_TRUE(back == entry);
  ASSERT_EQ(8u, back.partsOfSpeech.size());
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_NE(entry.partsOfSpeech[i], back.partsOfSpeech[i]);
    EXPECT_TRUE(SamePOS(entry.partsOfSpeech[i], back.partsOfSpeech[i])) << i;
  }
  EXPECT_EQ(nullptr, back.partsOfSpeech[6]);
  EXPECT_EQ(nullptr, back.partsOfSpeech[7]);  // no class of that name

  // The UZT form holds encoded text, the same codes and symbol bytes, and
  // the twin classes.
  EXPECT_EQ(Encode(entry.textB), uzt.textB);
  EXPECT_EQ(entry.wordRefsA[1].id, uzt.wordRefsA[1].id);
  EXPECT_EQ(9, uzt.flagB);
  EXPECT_EQ("Z\xFE\x01X", uzt.word.symbolicDiacritics);
  const std::type_info* twins[] = {&typeid(Noun_UZT),      &typeid(Verb_UZT),
                                   &typeid(Adjective_UZT), &typeid(Adverb_UZT),
                                   &typeid(Pronoun_UZT),   &typeid(Harf_UZT)};
  for (int i = 0; i < 6; ++i) {
    POS_UZT* twin = uzt.partsOfSpeech[i];
    EXPECT_EQ(*twins[i], typeid(*twin));
    EXPECT_EQ(entry.partsOfSpeech[i]->texts, twin->texts);
    EXPECT_TRUE(twin->IsIrregular());  // the UZT base answers true
  }
  EXPECT_EQ(nullptr, uzt.partsOfSpeech[6]);
  EXPECT_EQ(nullptr, uzt.partsOfSpeech[7]);
  EXPECT_EQ(2u, static_cast<Noun_UZT*>(uzt.partsOfSpeech[0])->plExp.size());
  const Verb* verb = static_cast<Verb*>(entry.partsOfSpeech[1]);
  EXPECT_EQ(
      Encode(verb->inflections[1].form.word),
      static_cast<Verb_UZT*>(uzt.partsOfSpeech[1])->inflections[1].form.word);
  EXPECT_TRUE(back.partsOfSpeech[1]->IsIrregular());   // a verb
  EXPECT_FALSE(back.partsOfSpeech[2]->IsIrregular());  // an adjective

  IdiomData idiom = fill_.Idiom();
  EXPECT_TRUE(util_.ConvertFromIdiomData_UZT(
                  util_.ConvertToIdiomData_UZT(idiom)) == idiom);
  WordInfo info{3, Word(1), 1, 2, Word(2), {{Word(3), 4, 5, Word(4)}}};
  EXPECT_TRUE(
      util_.ConvertFromWordInfo_UZT(util_.ConvertToWordInfo_UZT(info)) == info);

  DeleteAll(entry.partsOfSpeech);
  DeleteAll(uzt.partsOfSpeech);
  DeleteAll(back.partsOfSpeech);
}

// Fields are visited in a fixed order, so the first bad one is reported.
// Each field below gets its own unconvertible character, and the fields
// are mended one at a time as their errors arrive.
TEST_F(LexiconConversionTest, FieldsAreConvertedInTheirOrder) {
  WordData entry = fill_.Entry();
  Noun* noun = static_cast<Noun*>(entry.partsOfSpeech[0]);
  const std::vector<std::wstring*> order = {
      &entry.word.word,
      &entry.word.pronunciation,
      &entry.textB,
      &entry.wordRefsA[1].word,
      &entry.wordRefsB[0].word,
      &entry.wordRefsC[0].word,
      &entry.wordRef.word,
      &entry.list[1],
      &entry.textA,
      &entry.wordPros[1].pronunciation,
      &entry.compound.wordRef.word,
      &entry.compound.list[0],
      &entry.compoundRefs[1].text,
      &noun->senses[0].subSenses[0].listA[0],
      &noun->senses[0].subSenses[0].listC[0],
      &noun->senses[0].subSenses[0].listB[0],
      &noun->senses[0].subSenses[0].examples[0].textB,
      &noun->senses[0].subSenses[0].text,
      &noun->senses[0].subSenses[0].wordRefs[0].word,
      &noun->subcats[0],
      &noun->plExp[1].word,
      &noun->oppositeGender[0].pronunciation,
      &noun->oppositeGender[0].word};
  for (size_t i = 0; i < order.size(); ++i) *order[i] = {wchar_t(0x0590 + i)};
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string message =
        Thrown([&] { util_.ConvertToWordData_UZT(entry); });
    EXPECT_NE(std::string::npos,
              message.find("(" + std::to_string(0x0590 + i) + ")"))
        << i << ": " << message;
    *order[i] = Word(static_cast<int>(i));
  }
  WordData_UZT uzt = util_.ConvertToWordData_UZT(entry);
  DeleteAll(uzt.partsOfSpeech);
  DeleteAll(entry.partsOfSpeech);
}

// A source whose getter of one step answers 0, or runs out of memory.
template <typename Base>
class Failing : public Base {
 public:
  Failing(int step, bool out_of_memory)
      : step_(step), out_of_memory_(out_of_memory) {}

  int GetSubcats(typename Base::TextList& out) override {
    return Fails(0) ? 0 : Base::GetSubcats(out);
  }
  int GetNumber(uint8_t& out) override {
    return Fails(2) ? 0 : Base::GetNumber(out);
  }
  int GetInflections(typename Base::InflList& out) override {
    return Fails(16) ? 0 : Base::GetInflections(out);
  }

 private:
  bool Fails(int step) const {
    if (step != step_) return false;
    if (out_of_memory_) throw std::bad_alloc();
    return true;
  }
  int step_;
  bool out_of_memory_;
};

TEST_F(LexiconConversionTest, FailingStepsAndMemory) {
  // A step and its description; no description: out of memory there.
  const std::pair<int, const char*> kCases[] = {
      {0, "sub-categories"}, {2, "number"}, {16, "inflections"}, {2, nullptr}};
  for (const auto& [step, what] : kCases) {
    const bool memory = what == nullptr;
    Failing<Verb> verb(step, memory);
    fill_.Fill(verb, kVerbName);
    Failing<Verb_UZT> twin(step, memory);
    twin.name = Encode(kVerbName);
    const std::string memory_text =
        "MemoryAllocationException 32 Could not allocate memory for POS "
        "struct while converting into ";
    const std::string step_text =
        memory ? ""
               : std::string(" encoding: Error occurred while getting ") +
                     what + ".";
    EXPECT_EQ(memory ? memory_text + "UZT encoding."
                     : "TARNIException 0 Converting POS into UZT" + step_text,
              Thrown([&] { util_.ConvertToPOS_UZT(&verb); }));
    EXPECT_EQ(memory
                  ? memory_text + "Unicode encoding."
                  : "TARNIException 32 Converting POS into Unicode" + step_text,
              Thrown([&] { util_.ConvertFromPOS_UZT(&twin); }));
    EXPECT_EQ(kVerbName, verb.name);  // the source is left as it was
  }
}

TEST_F(LexiconConversionTest, TextErrorsPassThroughWithTheSentence) {
  WordData entry = fill_.Entry();
  // Converted parts of speech before the failing one are released.
  static_cast<Harf*>(entry.partsOfSpeech[5])->plural.word = L"\u05D0";
  EXPECT_EQ(
      "InvalidFormatException 49 Unknown Unicode char found. Code (1488). "
      "Converting POS into UZT encoding failed.",
      Thrown([&] { util_.ConvertToWordData_UZT(entry); }));

  Noun_UZT noun;
  noun.name = Encode(kNounName);
  noun.senses.resize(1);
  noun.senses[0].subSenses.resize(1);
  noun.senses[0].subSenses[0].text = "\x01";
  WordData_UZT uzt;
  uzt.partsOfSpeech = {new Adverb_UZT, &noun};
  uzt.partsOfSpeech[0]->name = Encode(kAdverbName);
  EXPECT_EQ(
      "TARNIException 0 No Unicode mapping defined for UZT char. Code (1). "
      "Converting POS into Unicode encoding failed.",
      Thrown([&] { util_.ConvertFromWordData_UZT(uzt); }));
  // Decoding the name is part of the conversion, too.
  noun.name = "\x01";
  EXPECT_EQ(
      "TARNIException 0 No Unicode mapping defined for UZT char. Code (1). "
      "Converting POS into Unicode encoding failed.",
      Thrown([&] { util_.ConvertFromPOS_UZT(&noun); }));
  delete uzt.partsOfSpeech[0];
  DeleteAll(entry.partsOfSpeech);
}

TEST(LexiconConversionFreshTest, EmptyTextsNeedNoTables) {
  const LexEnigneUtility fresh;
  WordData entry;
  POS unnamed;
  entry.partsOfSpeech = {nullptr, &unnamed};
  WordData_UZT uzt = fresh.ConvertToWordData_UZT(entry);
  EXPECT_EQ((std::vector<POS_UZT*>{nullptr, nullptr}), uzt.partsOfSpeech);
  EXPECT_EQ(1, uzt.flagB);
  EXPECT_TRUE(fresh.ConvertFromWordData_UZT(uzt) == entry);
  EXPECT_TRUE(fresh.ConvertFromWordInfo_UZT(
                  fresh.ConvertToWordInfo_UZT(WordInfo())) == WordInfo());

  // The first text that is not empty needs them.
  Adjective adjective;
  adjective.name = kAdjectiveName;
  EXPECT_EQ(
      "TARNIException 0 Unicode to UZT mapping undefined. Converting POS into "
      "UZT encoding failed.",
      Thrown([&] { fresh.ConvertToPOS_UZT(&adjective); }));
  EXPECT_EQ("TARNIException 0 Unicode to UZT mapping undefined.", Thrown([&] {
              fresh.ConvertToWordRef_UZT({L"a", 0, 0});
            }));
}

}  // namespace
