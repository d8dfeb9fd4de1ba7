// WordFormTable and WordFormTableBuilder of urdulex/wordform_table.h, over
// the table of the diacritization (Diacritize.h) and the table builder
// (WordFormTable.h).

#include "text/ApiWordFormTable.h"

#include <utility>

#include "diacritizer/TableBuilder.h"
#include "text/ApiSupport.h"
#include "text/CanonicalKey.h"
#include "text/ContextRules.h"
#include "text/TextIO.h"

namespace urdulex {

namespace internal {
extern const unsigned char kContextRules[];
extern const size_t kContextRules_size;
}  // namespace internal

struct ContextRules::Data {
  urdulex::internal::ContextRules rules;
};

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
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter writer(sink,
                                         urdulex::internal::TextWriter::kUtf8);
    urdulex::internal::Diacritizer diacritizer(
        *data_->table, urdulex::internal::Diacritizer::Options(), writer);
    std::vector<std::string> forms;
    for (const std::u16string& form :
         diacritizer.FormsOf(units.data(), units.size())) {
      forms.push_back(urdulex::internal::ToUtf8(form));
    }
    return forms;
  });
}

std::string WordFormTable::Diacritize(std::string_view text,
                                      const DiacritizeOptions& options,
                                      Coverage* coverage) const {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::Diacritizer::Options internal;
    internal.lines = options.lines;
    internal.normalize = options.normalize;
    internal.ambiguous = options.ambiguous;
    if (options.ambiguous == Ambiguous::kContext) {
      if (options.fallback == Ambiguous::kContext) {
        throw urdulex::internal::Error(
            "the fallback of context rules cannot be context");
      }
      const ContextRules& rules =
          options.rules != nullptr ? *options.rules : ContextRules::Shipped();
      internal.context = &rules.data_->rules;
      internal.ambiguous = options.fallback;
    }
    internal.count_ambiguous = coverage != nullptr;
    urdulex::internal::MemorySource source(std::string(text), "text");
    urdulex::internal::TextReader reader(source, false);
    urdulex::internal::StringSink sink;
    urdulex::internal::TextWriter writer(sink,
                                         urdulex::internal::TextWriter::kUtf8);
    urdulex::internal::Diacritizer diacritizer(*data_->table, internal, writer);
    diacritizer.Run(reader);
    writer.Finish();
    if (coverage != nullptr) *coverage = diacritizer.coverage();
    return std::move(sink.bytes);
  });
}

// --- context rules ---

const ContextRules& ContextRules::Shipped() {
  // Read once; every copy shares them.
  static const ContextRules* shipped = [] {
    return new ContextRules(Parse(
        std::string_view(
            reinterpret_cast<const char*>(urdulex::internal::kContextRules),
            urdulex::internal::kContextRules_size),
        "built-in context rules"));
  }();
  return *shipped;
}

ContextRules ContextRules::Open(const std::string& path) {
  return urdulex::internal::ApiCall([&] {
    // A rules file is a few hundred lines: one of more than this is none.
    constexpr size_t kMostBytes = 16 << 20;
    urdulex::internal::FileSource source(path);
    return Parse(source.ReadAll(kMostBytes), path);
  });
}

ContextRules ContextRules::Parse(std::string_view text,
                                 const std::string& name) {
  return urdulex::internal::ApiCall([&] {
    auto data = std::make_shared<Data>();
    const urdulex::internal::Status read = data->rules.Parse(text, name);
    if (!read.ok()) throw urdulex::internal::Error(read.message());
    return ContextRules(std::move(data));
  });
}

size_t ContextRules::size() const { return data_->rules.size(); }

// --- the builder ---

struct WordFormTableBuilder::Impl {
  wordform::WordFormTableBuilder builder{urdulex::internal::AppendCanonicalKey};
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
    const std::optional<SkipReason> reason = impl_->builder.Add(
        std::wstring(units.begin(), units.end()), id, tag, flag);
    if (!reason) return true;
    impl_->skipped.push_back({std::string(word), *reason});
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
    std::string bytes;
    const urdulex::internal::Status built =
        impl_->builder.Build(report.slots, &bytes);
    if (!built.ok()) throw urdulex::internal::Error(built.message());
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
