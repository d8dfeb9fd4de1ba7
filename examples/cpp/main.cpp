// Urdu text with the urdulex library: diacritics, normalization, tokens,
// a word-form table, letter codes and UZT.
// Usage: example [DATA_FOLDER] (share/urdulex of an installation; without
// it, the installed data urdulex::DataFile finds)
#include <cstdio>
#include <string>

#include "urdulex/urdulex.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: example [DATA_FOLDER]\n");
    return 2;
  }
  try {
    // A path under the data folder.
    auto data_file = [&](const std::string& path) {
      return argc == 2 ? std::string(argv[1]) + "/" + path
                       : urdulex::DataFile(path);
    };
    const urdulex::SplitWord split = urdulex::SplitDiacritics("کِتاب");
    std::printf("split: %s %s\n", split.bare.c_str(), split.symbols.c_str());
    std::printf("merge: %s\n",
                urdulex::MergeDiacritics(split.bare, split.symbols).c_str());
    std::printf("strip: %s\n", urdulex::StripDiacritics("قَلَم").c_str());

    const urdulex::Normalizer urdu = urdulex::Normalizer::Urdu();
    std::printf("normalize: %s\n", urdu.Normalize("كتاب").c_str());

    for (const urdulex::Token& token : urdulex::Tokenize("یہ کتاب، وہ قلم")) {
      if (token.kind == urdulex::Token::Kind::kWord) {
        std::printf("word at %zu: %s\n", token.offset, token.text.c_str());
      }
    }

    const urdulex::WordFormTable table = urdulex::WordFormTable::Open(
        data_file("diacritizer/wordformshashtable.lex"));
    urdulex::Coverage coverage;
    const std::string text = table.Diacritize(
        "یہ کتاب اچھی ہے۔", urdulex::DiacritizeOptions(), &coverage);
    std::printf("diacritize: %s (%llu of %llu words known)\n", text.c_str(),
                static_cast<unsigned long long>(coverage.known),
                static_cast<unsigned long long>(coverage.words));
    const urdulex::Evaluation evaluation =
        urdulex::Evaluate("یہ کِتاب اَچھّی ہَے", text);
    std::printf("DER %.3f, WER %.3f\n", evaluation.DiacriticErrorRate(),
                evaluation.WordErrorRate());

    const urdulex::LetterCodes codes =
        urdulex::LetterCodes::Open(data_file("codemapper/rules.txt"));
    std::printf("codes: %s\n", codes.Map("کتاب").c_str());

    const urdulex::UztCodec uzt =
        urdulex::UztCodec::Open(data_file("uzt/test-mapping.txt"));
    std::printf("uzt round trip: %s\n", uzt.Decode(uzt.Encode("کتاب")).c_str());

    urdulex::WordFormTable::Open("no-such-table.lex");
  } catch (const urdulex::Error& e) {
    std::printf("error: %s\n", e.what());
    return 0;
  }
  std::fprintf(stderr, "a missing table was opened\n");
  return 1;
}
