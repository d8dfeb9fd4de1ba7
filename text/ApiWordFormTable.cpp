// WordFormTable and WordFormTableBuilder of urdulex/wordform_table.h, over
// the table of the diacritization (Diacritize.h) and the table builder
// (WordFormTable.h).

#include "text/ApiWordFormTable.h"

#include <algorithm>
#include <utility>

#include "diacritizer/TableBuilder.h"
#include "foundation/LargePages.h"
#include "text/ApiSupport.h"
#include "text/CanonicalKey.h"
#include "text/ContextRules.h"
#include "text/ParallelLines.h"
#include "text/Reports.h"
#include "text/TextIO.h"

namespace urdulex {

namespace internal {
extern const unsigned char kContextRules[];
extern const size_t kContextRules_size;

namespace {

ReportCounts ToCounts(const WordLists& lists) {
  ReportCounts counts;
  counts.context = lists.context;
  const std::pair<const std::vector<WordCount>*, ReportCounts::Counts*>
      parts[] = {{&lists.unknown, &counts.unknown},
                 {&lists.kept, &counts.kept},
                 {&lists.split, &counts.split}};
  for (const auto& part : parts) {
    for (const WordCount& word : *part.first) {
      (*part.second)[DecodeWord(word.word)] += word.count;
    }
  }
  for (const Homograph& word : lists.homographs) {
    const std::u16string bare = DecodeWord(word.bare);
    counts.ambiguous[bare] += word.count;
    counts.by_rules[bare] += word.by_rules;
    counts.by_fallback[bare] += word.by_fallback;
    std::u16string& forms = counts.forms[bare];
    forms.clear();
    for (const std::string& form : word.forms) {
      if (!forms.empty()) forms += u'|';
      forms += DecodeWord(form);
    }
  }
  return counts;
}

WordLists FromCounts(const ReportCounts& counts) {
  WordLists lists;
  lists.context = counts.context;
  const std::pair<const ReportCounts::Counts*, std::vector<WordCount>*>
      parts[] = {{&counts.unknown, &lists.unknown},
                 {&counts.kept, &lists.kept},
                 {&counts.split, &lists.split}};
  for (const auto& part : parts) {
    for (const auto& entry : ByCount(*part.first)) {
      part.second->push_back({ToUtf8(entry.first), entry.second});
    }
  }
  const auto count = [](const ReportCounts::Counts& of,
                        const std::u16string& word) {
    const auto it = of.find(word);
    return it == of.end() ? uint64_t{0} : it->second;
  };
  for (const auto& entry : ByCount(counts.ambiguous)) {
    Homograph word;
    word.bare = ToUtf8(entry.first);
    word.count = entry.second;
    const auto forms = counts.forms.find(entry.first);
    if (forms != counts.forms.end()) {
      size_t start = 0;
      const std::u16string& all = forms->second;
      while (start <= all.size()) {
        size_t bar = all.find(u'|', start);
        if (bar == std::u16string::npos) bar = all.size();
        word.forms.push_back(ToUtf8(all.substr(start, bar - start)));
        start = bar + 1;
      }
    }
    word.by_rules = count(counts.by_rules, entry.first);
    word.by_fallback = count(counts.by_fallback, entry.first);
    lists.homographs.push_back(std::move(word));
  }
  return lists;
}

}  // namespace
}  // namespace internal

Coverage& Coverage::operator+=(const Coverage& other) {
  words += other.words;
  known += other.known;
  unknown += other.unknown;
  ambiguous += other.ambiguous;
  this->other += other.other;
  kept += other.kept;
  split += other.split;
  return *this;
}

std::string Coverage::Stats() const {
  return urdulex::internal::FormatStats(*this);
}

WordLists& WordLists::operator+=(const WordLists& other) {
  return urdulex::internal::ApiCall([&]() -> WordLists& {
    urdulex::internal::ReportCounts sum = urdulex::internal::ToCounts(*this);
    urdulex::internal::MergeReport(urdulex::internal::ToCounts(other), &sum);
    *this = urdulex::internal::FromCounts(sum);
    return *this;
  });
}

std::string WordLists::Text() const {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::StringSink sink;
    urdulex::internal::WriteReport(urdulex::internal::ToCounts(*this), sink);
    return std::move(sink.bytes);
  });
}

struct WordListsSum::Counts {
  urdulex::internal::ReportCounts report;
};

// No counts (a moved-from sum) are an empty sum.
WordListsSum::WordListsSum() = default;
WordListsSum::~WordListsSum() = default;
WordListsSum::WordListsSum(const WordListsSum& other)
    : counts_(other.counts_ ? new Counts(*other.counts_) : nullptr) {}
WordListsSum& WordListsSum::operator=(const WordListsSum& other) {
  if (this != &other) WordListsSum(other).counts_.swap(counts_);
  return *this;
}
WordListsSum::WordListsSum(WordListsSum&&) noexcept = default;
WordListsSum& WordListsSum::operator=(WordListsSum&&) noexcept = default;

WordListsSum& WordListsSum::operator+=(const WordLists& lists) {
  return urdulex::internal::ApiCall([&]() -> WordListsSum& {
    if (!counts_) counts_.reset(new Counts);
    urdulex::internal::MergeReport(urdulex::internal::ToCounts(lists),
                                   &counts_->report);
    return *this;
  });
}

