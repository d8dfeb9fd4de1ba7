// Fuzz target for FileReader. The input is split into a header, a script of
// reader operations and the file content. The content, repeated as the
// header asks (so files reach past the reader's internal buffer), is written
// to a scratch file and the script is run against a FileReader and against
// a plain model that reads one unit at a time from memory. Every result,
// every delivered line or buffer, every error and the end-of-file state
// must agree; a difference aborts.
//
// Input layout:
//   byte 0      flags: bit 0 opens in ASCII form, bit 1 expands shaddas
//   byte 1      the content is written 1 + (byte 1 % 64) times
//   bytes 2-3   script length S (little endian), at most the bytes left
//   S bytes     the script: an operation byte followed by its arguments
//   the rest    the content
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/TARNIException.h"
#include "fuzz/FuzzUtil.h"

namespace {

// Inputs beyond this add nothing the small ones do not reach; the file
// written from one is capped separately, as its content is repeated.
constexpr size_t kMaxInput = 1 << 16;
constexpr size_t kMaxFileSize = 1 << 20;
constexpr int kMaxOps = 2000;

// What one operation produced; compared field by field.
struct Outcome {
  int result = 0;
  bool threw = false;
  int code = 0;
  std::string message;
  std::wstring wide;
  std::string narrow;
  std::vector<wchar_t> units;
  int eof = 0;

  bool operator==(const Outcome& o) const {
    return result == o.result && threw == o.threw && code == o.code &&
           message == o.message && wide == o.wide && narrow == o.narrow &&
           units == o.units && eof == o.eof;
  }
};

[[noreturn]] void Fail(const char* what, int op_index) {
  fprintf(stderr, "FileReader disagrees with the model: %s (operation %d)\n",
          what, op_index);
  abort();
}

// The reader's rules, one unit at a time over an in-memory file.
class Model {
 public:
  explicit Model(const std::string* data) : data_(data) {}

  void Open(bool unicode) {
    unicode_ = unicode;
    pos_ = 0;
    eof_ = false;
    open_ = true;
    if (unicode) {
      std::string mark = Take(2);
      if (mark != "\xFF\xFE") Throw(16, "File is not Unicode based.");
    }
  }
  void Close() {
    open_ = false;
    eof_ = false;
  }
  void SetGemination(bool on) { gemination_ = on; }
  int EoF() const { return open_ && eof_ ? 1 : 0; }
  int64_t FileSize() const {
    return open_ ? static_cast<int64_t>(data_->size()) : 0;
  }

  int GetLine(std::wstring& line, int max, wchar_t delimiter) {
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    if (!unicode_) Throw(17, "File not openned as UNICODE initially.");
    std::wstring local;
    int count = 0;
    uint16_t unit;
    while (count < max && Unit(&unit)) {
      if (static_cast<wchar_t>(unit) == delimiter) break;
      if (unit == 0x0651 && gemination_ && count > 0) {
        if (local.back() == 0x06BE && count > 1) {
          local += local.substr(local.size() - 2);
          count += 2;
        } else {
          local.push_back(local.back());
          count += 1;
        }
        continue;
      }
      local.push_back(unit);
      ++count;
    }
    if (local.empty()) return 0;
    line = local;
    return 1;
  }

  int GetLine(std::string& line, int max, char delimiter) {
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    if (unicode_) Throw(17, "File not openned as ASCII initially.");
    std::string local;
    while (static_cast<int>(local.size()) < max) {
      std::string b = Take(1);
      if (b.empty() || b[0] == delimiter) break;
      local += b;
    }
    if (local.empty()) return 0;
    line = local;
    return 1;
  }

  int Read(std::wstring& text, int count) {
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    if (!unicode_) Throw(17, "File not openned as Unicode initially.");
    std::wstring local;
    uint16_t unit;
    for (int i = 0; i < count && Unit(&unit); ++i) local.push_back(unit);
    if (local.empty()) return 0;
    text = local;
    return 1;
  }

