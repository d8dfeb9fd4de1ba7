// urdulex._urdulex: the Python binding of the public API (urdulex/urdulex.h).
// Text is str in and out (UTF-8 across the boundary); UZT is bytes. Every
// call that walks a text releases the GIL, so threads sharing one table or
// normalizer run in parallel. urdulex::Error becomes urdulex.Error.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <map>
#include <string>
#include <string_view>

#include "urdulex/urdulex.h"

namespace py = pybind11;

namespace {

using Release = py::call_guard<py::gil_scoped_release>;

// The value named `name` in `choices`, or Error(`wants`).
template <typename Value>
Value Choice(const std::map<std::string, Value>& choices,
             const std::string& name, const char* wants) {
  const auto it = choices.find(name);
  if (it == choices.end()) throw urdulex::Error(wants);
  return it->second;
}

urdulex::Ambiguous AmbiguousPolicy(const std::string& name) {
  return Choice<urdulex::Ambiguous>(
      {{"first", urdulex::Ambiguous::kFirst},
       {"common", urdulex::Ambiguous::kCommon},
       {"keep", urdulex::Ambiguous::kKeep},
       {"all", urdulex::Ambiguous::kAll},
       {"context", urdulex::Ambiguous::kContext}},
      name, "ambiguous wants context, first, common, keep or all");
}

urdulex::Ambiguous FallbackPolicy(const std::string& name) {
  return Choice<urdulex::Ambiguous>(
      {{"first", urdulex::Ambiguous::kFirst},
       {"common", urdulex::Ambiguous::kCommon},
       {"keep", urdulex::Ambiguous::kKeep},
       {"all", urdulex::Ambiguous::kAll}},
      name, "fallback wants first, common, keep or all");
}

urdulex::ErrorPolicy ErrorPolicy(const std::string& name) {
  return Choice<urdulex::ErrorPolicy>(
      {{"fail", urdulex::ErrorPolicy::kFail},
       {"skip", urdulex::ErrorPolicy::kSkip},
       {"substitute", urdulex::ErrorPolicy::kSubstitute}},
      name, "errors wants fail, skip or substitute");
}

const char* KindName(urdulex::Token::Kind kind) {
  switch (kind) {
    case urdulex::Token::Kind::kWord:
      return "word";
    case urdulex::Token::Kind::kOverlong:
      return "overlong";
    case urdulex::Token::Kind::kBlank:
      return "blank";
    case urdulex::Token::Kind::kSeparator:
      break;
  }
  return "separator";
}

// Byte offsets of the UTF-8 text become character offsets of the str,
// counted in one walk: a leading U+FEFF, which the tokens leave out, is a
// character before the first.
py::list Tokens(std::string_view text, bool lines) {
  std::vector<urdulex::Token> tokens;
  {
    py::gil_scoped_release release;
    tokens = urdulex::Tokenize(text, urdulex::TokenizeOptions{lines});
  }
  py::list out;
  size_t byte = 0, chars = 0;
  for (const urdulex::Token& token : tokens) {
    for (; byte < token.offset; ++byte) {
      chars += (static_cast<unsigned char>(text[byte]) & 0xC0) != 0x80;
    }
    out.append(py::make_tuple(KindName(token.kind), chars, token.text,
                              token.marked, token.urdu));
  }
  return out;
}

// A path for the system: a NUL byte would end it early and open another
// file, so it is refused as Python's own open() refuses it.
const std::string& Path(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throw py::value_error("embedded null byte");
  }
  return path;
}

// `open(path)` of a class whose Open takes a path, refusing a NUL first.
template <typename Class>
Class OpenPath(Class (*open)(const std::string&), const std::string& path) {
  Path(path);
  py::gil_scoped_release release;
  return open(path);
}

// The Coverage of Python: the counts, and the lists when asked for.
struct PyCoverage {
  urdulex::Coverage counts;
  bool has_lists = true;
  urdulex::WordLists lists;
};

