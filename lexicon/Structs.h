// The lexicon entry model in one header: the records of a dictionary entry,
// the part-of-speech classes, their UZT twins, and the English word index
// node. LexEnigneUtility (script/LexEnigneUtility.h) converts entries
// between the Unicode and the UZT form.

#ifndef URDULEX_LEXICON_STRUCTS_H_
#define URDULEX_LEXICON_STRUCTS_H_

#include "lexicon/EngWordHashNodeData.h"
#include "lexicon/PartsOfSpeech.h"
#include "lexicon/Records.h"

#endif  // URDULEX_LEXICON_STRUCTS_H_
