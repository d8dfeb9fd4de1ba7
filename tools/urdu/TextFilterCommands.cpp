// urdu normalize, strip and codes: filters of the text, a line for a line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "foundation/Quote.h"
#include "text/LoadNormalization.h"
#include "text/TextFilters.h"
#include "text/TextIO.h"
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
    uint64_t changed_lines = 0, changes_made = 0;
  };
  std::vector<State> states(command.threads());
  WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
          if (!check && !diff) {
            // A long line goes in pieces, cut where the rules cannot see it.
            ForEachLinePiece(
                reader, lines,
                [&](const char16_t* text, size_t i) {
                  return urdu ? UrduCanCutBefore(rules, text, i)
                              : rules.CanCutAfter(text[i - 1]);
                },
                [&](TextReader&, uint64_t, const char16_t* line, size_t n,
                    const char16_t* end, size_t end_units, bool) {
                  state.wide.assign(line, line + n);
                  if (urdu) {
                    NormalizeUrdu(rules, state.wide, &state.normalized);
                  } else {
                    normalization.Normalize(std::move(state.wide), NFC,
                                            state.normalized);
                  }
                  state.result.assign(state.normalized.begin(),
                                      state.normalized.end());
                  out.Put(state.result);
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
  std::vector<Units> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](Units& text, TextReader& reader, TextWriter& out, uint64_t) {
          // A letter at the end of a block waits for the marks that may follow.
          bool more = true;
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
  };
  std::vector<State> states(command.threads());
  return WithOutput(command, [&](TextWriter& writer) {
    command.Run(
        writer, states,
        [&](State& state, TextReader& reader, TextWriter& out, uint64_t lines) {
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