py::list WordCounts(const std::vector<urdulex::WordCount>& words) {
  py::list out;
  for (const urdulex::WordCount& word : words) {
    out.append(py::make_tuple(word.word, word.count));
  }
  return out;
}

std::vector<urdulex::WordCount> ToWordCounts(const py::iterable& words) {
  std::vector<urdulex::WordCount> out;
  for (const py::handle& word : words) {
    const auto pair = word.cast<std::pair<std::string, uint64_t>>();
    out.push_back({pair.first, pair.second});
  }
  return out;
}

const urdulex::WordLists& Lists(const PyCoverage& coverage) {
  if (!coverage.has_lists) {
    throw py::value_error(
        "this Coverage has no lists: coverage(text, lists=True) keeps them");
  }
  return coverage.lists;
}

py::object Homographs(const PyCoverage& coverage) {
  if (!coverage.has_lists) return py::none();
  py::list out;
  for (const urdulex::Homograph& word : coverage.lists.homographs) {
    py::object by_rules = py::none(), by_fallback = py::none();
    if (coverage.lists.context) {
      by_rules = py::int_(word.by_rules);
      by_fallback = py::int_(word.by_fallback);
    }
    out.append(py::make_tuple(word.bare, word.count,
                              py::tuple(py::cast(word.forms)), by_rules,
                              by_fallback));
  }
  return out;
}

PyCoverage& AddCoverage(PyCoverage& sum, const PyCoverage& add) {
  if (sum.has_lists != add.has_lists) {
    throw py::value_error("cannot add a Coverage with lists and one without");
  }
  if (sum.has_lists) {
    py::gil_scoped_release release;
    sum.lists += add.lists;
  }
  sum.counts += add.counts;
  return sum;
}

// The fields of the counts, in the order of the stats.
constexpr uint64_t urdulex::Coverage::*kCounts[] = {
    &urdulex::Coverage::words,   &urdulex::Coverage::known,
    &urdulex::Coverage::unknown, &urdulex::Coverage::ambiguous,
    &urdulex::Coverage::other,   &urdulex::Coverage::kept,
    &urdulex::Coverage::split};

py::tuple CoverageState(const PyCoverage& coverage) {
  py::list counts;
  for (const auto count : kCounts) counts.append(coverage.counts.*count);
  if (!coverage.has_lists) return py::make_tuple(counts, py::none());
  const urdulex::WordLists& lists = coverage.lists;
  py::list homographs;
  for (const urdulex::Homograph& word : lists.homographs) {
    homographs.append(py::make_tuple(word.bare, word.count, word.forms,
                                     word.by_rules, word.by_fallback));
  }
  return py::make_tuple(
      counts,
      py::make_tuple(lists.context, WordCounts(lists.unknown), homographs,
                     WordCounts(lists.kept), WordCounts(lists.split)));
}

PyCoverage CoverageFromState(const py::tuple& state) {
  if (state.size() != 2) throw py::value_error("not the state of a Coverage");
  PyCoverage coverage;
  const auto counts = state[0].cast<std::vector<uint64_t>>();
  if (counts.size() != std::size(kCounts)) {
    throw py::value_error("not the state of a Coverage");
  }
  for (size_t i = 0; i < counts.size(); ++i) {
    coverage.counts.*kCounts[i] = counts[i];
  }
  coverage.has_lists = !state[1].is_none();
  if (!coverage.has_lists) return coverage;
  const py::tuple lists = state[1];
  coverage.lists.context = lists[0].cast<bool>();
  coverage.lists.unknown = ToWordCounts(lists[1]);
  for (const py::handle& word : lists[2]) {
    const auto fields =
        word.cast<std::tuple<std::string, uint64_t, std::vector<std::string>,
                             uint64_t, uint64_t>>();
    coverage.lists.homographs.push_back(
        {std::get<0>(fields), std::get<1>(fields), std::get<2>(fields),
         std::get<3>(fields), std::get<4>(fields)});
  }
  coverage.lists.kept = ToWordCounts(lists[3]);
  coverage.lists.split = ToWordCounts(lists[4]);
  return coverage;
}

