#include "tools/urdu/TextCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "foundation/Quote.h"
#include "text/Encoding.h"
#include "text/ParallelLines.h"

namespace urdulex::internal {

// An input named on the command line, opened when it is first read and
// closed at its end, so that a run over many files holds one at a time.
// Until then its size is what its name leads to says. Standard input is
// there from the start.
class NamedInput : public ByteSource {
 public:
  explicit NamedInput(const std::string& name) : given_(name) {
    if (name == "-") {
      source_.reset(new FileSource(name));
      name_ = source_->name();
      size_ = source_->Size();
      return;
    }
    name_ = name;
    struct stat st;
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      size_ = static_cast<int64_t>(st.st_size);
    }
  }
  size_t Read(unsigned char* buffer, size_t n) override {
    if (!source_) {
      if (done_) return 0;
      source_.reset(new FileSource(given_));
      size_ = source_->Size();
    }
    const size_t got = source_->Read(buffer, n);
    if (got == 0) {
      source_.reset();
      done_ = true;
    }
    return got;
  }
  int64_t Size() const override { return size_; }
  const std::string& name() const override { return name_; }

 private:
  std::string given_;
  std::string name_;
  std::unique_ptr<FileSource> source_;
  int64_t size_ = -1;
  bool done_ = false;
};

// How far the inputs have got, on standard error, for long runs: the
// bytes read, the rate, and with the size of the inputs known the share
// done and the time left at that rate.
class Progress : public ReadProgress {
 public:
  // `total` is the size of the inputs in bytes, or -1 when unknown.
  Progress(bool enabled, const char* command, int64_t total)
      : enabled_(enabled), command_(command), total_(total) {
    start_ = last_ = std::chrono::steady_clock::now();
    // A hidden knob for the tests: a line at every read.
    if (const char* every = std::getenv("URDU_PROGRESS_EVERY_READ")) {
      every_read_ = *every == '1';
    }
  }
  ~Progress() override { Finish(); }

  void Advance(uint64_t bytes) override {
    done_ += bytes;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // Quiet for the first second, so short runs print nothing, and at most
    // five updates a second after it.
    if (!every_read_ && (now - start_ < std::chrono::seconds(1) ||
                         now - last_ < std::chrono::milliseconds(200))) {
      return;
    }
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double mb = static_cast<double>(done_) / 1e6;
    const double rate = seconds > 0 ? mb / seconds : 0;
    char line[160];
    int n = 0;
    if (total_ > 0) {
      const double share = std::min(
          1.0, static_cast<double>(done_) / static_cast<double>(total_));
      const double left_mb = static_cast<double>(total_) / 1e6 - mb;
      const long left =
          rate > 0 && left_mb > 0 ? static_cast<long>(left_mb / rate + 0.5) : 0;
      char time[32];
      if (left >= 3600) {
        std::snprintf(time, sizeof(time), "%ld:%02ld:%02ld", left / 3600,
                      left / 60 % 60, left % 60);
      } else {
        std::snprintf(time, sizeof(time), "%ld:%02ld", left / 60, left % 60);
      }
      n = std::snprintf(line, sizeof(line),
                        "urdu %s: %3d%% of %.1f MB, %.1f MB/s, %s left",
                        command_, static_cast<int>(100.0 * share),
                        static_cast<double>(total_) / 1e6, rate, time);
    } else {
      n = std::snprintf(line, sizeof(line), "urdu %s: %.1f MB, %.1f MB/s",
                        command_, mb, rate);
    }
    n = std::max(0, std::min(n, static_cast<int>(sizeof(line)) - 1));
    // Spaces over what is left of a longer line before.
    std::fprintf(stderr, "\r%s%*s", line, std::max(0, width_ - n), "");
    width_ = std::max(width_, n);
    std::fflush(stderr);
    shown_ = true;
  }

