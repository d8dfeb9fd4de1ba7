// WordFormTable and WordFormTableBuilder of urdulex/wordform_table.h, over
// the table of the diacritization (Diacritize.h) and the table builder
// (WordFormTable.h).

#include "text/ApiWordFormTable.h"

#include <utility>

#include "diacritizer/TableBuilder.h"
#include "text/ApiSupport.h"

namespace urdulex {

namespace {

urdulex::internal::Diacritizer::Ambiguous InternalPolicy(Ambiguous ambiguous) {
  switch (ambiguous) {
    case Ambiguous::kCommon:
      return urdulex::internal::Diacritizer::Ambiguous::kCommon;
    case Ambiguous::kKeep:
      return urdulex::internal::Diacritizer::Ambiguous::kKeep;
    case Ambiguous::kAll:
      return urdulex::internal::Diacritizer::Ambiguous::kAll;
    case Ambiguous::kFirst:
      break;
  }
  return urdulex::internal::Diacritizer::Ambiguous::kFirst;
}

}  // namespace

WordFormTable WordFormTable::Open(const std::string& path) {
  return urdulex::internal::ApiCall([&] {
    auto data = std::make_shared<Data>();
    data->path = path;
    // Read into private memory: a long-lived handle never sees the file
    // change under it, and needs no check at each call.
    std::unique_ptr<WordFormLookup> table(new WordFormLookup);
    urdulex::internal::OpenWordFormTable(path, true, true, table.get());
    data->table = std::move(table);
    return WordFormTable(std::move(data));
  });
}

const std::string& WordFormTable::path() const { return data_->path; }

std::vector<std::string> WordFormTable::Forms(std::string_view word) const {
  return urdulex::internal::ApiCall([&] {
    const std::u16string units = urdulex::internal::DecodeWord(word);
    std::u16string bare;
    if (!urdulex::internal::AppendBareForm(units.data(), units.size(), &bare))
      bare = units;
    const WordFormLookup::Forms held =
        urdulex::internal::TableForms(*data_->table, bare.data(), bare.size());
    std::vector<std::string> forms;
    for (const std::u16string& form : *held)
      forms.push_back(urdulex::internal::ToUtf8(form));
    return forms;
  });
}

std::string WordFormTable::Diacritize(std::string_view text,
                                      const DiacritizeOptions& options,
                                      Coverage* coverage) const {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::Diacritizer::Options internal;
    internal.lines = options.lines;
    internal.ambiguous = InternalPolicy(options.ambiguous);
    internal.count_ambiguous = coverage != nullptr;
    urdulex::internal::MemorySource source(std::string(text), "text");
    urdulex::internal::TextReader reader(source, false);
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter writer(sink,
                                         urdulex::internal::TextWriter::kUtf8);
    urdulex::internal::Diacritizer diacritizer(*data_->table, internal, writer);
    diacritizer.Run(reader);
    writer.Finish();
    if (coverage != nullptr) {
      const urdulex::internal::Coverage& counted = diacritizer.coverage();
      coverage->words = counted.tokens;
      coverage->known = counted.known;
      coverage->unknown = counted.unknown;
      coverage->ambiguous = counted.ambiguous;
      coverage->other = counted.other;
    }
    return std::move(sink.bytes);
  });
}

// --- the builder ---

// The public reasons are the builder's, without its kNone.
constexpr int Public(wordform::SkipReason reason) {
  return static_cast<int>(reason) - 1;
}
static_assert(Public(wordform::SkipReason::kNoLetters) ==
                      static_cast<int>(SkipReason::kNoLetters) &&
                  Public(wordform::SkipReason::kNotRestorable) ==
                      static_cast<int>(SkipReason::kNotRestorable) &&
                  Public(wordform::SkipReason::kLongKey) ==
                      static_cast<int>(SkipReason::kLongKey) &&
                  Public(wordform::SkipReason::kLongSymbols) ==
                      static_cast<int>(SkipReason::kLongSymbols) &&
                  Public(wordform::SkipReason::kAtSign) ==
                      static_cast<int>(SkipReason::kAtSign) &&
                  Public(wordform::SkipReason::kWideCharacter) ==
                      static_cast<int>(SkipReason::kWideCharacter) &&
                  Public(wordform::SkipReason::kDuplicate) ==
                      static_cast<int>(SkipReason::kDuplicate),
              "SkipReason differs from wordform::SkipReason");

const char* SkipReasonName(SkipReason reason) {
  return wordform::SkipReasonName(
      static_cast<wordform::SkipReason>(static_cast<int>(reason) + 1));
}

struct WordFormTableBuilder::Impl {
  wordform::WordFormTableBuilder builder;
  std::vector<SkippedWord> skipped;
};

WordFormTableBuilder::WordFormTableBuilder() : impl_(new Impl) {}
WordFormTableBuilder::~WordFormTableBuilder() = default;
WordFormTableBuilder::WordFormTableBuilder(WordFormTableBuilder&&) noexcept =
    default;
WordFormTableBuilder& WordFormTableBuilder::operator=(
    WordFormTableBuilder&&) noexcept = default;

bool WordFormTableBuilder::Add(std::string_view word, uint32_t id, uint8_t tag,
                               uint8_t flag) {
  return urdulex::internal::ApiCall([&] {
    const std::u16string units = urdulex::internal::DecodeWord(word);
    const wordform::SkipReason reason = impl_->builder.Add(
        std::wstring(units.begin(), units.end()), id, tag, flag);
    if (reason == wordform::SkipReason::kNone) return true;
    impl_->skipped.push_back(
        {std::string(word), static_cast<SkipReason>(Public(reason))});
    return false;
  });
}

BuildReport WordFormTableBuilder::Build(const std::string& path,
                                        int64_t slots) const {
  return urdulex::internal::ApiCall([&] {
    BuildReport report;
    report.slots = slots != 0
                       ? slots
                       : impl_->builder.SlotsForLoad(wordform::kDefaultLoad);
    std::string bytes, error;
    if (!impl_->builder.Build(report.slots, &bytes, &error)) {
      throw urdulex::internal::Error(error);
    }
    urdulex::internal::FileSink sink(path);
    try {
      sink.Write(bytes.data(), bytes.size());
      sink.Close();
    } catch (...) {
      sink.Discard();
      throw;
    }
    report.forms = impl_->builder.size();
    report.skipped = impl_->skipped;
    return report;
  });
}

}  // namespace urdulex