urdulex::DiacritizeOptions Options(const std::string& ambiguous,
                                   const std::string& fallback,
                                   const urdulex::ContextRules* rules,
                                   bool lines) {
  return urdulex::DiacritizeOptions{lines, AmbiguousPolicy(ambiguous),
                                    FallbackPolicy(fallback), rules};
}

}  // namespace

PYBIND11_MODULE(_urdulex, m) {
  py::register_exception<urdulex::Error>(m, "Error");
  m.attr("__version__") = urdulex::Version();

  m.def(
      "split_diacritics",
      [](std::string_view word) {
        const urdulex::SplitWord split = urdulex::SplitDiacritics(word);
        return py::make_tuple(split.bare, split.symbols);
      },
      py::arg("word"));
  m.def("merge_diacritics", &urdulex::MergeDiacritics, py::arg("bare"),
        py::arg("symbols"));
  m.def(
      "strip_diacritics",
      [](std::string_view text, bool keep_shadda) {
        return urdulex::StripDiacritics(text,
                                        urdulex::StripOptions{keep_shadda});
      },
      py::arg("text"), py::kw_only(), py::arg("keep_shadda") = false,
      Release());
  m.def("tokenize", &Tokens, py::arg("text"), py::kw_only(),
        py::arg("lines") = false);

  py::class_<urdulex::Normalizer>(m, "Normalizer")
      .def_static("urdu", &urdulex::Normalizer::Urdu)
      .def_static(
          "from_config",
          [](const std::string& path) {
            return OpenPath(&urdulex::Normalizer::FromConfig, path);
          },
          py::arg("path"))
      .def_static(
          "from_rules",
          [](const std::string& path) {
            return OpenPath(&urdulex::Normalizer::FromRules, path);
          },
          py::arg("path"))
      .def("normalize", &urdulex::Normalizer::Normalize, py::arg("text"),
           Release())
      .def("is_normalized", &urdulex::Normalizer::IsNormalized, py::arg("text"),
           Release())
      .def(
          "changes",
          [](const urdulex::Normalizer& normalizer, std::string_view text) {
            std::vector<urdulex::Change> changes;
            {
              py::gil_scoped_release release;
              changes = normalizer.Changes(text);
            }
            // Byte offsets become character offsets, counted in one walk.
            py::list out;
            size_t byte = 0, chars = 0;
            for (const urdulex::Change& change : changes) {
              for (; byte < change.offset; ++byte) {
                chars +=
                    (static_cast<unsigned char>(text[byte]) & 0xC0) != 0x80;
              }
              out.append(py::make_tuple(chars, change.before, change.after));
            }
            return out;
          },
          py::arg("text"))
      .def("__len__", &urdulex::Normalizer::size);

  py::class_<PyCoverage> coverage(m, "Coverage");
  coverage.def(py::init<>());
  const std::pair<const char*, uint64_t urdulex::Coverage::*> counts[] = {
      {"words", &urdulex::Coverage::words},
      {"known", &urdulex::Coverage::known},
      {"unknown", &urdulex::Coverage::unknown},
      {"ambiguous", &urdulex::Coverage::ambiguous},
      {"other", &urdulex::Coverage::other},
      {"kept", &urdulex::Coverage::kept},
      {"split", &urdulex::Coverage::split}};
  for (const auto& count : counts) {
    const auto field = count.second;
    coverage.def_property_readonly(
        count.first, [field](const PyCoverage& c) { return c.counts.*field; });
  }
  const std::pair<const char*,
                  std::vector<urdulex::WordCount> urdulex::WordLists::*>
      lists[] = {{"unknown_words", &urdulex::WordLists::unknown},
                 {"kept_words", &urdulex::WordLists::kept},
                 {"split_words", &urdulex::WordLists::split}};
  for (const auto& list : lists) {
    const auto field = list.second;
    coverage.def_property_readonly(list.first,
                                   [field](const PyCoverage& c) -> py::object {
                                     if (!c.has_lists) return py::none();
                                     return WordCounts(c.lists.*field);
                                   });
  }
  coverage.def_property_readonly("homographs", &Homographs)
      .def("report", [](const PyCoverage& c) { return Lists(c).Text(); })
      .def("stats", [](const PyCoverage& c) { return c.counts.Stats(); })
      .def("__iadd__", &AddCoverage, py::is_operator())
      .def(
          "__add__",
          [](const PyCoverage& a, const PyCoverage& b) {
            PyCoverage sum = a;
            return AddCoverage(sum, b);
          },
          py::is_operator())
      .def(
          "__radd__",
          [](const PyCoverage& c, const py::object& zero) -> py::object {
            // sum() starts from 0.
            if (py::isinstance<py::int_>(zero) && zero.cast<int64_t>() == 0) {
              return py::cast(c);
            }
            return py::reinterpret_borrow<py::object>(Py_NotImplemented);
          },
          py::is_operator())
      .def("__eq__",
           [](const PyCoverage& a, const PyCoverage& b) {
             return CoverageState(a).equal(CoverageState(b));
           })
      .def(py::pickle(&CoverageState, &CoverageFromState))
      .def("__repr__", [](const PyCoverage& p) {
        const urdulex::Coverage& c = p.counts;
        return "Coverage(words=" + std::to_string(c.words) +
               ", known=" + std::to_string(c.known) +
               ", unknown=" + std::to_string(c.unknown) +
               ", ambiguous=" + std::to_string(c.ambiguous) +
               ", other=" + std::to_string(c.other) +
               ", kept=" + std::to_string(c.kept) +
               ", split=" + std::to_string(c.split) + ")";
      });

  py::class_<urdulex::ContextRules>(m, "ContextRules")
      .def(py::init([](const std::string& path) {
             return OpenPath(&urdulex::ContextRules::Open, path);
           }),
           py::arg("path"))
      .def_static(
          "parse",
          [](std::string_view text, const std::string& name) {
            return urdulex::ContextRules::Parse(text, name);
          },
          py::arg("text"), py::arg("name") = "rules")
      .def_static("shipped", &urdulex::ContextRules::Shipped,
                  py::return_value_policy::copy)
      .def("__len__", &urdulex::ContextRules::size);

  py::class_<urdulex::WordFormTable>(m, "WordFormTable")
      .def(py::init([](const std::string& path) {
             return OpenPath(&urdulex::WordFormTable::Open, path);
           }),
           py::arg("path"))
      .def_property_readonly("path", &urdulex::WordFormTable::path)
      .def("forms", &urdulex::WordFormTable::Forms, py::arg("word"), Release())
      .def(
          "diacritize",
          [](const urdulex::WordFormTable& table, std::string_view text,
             const std::string& ambiguous, const std::string& fallback,
             const urdulex::ContextRules* rules, bool lines, bool normalize) {
            urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, rules, lines);
            options.normalize = normalize;
            py::gil_scoped_release release;
            return table.Diacritize(text, options);
          },
          py::arg("text"), py::kw_only(), py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr,
          py::arg("lines") = false, py::arg("normalize") = false)
      .def(
          "coverage",
          [](const urdulex::WordFormTable& table, std::string_view text,
             bool lines, bool lists, const std::string& ambiguous,
             const std::string& fallback, const urdulex::ContextRules* rules) {
            const urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, rules, lines);
            PyCoverage coverage;
            coverage.has_lists = lists;
            py::gil_scoped_release release;
            table.Diacritize(text, options, &coverage.counts,
                             lists ? &coverage.lists : nullptr);
            return coverage;
          },
          py::arg("text"), py::kw_only(), py::arg("lines") = false,
          py::arg("lists") = false, py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr)
      .def(
          "unknown_words",
          [](const urdulex::WordFormTable& table, std::string_view text,
             bool lines) {
            urdulex::WordLists lists;
            {
              py::gil_scoped_release release;
              table.Diacritize(text, urdulex::DiacritizeOptions{lines}, nullptr,
                               &lists);
            }
            return WordCounts(lists.unknown);
          },
          py::arg("text"), py::kw_only(), py::arg("lines") = false);

  py::class_<urdulex::WordFormTableBuilder>(m, "WordFormTableBuilder")
      .def(py::init<>())
      .def("add", &urdulex::WordFormTableBuilder::Add, py::arg("word"),
           py::arg("id") = 0xFFFFFFFFu, py::arg("tag") = 0, py::arg("flag") = 0)
      .def(
          "build",
          [](const urdulex::WordFormTableBuilder& builder,
             const std::string& path, int64_t slots) {
            urdulex::BuildReport report;
            Path(path);
            {
              py::gil_scoped_release release;
              report = builder.Build(path, slots);
            }
            py::list skipped;
            for (const urdulex::SkippedWord& word : report.skipped) {
              skipped.append(py::make_tuple(
                  word.word, urdulex::SkipReasonName(word.reason)));
            }
            py::dict out;
            out["forms"] = report.forms;
            out["slots"] = report.slots;
            out["skipped"] = skipped;
            return out;
          },
          py::arg("path"), py::kw_only(), py::arg("slots") = 0);

  py::class_<urdulex::UztCodec>(m, "UztCodec")
      .def(py::init([](const std::string& mapping) {
             return OpenPath(&urdulex::UztCodec::Open, mapping);
           }),
           py::arg("mapping"))
      .def(
          "encode",
          [](const urdulex::UztCodec& codec, std::string_view text,
             const std::string& errors) {
            const urdulex::ErrorPolicy policy = ErrorPolicy(errors);
            std::string uzt;
            {
              py::gil_scoped_release release;
              uzt = codec.Encode(text, policy);
            }
            return py::bytes(uzt);
          },
          py::arg("text"), py::kw_only(), py::arg("errors") = "fail")
      .def(
          "decode",
          [](const urdulex::UztCodec& codec, const py::bytes& uzt,
             const std::string& errors) {
            const urdulex::ErrorPolicy policy = ErrorPolicy(errors);
            const std::string bytes = uzt;
            py::gil_scoped_release release;
            return codec.Decode(bytes, policy);
          },
          py::arg("uzt"), py::kw_only(), py::arg("errors") = "fail");

  py::class_<urdulex::LetterCodes>(m, "LetterCodes")
      .def(py::init([](const std::string& path) {
             return OpenPath(&urdulex::LetterCodes::Open, path);
           }),
           py::arg("path"))
      .def("map", &urdulex::LetterCodes::Map, py::arg("line"), Release());

  py::class_<urdulex::Evaluation>(m, "Evaluation")
      .def_readonly("words", &urdulex::Evaluation::words)
      .def_readonly("letters", &urdulex::Evaluation::letters)
      .def_readonly("letter_errors", &urdulex::Evaluation::letter_errors)
      .def_readonly("last_letter_errors",
                    &urdulex::Evaluation::last_letter_errors)
      .def_readonly("word_errors", &urdulex::Evaluation::word_errors)
      .def_readonly("word_errors_before_last",
                    &urdulex::Evaluation::word_errors_before_last)
      .def_readonly("covered", &urdulex::Evaluation::covered)
      .def_readonly("covered_exactly", &urdulex::Evaluation::covered_exactly)
      .def_property_readonly("der", &urdulex::Evaluation::DiacriticErrorRate)
      .def_property_readonly("wer", &urdulex::Evaluation::WordErrorRate)
      .def_property_readonly("der_before_last",
                             &urdulex::Evaluation::DiacriticErrorRateBeforeLast)
      .def_property_readonly("wer_before_last",
                             &urdulex::Evaluation::WordErrorRateBeforeLast)
      .def("report", &urdulex::Evaluation::Report);
  m.def(
      "evaluate",
      [](std::string_view gold, std::string_view predicted,
         const urdulex::WordFormTable* table) {
        py::gil_scoped_release release;
        return urdulex::Evaluate(gold, predicted, table);
      },
      py::arg("gold"), py::arg("predicted"), py::kw_only(),
      py::arg("table") = nullptr);
}
