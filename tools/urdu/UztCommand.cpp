// urdu uzt: UZT bytes to Unicode text and back, with a mapping file.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "text/TextIO.h"
#include "text/UZTStream.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kUztHelp[] =
    "usage: urdu uzt encode --mapping FILE [ON-ERROR] [-o OUT] [INPUT]\n"
    "       urdu uzt decode --mapping FILE [--utf16] [ON-ERROR] [-o OUT]\n"
    "                       [INPUT]\n"
    "Converts Unicode text to UZT bytes, or UZT bytes to UTF-8 (UTF-16LE\n"
    "with its mark with --utf16, line ends as decoded).\n"
    "ON-ERROR: --on-error fail|skip|substitute [--substitute BYTE]\n"
    "A character without a UZT form (encode), or a byte that cannot be\n"
    "decoded, stops the conversion with its line, column and byte offset\n"
    "(fail, the default), is dropped (skip), or is replaced (substitute):\n"
    "encode writes BYTE (default ?), which must stand for a character of\n"
    "the mapping; decode writes the character U+00XX of BYTE. BYTE is one\n"
    "character or a number (0x3F, 63); --substitute alone means\n"
    "substitute. Standard error says how many were dropped or replaced.\n"
    "Malformed UTF-8 or UTF-16 input always fails.\n";

namespace {

// The --on-error and --substitute options of `urdu uzt`. The substitute
// byte is given as one character (`?`), or as a number (0x3F, 63).
OnError UztOnError(const Arguments& args, bool encode,
                   const UZTMapping& mapping) {
  OnError on_error;
  const std::string mode = args.Value("--on-error", "");
  const bool substitute_given = args.values.count("--substitute") != 0;
  if (mode == "skip") {
    on_error.mode = OnError::kSkip;
  } else if (mode == "substitute" || (mode.empty() && substitute_given)) {
    on_error.mode = OnError::kSubstitute;
  } else if (mode != "fail" && !mode.empty()) {
    Misuse("uzt", "--on-error wants fail, skip or substitute");
  }
  if (substitute_given && on_error.mode != OnError::kSubstitute) {
    Misuse("uzt", "--substitute goes with --on-error substitute");
  }
  const std::string text = args.Value("--substitute", "?");
  unsigned long byte =
      text.size() == 1 ? static_cast<unsigned char>(text[0]) : 0;
  if (text.size() > 1) {
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = text.substr(hex ? 2 : 0);
    bool number = !digits.empty() && digits.size() <= 3;
    for (char c : digits) {
      number = number && (hex ? std::isxdigit(static_cast<unsigned char>(c))
                              : std::isdigit(static_cast<unsigned char>(c)));
    }
    if (number) byte = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
  }
  if (byte < 1 || byte > 255) {
    Misuse("uzt", "--substitute wants a byte: one character, or 1 to 255");
  }
  if (!encode) {
    on_error.substitute = static_cast<wchar_t>(byte);  // as the ASCII plate
  } else if (on_error.mode == OnError::kSubstitute &&
             !SubstituteForByte(mapping, static_cast<unsigned char>(byte),
                                &on_error.substitute)) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "0x%02lX", byte);
    throw Error(std::string("--substitute: byte ") + hex +
                " stands for no character of the mapping");
  }
  return on_error;
}

}  // namespace

int RunUzt(const Arguments& args) {
  const bool encode = args.subcommand == "encode";
  const std::string mapping_name = args.Value("--mapping", "");
  if (mapping_name.empty()) Misuse("uzt", "--mapping FILE is required");
  if (args.files.size() > 1) Misuse("uzt", "one input at most");
  const std::string input_name = args.files.empty() ? "-" : args.files[0];
  const std::string output = args.Value("-o", "-");
  RunFiles files;
  files.Input("mapping", mapping_name);
  files.Input("input", input_name);
  AddOutput(files, "output", output);
  UZTMapping mapping;
  if (mapping_name == "-") {
    // Read whole first: a pipe has no size to read by.
    FileSource source(mapping_name);
    const std::string text = source.ReadAll(UZTMapping::kMaxFileSize);
    try {
      mapping.Parse(text);
    } catch (const TARNIException& e) {
      throw Error(std::string(kStandardInput) + ": " + e.GetExceptionMsg());
    }
  } else {
    LoadMappingFile(mapping_name, &mapping);
  }
  const OnError on_error = UztOnError(args, encode, mapping);
  LexEnigneUtility utility;
  mapping.Install(utility);
  FileSource input(input_name);
  FileSink sink(output);
  const ReadBytes read = [&](char* buffer, size_t n) {
    return input.Read(reinterpret_cast<unsigned char*>(buffer), n);
  };
  const WriteBytes write = [&](const std::string& bytes) {
    sink.Write(bytes.data(), bytes.size());
  };
  uint64_t replaced = 0;
  WriteAll(sink, [&] {
    try {
      if (encode) {
        replaced = EncodeUZTStream(mapping, utility, read, write, on_error);
      } else {
        replaced = DecodeUZTStream(mapping, utility, !args.Has("--utf16"), read,
                                   write, on_error);
      }
    } catch (const StreamError& e) {
      throw Error(StreamErrorMessage(input.name(), e));
    }
  });
  if (replaced > 0) {
    std::fprintf(stderr, "urdu: %s: %llu %s %s\n",
                 MessageName(input.name()).c_str(),
                 static_cast<unsigned long long>(replaced),
                 encode ? "characters without a UZT form"
                        : "bytes that could not be decoded",
                 on_error.mode == OnError::kSkip ? "dropped" : "substituted");
  }
  return 0;
}

}  // namespace urdulex::internal
