// Rules files of any bytes: read or refused with a message that names the
// file and a line, never a crash; the rules read choose only readings of
// the word they are asked about.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "text/ContextRules.h"
#include "text/MarkedWord.h"

using urdulex::internal::ContextRules;
using urdulex::internal::ContextWord;
using urdulex::internal::MarkedWord;

namespace {

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "contextrules_fuzzer: %s\n", what);
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ContextRules rules;
  const urdulex::internal::Status status = rules.Parse(text, "rules");
  if (!status.ok()) {
    if (status.message().rfind("rules:", 0) != 0 || !rules.empty()) {
      Fail("a refusal without its place, or rules kept");
    }
    return 0;
  }
  // A sentence of the common words every tag: each chosen reading has the
  // letters of its word.
  const char16_t* const kWords[] = {u"میں", u"نے", u"کیا", u"گیا", u"جلد",
                                    u"ہی",  u"کہ", u"دو",  u"تو",  u"ہے"};
  std::u16string keys[10];  // the words' keys, which the sentence views
  std::vector<ContextWord> sentence;
  for (size_t i = 0; i < 10; ++i) {
    MarkedWord word;
    const std::u16string w = kWords[(i * 7 + size) % 10];
    word.Assign(w.data(), w.size());
    keys[i] = word.key();
    sentence.push_back(ContextWord{keys[i], uint32_t{1} << (i % 14)});
  }
  for (size_t i = 0; i < sentence.size(); ++i) {
    const std::u16string* reading = rules.Choose(sentence, i);
    if (reading == nullptr) continue;
    MarkedWord chosen;
    chosen.Assign(reading->data(), reading->size());
    if (chosen.key() != sentence[i].key) {
      Fail("a reading of other letters");
    }
  }
  return 0;
}
