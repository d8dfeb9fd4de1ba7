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

  py::class_<urdulex::Coverage>(m, "Coverage")
      .def_readonly("words", &urdulex::Coverage::words)
      .def_readonly("known", &urdulex::Coverage::known)
      .def_readonly("unknown", &urdulex::Coverage::unknown)
      .def_readonly("ambiguous", &urdulex::Coverage::ambiguous)
      .def_readonly("other", &urdulex::Coverage::other)
      .def_readonly("kept", &urdulex::Coverage::kept)
      .def_readonly("split", &urdulex::Coverage::split)
      .def("__repr__", [](const urdulex::Coverage& c) {
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
            urdulex::DiacritizeOptions options{lines,
                                               AmbiguousPolicy(ambiguous),
                                               FallbackPolicy(fallback), rules};
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
             bool lines) {
            urdulex::Coverage coverage;
            py::gil_scoped_release release;
            table.Diacritize(text, urdulex::DiacritizeOptions{lines},
                             &coverage);
            return coverage;
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