  void Finish() {
    if (!shown_) return;
    shown_ = false;
    // Clears the line so that a message after it starts clean.
    std::fprintf(stderr, "\r%*s\r", width_, "");
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  const char* command_;
  int64_t total_;
  uint64_t done_ = 0;
  bool shown_ = false;
  bool every_read_ = false;
  int width_ = 0;  // of the longest line shown
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

namespace {

bool standard_output_closed = false;

unsigned ThreadsOf(const Arguments& args, int64_t total) {
  const std::string jobs = args.Value("-j", "");
  if (jobs.empty()) {
    const int64_t kFew = int64_t{4} << 20;
    return total < 0 || total > kFew ? ThreadsFor(0) : 1;
  }
  char* end = nullptr;
  const unsigned long n = std::strtoul(jobs.c_str(), &end, 10);
  if (*end != '\0' || n < 1 || n > 1024 || jobs[0] == '-') {
    Misuse(args.command, "-j wants a number of threads from 1 to 1024");
  }
  return static_cast<unsigned>(n);
}

// Hands on what is read from an input to the progress line.
class Counted : public ByteSource {
 public:
  Counted(ByteSource& source, ConvertingSource* converter, Progress& progress)
      : source_(source), converter_(converter), progress_(progress) {}
  size_t Read(unsigned char* buffer, size_t n) override {
    const size_t got = source_.Read(buffer, n);
    progress_.Advance(converter_ != nullptr ? converter_->TakeRead() : got);
    return got;
  }
  const std::string& name() const override { return source_.name(); }

 private:
  ByteSource& source_;
  ConvertingSource* converter_;
  Progress& progress_;
};

}  // namespace

void NoteStandardOutputClosed() { standard_output_closed = true; }

bool StandardOutputClosed() { return standard_output_closed; }

void AddOutput(RunFiles& files, const std::string& as,
               const std::string& name) {
  if (name == "-" && standard_output_closed) {
    throw Error("standard output is closed");
  }
  files.Output(as, name);
}

TextCommand::TextCommand(const Arguments& args, RunFiles& files) : args_(args) {
  output_name_ = args.Value("-o", "-");
  if (args.files.empty()) {
    inputs_.emplace_back(new NamedInput("-"));
    files.Input("input", "-");
  } else {
    for (const std::string& name : args.files) {
      inputs_.emplace_back(new NamedInput(name));
      files.Input("input", name);
    }
  }
  int64_t total = 0;
  for (const auto& input : inputs_) {
    total = input->Size() < 0 || total < 0 ? -1 : total + input->Size();
  }
  AddOutput(files, "output", output_name_);
  const std::string from = args.Value("--from", "");
  if (!from.empty() && !CanConvert(from)) {
    throw UsageError("--from " + from +
                     ": not an encoding the C library's iconv converts "
                     "(`iconv -l` lists them)");
  }
  const bool show = args.Has("--progress") ||
                    (!args.Has("--no-progress") && ::isatty(2) == 1);
  progress_.reset(new Progress(show, args.command.c_str(), total));
  threads_ = ThreadsOf(args, total);
  total_bytes_ = total;
  report_name_ = args.Value("--report", "");
  if (!report_name_.empty()) AddOutput(files, "report", report_name_);
  stats_name_ = args.Value("--stats", "");
  if (!stats_name_.empty()) AddOutput(files, "stats", stats_name_);
}

TextCommand::~TextCommand() = default;

ByteSink* TextCommand::OpenReport() {
  if (report_name_.empty()) return nullptr;
  report_.reset(new FileSink(report_name_));
  return report_.get();
}

ByteSink* TextCommand::OpenStats() {
  if (stats_name_.empty()) return nullptr;
  stats_.reset(new FileSink(stats_name_));
  return stats_.get();
}

TextWriter& TextCommand::Open() {
  sink_.reset(new FileSink(output_name_));
  writer_.reset(new TextWriter(
      *sink_, args_.Has("--utf16") ? TextWriter::kUtf16 : TextWriter::kUtf8));
  return *writer_;
}

void TextCommand::Run(TextWriter& out, const Body& body) {
  if (threads_ <= 1) {
    ForEachInput([&](TextReader& reader) { body(0, reader, out, 0); });
    return;
  }
  RunBlocks(body);
}

void TextCommand::ForEachInput(const std::function<void(TextReader&)>& body) {
  for (const auto& input : inputs_) {
    TextReader reader(*input, args_.Has("--lenient"), progress_.get(),
                      args_.Value("--from", ""));
    body(reader);
    if (reader.replaced() > 0)
      replaced_.emplace_back(&reader.name(), reader.replaced());
  }
}

void TextCommand::Finish() {
  progress_->Finish();
  writer_->Finish();
  for (const auto& r : replaced_) {
    std::fprintf(stderr,
                 "urdu: %s: %llu invalid sequences replaced by U+FFFD\n",
                 MessageName(*r.first).c_str(),
                 static_cast<unsigned long long>(r.second));
  }
}

void TextCommand::Discard() {
  if (progress_) progress_->Finish();
  if (sink_) sink_->Discard();
  if (report_) report_->Discard();
  if (stats_) stats_->Discard();
}

void TextCommand::RunBlocks(const Body& body) {
  const bool lenient = args_.Has("--lenient");
  const std::string from = args_.Value("--from", "");
  std::vector<std::unique_ptr<ConvertingSource>> converters;
  std::vector<std::unique_ptr<Counted>> counted;
  std::vector<ByteSource*> sources;
  for (const auto& input : inputs_) {
    ConvertingSource* converter = nullptr;
    if (!from.empty()) {
      converters.emplace_back(new ConvertingSource(*input, from, lenient));
      converter = converters.back().get();
    }
    counted.emplace_back(new Counted(
        converter != nullptr ? static_cast<ByteSource&>(*converter) : *input,
        converter, *progress_));
    sources.push_back(counted.back().get());
  }
  ParallelLines::Options options;
  options.threads = threads_;
  // A hidden knob for the tests: small blocks on small inputs.
  if (const char* block = std::getenv("URDU_BLOCK_BYTES")) {
    options.block = std::strtoul(block, nullptr, 10);
  }
  const TextWriter::Encoding encoding =
      args_.Has("--utf16") ? TextWriter::kUtf16 : TextWriter::kUtf8;
  bool written = false;
  const auto begin = [&] {
    if (!written && encoding == TextWriter::kUtf16) {
      writer_->OmitMark();
      sink_->Write("\xFF\xFE", 2);
    }
    written = true;
  };
  TextBlocks blocks(options, encoding, lenient);
  blocks.Run(
      sources, body,
      [&](const char* data, size_t n) {
        begin();
        sink_->Write(data, n);
      },
      [&] {
        begin();
        return sink_.get();
      });
  for (size_t i = 0; i < inputs_.size(); ++i) {
    uint64_t n = converters.empty() ? 0 : converters[i]->replaced();
    n += blocks.replaced(i);
    if (n > 0) replaced_.emplace_back(&inputs_[i]->name(), n);
  }
}

}  // namespace urdulex::internal
