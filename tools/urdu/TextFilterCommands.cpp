// urdu normalize, strip and codes: filters of the text, a line for a line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "foundation/Quote.h"
#include "text/LoadNormalization.h"
#include "text/TextFilters.h"
#include "text/TextIO.h"
#include "text/Utf8Filters.h"
#include "tools/urdu/Commands.h"
#include "tools/urdu/DataFiles.h"
#include "tools/urdu/TextCommand.h"

namespace urdulex::internal {

const char kNormalizeHelp[] =
    "usage: urdu normalize [--config FILE] [--check] [--diff] [COMMON]\n"
    "                      [FILE...]\n"
    "Writes each line in the normal form of the rules the configuration\n"
    "names (default: the shipped one; relative rules paths are taken\n"
    "from its folder). The shipped rules are this project's Urdu normal form, "
    "not\n"
    "Unicode NFC: they compose alef + madda above, and waw, yeh, heh and\n"
    "yeh barree + hamza above, when side by side; write the Arabic yeh,\n"
    "alef maksura, kaf and heh as the Urdu letters and the Arabic-Indic\n"
    "digits as the Extended ones; and move U+06BE in front of the marks\n"
    "before it. They do not reorder marks, compose across a mark or alef\n"
    "with hamza, decompose, fold presentation forms, or touch Latin text\n"
    "(see doc/normalization.md). Without --config the Arabic heh is read\n"
    "by its place in the word: U+06BE after a letter that takes\n"
    "aspiration with a letter after it (and in a few listed words),\n"
    "U+06C1 elsewhere.\n"
    "--check and --diff change nothing and exit 1 when a line would\n"
    "change. --check lists every change, one a line, as\n"
    "NAME:LINE:COLUMN: U+064A -> U+06CC (COLUMN in characters, from 1);\n"
    "--diff writes each such line before and after, as -NAME:LINE: text\n"
    "and +NAME:LINE: text. Standard error gives the counts.\n";

const char kStripHelp[] =
    "usage: urdu strip [--keep-shadda] [COMMON] [FILE...]\n"
    "Removes every Arabic-script combining mark (U+0610-U+061A,\n"
    "U+064B-U+065F, U+0670, U+06D6-U+06ED), all but the shadda with\n"
    "--keep-shadda. A letter is never taken apart: a base letter with a\n"
    "combining madda or hamza (alef + U+0653, yeh + U+0654, ...) becomes\n"
    "the one letter (U+0622, U+0626, ...) before the marks go.\n";

const char kCodesHelp[] =
    "usage: urdu codes [--table FILE] [COMMON] [FILE...]\n"
    "Writes the letter codes of each line with the code table of\n"
    "codemapper (default: the shipped one), a shadda doubling its letter.\n";

namespace {

// Runs `piece` on every line of `reader`'s text, in one or more pieces that
// together are the line without its line end: piece(reader, number, text,
// n, end, end_units, last), where `last` marks the line's last piece and
// `end` its line end of `end_units` units (LF, or CR LF, or none at the end
// of the input). A line is cut only where `can_cut(text, i)` allows a cut
// before text[i] (i > 0; the caller sees text[i - 1] and text[i]); the
// unfinished line is cut as late as it allows at the end of every block,
// so a long line is never held whole, and every unit is looked at a
// bounded number of times. With a `can_cut` that never allows, each line
// comes whole. Line numbers go on from `number`.
template <typename CanCut, typename Piece>
void ForEachLinePiece(TextReader& reader, uint64_t number, CanCut&& can_cut,
                      Piece&& piece) {
  Units text;
  {
    // `text` starts with the unfinished line of the block before, whose
    // units before `scanned` hold no LF, and no place to cut before
    // `uncut` (positions after the line's start).
    size_t scanned = 0;
    size_t uncut = 1;
    bool more = true;
    while (more) {
      more = reader.Next(&text);
      const char16_t* data = text.data();
      const size_t size = text.size();
      size_t start = 0;
      for (size_t i = scanned; i < size; ++i) {
        if (data[i] != '\n') continue;
        const size_t end = i > start && data[i - 1] == '\r' ? i - 1 : i;
        piece(reader, ++number, data + start, end - start, data + end,
              i + 1 - end, true);
        start = i + 1;
        uncut = start + 1;
      }
      if (!more) {
        if (start < size) {
          piece(reader, ++number, data + start, size - start, data + size, 0,
                true);
        }
        start = size;
      } else if (start < size) {
        // The latest place to cut the unfinished line, if any: its
        // units from there on wait for the next block.
        size_t cut = size - 1;
        const size_t lowest = std::max(start + 1, uncut);
        while (cut >= lowest && !can_cut(data, cut)) --cut;
        if (cut >= lowest) {
          piece(reader, number + 1, data + start, cut - start, nullptr, 0,
                false);
          start = cut;
        }
      }
      // Every place up to the block's last unit has been judged.
      uncut = std::max<size_t>(size - start, 1);
      text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(start));
      scanned = text.size();
    }
  }
}

// Runs `line` on every line of `reader`'s text, held whole: the text
// without its line end, and the line end (LF or CR LF; none at the end).
template <typename Line>
void ForEachLine(TextReader& reader, uint64_t number, Line&& line) {
  ForEachLinePiece(
      reader, number, [](const char16_t*, size_t) { return false; },
      [&](TextReader& reader, uint64_t number, const char16_t* text, size_t n,
          const char16_t* end, size_t end_units,
          bool) { line(reader, number, text, n, end, end_units); });
}

// The UTF-16 units of the character of UTF-8 `p` that a cut before it
// sees: its first, and the last of the one that ends at `p`.
inline char16_t FirstUnit(const unsigned char* p) {
  if (p[0] < 0x80) return p[0];
  if (p[0] < 0xE0)
    return static_cast<char16_t>((p[0] & 0x1F) << 6 | (p[1] & 0x3F));
  if (p[0] < 0xF0) {
    return static_cast<char16_t>((p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 |
                                 (p[2] & 0x3F));
  }
  const uint32_t c = ((p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 |
                      (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu)) -
                     0x10000;
  return static_cast<char16_t>(0xD800 + (c >> 10));
}
inline char16_t LastUnitBefore(const unsigned char* p) {
  const unsigned char* q = p - 1;
  while ((*q & 0xC0) == 0x80) --q;
  if (p - q < 4) return FirstUnit(q);
  const uint32_t c = ((q[0] & 0x07u) << 18 | (q[1] & 0x3Fu) << 12 |
                      (q[2] & 0x3Fu) << 6 | (q[3] & 0x3Fu)) -
                     0x10000;
  return static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

// ForEachLinePiece on the text as well-formed UTF-8 (TextReader::NextUtf8),
// in `text`, which is reused: piece(text, n, end, end_bytes). A line is cut
// only between characters, where `can_cut(units, 1)` allows it for the
// last unit before and the first after.
template <typename CanCut, typename Piece>
void ForEachLinePieceUtf8(TextReader& reader, Utf8Bytes& text, CanCut&& can_cut,
                          Piece&& piece) {
  text.clear();
  // As in ForEachLinePiece, in bytes.
  size_t scanned = 0;
  size_t uncut = 1;
  bool more = true;
  while (more) {
    more = reader.NextUtf8(&text);
    const char* data = text.data();
    const size_t size = text.size();
    size_t start = 0;
    size_t i = scanned;
    while (const void* found =
               i < size ? std::memchr(data + i, '\n', size - i) : nullptr) {
      i = static_cast<size_t>(static_cast<const char*>(found) - data);
      const size_t end = i > start && data[i - 1] == '\r' ? i - 1 : i;
      piece(data + start, end - start, data + end, i + 1 - end);
      start = ++i;
      uncut = start + 1;
    }
    if (!more) {
      if (start < size) piece(data + start, size - start, data + size, 0);
      start = size;
    } else if (start < size) {
      const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
      const size_t lowest = std::max(start + 1, uncut);
      size_t cut = size;
      bool found = false;
      while (true) {
        // The start of the character before `cut`.
        size_t at = cut - 1;
        while (at > start && (bytes[at] & 0xC0) == 0x80) --at;
        if (at < lowest) break;
        cut = at;
        const char16_t units[2] = {LastUnitBefore(bytes + cut),
                                   FirstUnit(bytes + cut)};
        if (can_cut(units, size_t{1})) {
          found = true;
          break;
        }
      }
      if (found) {
        piece(data + start, cut - start, nullptr, 0);
        start = cut;
      }
    }
    uncut = std::max<size_t>(size - start, 1);
    text.erase(text.begin(), text.begin() + static_cast<ptrdiff_t>(start));
    scanned = text.size();
  }
}

// Whether a filter takes `out`'s text as UTF-8 bytes: so it does when they
// are written as UTF-8 (`urdu codes`, which writes no text, always). A
// hidden knob for the tests, URDU_FILTER_UNITS=1,
// keeps every filter on UTF-16 units, so that both ways can be compared.
bool FilterUnits() {
  static const bool units = [] {
    const char* knob = std::getenv("URDU_FILTER_UNITS");
    return knob != nullptr && *knob == '1';
  }();
  return units;
}
bool OnUtf8(const TextWriter& out) {
  return out.encoding() == TextWriter::kUtf8 && !FilterUnits();
}

inline void PutBytes(TextWriter& out, const char* bytes, size_t n) {
  if (n > 0) out.PutUtf8(bytes, n);
}

}  // namespace

int RunNormalize(const Arguments& args) {
  const std::string given = args.Value("--config", "");
  const std::string config = FindDataFile(kNormalizationData, given);
  Normalization normalization;
  try {
    LoadNormalization(config, &normalization);
  } catch (const Error& e) {
    // The rules a configuration of the variable's folder names are the
    // folder's too.
    const std::string folder = given.empty() ? DataVariableFolder() : "";
    if (folder.empty()) throw;
    throw Error(e.kind(), std::string(kDataVariable) + " folder " +
                              QuoteName(folder) + ": " + e.message());
  }
  // The shipped rules read U+0647 by position; a configuration given is
  // applied as it is.
  const bool urdu = given.empty();
  const Normalizer& rules = *normalization.NfcNormalizer();
  const bool check = args.Has("--check");
  const bool diff = args.Has("--diff");
  RunFiles files;
  files.Input("configuration", config);
  files.Input("NFC rules file", normalization.NfcRulesPath());
  TextCommand command(args, files);
  // Shared by the threads: normalizing only reads the rules
  // (Normalizer::NormalizeInto and NormalizeWithChanges are const).
  struct State {
    std::wstring wide, normalized;
    std::u16string result;
    std::vector<NormChange> changes;
    Utf8Bytes bytes;
    uint64_t changed_lines = 0, changes_made = 0;
  };
  std::vector<State> states(command.threads());
  const UnchangedText unchanged(rules, urdu);
  const auto can_cut = [&](const char16_t* text, size_t i) {
    return urdu ? UrduCanCutBefore(rules, text, i)
                : rules.CanCutAfter(text[i - 1]);
  };
  const auto normalize = [&](State& state, TextWriter& out) {
    if (urdu) {
      NormalizeUrdu(rules, state.wide, &state.normalized);
    } else {
      normalization.Normalize(std::move(state.wide), NFC, state.normalized);
    }
    state.result.assign(state.normalized.begin(), state.normalized.end());
    out.Put(state.result);
  };
  WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
          if (!check && !diff && OnUtf8(out)) {
            // The pieces the rules leave alone go as they came.
            ForEachLinePieceUtf8(reader, state.bytes, can_cut,
                                 [&](const char* line, size_t n,
                                     const char* end, size_t end_bytes) {
                                   if (unchanged.Holds(line, n)) {
                                     PutBytes(out, line, n);
                                   } else {
                                     state.wide.clear();
                                     AppendUtf16(line, n, &state.wide);
                                     normalize(state, out);
                                   }
                                   PutBytes(out, end, end_bytes);
                                 });
            return;
          }
          if (!check && !diff) {
            // A long line goes in pieces, cut where the rules cannot see it.
            ForEachLinePiece(
                reader, lines, can_cut,
                [&](TextReader&, uint64_t, const char16_t* line, size_t n,
                    const char16_t* end, size_t end_units, bool) {
                  state.wide.assign(line, line + n);
                  normalize(state, out);
                  out.Put(end, end_units);
                });
            return;
          }
          ForEachLine(
              reader, lines,
              [&](TextReader& reader, uint64_t number, const char16_t* line,
                  size_t n, const char16_t*, size_t) {
                std::wstring& wide = state.wide;
                wide.assign(line, line + n);
                if (urdu) {
                  NormalizeUrduWithChanges(rules, wide, &state.normalized,
                                           &state.changes);
                } else {
                  normalization.NormalizeWithChanges(
                      wide, NFC, &state.normalized, &state.changes);
                }
                if (state.changes.empty()) return;
                ++state.changed_lines;
                state.changes_made += state.changes.size();
                const std::string where =
                    reader.name() + ":" + std::to_string(number);
                if (diff) PutLineDiff(where, wide, state.normalized, out);
                if (!check) return;
                ColumnCursor cursor;
                for (const NormChange& change : state.changes) {
                  PutUtf8(DescribeChange(where, wide, change, &cursor) + "\n",
                          out);
                }
              });
        });
  });
  uint64_t changed_lines = 0, changes_made = 0;
  for (const State& state : states) {
    changed_lines += state.changed_lines;
    changes_made += state.changes_made;
  }
  if (changed_lines > 0) {
    throw Error(std::to_string(changed_lines) +
                (changed_lines == 1 ? " line" : " lines") + " would change (" +
                std::to_string(changes_made) +
                (changes_made == 1 ? " change)" : " changes)"));
  }
  return 0;
}

