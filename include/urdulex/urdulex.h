// urdulex: Urdu text in UTF-8. Everything a program needs, in namespace
// urdulex; every failure is an urdulex::Error.

#ifndef URDULEX_URDULEX_H_
#define URDULEX_URDULEX_H_

#include "urdulex/data_file.h"
#include "urdulex/diacritics.h"
#include "urdulex/error.h"
#include "urdulex/evaluate.h"
#include "urdulex/letter_codes.h"
#include "urdulex/normalizer.h"
#include "urdulex/tokenize.h"
#include "urdulex/uzt_codec.h"
#include "urdulex/version.h"
#include "urdulex/wordform_table.h"

#endif  // URDULEX_URDULEX_H_
