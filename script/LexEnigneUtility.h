// LexEnigneUtility: the Urdu script services of the library.
//
// One class for the script operations: symbolic diacritics, UZT conversion,
// the search alphabet and label sets, and the raw Unicode buffer layouts and
// file copy. Its only state is the UZT conversion tables, which it borrows
// from the caller that installs them; callers that need no conversion use a
// default-constructed object.

#ifndef URDULEX_SCRIPT_LEXENIGNEUTILITY_H_
#define URDULEX_SCRIPT_LEXENIGNEUTILITY_H_

#include <string>

class LexEnigneUtility {
 public:
  // === Symbolic diacritics (LexEnigneUtility.cpp) ===
  // === end: symbolic diacritics ===

  // === UZT conversion, search strings, labels, buffers (other .cpp files) ===
  // === end: UZT conversion, search strings, labels, buffers ===

 private:
  // === conversion state ===
  // === end: conversion state ===
};

#endif  // URDULEX_SCRIPT_LEXENIGNEUTILITY_H_
