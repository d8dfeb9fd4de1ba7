// The part-of-speech classes of a dictionary entry, in both forms.
//
// POS carries what every part of speech has (name, texts, senses) and one
// virtual interface of 37 operations for the grammatical attributes and
// inflected forms. Its own implementation stands for "not applicable"; each
// of Noun, Verb, Adjective, Adverb, Pronoun and Harf stores only the
// attributes that apply to it and overrides exactly their getters and
// setters, so a caller walks every attribute without knowing the class.
// Getters and setters always return 1.
//
// As with the records, one template serves both forms: BasicPOS<std::wstring>
// is POS, BasicPOS<std::string> is POS_UZT (Noun_UZT and so on). The UZT
// form differs in two answers of the base: a getter for an attribute the
// class does not store leaves its argument as it was (the Unicode form
// empties it), and IsIrregular answers true (the Unicode form false).
// `texts` is wide in both forms.
//
// Objects are created with new and destroyed through their base pointer by
// whoever holds them.

#ifndef URDULEX_LEXICON_PARTSOFSPEECH_H_
#define URDULEX_LEXICON_PARTSOFSPEECH_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lexicon/Records.h"

// The names that select the class of a part of speech.
inline constexpr wchar_t kNounName[] = L"\u0627\u0633\u0645";
inline constexpr wchar_t kVerbName[] = L"\u0641\u0639\u0644";
inline constexpr wchar_t kAdjectiveName[] = L"\u0635\u0641\u062A";
inline constexpr wchar_t kAdverbName[] =
    L"\u0645\u062A\u0639\u0644\u0642 \u0641\u0639\u0644";
inline constexpr wchar_t kPronounName[] = L"\u0636\u0645\u06CC\u0631";
inline constexpr wchar_t kHarfName[] = L"\u062D\u0631\u0641";

template <typename Str>
class BasicPOS {
 public:
  using TextList = std::vector<Str>;
  using Form = BasicWordPro<Str>;
  using FormList = std::vector<BasicWordPro<Str>>;
  using FormRefList = std::vector<BasicWordProRef<Str>>;
  using InflList = std::vector<BasicInfl<Str>>;

  BasicPOS() = default;
  BasicPOS(const BasicPOS&) = default;
  BasicPOS& operator=(const BasicPOS&) = default;

  // Declared in the order of their slots, destructor last.
  virtual int GetSubcats(TextList& out);
  virtual int GetGender(uint8_t& out);
  virtual int GetNumber(uint8_t& out);
  virtual int GetSingular(Form& out);
  virtual int GetSingVoc(Form& out);
  virtual int GetSingObl(Form& out);
  virtual int GetPlural(Form& out);
  virtual int GetPlVoc(Form& out);
  virtual int GetPlObl(Form& out);
  virtual int GetPlExp(FormList& out);
  virtual int GetComparatives(FormRefList& out);
  virtual int GetSuperlatives(FormRefList& out);
  virtual int GetOppositeGender(FormRefList& out);
  virtual int GetTense(uint8_t& out);
  virtual int GetCase(uint8_t& out);
  virtual int GetPerson(uint8_t& out);
  virtual int GetInflections(InflList& out);
  virtual bool IsIrregular();
  // Erases name and senses; no Clear touches texts.
  virtual void Clear();
  virtual int SetSubcats(TextList value);
  virtual int SetGender(uint8_t value);
  virtual int SetNumber(uint8_t value);
  virtual int SetSingular(Form value);
  virtual int SetSingVoc(Form value);
  virtual int SetSingObl(Form value);
  virtual int SetPlural(Form value);
  virtual int SetPlVoc(Form value);
  virtual int SetPlObl(Form value);
  virtual int SetPlExp(FormList value);
  virtual int SetComparatives(FormRefList value);
  virtual int SetSuperlatives(FormRefList value);
  virtual int SetOppositeGender(FormRefList value);
  virtual int SetTense(uint8_t value);
  virtual int SetCase(uint8_t value);
  virtual int SetPerson(uint8_t value);
  virtual int SetInflections(InflList& value);
  virtual int SetIrregular(bool value);
  virtual ~BasicPOS() = default;

  Str name;
  std::vector<std::wstring> texts;
  std::vector<BasicSense<Str>> senses;
};

