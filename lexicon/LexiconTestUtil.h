// Helpers shared by the lexicon and conversion tests: equality of records
// and parts of speech field by field, and text of either form from ASCII.

#ifndef URDULEX_LEXICON_LEXICONTESTUTIL_H_
#define URDULEX_LEXICON_LEXICONTESTUTIL_H_

#include <tuple>
#include <typeinfo>
#include <utility>

#include "lexicon/Structs.h"

// Every field in declaration order (a WordData without its parts of speech,
// which SamePartsOfSpeech compares).
// clang-format off
template <typename S> auto Tie(const BasicWordRef<S>& r) { return std::tie(r.word, r.tag, r.id); }
template <typename S> auto Tie(const BasicWordWithID<S>& r) { return std::tie(r.word, r.tag, r.id); }
template <typename S> auto Tie(const BasicIdiomRef<S>& r) { return std::tie(r.text, r.id); }
template <typename S> auto Tie(const BasicCompoundRef<S>& r) { return std::tie(r.text, r.id); }
template <typename S> auto Tie(const BasicWordPro<S>& r) { return std::tie(r.word, r.pronunciation, r.symbolicDiacritics); }
template <typename S> auto Tie(const BasicWordProRef<S>& r) { return std::tie(r.word, r.tag, r.pronunciation, r.symbolicDiacritics, r.id); }
template <typename S> auto Tie(const BasicInfl<S>& r) { return std::tie(r.form, r.tag); }
template <typename S> auto Tie(const BasicExample<S>& r) { return std::tie(r.textA, r.textB); }
template <typename S> auto Tie(const BasicSearchResult<S>& r) { return std::tie(r.word, r.tag, r.flag, r.text); }
template <typename S> auto Tie(const BasicSense<S>& r) { return std::tie(r.subSenses); }
template <typename S> auto Tie(const BasicSubSense<S>& r) { return std::tie(r.listA, r.listB, r.listC, r.text, r.wordRefs, r.examples); }
template <typename S> auto Tie(const BasicIdiomSense<S>& r) { return std::tie(r.subSenses); }
template <typename S> auto Tie(const BasicIdiomSubSense<S>& r) { return std::tie(r.listA, r.listB, r.text, r.examples, r.idiomRefs); }
template <typename S> auto Tie(const BasicIdiomData<S>& r) { return std::tie(r.flag, r.idiom, r.list, r.senses, r.wordRefs); }
template <typename S> auto Tie(const BasicCompoundInfo<S>& r) { return std::tie(r.flag, r.wordRef, r.list); }
template <typename S> auto Tie(const BasicWordInfo<S>& r) { return std::tie(r.id, r.word, r.tag, r.flag, r.text, r.results); }
template <typename S> auto Tie(const BasicWordData<S>& r) {
  return std::tie(r.word, r.textA, r.list, r.flagA, r.wordRefsA, r.wordRefsB, r.wordRef, r.textB,
                  r.wordPros, r.flagB, r.compound, r.wordRefsC, r.compoundRefs);
}

template <typename S> auto TieBase(const BasicPOS<S>& p) { return std::tie(p.name, p.texts, p.senses); }
template <typename S> auto Tie(const BasicNoun<S>& p) {
  return std::tuple_cat(TieBase(p), std::tie(p.subcats, p.gender, p.number, p.singular, p.singVoc, p.singObl,
                                             p.plural, p.plVoc, p.plObl, p.plExp, p.oppositeGender));
}
template <typename S> auto Tie(const BasicVerb<S>& p) {
  return std::tuple_cat(TieBase(p), std::tie(p.subcats, p.gender, p.number, p.person, p.tense, p.inflections));
}
template <typename S> auto Tie(const BasicAdjective<S>& p) {
  return std::tuple_cat(TieBase(p), std::tie(p.subcats, p.gender, p.number, p.plural, p.plObl, p.plVoc,
                                             p.singular, p.singVoc, p.singObl, p.plExp, p.comparatives,
                                             p.superlatives, p.oppositeGender));
}
template <typename S> auto Tie(const BasicAdverb<S>& p) { return TieBase(p); }
template <typename S> auto Tie(const BasicPronoun<S>& p) {
  return std::tuple_cat(TieBase(p), std::tie(p.subcats, p.gender, p.number, p.person, p.grammaticalCase,
                                             p.plural, p.inflections, p.oppositeGender));
}
template <typename S> auto Tie(const BasicHarf<S>& p) {
  return std::tuple_cat(TieBase(p), std::tie(p.subcats, p.gender, p.number, p.oppositeGender, p.plural));
}
// clang-format on

// Found by argument-dependent lookup, also inside the comparison of lists.
template <typename R, typename = decltype(Tie(std::declval<const R&>()))>
bool operator==(const R& a, const R& b) {
  return Tie(a) == Tie(b);
}

// Same class and same fields, or both null.
template <typename S>
bool SamePOS(BasicPOS<S>* a, BasicPOS<S>* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (typeid(*a) != typeid(*b)) return false;
  if (auto* x = dynamic_cast<BasicNoun<S>*>(a))
    return *x == *dynamic_cast<BasicNoun<S>*>(b);
  if (auto* x = dynamic_cast<BasicVerb<S>*>(a))
    return *x == *dynamic_cast<BasicVerb<S>*>(b);
  if (auto* x = dynamic_cast<BasicAdjective<S>*>(a))
    return *x == *dynamic_cast<BasicAdjective<S>*>(b);
  if (auto* x = dynamic_cast<BasicAdverb<S>*>(a))
    return *x == *dynamic_cast<BasicAdverb<S>*>(b);
  if (auto* x = dynamic_cast<BasicPronoun<S>*>(a))
    return *x == *dynamic_cast<BasicPronoun<S>*>(b);
  if (auto* x = dynamic_cast<BasicHarf<S>*>(a))
    return *x == *dynamic_cast<BasicHarf<S>*>(b);
  return TieBase(*a) == TieBase(*b);
}

// ASCII text in the string type of either form.
template <typename S>
S Ascii(const char* text) {
  return S(text, text + std::char_traits<char>::length(text));
}

#endif  // URDULEX_LEXICON_LEXICONTESTUTIL_H_
