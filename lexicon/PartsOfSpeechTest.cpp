#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "lexicon/LexiconTestUtil.h"
#include "lexicon/PartsOfSpeech.h"

namespace {

// What one attribute does after a value was set: 'S' the getter returns the
// value set, '-' it empties its argument, '=' it leaves the argument alone.
template <typename P, typename V, typename W>
char Probe(P& pos, int (P::*get)(V&), int (P::*set)(W), const V& value,
           const V& untouched) {
  std::decay_t<W> in = value;
  EXPECT_EQ(1, (pos.*set)(std::forward<W>(in)));
  V out = untouched;
  EXPECT_EQ(1, (pos.*get)(out));
  if (out == value) return 'S';
  if (out == V{}) return '-';
  return out == untouched ? '=' : '?';
}

// The 17 attributes in slot order, one letter each as Probe answers.
template <typename S>
std::string Attributes(BasicPOS<S>& pos) {
  using P = BasicPOS<S>;
  using Texts = std::vector<S>;
  using Forms = std::vector<BasicWordPro<S>>;
  using Refs = std::vector<BasicWordProRef<S>>;
  using Infls = std::vector<BasicInfl<S>>;
  const BasicWordPro<S> f{Ascii<S>("f"), {}, "ZX"}, u{Ascii<S>("u"), {}, ""};
  const Refs r{{Ascii<S>("r"), 0, {}, "", 9}},
      ru{{Ascii<S>("u"), 0, {}, "", 1}};
  Infls infl(1), infl_u(2);
  infl[0].form = f;
  infl_u[0].tag = 4;
  return {Probe(pos, &P::GetSubcats, &P::SetSubcats, Texts{Ascii<S>("c")},
                Texts{Ascii<S>("u")}),
          Probe(pos, &P::GetGender, &P::SetGender, uint8_t{2}, uint8_t{7}),
          Probe(pos, &P::GetNumber, &P::SetNumber, uint8_t{2}, uint8_t{7}),
          Probe(pos, &P::GetSingular, &P::SetSingular, f, u),
          Probe(pos, &P::GetSingVoc, &P::SetSingVoc, f, u),
          Probe(pos, &P::GetSingObl, &P::SetSingObl, f, u),
          Probe(pos, &P::GetPlural, &P::SetPlural, f, u),
          Probe(pos, &P::GetPlVoc, &P::SetPlVoc, f, u),
          Probe(pos, &P::GetPlObl, &P::SetPlObl, f, u),
          Probe(pos, &P::GetPlExp, &P::SetPlExp, Forms{f, f}, Forms{u}),
          Probe(pos, &P::GetComparatives, &P::SetComparatives, r, ru),
          Probe(pos, &P::GetSuperlatives, &P::SetSuperlatives, r, ru),
          Probe(pos, &P::GetOppositeGender, &P::SetOppositeGender, r, ru),
          Probe(pos, &P::GetTense, &P::SetTense, uint8_t{2}, uint8_t{7}),
          Probe(pos, &P::GetCase, &P::SetCase, uint8_t{2}, uint8_t{7}),
          Probe(pos, &P::GetPerson, &P::SetPerson, uint8_t{2}, uint8_t{7}),
          Probe(pos, &P::GetInflections, &P::SetInflections, infl, infl_u)};
}

// What a getter answers on a new object, given `junk`: '0' the empty
// value, '=' the argument left alone.
template <typename P, typename V>
char Fresh(P& pos, int (P::*get)(V&), const V& junk) {
  V out = junk;
  EXPECT_EQ(1, (pos.*get)(out));
  if (out == V{}) return '0';
  return out == junk ? '=' : '?';
}

// The 17 getters in slot order on an object nobody has set.
template <typename S>
std::string FreshAttributes(BasicPOS<S>& pos) {
  using P = BasicPOS<S>;
  const BasicWordPro<S> form{Ascii<S>("j"), Ascii<S>("k"), "Z"};
  const std::vector<BasicWordProRef<S>> refs{{Ascii<S>("j"), 1, {}, "Z", 2}};
  std::vector<BasicInfl<S>> infl(1);
  infl[0].tag = 3;
  return {Fresh(pos, &P::GetSubcats, std::vector<S>{Ascii<S>("j")}),
          Fresh(pos, &P::GetGender, uint8_t{7}),
          Fresh(pos, &P::GetNumber, uint8_t{7}),
          Fresh(pos, &P::GetSingular, form),
          Fresh(pos, &P::GetSingVoc, form),
          Fresh(pos, &P::GetSingObl, form),
          Fresh(pos, &P::GetPlural, form),
          Fresh(pos, &P::GetPlVoc, form),
          Fresh(pos, &P::GetPlObl, form),
          Fresh(pos, &P::GetPlExp, std::vector<BasicWordPro<S>>{form}),
          Fresh(pos, &P::GetComparatives, refs),
          Fresh(pos, &P::GetSuperlatives, refs),
          Fresh(pos, &P::GetOppositeGender, refs),
          Fresh(pos, &P::GetTense, uint8_t{7}),
          Fresh(pos, &P::GetCase, uint8_t{7}),
          Fresh(pos, &P::GetPerson, uint8_t{7}),
          Fresh(pos, &P::GetInflections, infl)};
}

template <typename S>
const std::type_info& ClassOf(const BasicPOS<S>* pos) {
  return typeid(*pos);
}

struct ClassCase {
  const wchar_t* name;
  const char* stored;  // Attributes() of the Unicode form
  bool irregular;
};

// Which class stores which attribute: sub-categories, gender, number, the
// six forms, exceptional plurals, comparatives, superlatives, opposite
// gender, tense, case, person, inflections.
const ClassCase kClasses[] = {
    {kNounName, "SSSSSSSSSS--S----", false},
    {kVerbName, "SSS----------S-SS", true},
    {kAdjectiveName, "SSSSSSSSSSSSS----", false},
    {kAdverbName, "-----------------", false},
    {kPronounName, "SSS---S-----S-SSS", false},
    {kHarfName, "SSS---S-----S----", false},
};

TEST(PartsOfSpeechTest, EachClassStoresExactlyItsAttributes) {
  for (const ClassCase& c : kClasses) {
    std::unique_ptr<POS> pos(NewPOSForName<std::wstring>(c.name));
    ASSERT_NE(nullptr, pos);
    EXPECT_EQ(c.stored, Attributes(*pos)) << ClassOf(pos.get()).name();
    pos->SetIrregular(!c.irregular);
    EXPECT_EQ(c.irregular, pos->IsIrregular());

    // The UZT base leaves a getter's argument alone and is irregular.
    std::unique_ptr<POS_UZT> twin(NewPOSForName<std::string>(c.name));
    std::string stored_uzt = c.stored;
    for (char& ch : stored_uzt) ch = ch == '-' ? '=' : ch;
    EXPECT_EQ(stored_uzt, Attributes(*twin)) << ClassOf(twin.get()).name();
    twin->SetIrregular(false);
    EXPECT_TRUE(twin->IsIrregular());
  }
}

// A new object has every code 0 and every form and list empty: the
// Unicode form answers the empty value for every attribute, the UZT form
// for those its class stores (its base leaves the argument alone).
TEST(PartsOfSpeechTest, NewObjectsAreEmpty) {
  for (const ClassCase& c : kClasses) {
    std::unique_ptr<POS> pos(NewPOSForName<std::wstring>(c.name));
    EXPECT_EQ(std::string(17, '0'), FreshAttributes(*pos)) << c.stored;
    EXPECT_TRUE(pos->name.empty() && pos->texts.empty() && pos->senses.empty());
    std::unique_ptr<POS_UZT> twin(NewPOSForName<std::string>(c.name));
    std::string want = c.stored;
    for (char& ch : want) ch = ch == 'S' ? '0' : '=';
    EXPECT_EQ(want, FreshAttributes(*twin)) << c.stored;
  }
}

TEST(PartsOfSpeechTest, ClearKeepsTextsAndAdjectiveKeepsNameAndSenses) {
  for (const ClassCase& c : kClasses) {
    std::unique_ptr<POS> pos(NewPOSForName<std::wstring>(c.name));
    pos->name = c.name;
    pos->texts = {L"t"};
    pos->senses.resize(2);
    Attributes(*pos);  // sets every attribute
    pos->Clear();
    const bool adjective = ClassOf(pos.get()) == typeid(Adjective);
    EXPECT_EQ(adjective ? std::wstring(c.name) : L"", pos->name);
    EXPECT_EQ(adjective ? 2u : 0u, pos->senses.size());
    EXPECT_EQ(std::vector<std::wstring>{L"t"}, pos->texts);
    // After Clear each class is as new.
    std::unique_ptr<POS> fresh(NewPOSForName<std::wstring>(c.name));
    fresh->name = pos->name;
    fresh->texts = pos->texts;
    fresh->senses = pos->senses;
    EXPECT_TRUE(SamePOS(fresh.get(), pos.get())) << c.stored;
  }
}

TEST(PartsOfSpeechTest, VerbAnswersItsPersonWithoutArgument) {
  Verb verb;
  EXPECT_EQ(0, verb.GetPerson());
  verb.SetPerson(3);
  EXPECT_EQ(3, verb.GetPerson());
}

}  // namespace