  int Read(wchar_t* buffer, int count) {
    if (buffer == nullptr || count <= 0) {
      Throw(17, "Null buffer or zero size specified.");
    }
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    buffer[0] = 0;
    int stored = 0;
    uint16_t unit;
    while (stored < count && Unit(&unit)) buffer[stored++] = unit;
    return stored > 0 ? 1 : 0;
  }

  int Read(char* buffer, int count) {
    if (buffer == nullptr || count <= 0) {
      Throw(17, "Null buffer or zero size specified.");
    }
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    std::string got = Take(count);
    std::copy(got.begin(), got.end(), buffer);
    return got.empty() ? 0 : 1;
  }

  int Read(char* buffer, int64_t offset, int count) {
    if (buffer == nullptr || count <= 0) {
      Throw(17, "Null buffer or zero size specified.");
    }
    if (!open_) return 0;
    if (eof_) Throw(17, "End of file encountered.");
    SeekG(offset);
    if (eof_) return 0;
    return Read(buffer, count);
  }

  int SeekG(int64_t offset) {
    if (!open_) return 0;
    if (eof_) return 1;
    Seek(unicode_ ? offset + 2 : offset);
    return 1;
  }

  int Unget(bool unicode, int n) {
    if (!open_) return 0;
    if (unicode != unicode_) {
      Throw(17, unicode ? "File not openned as Unicode initially."
                        : "File not openned as ASCII initially.");
    }
    eof_ = false;
    Seek(pos_ - (unicode ? 2 * static_cast<int64_t>(n) : n));
    return 1;
  }

 private:
  [[noreturn]] static void Throw(int code, const char* message) {
    throw IOException("FileReader", 0, code, message);
  }
  void Seek(int64_t position) {
    if (position < 0) {
      eof_ = true;
    } else {
      pos_ = position;
    }
  }
  // Up to n bytes; a short read sets the end-of-file state.
  std::string Take(int64_t n) {
    const int64_t size = static_cast<int64_t>(data_->size());
    const int64_t avail = std::max<int64_t>(0, size - pos_);
    const int64_t got = std::min(n, avail);
    std::string out = data_->substr(static_cast<size_t>(got > 0 ? pos_ : 0),
                                    static_cast<size_t>(got));
    pos_ += got;
    if (got < n) eof_ = true;
    return out;
  }
  bool Unit(uint16_t* unit) {
    std::string b = Take(2);
    if (b.size() != 2) return false;
    *unit = static_cast<uint16_t>(static_cast<unsigned char>(b[0]) |
                                  static_cast<unsigned char>(b[1]) << 8);
    return true;
  }