// One stored attribute: its getter copies the field out, its setter copies
// the value in.
#define URDULEX_POS_STORES(Attribute, Type, field) \
  int Get##Attribute(Type& out) override {         \
    out = field;                                   \
    return 1;                                      \
  }                                                \
  int Set##Attribute(Type value) override {        \
    field = std::move(value);                      \
    return 1;                                      \
  }

// The inflection table's setter takes its value by reference.
#define URDULEX_POS_STORES_INFLECTIONS(field)    \
  int GetInflections(InflList& out) override {   \
    out = field;                                 \
    return 1;                                    \
  }                                              \
  int SetInflections(InflList& value) override { \
    field = value;                               \
    return 1;                                    \
  }

#define URDULEX_POS_TYPES                    \
  using typename BasicPOS<Str>::TextList;    \
  using typename BasicPOS<Str>::Form;        \
  using typename BasicPOS<Str>::FormList;    \
  using typename BasicPOS<Str>::FormRefList; \
  using typename BasicPOS<Str>::InflList

template <typename Str>
class BasicNoun : public BasicPOS<Str> {
 public:
  URDULEX_POS_TYPES;
  BasicNoun() { BasicNoun::Clear(); }

  URDULEX_POS_STORES(Subcats, TextList, subcats)
  URDULEX_POS_STORES(Gender, uint8_t, gender)
  URDULEX_POS_STORES(Number, uint8_t, number)
  URDULEX_POS_STORES(Singular, Form, singular)
  URDULEX_POS_STORES(SingVoc, Form, singVoc)
  URDULEX_POS_STORES(SingObl, Form, singObl)
  URDULEX_POS_STORES(Plural, Form, plural)
  URDULEX_POS_STORES(PlVoc, Form, plVoc)
  URDULEX_POS_STORES(PlObl, Form, plObl)
  URDULEX_POS_STORES(PlExp, FormList, plExp)
  URDULEX_POS_STORES(OppositeGender, FormRefList, oppositeGender)
  void Clear() override;

  TextList subcats;
  uint8_t gender = 0;
  uint8_t number = 0;
  Form singular;
  Form singVoc;
  Form singObl;
  Form plural;
  Form plVoc;
  Form plObl;
  FormList plExp;
  FormRefList oppositeGender;
};

// Every verb is irregular: IsIrregular answers true and SetIrregular stores
// nothing.
template <typename Str>
class BasicVerb : public BasicPOS<Str> {
 public:
  URDULEX_POS_TYPES;
  BasicVerb() { BasicVerb::Clear(); }

  URDULEX_POS_STORES(Subcats, TextList, subcats)
  URDULEX_POS_STORES(Gender, uint8_t, gender)
  URDULEX_POS_STORES(Number, uint8_t, number)
  URDULEX_POS_STORES(Tense, uint8_t, tense)
  URDULEX_POS_STORES(Person, uint8_t, person)
  URDULEX_POS_STORES_INFLECTIONS(inflections)
  bool IsIrregular() override { return true; }
  int SetIrregular(bool) override { return 1; }
  void Clear() override;

  uint8_t GetPerson() const { return person; }

  TextList subcats;
  uint8_t gender = 0;
  uint8_t number = 0;
  uint8_t person = 0;
  uint8_t tense = 0;
  InflList inflections;
};

// Clear keeps name and senses.
template <typename Str>
class BasicAdjective : public BasicPOS<Str> {
 public:
  URDULEX_POS_TYPES;
  BasicAdjective() { BasicAdjective::Clear(); }

  URDULEX_POS_STORES(Subcats, TextList, subcats)
  URDULEX_POS_STORES(Gender, uint8_t, gender)
  URDULEX_POS_STORES(Number, uint8_t, number)
  URDULEX_POS_STORES(Singular, Form, singular)
  URDULEX_POS_STORES(SingVoc, Form, singVoc)
  URDULEX_POS_STORES(SingObl, Form, singObl)
  URDULEX_POS_STORES(Plural, Form, plural)
  URDULEX_POS_STORES(PlVoc, Form, plVoc)
  URDULEX_POS_STORES(PlObl, Form, plObl)
  URDULEX_POS_STORES(PlExp, FormList, plExp)
  URDULEX_POS_STORES(Comparatives, FormRefList, comparatives)
  URDULEX_POS_STORES(Superlatives, FormRefList, superlatives)
  URDULEX_POS_STORES(OppositeGender, FormRefList, oppositeGender)
  void Clear() override;