int RunStrip(const Arguments& args) {
  RunFiles files;
  TextCommand command(args, files);
  const bool keep_shadda = args.Has("--keep-shadda");
  struct State {
    Units text;
    Utf8Bytes bytes, stripped;
    std::u16string scratch;
  };
  std::vector<State> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t) {
          // A letter at the end of a block waits for the marks that may follow.
          bool more = true;
          if (OnUtf8(out)) {
            Utf8Bytes& bytes = state.bytes;
            bytes.clear();
            while (more) {
              more = reader.NextUtf8(&bytes);
              const size_t end =
                  more ? StripSafeEndUtf8(bytes.data(), bytes.size())
                       : bytes.size();
              state.stripped.resize(end);
              PutBytes(out, state.stripped.data(),
                       StripMarksUtf8(bytes.data(), end, keep_shadda,
                                      state.stripped.data(), &state.scratch));
              bytes.erase(bytes.begin(),
                          bytes.begin() + static_cast<ptrdiff_t>(end));
            }
            return;
          }
          Units& text = state.text;
          text.clear();
          while (more) {
            more = reader.Next(&text);
            const size_t end =
                more ? StripSafeEnd(text.data(), text.size()) : text.size();
            out.Put(text.data(), StripMarks(text.data(), end, keep_shadda));
            text.erase(text.begin(),
                       text.begin() + static_cast<ptrdiff_t>(end));
          }
        });
  });
}

