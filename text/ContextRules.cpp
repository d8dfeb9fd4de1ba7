#include "text/ContextRules.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "foundation/Utf8.h"
#include "text/MarkedWord.h"

namespace urdulex::internal {

namespace {

struct TagName {
  const char* name;
  int tag;
};

constexpr TagName kTags[] = {
    {"noun", 10},       {"propernoun", 11},   {"verb", 20},
    {"auxiliary", 21},  {"adjective", 30},    {"numeral", 31},
    {"determiner", 32}, {"adverb", 40},       {"pronoun", 50},
    {"question", 51},   {"postposition", 60}, {"conjunction", 61},
    {"particle", 62},   {"interjection", 63},
};

uint32_t TagBitOf(const std::u32string& name) {
  for (size_t i = 0; i < sizeof(kTags) / sizeof(kTags[0]); ++i) {
    const char* n = kTags[i].name;
    size_t k = 0;
    while (n[k] != '\0' && k < name.size() &&
           name[k] == static_cast<char32_t>(n[k])) {
      ++k;
    }
    if (n[k] == '\0' && k == name.size()) return uint32_t{1} << i;
  }
  return 0;
}

bool IsBlank(char32_t c) { return c == ' ' || c == '\t' || c == '\r'; }

std::u16string Utf16(const std::u32string& s) {
  std::u16string out;
  for (char32_t c : s) {
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf8(const std::u32string& s) {
  std::string out;
  char buffer[4];
  for (char32_t c : s) {
    out.append(buffer, utf8::EncodeSequence(c, buffer));
  }
  return out;
}

// The parse of one line, its characters in `line`.
class LineParser {
 public:
  LineParser(const std::string& name, int number, std::u32string line)
      : name_(name), number_(number), line_(std::move(line)) {}

  // A word of the line: [begin, end) in characters.
  struct Piece {
    size_t begin, end;
  };
  std::vector<Piece> Pieces() const {
    std::vector<Piece> pieces;
    size_t i = 0;
    while (i < line_.size()) {
      while (i < line_.size() && IsBlank(line_[i])) ++i;
      if (i == line_.size() || line_[i] == '#') break;
      const size_t begin = i;
      while (i < line_.size() && !IsBlank(line_[i]) && line_[i] != '#') ++i;
      pieces.push_back({begin, i});
    }
    return pieces;
  }
  std::u32string Text(size_t begin, size_t end) const {
    return line_.substr(begin, end - begin);
  }
  Status Fail(size_t column, const std::string& what) const {
    return Status::Failure(name_ + ":" + std::to_string(number_) + ":" +
                           std::to_string(column + 1) + ": " + what);
  }

 private:
  const std::string& name_;
  int number_;
  std::u32string line_;
};

// The canonical key of a word and whether it carries marks.
std::u16string KeyOf(const std::u16string& word, bool* marked) {
  MarkedWord analysed;
  analysed.Assign(word.data(), word.size());
  if (marked != nullptr) *marked = analysed.marked();
  return analysed.key();
}

}  // namespace

uint32_t TagBit(int tag) {
  for (size_t i = 0; i < sizeof(kTags) / sizeof(kTags[0]); ++i) {
    if (kTags[i].tag == tag) return uint32_t{1} << i;
  }
  return 0;
}

Status ContextRules::Parse(std::string_view text, const std::string& name) {
  std::vector<Rule> rules;
  std::unordered_map<std::u16string, std::vector<size_t>> by_form;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t at = 0;
  for (int number = 1; at < n || number == 1; ++number) {
    std::u32string chars;
    while (at < n && p[at] != '\n') {
      char32_t c = 0;
      size_t valid = 0;
      const int length = utf8::NextCharacter(p + at, n - at, &c, &valid);
      if (length <= 0) {
        return LineParser(name, number, chars)
            .Fail(chars.size(), "not UTF-8 text");
      }
      if (c == 0) {
        return LineParser(name, number, chars)
            .Fail(chars.size(), "a NUL character");
      }
      chars.push_back(c);
      at += static_cast<size_t>(length);
    }
    if (at < n) ++at;  // the line feed
    if (number == 1 && !chars.empty() && chars[0] == 0xFEFF) {
      chars.erase(0, 1);  // a byte order mark
    }
    const LineParser line(name, number, chars);
    const std::vector<LineParser::Piece> pieces = line.Pieces();
    if (pieces.empty()) continue;
    if (pieces.size() < 3 ||
        line.Text(pieces[1].begin, pieces[1].end) != U"->") {
      return line.Fail(pieces[0].begin,
                       "a rule is FORM -> READING, then a colon and its "
                       "tests");
    }
    Rule rule;
    rule.line = number;
    // FORM
    bool marked = false;
    const std::u16string form =
        KeyOf(Utf16(line.Text(pieces[0].begin, pieces[0].end)), &marked);
    if (marked) {
      return line.Fail(pieces[0].begin,
                       "the form is written with marks; write it bare");
    }
    if (form.empty()) return line.Fail(pieces[0].begin, "the form is empty");
    // READING, maybe with the colon
    size_t reading_end = pieces[2].end;
    size_t next = 3;
    bool colon = false;
    if (chars[reading_end - 1] == ':') {
      --reading_end;
      colon = true;
    } else if (next < pieces.size() &&
               line.Text(pieces[next].begin, pieces[next].end) == U":") {
      ++next;
      colon = true;
    }
    const std::u32string reading = line.Text(pieces[2].begin, reading_end);
    rule.reading = Utf16(reading);
    if (KeyOf(rule.reading, nullptr) != form) {
      return line.Fail(pieces[2].begin,
                       "\"" + Utf8(reading) + "\" is not a reading of \"" +
                           Utf8(line.Text(pieces[0].begin, pieces[0].end)) +
                           "\": their letters differ");
    }
    if (!colon && next < pieces.size()) {
      return line.Fail(pieces[next].begin,
                       "a colon goes between the reading and the tests");
    }
    if (colon && next == pieces.size()) {
      return line.Fail(reading_end, "tests go after the colon");
    }
    // TESTS
    for (; next < pieces.size(); ++next) {
      const LineParser::Piece piece = pieces[next];
      std::u32string test = line.Text(piece.begin, piece.end);
      Test t{Test::kWord, false, 0, 0, {}, {}};
      size_t column = piece.begin;
      if (test[0] == '!') {
        t.negated = true;
        test.erase(0, 1);
        ++column;
      }
      if (test == U"start" || test == U"end") {
        t.kind = test == U"start" ? Test::kStart : Test::kEnd;
        rule.tests.push_back(std::move(t));
        continue;
      }
      const size_t equals = test.find('=');
      std::u32string where = test.substr(0, equals);
      const size_t dot = where.find('.');
      if (dot != std::u32string::npos) {
        if (where.substr(dot) != U".tag") {
          return line.Fail(column + dot,
                           "after the word comes .tag or nothing");
        }
        t.kind = Test::kTag;
        where.erase(dot);
      }
      if (where == U"prev") {
        t.offset = -1;
      } else if (where == U"prev2") {
        t.offset = -2;
      } else if (where == U"next") {
        t.offset = 1;
      } else if (where == U"next2") {
        t.offset = 2;
      } else {
        return line.Fail(column,
                         "unknown test \"" + Utf8(test.substr(0, equals)) +
                             "\"; the tests are prev, prev2, next, next2 "
                             "(with =WORD|WORD or .tag=TAG|TAG), start and "
                             "end");
      }
      if (equals == std::u32string::npos) {
        return line.Fail(
            column + test.size(),
            "an = and what the word is go after \"" + Utf8(test) + "\"");
      }
      size_t begin = equals + 1;
      for (;;) {
        size_t end = test.find('|', begin);
        if (end == std::u32string::npos) end = test.size();
        const std::u32string alternative = test.substr(begin, end - begin);
        if (alternative.empty()) {
          return line.Fail(column + begin, t.kind == Test::kTag
                                               ? "a part of speech is empty"
                                               : "a word is empty");
        }
        if (t.kind == Test::kTag) {
          const uint32_t bit = TagBitOf(alternative);
          if (bit == 0) {
            std::string names;
            for (const TagName& tag : kTags) {
              names += names.empty() ? "" : ", ";
              names += tag.name;
            }
            return line.Fail(column + begin, "unknown part of speech \"" +
                                                 Utf8(alternative) +
                                                 "\"; they are " + names);
          }
          t.tags |= bit;
        } else {
          const std::u16string key = KeyOf(Utf16(alternative), nullptr);
          if (key.empty()) return line.Fail(column + begin, "a word is empty");
          t.words.push_back(key);
        }
        if (end == test.size()) break;
        begin = end + 1;
      }
      rule.tests.push_back(std::move(t));
    }
    by_form[form].push_back(rules.size());
    rules.push_back(std::move(rule));
  }
  rules_ = std::move(rules);
  form_of_.clear();
  form_rules_.clear();
  std::fill(std::begin(filter_), std::end(filter_), 0);
  form_keys_.clear();
  for (auto& entry : by_form) {
    form_keys_.push_back(entry.first);
    form_rules_.push_back(std::move(entry.second));
  }
  // rules_ and form_keys_ no longer grow: their strings stay where they
  // are.
  word_id_.clear();
  for (Rule& rule : rules_) {
    for (Test& test : rule.tests) {
      for (const std::u16string& word : test.words) {
        const int id = static_cast<int>(word_id_.size());
        test.ids.push_back(
            word_id_.emplace(std::u16string_view(word), id).first->second);
      }
      std::sort(test.ids.begin(), test.ids.end());
    }
  }
  for (size_t f = 0; f < form_keys_.size(); ++f) {
    const std::u16string& key = form_keys_[f];
    form_of_.emplace(std::u16string_view(key), static_cast<int>(f));
    const size_t bit = FilterBit(key.data(), key.size());
    filter_[bit / 64] |= uint64_t{1} << (bit % 64);
  }
  return Status();
}

bool ContextRules::Holds(const Test& test,
                         const std::vector<ContextWord>& words, size_t i,
                         TagSource* tags, int* ids) const {
  bool holds = false;
  switch (test.kind) {
    case Test::kStart:
      holds = i == 0;
      break;
    case Test::kEnd:
      holds = i + 1 == words.size();
      break;
    case Test::kWord:
    case Test::kTag: {
      const int64_t at = static_cast<int64_t>(i) + test.offset;
      if (at < 0 || at >= static_cast<int64_t>(words.size())) break;
      const ContextWord& word = words[static_cast<size_t>(at)];
      if (test.kind == Test::kTag) {
        const uint32_t of =
            tags != nullptr ? tags->TagsOf(static_cast<size_t>(at)) : word.tags;
        holds = (of & test.tags) != 0;
        break;
      }
      int& id = ids[test.offset + 2];
      if (id == kNotLooked) {
        const auto it = word_id_.find(word.key);
        id = it == word_id_.end() ? -1 : it->second;
      }
      holds =
          id >= 0 && std::binary_search(test.ids.begin(), test.ids.end(), id);
      break;
    }
  }
  return holds != test.negated;
}

const std::u16string* ContextRules::Choose(
    int form, const std::vector<ContextWord>& words, size_t i, int* line,
    TagSource* tags) const {
  if (form < 0) return nullptr;
  int ids[5] = {kNotLooked, kNotLooked, kNotLooked, kNotLooked, kNotLooked};
  for (size_t r : form_rules_[static_cast<size_t>(form)]) {
    const Rule& rule = rules_[r];
    bool holds = true;
    for (const Test& test : rule.tests) {
      if (!Holds(test, words, i, tags, ids)) {
        holds = false;
        break;
      }
    }
    if (holds) {
      if (line != nullptr) *line = rule.line;
      return &rule.reading;
    }
  }
  return nullptr;
}

}  // namespace urdulex::internal