  const std::string* data_;
  int64_t pos_ = 0;
  bool open_ = false;
  bool eof_ = false;
  bool unicode_ = true;
  bool gemination_ = false;
};

// Reads the script's bytes; zeros once it runs out.
class Script {
 public:
  Script(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool Done() const { return i_ >= n_; }
  uint8_t Byte() { return i_ < n_ ? p_[i_++] : 0; }
  int Word() { return Byte() | Byte() << 8; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t i_ = 0;
};

// Runs `fn` and records its result or the IOException it threw.
template <typename Fn>
void Run(Outcome* o, Fn&& fn) {
  try {
    o->result = fn();
  } catch (IOException& e) {
    o->threw = true;
    o->code = e.GetErrorCode();
    o->message = e.GetExceptionMsg();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > kMaxInput) return 0;
  const bool ascii = data[0] & 1;
  const bool gemination = data[0] & 2;
  const size_t repeat = 1 + data[1] % 64;
  const size_t script_len = std::min<size_t>(data[2] | data[3] << 8, size - 4);
  Script script(data + 4, script_len);
  const std::string chunk(reinterpret_cast<const char*>(data) + 4 + script_len,
                          size - 4 - script_len);
  std::string content;
  for (size_t i = 0;
       i < repeat && content.size() + chunk.size() <= kMaxFileSize; ++i) {
    content += chunk;
  }

  urdulex::fuzz::ScratchFile file("filereader_fuzz");  // outlives the reader
  file.Write(content.data(), content.size());
  const std::string& path = file.path();
  FileReader reader;
  Model model(&content);
  reader.SetGeminationExpansion(gemination);
  model.SetGemination(gemination);
  {
    Outcome a, b;
    Run(&a, [&] {
      return reader.Open(path, ascii ? FileReader::ASCII : FileReader::UNICODE);
    });
    Run(&b, [&] {
      model.Open(!ascii);
      return 1;
    });
    if (b.threw) model.Close();
    if (!(a == b)) Fail("Open", -1);
  }

  static const wchar_t kWideDelimiters[] = {L'\n', L':', 0x0651, 0, 0x0A0A};
  static const char kNarrowDelimiters[] = {'\n', ':', '\0', '\xFF'};
  for (int op = 0; op < kMaxOps && !script.Done(); ++op) {
    Outcome a, b;
    const int code = script.Byte() % 12;
    switch (code) {
      case 0: {  // wide GetLine
        const int max = script.Word() % 300 - 2;
        const wchar_t d = kWideDelimiters[script.Byte() % 5];
        a.wide = b.wide = L"#";
        Run(&a, [&] { return reader.GetLine(a.wide, max, d); });
        Run(&b, [&] { return model.GetLine(b.wide, max, d); });
        break;
      }
      case 1: {  // narrow GetLine
        const int max = script.Word() % 300 - 2;
        const char d = kNarrowDelimiters[script.Byte() % 4];
        a.narrow = b.narrow = "#";
        Run(&a, [&] { return reader.GetLine(a.narrow, max, d); });
        Run(&b, [&] { return model.GetLine(b.narrow, max, d); });
        break;
      }
      case 2: {  // wide Read
        const int count = script.Word() - 1;
        a.wide = b.wide = L"#";
        Run(&a, [&] { return reader.Read(a.wide, count); });
        Run(&b, [&] { return model.Read(b.wide, count); });
        break;
      }
      case 3: {  // Read into a wide buffer
        const int count = script.Word() % 600 - 1;
        a.units.assign(600, L'#');
        b.units.assign(600, L'#');
        Run(&a, [&] { return reader.Read(a.units.data(), count); });
        Run(&b, [&] { return model.Read(b.units.data(), count); });
        break;
      }
      case 4:    // raw bytes
      case 5: {  // raw bytes at an offset
        const int count = script.Word() - 1;
        const int64_t offset = static_cast<int16_t>(script.Word()) * 37;
        a.narrow.assign(65536, '#');
        b.narrow.assign(65536, '#');
        if (code == 4) {
          Run(&a, [&] { return reader.Read(&a.narrow[0], count); });
          Run(&b, [&] { return model.Read(&b.narrow[0], count); });
        } else {
          Run(&a, [&] { return reader.Read(&a.narrow[0], offset, count); });
          Run(&b, [&] { return model.Read(&b.narrow[0], offset, count); });
        }
        break;
      }
      case 6: {
        const int64_t offset = static_cast<int16_t>(script.Word()) * 37;
        Run(&a, [&] { return reader.SeekG(offset); });
        Run(&b, [&] { return model.SeekG(offset); });
        break;
      }
      case 7:
      case 8: {
        const int n = static_cast<int16_t>(script.Word());
        Run(&a, [&] {
          return code == 7 ? reader.UngetUnicodeCharacters(n)
                           : reader.UngetAsciiCharacters(n);
        });
        Run(&b, [&] { return model.Unget(code == 7, n); });
        break;
      }
      case 9:
        if (reader.FileSize() != model.FileSize()) Fail("FileSize", op);
        break;
      case 10: {  // close, and sometimes open again in either form
        const uint8_t how = script.Byte();
        reader.Close();
        model.Close();
        if (how & 1) {
          Run(&a, [&] {
            return reader.Open(
                path, how & 2 ? FileReader::ASCII : FileReader::UNICODE);
          });
          Run(&b, [&] {
            model.Open(!(how & 2));
            return 1;
          });
          if (b.threw) model.Close();
        }
        break;
      }
      case 11:
        reader.SetGeminationExpansion(!reader.GeminationExpansion());
        model.SetGemination(reader.GeminationExpansion());
        break;
    }
    a.eof = reader.EoF();
    b.eof = model.EoF();
    if (!(a == b)) Fail("an operation", op);
  }
  return 0;
}
