// uztconv: converts a text file between Unicode and UZT bytes through a
// UZT mapping file (doc/uzt-mapping.md).
//
//   uztconv encode MAPPING INPUT OUTPUT          Unicode -> UZT
//   uztconv decode [--utf8] MAPPING INPUT OUTPUT UZT -> Unicode
//
// The input is read and the output written in blocks, so a file of any size
// converts in bounded memory. Exit status 0 on success, 1 on failure (one
// line on standard error), 2 on misuse. Nothing is left at OUTPUT when a
// conversion fails.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "tools/uztconv/UZTStream.h"

namespace {

// Input is read in blocks of this size; output is written once this much
// has gathered.
constexpr size_t kReadBlock = 1 << 20;
constexpr size_t kWriteBlock = 1 << 20;

const char kUsage[] =
    "usage: uztconv encode MAPPING INPUT OUTPUT\n"
    "       uztconv decode [--utf8] MAPPING INPUT OUTPUT\n"
    "encode: INPUT is UTF-16 with its byte-order mark, or UTF-8; OUTPUT is "
    "UZT.\n"
    "decode: INPUT is UZT; OUTPUT is UTF-16LE with a byte-order mark, or "
    "UTF-8 with --utf8.\n";

// A failure to report: the text after "uztconv: ".
struct Failure {
  std::string message;
};

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa;
  struct stat sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsRegularFile(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void AppendUtf8(const std::wstring& text, std::string& out) {
  for (const wchar_t wc : text) {
    const uint32_t c = static_cast<uint32_t>(wc);  // at most U+FFFF here
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

// The low 16 bits of each character, low byte first (decoded text has no
// character above U+FFFF).
void AppendUtf16LE(const std::wstring& text, std::string& out) {
  const size_t at = out.size();
  out.resize(at + 2 * text.size());
  char* p = &out[at];
  for (const wchar_t wc : text) {
    const uint32_t c = static_cast<uint32_t>(wc);
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>((c >> 8) & 0xFF);
  }
}

class Converter {
 public:
  Converter(const std::string& input, const std::string& output)
      : input_name_(input), output_name_(output) {}

  void Open(bool unicode_output) {
    // The size read at the start bounds the reading: a pipe or a device
    // would pass for an empty file. Checked before opening too, for opening
    // a named pipe waits for a writer.
    struct stat st;
    if (::stat(input_name_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      throw Failure{"input " + input_name_ + " is not a regular file"};
    }
    try {
      reader_.Open(input_name_, FileReader::ASCII);
    } catch (const TARNIException& e) {
      throw Failure{"cannot open input " + input_name_ + ": " +
                    e.GetExceptionMsg()};
    }
    if (!IsRegularFile(input_name_)) {
      throw Failure{"input " + input_name_ + " is not a regular file"};
    }
    if (SameFile(input_name_, output_name_)) {
      throw Failure{"input and output are the same file: " + output_name_};
    }
    if (!writer_.Open(output_name_,
                      unicode_output ? FileWriter::UNICODE : FileWriter::ASCII,
                      false)) {
      throw Failure{"cannot create output " + output_name_};
    }
    created_ = true;
    size_ = reader_.FileSize();
    buffer_.reset(new char[kReadBlock]);
  }

  // Next block of input into `*data`; false at the end. `*last` tells
  // whether it is the final block.
  bool Read(const char** data, size_t* n, bool* last) {
    if (done_ >= size_) return false;
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(size_ - done_, kReadBlock));
    try {
      if (!reader_.Read(buffer_.get(), static_cast<int>(want)) ||
          reader_.EoF()) {
        throw Failure{"input " + input_name_ + " shrank while being read"};
      }
    } catch (const TARNIException& e) {
      throw Failure{"cannot read input " + input_name_ + ": " +
                    e.GetExceptionMsg()};
    }
    done_ += static_cast<int64_t>(want);
    *data = buffer_.get();
    *n = want;
    *last = done_ >= size_;
    return true;
  }

  void Write(const std::string& bytes) {
    if (!bytes.empty() &&
        !writer_.Write(bytes.data(), static_cast<int>(bytes.size()))) {
      throw Failure{"cannot write output " + output_name_};
    }
  }
  void Close() {
    reader_.Close();
    if (!writer_.Close()) throw Failure{"cannot write output " + output_name_};
  }
  // Leaves nothing at the output after a failure.
  void Abandon() {
    if (!created_) return;
    writer_.Close();
    if (IsRegularFile(output_name_)) ::unlink(output_name_.c_str());
  }

  [[noreturn]] void Fail(const StreamError& e) {
    if (e.offset < 0) throw Failure{input_name_ + ": " + e.message};
    throw Failure{input_name_ + ": byte offset " + std::to_string(e.offset) +
                  ": " + e.message};
  }

 private:
  std::string input_name_;
  std::string output_name_;
  FileReader reader_;
  FileWriter writer_;
  std::unique_ptr<char[]> buffer_;
  int64_t size_ = 0;
  int64_t done_ = 0;
  bool created_ = false;
};

void Encode(Converter& io, const UZTMapping& mapping,
            const LexEnigneUtility& util) {
  UnicodeInput input;
  UZTStreamEncoder encoder(mapping, util);
  // One block gives at most one character a byte, plus the bytes of a
  // sequence left unfinished by the block before.
  const size_t most = kReadBlock + 4;
  std::unique_ptr<wchar_t[]> chars(new wchar_t[most]);
  std::unique_ptr<int64_t[]> offsets(new int64_t[most]);
  wchar_t* next_char;
  int64_t* next_offset;
  const auto sink = [&](char32_t c, int64_t offset) {
    *next_char++ = static_cast<wchar_t>(c);
    *next_offset++ = offset;
  };
  std::string out;
  try {
    const char* data;
    size_t n;
    bool last = true;
    bool any = false;
    do {
      if (io.Read(&data, &n, &last)) {
        any = true;
      } else if (!any) {
        static const char kNothing[1] = {0};
        data = kNothing;
        n = 0;
        last = true;
      } else {
        break;
      }
      next_char = chars.get();
      next_offset = offsets.get();
      try {
        input.Put(reinterpret_cast<const unsigned char*>(data), n, last, sink);
      } catch (const StreamError&) {
        // Malformed input; a character before it without a UZT form, pending
        // or decoded from this block, is the first failure and is named.
        encoder.Put(chars.get(), offsets.get(),
                    static_cast<size_t>(next_char - chars.get()), out);
        encoder.Finish(out);
        throw;
      }
      encoder.Put(chars.get(), offsets.get(),
                  static_cast<size_t>(next_char - chars.get()), out);
      if (out.size() >= kWriteBlock) {
        io.Write(out);
        out.clear();
      }
    } while (!last);
    encoder.Finish(out);
  } catch (const StreamError& e) {
    io.Fail(e);
  }
  io.Write(out);
}

void Decode(Converter& io, const UZTMapping& mapping,
            const LexEnigneUtility& util, bool utf8) {
  UZTStreamDecoder decoder(mapping, util);
  std::wstring text;
  std::string bytes;
  // Written in large pieces of our own making: one system call a piece.
  const auto flush = [&] {
    bytes.clear();
    if (utf8) {
      AppendUtf8(text, bytes);
    } else {
      AppendUtf16LE(text, bytes);
    }
    io.Write(bytes);
    text.clear();
  };
  try {
    const char* data;
    size_t n;
    bool last;
    while (io.Read(&data, &n, &last)) {
      decoder.Put(data, n, text);
      if (text.size() >= kWriteBlock) flush();
    }
    decoder.Finish(text);
  } catch (const StreamError& e) {
    io.Fail(e);
  }
  flush();
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 ||
                    std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  bool utf8 = false;
  int first = 2;
  if (command == "decode" && argc > 2 && std::strcmp(argv[2], "--utf8") == 0) {
    utf8 = true;
    first = 3;
  }
  if ((command != "encode" && command != "decode") || argc - first != 3) {
    return Usage();
  }
  const std::string mapping_name = argv[first];
  const std::string input_name = argv[first + 1];
  const std::string output_name = argv[first + 2];

  Converter io(input_name, output_name);
  try {
    UZTMapping mapping;
    try {
      mapping.Load(mapping_name);
    } catch (const IOException& e) {
      throw Failure{e.GetExceptionMsg()};  // names the file already
    } catch (const TARNIException& e) {
      throw Failure{mapping_name + ": " + e.GetExceptionMsg()};
    }
    LexEnigneUtility util;
    mapping.Install(util);
    const bool encode = command == "encode";
    io.Open(!encode && !utf8);
    if (encode) {
      Encode(io, mapping, util);
    } else {
      Decode(io, mapping, util, utf8);
    }
    io.Close();
  } catch (const Failure& f) {
    io.Abandon();
    std::fprintf(stderr, "uztconv: %s\n", f.message.c_str());
    return 1;
  } catch (const std::bad_alloc&) {
    io.Abandon();
    std::fprintf(stderr, "uztconv: out of memory\n");
    return 1;
  }
  return 0;
}
