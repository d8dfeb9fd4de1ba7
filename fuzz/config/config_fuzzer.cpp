// Fuzz target for the configuration reader, ConfigManager::Initialize. The
// configuration text is written to a scratch file and read both by path
// and, from a scratch working directory, as "config.ini"; the three paths
// must equal those of a plain model of the reading rules that works on the
// bytes in memory, and nothing may be thrown. A difference aborts.
//
// Input layout: one flag byte, then the configuration text. Flag bit 0
// has each manager read a configuration naming all three paths first, so
// the text must overwrite only the keys it holds; bit 1 puts 64 kB - (flag >>
// 2) bytes of filler lines in front, so that the text crosses the reader's
// buffer boundary.
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "foundation/TARNIException.h"
#include "normalization/ConfigManager.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;
// The reader's buffer size, which the filler crosses.
constexpr size_t kReaderBuffer = 64 * 1024;

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "config fuzzer: %s\n", what);
    abort();
  }
}

struct Paths {
  std::string nfd, nfc, nfkd;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The reading rules on bytes in memory: a key up to "=" (at most 64
// bytes), then, unless the text has run out, a value up to LF (at most 512
// bytes); an empty piece is skipped, a value of none drops its key. A piece
// cut at its limit leaves the rest for the next piece.
void ModelRead(const std::string& text, Paths* paths) {
  size_t at = 0;
  bool end = false;  // a read has run past the last byte
  auto piece = [&](size_t max, char delimiter, std::string* out) {
    std::string got;
    while (got.size() < max) {
      if (at == text.size()) {
        end = true;
        break;
      }
      const char c = text[at++];
      if (c == delimiter) break;
      got.push_back(c);
    }
    if (got.empty()) return false;
    *out = got;
    return true;
  };
  while (!end) {
    std::string key, value;
    if (!piece(ConfigManager::kMaxKeyLength, '=', &key)) continue;
    if (end) continue;
    if (!piece(ConfigManager::kMaxValueLength, '\n', &value)) continue;
    key = Trimmed(key);
    value = Trimmed(value);
    if (key == "NFDfilepath") {
      paths->nfd = value;
    } else if (key == "NFCfilepath") {
      paths->nfc = value;
    } else if (key == "NFKDfilepath") {
      paths->nfkd = value;
    }
  }
}

void Compare(const ConfigManager& config, const Paths& model) {
  Check(config.nfdFilePath == model.nfd, "NFD path differs");
  Check(config.nfcFilePath == model.nfc, "NFC path differs");
  Check(config.nfkdFilePath == model.nfkd, "NFKD path differs");
}

// Initialize by path, or with no argument from `dir`; an exception is a
// fault, since a readable file raises none.
bool Read(ConfigManager* config, const std::string& path,
          const std::string& dir) {
  try {
    if (dir.empty()) return config->Initialize(path);
    const int back = open(".", O_RDONLY | O_DIRECTORY);
    Check(back >= 0 && chdir(dir.c_str()) == 0, "cannot enter scratch folder");
    const bool ok = config->Initialize();
    Check(fchdir(back) == 0, "cannot return from scratch folder");
    close(back);
    return ok;
  } catch (const TARNIException&) {
    Check(false, "exception from a readable file");
  }
  return false;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  Check(f != nullptr, "cannot create scratch file");
  Check(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(),
        "cannot write scratch file");
  fclose(f);
}

// A scratch folder for one input, removed with its files afterwards
// (libFuzzer ends its run without the exit handlers).
class ScratchDir {
 public:
  ScratchDir() {
    char templ[] = "/tmp/config_fuzz.XXXXXX";
    Check(mkdtemp(templ) != nullptr, "cannot create scratch folder");
    path_ = templ;
  }
  ~ScratchDir() {
    unlink((path_ + "/" + ConfigManager::kDefaultConfigFile).c_str());
    unlink((path_ + "/earlier.ini").c_str());
    rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  const uint8_t flags = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (flags & 2) {
    const size_t filler = kReaderBuffer - (flags >> 2);
    std::string lines;
    while (lines.size() < filler) lines += "NFDfilepath = filler\n";
    lines.resize(filler - 1);
    text = lines + "\n" + text;
  }

  const ScratchDir scratch;
  const std::string& dir = scratch.path();
  const std::string path = dir + "/" + ConfigManager::kDefaultConfigFile;
  const std::string earlier = dir + "/earlier.ini";
  WriteFile(path, text);
  Paths model;
  if (flags & 1) {
    WriteFile(earlier, "NFDfilepath=d\nNFCfilepath=c\nNFKDfilepath=k\n");
    model = Paths{"d", "c", "k"};
  }
  ModelRead(text, &model);

  ConfigManager by_path, by_default;
  if (flags & 1) {
    Check(Read(&by_path, earlier, "") && Read(&by_default, earlier, ""),
          "first configuration refused");
  }
  Check(Read(&by_path, path, ""), "readable file refused");
  Compare(by_path, model);
  Check(Read(&by_default, "", dir), "readable config.ini refused");
  Compare(by_default, model);
  return 0;
}
