#include "lexicon/PartsOfSpeech.h"

#include <string>
#include <vector>

namespace {

void Empty(uint8_t& code) { code = 0; }
template <typename Str>
void Empty(BasicWordPro<Str>& form) {
  form.Clear();
}
template <typename T>
void Empty(std::vector<T>& list) {
  list.clear();
}

// The base getter of an attribute the class does not store: the Unicode
// form answers an empty value, the UZT form leaves the argument alone.
template <typename Str, typename T>
int NotStored(T& out) {
  if constexpr (!kIsUztForm<Str>) Empty(out);
  return 1;
}

}  // namespace

// clang-format off
template <typename Str> int BasicPOS<Str>::GetSubcats(TextList& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetGender(uint8_t& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetNumber(uint8_t& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetSingular(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetSingVoc(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetSingObl(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetPlural(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetPlVoc(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetPlObl(Form& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetPlExp(FormList& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetComparatives(FormRefList& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetSuperlatives(FormRefList& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetOppositeGender(FormRefList& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetTense(uint8_t& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetCase(uint8_t& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetPerson(uint8_t& out) { return NotStored<Str>(out); }
template <typename Str> int BasicPOS<Str>::GetInflections(InflList& out) { return NotStored<Str>(out); }

template <typename Str> int BasicPOS<Str>::SetSubcats(TextList) { return 1; }
template <typename Str> int BasicPOS<Str>::SetGender(uint8_t) { return 1; }
template <typename Str> int BasicPOS<Str>::SetNumber(uint8_t) { return 1; }
template <typename Str> int BasicPOS<Str>::SetSingular(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetSingVoc(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetSingObl(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetPlural(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetPlVoc(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetPlObl(Form) { return 1; }
template <typename Str> int BasicPOS<Str>::SetPlExp(FormList) { return 1; }
template <typename Str> int BasicPOS<Str>::SetComparatives(FormRefList) { return 1; }
template <typename Str> int BasicPOS<Str>::SetSuperlatives(FormRefList) { return 1; }
template <typename Str> int BasicPOS<Str>::SetOppositeGender(FormRefList) { return 1; }
template <typename Str> int BasicPOS<Str>::SetTense(uint8_t) { return 1; }
template <typename Str> int BasicPOS<Str>::SetCase(uint8_t) { return 1; }
template <typename Str> int BasicPOS<Str>::SetPerson(uint8_t) { return 1; }
template <typename Str> int BasicPOS<Str>::SetInflections(InflList&) { return 1; }
template <typename Str> int BasicPOS<Str>::SetIrregular(bool) { return 1; }
// clang-format on

template <typename Str>
bool BasicPOS<Str>::IsIrregular() {
  return kIsUztForm<Str>;
}

template <typename Str>
void BasicPOS<Str>::Clear() {
  name.clear();
  senses.clear();
}

template <typename Str>
void BasicNoun<Str>::Clear() {
  subcats.clear();
  gender = 0;
  number = 0;
  for (BasicWordPro<Str>* form :
       {&singular, &singVoc, &singObl, &plural, &plVoc, &plObl}) {
    form->Clear();
  }
  plExp.clear();
  oppositeGender.clear();
  BasicPOS<Str>::Clear();
}

template <typename Str>
void BasicVerb<Str>::Clear() {
  gender = 0;
  number = 0;
  inflections.clear();
  person = 0;
  BasicPOS<Str>::Clear();
  subcats.clear();
  tense = 0;
}

template <typename Str>
void BasicAdjective<Str>::Clear() {
  subcats.clear();
  gender = 0;
  number = 0;
  for (BasicWordPro<Str>* form :
       {&plural, &plObl, &plVoc, &singular, &singVoc, &singObl}) {
    form->Clear();
  }
  plExp.clear();
  comparatives.clear();
  superlatives.clear();
  oppositeGender.clear();
}

template <typename Str>
void BasicAdverb<Str>::Clear() {
  BasicPOS<Str>::Clear();
}

template <typename Str>
void BasicPronoun<Str>::Clear() {
  grammaticalCase = 0;
  gender = 0;
  number = 0;
  oppositeGender.clear();
  person = 0;
  plural.Clear();
  inflections.clear();
  BasicPOS<Str>::Clear();
  subcats.clear();
}

template <typename Str>
void BasicHarf<Str>::Clear() {
  gender = 0;
  number = 0;
  oppositeGender.clear();
  plural.Clear();
  BasicPOS<Str>::Clear();
  subcats.clear();
}

template <typename Str>
BasicPOS<Str>* NewPOSForName(const std::wstring& name) {
  if (name == kNounName) return new BasicNoun<Str>;
  if (name == kVerbName) return new BasicVerb<Str>;
  if (name == kAdjectiveName) return new BasicAdjective<Str>;
  if (name == kAdverbName) return new BasicAdverb<Str>;
  if (name == kPronounName) return new BasicPronoun<Str>;
  if (name == kHarfName) return new BasicHarf<Str>;
  return nullptr;
}

#define URDULEX_POS_FORMS(Str)        \
  template class BasicPOS<Str>;       \
  template class BasicNoun<Str>;      \
  template class BasicVerb<Str>;      \
  template class BasicAdjective<Str>; \
  template class BasicAdverb<Str>;    \
  template class BasicPronoun<Str>;   \
  template class BasicHarf<Str>;      \
  template BasicPOS<Str>* NewPOSForName<Str>(const std::wstring&)
URDULEX_POS_FORMS(std::wstring);
URDULEX_POS_FORMS(std::string);
#undef URDULEX_POS_FORMS
