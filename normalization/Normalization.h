// Normalization is the entry point of the normalization library: create
// one, call Initialize once, then ask Normalize for the normalized form of
// any number of texts. The configuration file names the rules file of each
// form; the front owns its configuration and one Normalizer per form, and
// loads the NFC one. NFD and NFKD are configured but never loaded, and
// Normalize refuses them.
//
// Initialize reports failure as false; GetLastError then says which file
// was at fault and why. A reader failure while reading the configuration
// passes on as an IOException from ConfigManager. After Clear the front is
// spent: Normalize and Initialize return false.

#ifndef URDULEX_NORMALIZATION_NORMALIZATION_H_
#define URDULEX_NORMALIZATION_NORMALIZATION_H_

#include <string>
#include <vector>

#include "normalization/ConfigManager.h"
#include "normalization/Normalizer.h"

enum NormMode { NFD, NFC, NFKD };

class Normalization {
 public:
  Normalization();
  ~Normalization();
  Normalization(const Normalization&) = delete;
  Normalization& operator=(const Normalization&) = delete;

  // Reads "config.ini" from the working directory and loads the NFC rules.
  // A second call reads the configuration again; the NFC rules, once
  // loaded, are kept.
  bool Initialize();
  // The same with the configuration file `configPath`. A relative rules
  // path in it is taken relative to the directory of `configPath`; for a
  // bare file name that is the working directory, as for Initialize().
  bool Initialize(const std::string& configPath);

  // For NFC on an initialised front: sets `result` to the normalized `text`
  // and returns true. Otherwise false, `result` unchanged.
  bool Normalize(std::wstring text, NormMode mode, std::wstring& result);
  // Normalize, with the changes made to `text` listed in `*changes` (see
  // Normalizer::NormalizeWithChanges). False, nothing set, as Normalize.
  bool NormalizeWithChanges(const std::wstring& text, NormMode mode,
                            std::wstring* result,
                            std::vector<NormChange>* changes);

  // Whether NFC may cut a text right after `c`: normalizing the parts
  // apart and joining them gives the normalized whole (see
  // Normalizer::CanCutAfter). True on a front not initialised.
  bool CanCutAfter(wchar_t c) const {
    return nfcNormalizer == nullptr || nfcNormalizer->CanCutAfter(c);
  }

  // Empties the configuration and frees the normalizers.
  void Clear();

  // Why the last Initialize returned false, as one sentence naming the
  // file at fault (for example "Could not open configuration file:
  // config.ini."); empty after a success.
  const std::string& GetLastError() const { return last_error_; }

  // The rules file the NFC rules were read from, as seen from the working
  // directory; empty until they are loaded.
  const std::string& NfcRulesPath() const { return nfc_rules_path_; }
  // The line of that file where text after its last CR LF starts, which
  // the rules reader dropped, or 0; taken from the read that loaded the
  // rules. Programs refuse such a file.
  uint64_t NfcRulesUnendedLine() const {
    return nfcNormalizer != nullptr ? nfcNormalizer->UnendedLine() : 0;
  }

  // The NFC normalizer, loaded or not; null after Clear.
  const Normalizer* NfcNormalizer() const { return nfcNormalizer; }

 private:
  bool initialized;
  ConfigManager* configManager;
  Normalizer* nfdNormalizer;
  Normalizer* nfcNormalizer;
  Normalizer* nfkdNormalizer;
  std::string last_error_;
  std::string nfc_rules_path_;
};

#endif  // URDULEX_NORMALIZATION_NORMALIZATION_H_