int RunCodes(const Arguments& args) {
  const std::string table =
      FindDataFile(kCodeTableData, args.Value("--table", ""));
  LoadCodeTable(table, mapper);
  // The texts of the codes, made once and only read by the threads (the
  // mapping through `mapper` alone fills them as it goes).
  std::vector<CodeText> texts(kMapperSlots);
  FillCodeTexts(mapper, texts.data());
  RunFiles files;
  files.Input("code table", table);
  TextCommand command(args, files);
  struct State {
    std::wstring scratch;
    std::string codes;
    Utf8Bytes bytes;
  };
  std::vector<State> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
          if (!FilterUnits()) {
            ForEachLinePieceUtf8(
                reader, state.bytes, CodesCanCutBefore,
                [&](const char* line, size_t n, const char* end, size_t) {
                  state.codes.clear();
                  AppendLineCodesUtf8(mapper, texts.data(), line, n,
                                      &state.scratch, &state.codes);
                  if (end != nullptr) state.codes.push_back('\n');
                  out.PutLatin1(state.codes.data(), state.codes.size());
                });
            return;
          }
          ForEachLinePiece(reader, lines, CodesCanCutBefore,
                           [&](TextReader&, uint64_t, const char16_t* line,
                               size_t n, const char16_t*, size_t, bool last) {
                             state.codes.clear();
                             AppendLineCodes(mapper, texts.data(), line, n,
                                             &state.scratch, &state.codes);
                             if (last) state.codes.push_back('\n');
                             out.PutLatin1(state.codes.data(),
                                           state.codes.size());
                           });
        });
  });
}

}  // namespace urdulex::internal
