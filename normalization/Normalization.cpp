#include "normalization/Normalization.h"

#include <memory>
#include <utility>

#include "foundation/Quote.h"

Normalization::Normalization()
    : initialized(false),
      configManager(nullptr),
      nfdNormalizer(nullptr),
      nfcNormalizer(nullptr),
      nfkdNormalizer(nullptr) {
  auto config = std::make_unique<ConfigManager>();
  auto nfd = std::make_unique<Normalizer>();
  auto nfc = std::make_unique<Normalizer>();
  auto nfkd = std::make_unique<Normalizer>();
  configManager = config.release();
  nfdNormalizer = nfd.release();
  nfcNormalizer = nfc.release();
  nfkdNormalizer = nfkd.release();
}

Normalization::~Normalization() {
  Clear();
  delete configManager;
}

bool Normalization::Initialize() {
  return Initialize(ConfigManager::kDefaultConfigFile);
}

bool Normalization::Initialize(const std::string& configPath) {
  last_error_.clear();
  if (nfcNormalizer == nullptr) {
    last_error_ = "The normalization front has been cleared.";
    return false;
  }
  if (!configManager->Initialize(configPath)) {
    last_error_ = "Could not open configuration file: " +
                  urdulex::internal::QuoteName(configPath) + ".";
    return false;
  }
  const std::string& configured = configManager->nfcFilePath;
  const std::string rules = ConfigManager::ResolvePath(configPath, configured);
  const bool loaded_before = nfcNormalizer->fsm.isDefined();
  if (!nfcNormalizer->LoadNormRules(rules)) {
    if (configured.empty()) {
      last_error_ = "Configuration file " +
                    urdulex::internal::QuoteName(configPath) +
                    " has no NFCfilepath entry.";
    } else {
      last_error_ = "NFC rules file " + urdulex::internal::QuoteName(rules) +
                    " could not be read: " + nfcNormalizer->GetLastError();
    }
    return false;
  }
  if (!loaded_before) nfc_rules_path_ = rules;
  initialized = true;
  return true;
}

bool Normalization::Normalize(std::wstring text, NormMode mode,
                              std::wstring& result) {
  if (!initialized || mode != NFC) return false;
  nfcNormalizer->NormalizeInto(text, &result);
  return true;
}

bool Normalization::NormalizeWithChanges(const std::wstring& text,
                                         NormMode mode, std::wstring* result,
                                         std::vector<NormChange>* changes) {
  if (!initialized || mode != NFC) return false;
  nfcNormalizer->NormalizeWithChanges(text, result, changes);
  return true;
}

void Normalization::Clear() {
  if (configManager != nullptr) configManager->Clear();
  for (Normalizer** normalizer :
       {&nfdNormalizer, &nfcNormalizer, &nfkdNormalizer}) {
    if (*normalizer != nullptr) (*normalizer)->Clear();
    delete *normalizer;
    *normalizer = nullptr;
  }
  initialized = false;
}