  TextList subcats;
  uint8_t gender = 0;
  uint8_t number = 0;
  Form plural;
  Form plObl;
  Form plVoc;
  Form singular;
  Form singVoc;
  Form singObl;
  FormList plExp;
  FormRefList comparatives;
  FormRefList superlatives;
  FormRefList oppositeGender;
};

// Stores no attribute. Clear erases name and senses, as the base does.
template <typename Str>
class BasicAdverb : public BasicPOS<Str> {
 public:
  BasicAdverb() { BasicAdverb::Clear(); }

  void Clear() override;
};

template <typename Str>
class BasicPronoun : public BasicPOS<Str> {
 public:
  URDULEX_POS_TYPES;
  BasicPronoun() { BasicPronoun::Clear(); }

  URDULEX_POS_STORES(Subcats, TextList, subcats)
  URDULEX_POS_STORES(Gender, uint8_t, gender)
  URDULEX_POS_STORES(Number, uint8_t, number)
  URDULEX_POS_STORES(Plural, Form, plural)
  URDULEX_POS_STORES(OppositeGender, FormRefList, oppositeGender)
  URDULEX_POS_STORES(Case, uint8_t, grammaticalCase)
  URDULEX_POS_STORES(Person, uint8_t, person)
  URDULEX_POS_STORES_INFLECTIONS(inflections)
  void Clear() override;

  TextList subcats;
  uint8_t gender = 0;
  uint8_t number = 0;
  uint8_t person = 0;
  uint8_t grammaticalCase = 0;
  Form plural;
  InflList inflections;
  FormRefList oppositeGender;
};

template <typename Str>
class BasicHarf : public BasicPOS<Str> {
 public:
  URDULEX_POS_TYPES;
  BasicHarf() { BasicHarf::Clear(); }

  URDULEX_POS_STORES(Subcats, TextList, subcats)
  URDULEX_POS_STORES(Gender, uint8_t, gender)
  URDULEX_POS_STORES(Number, uint8_t, number)
  URDULEX_POS_STORES(Plural, Form, plural)
  URDULEX_POS_STORES(OppositeGender, FormRefList, oppositeGender)
  void Clear() override;

  TextList subcats;
  uint8_t gender = 0;
  uint8_t number = 0;
  FormRefList oppositeGender;
  Form plural;
};

#undef URDULEX_POS_STORES
#undef URDULEX_POS_STORES_INFLECTIONS
#undef URDULEX_POS_TYPES

// A new default object of the class whose name is `name` exactly (compared
// with the noun, verb, adjective, adverb, pronoun and harf names in this
// order), or null, allocating nothing, for any other name. The object's own
// name is left empty.
template <typename Str>
BasicPOS<Str>* NewPOSForName(const std::wstring& name);

// Both forms are compiled once, in PartsOfSpeech.cpp.
#define URDULEX_POS_FORMS(Str)               \
  extern template class BasicPOS<Str>;       \
  extern template class BasicNoun<Str>;      \
  extern template class BasicVerb<Str>;      \
  extern template class BasicAdjective<Str>; \
  extern template class BasicAdverb<Str>;    \
  extern template class BasicPronoun<Str>;   \
  extern template class BasicHarf<Str>;      \
  extern template BasicPOS<Str>* NewPOSForName<Str>(const std::wstring&)
URDULEX_POS_FORMS(std::wstring);
URDULEX_POS_FORMS(std::string);
#undef URDULEX_POS_FORMS

using POS = BasicPOS<std::wstring>;
using Noun = BasicNoun<std::wstring>;
using Verb = BasicVerb<std::wstring>;
using Adjective = BasicAdjective<std::wstring>;
using Adverb = BasicAdverb<std::wstring>;
using Pronoun = BasicPronoun<std::wstring>;
using Harf = BasicHarf<std::wstring>;

using POS_UZT = BasicPOS<std::string>;
using Noun_UZT = BasicNoun<std::string>;
using Verb_UZT = BasicVerb<std::string>;
using Adjective_UZT = BasicAdjective<std::string>;
using Adverb_UZT = BasicAdverb<std::string>;
using Pronoun_UZT = BasicPronoun<std::string>;
using Harf_UZT = BasicHarf<std::string>;

#endif  // URDULEX_LEXICON_PARTSOFSPEECH_H_