WordListsSum& WordListsSum::operator+=(const WordListsSum& other) {
  return urdulex::internal::ApiCall([&]() -> WordListsSum& {
    if (!other.counts_) return *this;
    if (!counts_) counts_.reset(new Counts);
    urdulex::internal::MergeReport(other.counts_->report, &counts_->report);
    return *this;
  });
}

WordLists WordListsSum::Lists() const {
  return urdulex::internal::ApiCall([&] {
    return counts_ ? urdulex::internal::FromCounts(counts_->report)
                   : WordLists();
  });
}

std::string WordListsSum::Text() const {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::StringSink sink;
    urdulex::internal::WriteReport(
        counts_ ? counts_->report : urdulex::internal::ReportCounts(), sink);
    return std::move(sink.bytes);
  });
}

struct ContextRules::Data {
  urdulex::internal::ContextRules rules;
};

WordFormTable WordFormTable::Open(const std::string& path) {
  return urdulex::internal::ApiOpen(path, [&] {
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

// A text this long is diacritized on every core (`urdu diacritize` takes
// the threads for a file of more than 4 MB too).
constexpr size_t kThreadedBytes = size_t{4} << 20;

std::string WordFormTable::Diacritize(std::string_view text,
                                      const DiacritizeOptions& options,
                                      Coverage* coverage,
                                      WordLists* lists) const {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::Diacritizer::Options internal;
    internal.lines = options.lines;
    internal.normalize = options.normalize;
    internal.ambiguous = options.ambiguous;
    if (options.ambiguous == Ambiguous::kContext) {
      if (options.fallback == Ambiguous::kContext) {
        throw Error("the fallback of context rules cannot be context",
                    Error::Kind::kArgument);
      }
      const ContextRules& rules =
          options.rules != nullptr ? *options.rules : ContextRules::Shipped();
      internal.context = &rules.data_->rules;
      internal.ambiguous = options.fallback;
    }
    internal.count_ambiguous = coverage != nullptr || lists != nullptr;
    internal.count_unknown = lists != nullptr;
    internal.list_ambiguous = lists != nullptr;
    using urdulex::internal::Diacritizer;
    using urdulex::internal::TextReader;
    using urdulex::internal::TextWriter;
    urdulex::internal::ViewSource source(text, "text");
    urdulex::internal::StringSink sink;
    // One diacritizer, or one a thread.
    std::vector<std::unique_ptr<Diacritizer>> diacritizers;
    const unsigned threads =
        text.size() < kThreadedBytes ? 1 : urdulex::internal::ThreadsFor(0);
    if (threads <= 1) {
      // Buffers no larger than the text needs: a megabyte each for a word
      // would be most of the call's time.
      TextReader reader(source, false, nullptr, std::string(),
                        std::min(TextReader::kBlock, text.size() + 16));
      TextWriter writer(sink, TextWriter::kUtf8, true,
                        std::min(TextWriter::kBlock, 2 * text.size() + 64));
      diacritizers.emplace_back(
          new Diacritizer(*data_->table, internal, writer));
      diacritizers.back()->Run(reader);
      writer.Finish();
    } else {
      // In blocks of whole lines on every core, as `urdu diacritize` goes
      // over a large file: the output is the one of a single thread.
      Diacritizer::PrepareFor(*data_->table, static_cast<int64_t>(text.size()),
                              threads);
      urdulex::internal::ParallelLines::Options parallel;
      parallel.threads = threads;
      diacritizers.resize(threads);
      // Room for the marks put in, so that the text is never copied to grow:
      // pages of it not written are never touched.
      sink.bytes.reserve(2 * text.size());
      AdviseLargePagesWithin(sink.bytes.data(), sink.bytes.capacity());
      urdulex::internal::TextBlocks(parallel, TextWriter::kUtf8, false)
          .Run(
              {&source},
              [&](unsigned worker, TextReader& reader, TextWriter& out,
                  uint64_t) {
                if (!diacritizers[worker]) {
                  diacritizers[worker].reset(
                      new Diacritizer(*data_->table, internal, out));
                }
                diacritizers[worker]->Run(reader);
              },
              [&](const char* data, size_t n) { sink.bytes.append(data, n); },
              [&]() -> urdulex::internal::ByteSink* { return &sink; });
    }
    if (coverage != nullptr) *coverage = Coverage();
    urdulex::internal::ReportCounts counts;
    counts.context = internal.context != nullptr;
    for (const auto& diacritizer : diacritizers) {
      if (!diacritizer) continue;
      if (coverage != nullptr) *coverage += diacritizer->coverage();
      if (lists != nullptr) urdulex::internal::AddLists(*diacritizer, &counts);
    }
    if (lists != nullptr) {
      urdulex::internal::AddForms(*data_->table, &counts);
      *lists = urdulex::internal::FromCounts(counts);
    }
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
  return urdulex::internal::ApiOpen(path, [&] {
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
  return urdulex::internal::ApiOpen(path, [&] {
    BuildReport report;
    report.slots = slots != 0
                       ? slots
                       : impl_->builder.SlotsForLoad(wordform::kDefaultLoad);
    std::string bytes;
    const urdulex::internal::Status built =
        impl_->builder.Build(report.slots, &bytes);
    if (!built.ok()) throw Error(built.message(), Error::Kind::kArgument);
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
