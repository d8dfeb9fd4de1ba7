// urdulex._urdulex: the Python binding of the public API (urdulex/urdulex.h).
// Text is str in and out (UTF-8 across the boundary; bytes, and a str
// holding a lone surrogate, are refused naming the parameter); UZT is
// bytes; a path is a str or an os.PathLike. Every call that walks a text
// releases the GIL, so threads sharing one table or normalizer run in
// parallel. urdulex::Error becomes urdulex.Error, or the subclass its kind
// names: TableError (an OSError), TableNotFoundError (a FileNotFoundError
// too), ArgumentError (a ValueError), TextError (a UnicodeError).

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/mman.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "urdulex/urdulex.h"

namespace py = pybind11;

namespace {

// A str argument, converted in the call's body where its name is known
// (Utf8): the std::string casters of pybind11 take bytes too.
struct Text {
  py::handle object;
};
// A path argument: str or os.PathLike (PathOf).
struct PathArg {
  py::handle object;
};

}  // namespace

namespace pybind11::detail {
template <>
struct type_caster<Text> {
  PYBIND11_TYPE_CASTER(Text, const_name("str"));
  bool load(handle src, bool) {
    value.object = src;
    return true;
  }
};
template <>
struct type_caster<PathArg> {
  PYBIND11_TYPE_CASTER(PathArg, const_name("str | os.PathLike[str]"));
  bool load(handle src, bool) {
    value.object = src;
    return true;
  }
};
}  // namespace pybind11::detail

namespace {

using Release = py::call_guard<py::gil_scoped_release>;

// The exceptions of the module (set when it is imported).
PyObject* error_class = nullptr;
PyObject* table_error = nullptr;
PyObject* table_not_found = nullptr;
PyObject* argument_error = nullptr;
PyObject* text_error = nullptr;

[[noreturn]] void Raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// The UTF-8 of the str `text`, the argument `name`; valid while it lives.
std::string_view Utf8(const Text& text, const char* name) {
  PyObject* object = text.object.ptr();
  if (!PyUnicode_Check(object)) {
    throw py::type_error(std::string(name) + " must be str, not " +
                         Py_TYPE(object)->tp_name);
  }
  Py_ssize_t size = 0;
  const char* bytes = PyUnicode_AsUTF8AndSize(object, &size);
  if (bytes == nullptr) {
    // A lone surrogate: say which, and where.
    py::error_already_set encoding;
    const Py_ssize_t at = encoding.value().attr("start").cast<Py_ssize_t>();
    char code[8];
    std::snprintf(code, sizeof code, "%04X",
                  static_cast<unsigned>(PyUnicode_ReadChar(object, at)));
    Raise(text_error, std::string(name) + " holds a lone surrogate U+" + code +
                          " at character " + std::to_string(at) +
                          ": not Unicode text");
  }
  return std::string_view(bytes, static_cast<size_t>(size));
}

// The path `path` (the argument `name`) for the system: a NUL byte would
// end it early and open another file, so it is refused as Python's own
// open() refuses it.
std::string PathOf(const PathArg& path, const char* name) {
  py::object named = py::reinterpret_borrow<py::object>(path.object);
  if (!PyUnicode_Check(named.ptr())) {
    if (PyObject_HasAttrString(named.ptr(), "__fspath__") == 0) {
      throw py::type_error(std::string(name) +
                           " must be str or os.PathLike, not " +
                           Py_TYPE(named.ptr())->tp_name);
    }
    named = py::reinterpret_steal<py::object>(PyOS_FSPath(named.ptr()));
    if (!named) throw py::error_already_set();
  }
  const std::string text(Utf8(Text{named}, name));
  if (text.find('\0') != std::string::npos) {
    Raise(argument_error, "embedded null byte");
  }
  return text;
}

// `open(path)` of a class whose Open takes a path.
template <typename Class>
Class OpenPath(Class (*open)(const std::string&), const std::string& path) {
  py::gil_scoped_release release;
  return open(path);
}

// The value named `name` in `choices`, or ArgumentError(`wants`).
template <typename Value>
Value Choice(std::initializer_list<std::pair<std::string_view, Value>> choices,
             const Text& name, const char* parameter, const char* wants) {
  const std::string_view given = Utf8(name, parameter);
  for (const auto& choice : choices) {
    if (choice.first == given) return choice.second;
  }
  Raise(argument_error, wants);
}

urdulex::Ambiguous AmbiguousPolicy(const Text& name) {
  return Choice<urdulex::Ambiguous>(
      {{"first", urdulex::Ambiguous::kFirst},
       {"common", urdulex::Ambiguous::kCommon},
       {"keep", urdulex::Ambiguous::kKeep},
       {"all", urdulex::Ambiguous::kAll},
       {"context", urdulex::Ambiguous::kContext}},
      name, "ambiguous", "ambiguous wants context, first, common, keep or all");
}

urdulex::Ambiguous FallbackPolicy(const Text& name) {
  return Choice<urdulex::Ambiguous>(
      {{"first", urdulex::Ambiguous::kFirst},
       {"common", urdulex::Ambiguous::kCommon},
       {"keep", urdulex::Ambiguous::kKeep},
       {"all", urdulex::Ambiguous::kAll}},
      name, "fallback", "fallback wants first, common, keep or all");
}

urdulex::ErrorPolicy ErrorPolicy(const Text& name) {
  return Choice<urdulex::ErrorPolicy>(
      {{"fail", urdulex::ErrorPolicy::kFail},
       {"skip", urdulex::ErrorPolicy::kSkip},
       {"substitute", urdulex::ErrorPolicy::kSubstitute}},
      name, "errors", "errors wants fail, skip or substitute");
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
// character before the first. Each token is made by `make` (urdulex.Token).
py::list Tokens(const Text& text_arg, bool lines, const py::object& make) {
  const std::string_view text = Utf8(text_arg, "text");
  std::vector<urdulex::Token> tokens;
  {
    py::gil_scoped_release release;
    tokens = urdulex::Tokenize(text, urdulex::TokenizeOptions{lines});
  }
  // The four kinds, made once.
  const py::str kinds[] = {py::str(KindName(urdulex::Token::Kind::kWord)),
                           py::str(KindName(urdulex::Token::Kind::kSeparator)),
                           py::str(KindName(urdulex::Token::Kind::kOverlong)),
                           py::str(KindName(urdulex::Token::Kind::kBlank))};
  const auto kind_of = [&](urdulex::Token::Kind kind) -> PyObject* {
    switch (kind) {
      case urdulex::Token::Kind::kWord:
        return kinds[0].ptr();
      case urdulex::Token::Kind::kOverlong:
        return kinds[2].ptr();
      case urdulex::Token::Kind::kBlank:
        return kinds[3].ptr();
      case urdulex::Token::Kind::kSeparator:
        break;
    }
    return kinds[1].ptr();
  };
  // Each token a tuple of the class `make` (a tuple subclass, or tuple),
  // allocated with its five items and filled in place.
  PyTypeObject* type = make.is_none()
                           ? &PyTuple_Type
                           : reinterpret_cast<PyTypeObject*>(make.ptr());
  if (!PyType_Check(type) || !PyType_IsSubtype(type, &PyTuple_Type)) {
    throw py::type_error("token must be a tuple class");
  }
  py::list out(tokens.size());
  size_t byte = 0, chars = 0, i = 0;
  for (const urdulex::Token& token : tokens) {
    for (; byte < token.offset; ++byte) {
      chars += (static_cast<unsigned char>(text[byte]) & 0xC0) != 0x80;
    }
    PyObject* item =
        type == &PyTuple_Type ? PyTuple_New(5) : type->tp_alloc(type, 5);
    if (item == nullptr) throw py::error_already_set();
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i++), item);
    PyObject* kind = kind_of(token.kind);
    Py_INCREF(kind);
    PyTuple_SET_ITEM(item, 0, kind);
    PyTuple_SET_ITEM(item, 1, PyLong_FromSize_t(chars));
    PyTuple_SET_ITEM(
        item, 2,
        PyUnicode_FromStringAndSize(
            token.text.data(), static_cast<Py_ssize_t>(token.text.size())));
    PyTuple_SET_ITEM(item, 3, PyBool_FromLong(token.marked));
    PyTuple_SET_ITEM(item, 4, PyBool_FromLong(token.urdu));
    for (int k = 1; k < 3; ++k) {
      if (PyTuple_GET_ITEM(item, k) == nullptr) throw py::error_already_set();
    }
  }
  return out;
}

// The Coverage of Python: the counts, and the lists when asked for.
struct PyCoverage {
  urdulex::Coverage counts;
  bool has_lists = true;
  // The lists, kept by word so that adding many coverages takes time
  // linear in what is added; sorted into WordLists when first read after
  // an add.
  urdulex::WordListsSum sum;
  mutable std::shared_ptr<const urdulex::WordLists> sorted =
      std::make_shared<const urdulex::WordLists>();

  const urdulex::WordLists& lists() const {
    if (!sorted)
      sorted = std::make_shared<const urdulex::WordLists>(sum.Lists());
    return *sorted;
  }
  void SetLists(urdulex::WordLists lists) {
    sum = urdulex::WordListsSum();
    sum += lists;
    sorted = std::make_shared<const urdulex::WordLists>(std::move(lists));
  }
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
    Raise(argument_error,
          "this Coverage has no lists: coverage(text, lists=True) keeps them");
  }
  return coverage.lists();
}

py::object Homographs(const PyCoverage& coverage) {
  if (!coverage.has_lists) return py::none();
  py::list out;
  const urdulex::WordLists& lists = coverage.lists();
  for (const urdulex::Homograph& word : lists.homographs) {
    py::object by_rules = py::none(), by_fallback = py::none();
    if (lists.context) {
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
    Raise(argument_error, "cannot add a Coverage with lists and one without");
  }
  // With the GIL held: `sum` is a Python object another thread may read.
  if (sum.has_lists) {
    sum.sum += add.sum;
    sum.sorted.reset();
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
  const urdulex::WordLists& lists = coverage.lists();
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
  if (state.size() != 2) Raise(argument_error, "not the state of a Coverage");
  PyCoverage coverage;
  const auto counts = state[0].cast<std::vector<uint64_t>>();
  if (counts.size() != std::size(kCounts)) {
    Raise(argument_error, "not the state of a Coverage");
  }
  for (size_t i = 0; i < counts.size(); ++i) {
    coverage.counts.*kCounts[i] = counts[i];
  }
  coverage.has_lists = !state[1].is_none();
  if (!coverage.has_lists) return coverage;
  const py::tuple state_lists = state[1];
  urdulex::WordLists lists;
  lists.context = state_lists[0].cast<bool>();
  lists.unknown = ToWordCounts(state_lists[1]);
  for (const py::handle& word : state_lists[2]) {
    const auto fields =
        word.cast<std::tuple<std::string, uint64_t, std::vector<std::string>,
                             uint64_t, uint64_t>>();
    lists.homographs.push_back({std::get<0>(fields), std::get<1>(fields),
                                std::get<2>(fields), std::get<3>(fields),
                                std::get<4>(fields)});
  }
  lists.kept = ToWordCounts(state_lists[3]);
  lists.split = ToWordCounts(state_lists[4]);
  coverage.SetLists(std::move(lists));
  return coverage;
}

urdulex::DiacritizeOptions Options(const Text& ambiguous, const Text& fallback,
                                   const urdulex::ContextRules* rules,
                                   bool lines, bool normalize = false) {
  urdulex::DiacritizeOptions options{lines, AmbiguousPolicy(ambiguous),
                                     FallbackPolicy(fallback), rules};
  options.normalize = normalize;
  return options;
}

// The objects that a worker process opens again from where they came
// (pickling): what made each is kept beside it.
struct PyNormalizer : urdulex::Normalizer {
  std::string from;  // "urdu", "config" or "rules"
  std::string path;
};

struct PyContextRules : urdulex::ContextRules {
  std::string from;  // "shipped", "file" or "text"
  std::string path;  // the file, or the text
  std::string name;  // of parsed text
};

struct PyLetterCodes : urdulex::LetterCodes {
  std::string path;
};

struct PyUztCodec : urdulex::UztCodec {
  std::string path;
};

}  // namespace

// The classes' objects, as arguments (self above all): one made by
// __new__ without __init__ (or __setstate__) holds no object yet, only
// uninitialised memory, and is refused with a TypeError.
namespace pybind11::detail {
template <typename T>
struct InitialisedCaster : type_caster_base<T> {
  bool load(handle src, bool convert) {
    if (!type_caster_base<T>::load(src, convert)) return false;
    PyTypeObject* type = this->typeinfo->type;
    if (!PyObject_TypeCheck(src.ptr(), type) ||
        reinterpret_cast<instance*>(src.ptr())
            ->get_value_and_holder(this->typeinfo)
            .holder_constructed()) {
      return true;
    }
    throw type_error(std::string(type->tp_name) +
                     " object is not initialised: __init__ was not called");
  }
};
template <>
struct type_caster<PyCoverage> : InitialisedCaster<PyCoverage> {};
template <>
struct type_caster<PyNormalizer> : InitialisedCaster<PyNormalizer> {};
template <>
struct type_caster<PyContextRules> : InitialisedCaster<PyContextRules> {};
template <>
struct type_caster<PyLetterCodes> : InitialisedCaster<PyLetterCodes> {};
template <>
struct type_caster<PyUztCodec> : InitialisedCaster<PyUztCodec> {};
template <>
struct type_caster<urdulex::WordFormTable>
    : InitialisedCaster<urdulex::WordFormTable> {};
template <>
struct type_caster<urdulex::WordFormTableBuilder>
    : InitialisedCaster<urdulex::WordFormTableBuilder> {};
template <>
struct type_caster<urdulex::Evaluation>
    : InitialisedCaster<urdulex::Evaluation> {};
}  // namespace pybind11::detail

namespace {

PyNormalizer MakeNormalizer(const std::string& from, const std::string& path) {
  if (from == "urdu") return {urdulex::Normalizer::Urdu(), from, path};
  if (from == "config") {
    return {OpenPath(&urdulex::Normalizer::FromConfig, path), from, path};
  }
  if (from == "rules") {
    return {OpenPath(&urdulex::Normalizer::FromRules, path), from, path};
  }
  Raise(argument_error, "not the state of a Normalizer");
}

PyContextRules MakeRules(const std::string& from, const std::string& path,
                         const std::string& name) {
  if (from == "shipped") {
    return {urdulex::ContextRules::Shipped(), from, path, name};
  }
  if (from == "file") {
    return {OpenPath(&urdulex::ContextRules::Open, path), from, path, name};
  }
  if (from == "text") {
    py::gil_scoped_release release;
    return {urdulex::ContextRules::Parse(path, name), from, path, name};
  }
  Raise(argument_error, "not the state of ContextRules");
}

const urdulex::ContextRules* RulesOf(const PyContextRules* rules) {
  return rules;
}

}  // namespace

// WordFormTable.diacritize: a call on a word with no options answers from
// the table object's memo of the words it has diacritized (a table never
// changes, so neither does a word's result), for about the cost of a dict
// lookup; every other call, and a word not in the memo, goes to the full
// method, `_diacritize`, and a word's result is kept.
constexpr Py_ssize_t kMemoChars = 32;       // the longest text kept
constexpr Py_ssize_t kMemoWords = 1 << 16;  // then the memo starts again
PyObject* full_diacritize = nullptr;        // WordFormTable._diacritize
PyObject* memo_name = nullptr;              // "_memo", interned

PyObject* MemoOf(PyObject* self) {
  PyObject* attributes = PyObject_GenericGetDict(self, nullptr);
  if (attributes == nullptr) return nullptr;
  PyObject* memo = PyDict_GetItemWithError(attributes, memo_name);
  if (memo == nullptr && !PyErr_Occurred()) {
    memo = PyDict_New();
    if (memo != nullptr && PyDict_SetItem(attributes, memo_name, memo) < 0) {
      Py_CLEAR(memo);
    }
    Py_XDECREF(memo);  // the attributes hold it
  }
  Py_DECREF(attributes);
  return memo;  // borrowed, or null with the error set
}

// --- long results ---

// A str of UTF-8 this long is decoded on every core: decoding a
// diacritized text of 100 MB on one thread takes a third of the time its
// diacritization takes on two.
constexpr size_t kParallelDecodeBytes = size_t{4} << 20;

// Huge pages for the whole pages of a buffer about to be written, where
// the system has them: on a virtual machine a fault every 4 KB costs more
// than writing the page.
void AdviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t begin = reinterpret_cast<uintptr_t>(p);
  const uintptr_t first = (begin + 4095) & ~uintptr_t{4095};
  const uintptr_t end = (begin + bytes) & ~uintptr_t{4095};
  if (end > first) {
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
#else
  (void)p;
  (void)bytes;
#endif
}

// A piece of UTF-8 text, cut before a lead byte.
struct Utf8Piece {
  const unsigned char* begin = nullptr;
  const unsigned char* end = nullptr;
  size_t chars = 0;
  unsigned char top = 0;  // its largest byte
  bool valid = true;
};

// Counts the characters of `piece` and checks its sequences.
void Survey(Utf8Piece* piece) {
  const unsigned char* p = piece->begin;
  const unsigned char* const end = piece->end;
  size_t chars = 0;
  unsigned char top = 0;
  while (p < end) {
    const unsigned char b = *p;
    top = std::max(top, b);
    ++chars;
    if (b < 0x80) {
      ++p;
      continue;
    }
    const ptrdiff_t n = b < 0xC2   ? 0
                        : b < 0xE0 ? 2
                        : b < 0xF0 ? 3
                        : b < 0xF5 ? 4
                                   : 0;
    if (n == 0 || end - p < n) {
      piece->valid = false;
      return;
    }
    // No overlong form, surrogate or code point past U+10FFFF.
    const unsigned char second = p[1];
    const bool in_range = b == 0xE0   ? second >= 0xA0
                          : b == 0xED ? second < 0xA0
                          : b == 0xF0 ? second >= 0x90
                          : b == 0xF4 ? second < 0x90
                                      : true;
    bool trails = in_range;
    for (ptrdiff_t k = 1; k < n; ++k) trails &= (p[k] & 0xC0) == 0x80;
    if (!trails) {
      piece->valid = false;
      return;
    }
    p += n;
  }
  piece->chars = chars;
  piece->top = top;
}

// Decodes the valid UTF-8 of `piece` into `out`, of units wide enough.
template <typename Unit>
void DecodeInto(const Utf8Piece& piece, Unit* out) {
  const unsigned char* p = piece.begin;
  while (p < piece.end) {
    const unsigned char b = *p;
    uint32_t c;
    if (b < 0x80) {
      c = b;
      p += 1;
    } else if (b < 0xE0) {
      c = (b & 0x1Fu) << 6 | (p[1] & 0x3Fu);
      p += 2;
    } else if (b < 0xF0) {
      c = (b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
      p += 3;
    } else {
      c = (b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 |
          (p[3] & 0x3Fu);
      p += 4;
    }
    *out++ = static_cast<Unit>(c);
  }
}

// Runs `work(i)` for i in [0, n): 0 on this thread, the rest on threads of
// their own (or on this one, when the system refuses threads).
template <typename Work>
void OnThreads(size_t n, const Work& work) {
  std::vector<std::thread> threads;
  size_t started = 1;
  try {
    for (; started < n; ++started) threads.emplace_back(work, started);
  } catch (const std::system_error&) {
  }
  work(size_t{0});
  for (size_t i = started; i < n; ++i) work(i);
  for (std::thread& thread : threads) thread.join();
}

// The str of the UTF-8 `text` by the one decoder of Python.
py::str DecodedStr(const std::string& text) {
  PyObject* made = PyUnicode_DecodeUTF8(
      text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
  if (made == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(made);
}

// The str of the UTF-8 `text`, as str(text, "utf-8") makes it.
py::str StrOf(const std::string& text) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (text.size() < kParallelDecodeBytes || cores == 1) {
    return DecodedStr(text);
  }
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const size_t count = std::min<size_t>(cores, text.size() >> 20);
  std::vector<Utf8Piece> pieces(count);
  const unsigned char* at = data;
  for (size_t i = 0; i < count; ++i) {
    pieces[i].begin = at;
    at = i + 1 == count ? data + text.size()
                        : data + text.size() / count * (i + 1);
    while (at < data + text.size() && (*at & 0xC0) == 0x80) ++at;
    pieces[i].end = at;
  }
  {
    py::gil_scoped_release release;
    OnThreads(count, [&](size_t i) { Survey(&pieces[i]); });
  }
  size_t chars = 0;
  unsigned char top = 0;
  for (const Utf8Piece& piece : pieces) {
    if (!piece.valid) return DecodedStr(text);  // its error, as it says it
    chars += piece.chars;
    top = std::max(top, piece.top);
  }
  const Py_UCS4 widest = top < 0x80   ? 0x7F
                         : top < 0xC4 ? 0xFF
                         : top < 0xF0 ? 0xFFFF
                                      : 0x10FFFF;
  PyObject* made = PyUnicode_New(static_cast<Py_ssize_t>(chars), widest);
  if (made == nullptr) throw py::error_already_set();
  py::str out = py::reinterpret_steal<py::str>(made);
  const int kind = PyUnicode_KIND(made);
  char* const units = static_cast<char*>(PyUnicode_DATA(made));
  AdviseHugePages(units, chars * static_cast<size_t>(kind));
  std::vector<size_t> first(count);  // of each piece's characters
  for (size_t i = 1; i < count; ++i)
    first[i] = first[i - 1] + pieces[i - 1].chars;
  {
    py::gil_scoped_release release;
    OnThreads(count, [&](size_t i) {
      char* const to = units + first[i] * static_cast<size_t>(kind);
      if (kind == PyUnicode_1BYTE_KIND) {
        DecodeInto(pieces[i], reinterpret_cast<Py_UCS1*>(to));
      } else if (kind == PyUnicode_2BYTE_KIND) {
        DecodeInto(pieces[i], reinterpret_cast<Py_UCS2*>(to));
      } else {
        DecodeInto(pieces[i], reinterpret_cast<Py_UCS4*>(to));
      }
    });
  }
  return out;
}

// The UTF-8 of a long str, made on every core. Python would encode it on
// one thread, and keep the copy as long as the str lives.
class LongUtf8 {
 public:
  // The UTF-8 of `text`, valid while both live: Utf8(text, name) for a
  // short str, an ASCII one or one holding its UTF-8 already, or one with
  // a lone surrogate (its error).
  std::string_view Of(const Text& text, const char* name);

 private:
  template <typename Unit>
  bool Encode(const Unit* units, size_t size);
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0;
};

template <typename Unit>
bool LongUtf8::Encode(const Unit* units, size_t size) {
  const size_t count = std::min<size_t>(
      std::max(1u, std::thread::hardware_concurrency()), size >> 20);
  std::vector<size_t> first(count + 1);  // characters
  std::vector<size_t> at(count + 1);     // bytes
  for (size_t i = 0; i <= count; ++i) first[i] = size / count * i;
  first[count] = size;
  std::vector<char> valid(count, 1);
  {
    py::gil_scoped_release release;
    OnThreads(count, [&](size_t i) {
      size_t n = 0;
      for (size_t k = first[i]; k < first[i + 1]; ++k) {
        const uint32_t c = units[k];
        n += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (c >= 0xD800 && c < 0xE000) valid[i] = 0;
      }
      at[i + 1] = n;
    });
  }
  for (size_t i = 0; i < count; ++i) {
    if (!valid[i]) return false;
    at[i + 1] += at[i];
  }
  bytes_.reset(new char[at[count] + 1]);
  AdviseHugePages(bytes_.get(), at[count]);
  py::gil_scoped_release release;
  OnThreads(count, [&](size_t i) {
    auto* out = reinterpret_cast<unsigned char*>(bytes_.get() + at[i]);
    for (size_t k = first[i]; k < first[i + 1]; ++k) {
      const uint32_t c = units[k];
      if (c < 0x80) {
        *out++ = static_cast<unsigned char>(c);
      } else if (c < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | c >> 6);
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        *out++ = static_cast<unsigned char>(0xE0 | c >> 12);
        *out++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
      } else {
        *out++ = static_cast<unsigned char>(0xF0 | c >> 18);
        *out++ = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
    }
  });
  size_ = at[count];
  return true;
}

std::string_view LongUtf8::Of(const Text& text, const char* name) {
  PyObject* object = text.object.ptr();
  if (!PyUnicode_Check(object) ||
      static_cast<size_t>(PyUnicode_GET_LENGTH(object)) <
          kParallelDecodeBytes ||
      PyUnicode_IS_ASCII(object) ||
      reinterpret_cast<PyCompactUnicodeObject*>(object)->utf8 != nullptr ||
      std::thread::hardware_concurrency() <= 1) {
    return Utf8(text, name);
  }
  const size_t size = static_cast<size_t>(PyUnicode_GET_LENGTH(object));
  const void* data = PyUnicode_DATA(object);
  bool encoded = false;
  switch (PyUnicode_KIND(object)) {
    case PyUnicode_1BYTE_KIND:
      encoded = Encode(static_cast<const Py_UCS1*>(data), size);
      break;
    case PyUnicode_2BYTE_KIND:
      encoded = Encode(static_cast<const Py_UCS2*>(data), size);
      break;
    default:
      encoded = Encode(static_cast<const Py_UCS4*>(data), size);
      break;
  }
  if (!encoded) return Utf8(text, name);
  return std::string_view(bytes_.get(), size_);
}

// Keeps `answer` (null: nothing to keep) for `word` in `memo`, which starts
// again once full. Returns `answer`, or null with the error set.
PyObject* Remember(PyObject* memo, PyObject* word, PyObject* answer) {
  if (answer == nullptr) return nullptr;
  if (PyDict_GET_SIZE(memo) >= kMemoWords) PyDict_Clear(memo);
  if (PyDict_SetItem(memo, word, answer) < 0) Py_CLEAR(answer);
  return answer;
}

// The word `word` diacritized by the table `self` with the default options,
// straight from here; null, with no error set, where the full method has
// something to say (a lone surrogate, an object not made by __init__).
PyObject* DiacritizeWord(PyObject* self, PyObject* word) {
  Py_ssize_t size = 0;
  const char* bytes = PyUnicode_AsUTF8AndSize(word, &size);
  if (bytes == nullptr) {
    PyErr_Clear();
    return nullptr;
  }
  try {  // the cast refuses an object made by __new__ alone
    const auto& table = py::handle(self).cast<const urdulex::WordFormTable&>();
    const std::string out =
        table.Diacritize(std::string_view(bytes, static_cast<size_t>(size)));
    PyObject* result = PyUnicode_DecodeUTF8(
        out.data(), static_cast<Py_ssize_t>(out.size()), nullptr);
    if (result == nullptr) PyErr_Clear();
    return result;
  } catch (...) {
    PyErr_Clear();
    return nullptr;
  }
}

PyObject* Diacritize(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* names) {
  PyObject* memo = nullptr;
  if (nargs == 1 && names == nullptr && PyUnicode_CheckExact(args[0]) &&
      PyUnicode_GET_LENGTH(args[0]) <= kMemoChars) {
    memo = MemoOf(self);
    if (memo == nullptr) return nullptr;
    PyObject* known = PyDict_GetItemWithError(memo, args[0]);
    if (known != nullptr) return Py_NewRef(known);
    if (PyErr_Occurred()) return nullptr;
    if (PyObject* found = DiacritizeWord(self, args[0])) {
      return Remember(memo, args[0], found);
    }
  }
  // The full method, with `self` first.
  constexpr Py_ssize_t kMostOnStack = 8;
  const Py_ssize_t given = nargs + (names ? PyTuple_GET_SIZE(names) : 0);
  PyObject* on_stack[kMostOnStack];
  std::vector<PyObject*> on_heap;
  PyObject** call = on_stack;
  if (given + 1 > kMostOnStack) {
    on_heap.resize(static_cast<size_t>(given + 1));
    call = on_heap.data();
  }
  call[0] = self;
  std::copy(args, args + given, call + 1);
  PyObject* result =
      PyObject_Vectorcall(full_diacritize, call, nargs + 1, names);
  return memo != nullptr ? Remember(memo, args[0], result) : result;
}

PyMethodDef diacritize_method = {
    "diacritize",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Diacritize)),
    METH_FASTCALL | METH_KEYWORDS,
    "diacritize(self, text, *, ambiguous='context', fallback='first', "
    "rules=None, lines=False, normalize=False)\n--\n\n"
    "Running text with each known word in its diacritized form.\n"
    "`ambiguous` is what a word with several forms becomes: \"context\"\n"
    "(the reading `rules`, by default ContextRules.shipped(), choose\n"
    "by its neighbours in its sentence; where none applies, as\n"
    "`fallback` says), \"first\", \"common\" (only the marks all forms\n"
    "share), \"keep\" or \"all\" (form1|form2). With `lines`, each line\n"
    "is one word. With `normalize`, a found word is written as the\n"
    "table's form, not as its marks on the text's letters."};

PYBIND11_MODULE(_urdulex, m) {
  // The exceptions, in the module's name.
  const auto make_error = [&](const char* name, const char* doc,
                              py::tuple bases) {
    PyObject* type = PyErr_NewExceptionWithDoc(
        (std::string("urdulex._urdulex.") + name).c_str(), doc, bases.ptr(),
        nullptr);
    if (type == nullptr) throw py::error_already_set();
    m.add_object(name, py::handle(type));
    return type;
  };
  const py::handle exception(PyExc_Exception);
  error_class = make_error(
      "Error",
      "Every failure of urdulex, with a one-line message saying what failed "
      "and naming the file; its subclasses say which kind of failure.",
      py::make_tuple(exception));
  table_error = make_error(
      "TableError",
      "A data file (word-form table, code table, mapping, rules, "
      "configuration) that cannot be opened, read or written, or is not of "
      "its kind; an OSError too.",
      py::make_tuple(py::handle(error_class), py::handle(PyExc_OSError)));
  table_not_found =
      make_error("TableNotFoundError",
                 "A data file that does not exist; a FileNotFoundError too.",
                 py::make_tuple(py::handle(table_error),
                                py::handle(PyExc_FileNotFoundError)));
  argument_error = make_error(
      "ArgumentError",
      "An argument out of its range (ambiguous=\"x\", a path with a NUL); "
      "a ValueError too.",
      py::make_tuple(py::handle(error_class), py::handle(PyExc_ValueError)));
  text_error = make_error(
      "TextError",
      "A str argument that is not Unicode text (a lone surrogate); a "
      "UnicodeError too.",
      py::make_tuple(py::handle(error_class), py::handle(PyExc_UnicodeError)));
  py::register_exception_translator([](std::exception_ptr raised) {
    try {
      if (raised) std::rethrow_exception(raised);
    } catch (const urdulex::Error& e) {
      PyObject* type = error_class;
      switch (e.kind()) {
        case urdulex::Error::Kind::kFile:
          type = table_error;
          break;
        case urdulex::Error::Kind::kNoFile:
          type = table_not_found;
          break;
        case urdulex::Error::Kind::kArgument:
          type = argument_error;
          break;
        case urdulex::Error::Kind::kFailed:
          break;
      }
      PyErr_SetString(type, e.what());
    }
  });
  m.attr("__version__") = urdulex::Version();

  m.def(
      "split_diacritics",
      [](const Text& word) {
        const urdulex::SplitWord split =
            urdulex::SplitDiacritics(Utf8(word, "word"));
        return py::make_tuple(split.bare, split.symbols);
      },
      py::arg("word"),
      "The bare letters of `word` and its symbolic string, one capital a\n"
      "letter: Z fatha, R kasra, P damma, J sukun, K superscript alef,\n"
      "D fathatan, S shadda (then the vowel or X), M madda, X none.");
  m.def(
      "merge_diacritics",
      [](const Text& bare, const Text& symbols) {
        return urdulex::MergeDiacritics(Utf8(bare, "bare"),
                                        Utf8(symbols, "symbols"));
      },
      py::arg("bare"), py::arg("symbols"),
      "The word `bare` with the marks of `symbols` put back; surplus\n"
      "symbols are ignored, letters past the last symbol stay bare.");
  m.def(
      "strip_diacritics",
      [](const Text& text, bool keep_shadda) {
        const std::string_view utf8 = Utf8(text, "text");
        py::gil_scoped_release release;
        return urdulex::StripDiacritics(utf8,
                                        urdulex::StripOptions{keep_shadda});
      },
      py::arg("text"), py::kw_only(), py::arg("keep_shadda") = false,
      "`text` without its Arabic-script combining marks; no letter is lost.");
  m.def("_tokenize", &Tokens, py::arg("text"), py::kw_only(),
        py::arg("lines") = false, py::arg("token") = py::none(),
        "The tokens of `text` made by `token`, a tuple subclass.");

  py::class_<PyNormalizer>(m, "Normalizer",
                           "Replacement rules of Urdu normalization, "
                           "compiled; share one object between threads "
                           "freely. Pickled, it is opened again from where "
                           "it came.")
      .def_static(
          "urdu", [] { return MakeNormalizer("urdu", ""); },
          "The shipped Urdu rules, built into the library.")
      .def_static(
          "from_config",
          [](const PathArg& path) {
            return MakeNormalizer("config", PathOf(path, "path"));
          },
          py::arg("path"),
          "The NFC rules a configuration file (config.ini) names.")
      .def_static(
          "from_rules",
          [](const PathArg& path) {
            return MakeNormalizer("rules", PathOf(path, "path"));
          },
          py::arg("path"),
          "The rules of a 16-bit rules file (\"pattern:replacement\").")
      .def(
          "normalize",
          [](const PyNormalizer& normalizer, const Text& text) {
            const std::string_view utf8 = Utf8(text, "text");
            py::gil_scoped_release release;
            return normalizer.Normalize(utf8);
          },
          py::arg("text"), "`text` normalized.")
      .def(
          "is_normalized",
          [](const PyNormalizer& normalizer, const Text& text) {
            const std::string_view utf8 = Utf8(text, "text");
            py::gil_scoped_release release;
            return normalizer.IsNormalized(utf8);
          },
          py::arg("text"), "Whether normalizing `text` changes nothing.")
      .def(
          "changes",
          [](const PyNormalizer& normalizer, const Text& text_arg) {
            const std::string_view text = Utf8(text_arg, "text");
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
          py::arg("text"),
          "The replacements normalize makes: (offset in characters, before,\n"
          "after), in text order.")
      .def("__len__", &PyNormalizer::size, "The number of rules.")
      .def(py::pickle(
          [](const PyNormalizer& n) { return py::make_tuple(n.from, n.path); },
          [](const py::tuple& state) {
            return MakeNormalizer(state[0].cast<std::string>(),
                                  state[1].cast<std::string>());
          }));

  py::class_<PyCoverage> coverage(
      m, "Coverage",
      "The counts of a diacritization: Urdu words (with an Arabic-script\n"
      "letter) looked up, known, unknown, ambiguous (known with several\n"
      "forms), other words passed through; among the known, those left as\n"
      "written for their marks fit no form (kept); and the words found as\n"
      "known parts (split), whose parts are counted as words. With lists\n"
      "(WordFormTable.coverage(text, lists=True)), also which words.\n"
      "Coverages add up (+, +=, sum()) and pickle.");
  coverage.def(py::init<>(), "No counts and empty lists: what adds nothing.");
  const std::tuple<const char*, uint64_t urdulex::Coverage::*, const char*>
      counts[] = {{"words", &urdulex::Coverage::words,
                   "Urdu words looked up, a split word counting as its parts."},
                  {"known", &urdulex::Coverage::known,
                   "The words the table knows, kept ones included."},
                  {"unknown", &urdulex::Coverage::unknown,
                   "The words the table does not know."},
                  {"ambiguous", &urdulex::Coverage::ambiguous,
                   "The known words with more than one form."},
                  {"other", &urdulex::Coverage::other,
                   "The other tokens (numbers, Latin words), passed through."},
                  {"kept", &urdulex::Coverage::kept,
                   "The known words left as written: their marks fit no form."},
                  {"split", &urdulex::Coverage::split,
                   "The words written as known parts."}};
  for (const auto& count : counts) {
    const auto field = std::get<1>(count);
    coverage.def_property_readonly(
        std::get<0>(count),
        [field](const PyCoverage& c) { return c.counts.*field; },
        std::get<2>(count));
  }
  const std::tuple<const char*,
                   std::vector<urdulex::WordCount> urdulex::WordLists::*,
                   const char*>
      lists[] = {
          {"unknown_words", &urdulex::WordLists::unknown,
           "The words the table does not know, (word, count), most frequent\n"
           "first, equal counts in the order of their UTF-16 text; None\n"
           "without lists."},
          {"kept_words", &urdulex::WordLists::kept,
           "The known words left as written for their marks fit no form,\n"
           "(word, count), in the order of unknown_words; None without "
           "lists."},
          {"split_words", &urdulex::WordLists::split,
           "The words written as known parts, (word, count), in the order\n"
           "of unknown_words; None without lists."}};
  for (const auto& list : lists) {
    const auto field = std::get<1>(list);
    coverage.def_property_readonly(
        std::get<0>(list),
        [field](const PyCoverage& c) -> py::object {
          if (!c.has_lists) return py::none();
          return WordCounts(c.lists().*field);
        },
        std::get<2>(list));
  }
  coverage
      .def_property_readonly(
          "homographs", &Homographs,
          "The words found with several forms, (bare, count, forms,\n"
          "by_rules, by_fallback): the forms in table order; with context\n"
          "rules how often they chose its reading and how often the\n"
          "fallback did (else None); in the order of unknown_words; None\n"
          "without lists.")
      .def(
          "report", [](const PyCoverage& c) { return Lists(c).Text(); },
          "The lists as the report file of `urdu diacritize --report`\n"
          "(doc/stats.md); ArgumentError without lists.")
      .def(
          "stats", [](const PyCoverage& c) { return c.counts.Stats(); },
          "The counts as the stats file of `urdu diacritize --stats`:\n"
          "\"# urdu diacritize stats 1\", then NAME<TAB>COUNT lines.")
      .def("__iadd__", &AddCoverage, py::is_operator(),
           "Adds the counts and the lists of another Coverage.")
      .def(
          "__add__",
          [](const PyCoverage& a, const PyCoverage& b) {
            PyCoverage sum = a;
            return AddCoverage(sum, b);
          },
          py::is_operator(),
          "The coverage of both texts: counts added, lists merged as `urdu\n"
          "report merge` adds up reports. Error for lists of two tables or\n"
          "of context rules and none; ArgumentError for one with lists and\n"
          "one without.")
      .def(
          "__radd__",
          [](const PyCoverage& c, const py::object& zero) -> py::object {
            // sum() starts from 0.
            if (py::isinstance<py::int_>(zero) && zero.cast<int64_t>() == 0) {
              return py::cast(c);
            }
            return py::reinterpret_borrow<py::object>(Py_NotImplemented);
          },
          py::is_operator(), "0 + coverage, for sum().")
      .def(
          "__eq__",
          [](const PyCoverage& a, const PyCoverage& b) {
            return CoverageState(a).equal(CoverageState(b));
          },
          "The same counts and the same lists.")
      .def(py::pickle(&CoverageState, &CoverageFromState))
      .def(
          "__repr__",
          [](const PyCoverage& p) {
            const urdulex::Coverage& c = p.counts;
            return "Coverage(words=" + std::to_string(c.words) +
                   ", known=" + std::to_string(c.known) +
                   ", unknown=" + std::to_string(c.unknown) +
                   ", ambiguous=" + std::to_string(c.ambiguous) +
                   ", other=" + std::to_string(c.other) +
                   ", kept=" + std::to_string(c.kept) +
                   ", split=" + std::to_string(c.split) + ")";
          },
          "The counts.");

  py::class_<PyContextRules>(
      m, "ContextRules",
      "Rules choosing the reading of a homograph by the words around it\n"
      "(doc/context-rules.md), read from a file; a file that is no rules\n"
      "file raises TableError saying where (NAME:LINE:COLUMN). Pickled,\n"
      "they are read again from where they came.")
      .def(py::init([](const PathArg& path) {
             return MakeRules("file", PathOf(path, "path"), "");
           }),
           py::arg("path"), "The rules of the file `path`.")
      .def_static(
          "parse",
          [](const Text& text, const Text& name) {
            return MakeRules("text", std::string(Utf8(text, "text")),
                             std::string(Utf8(name, "name")));
          },
          py::arg("text"), py::arg("name") = "rules",
          "The rules of `text`, named `name` in messages.")
      .def_static(
          "shipped", [] { return MakeRules("shipped", "", ""); },
          "The rules shipped with the library, built into it.")
      .def("__len__", &PyContextRules::size, "The number of rules.")
      .def(py::pickle(
          [](const PyContextRules& r) {
            return py::make_tuple(r.from, r.path, r.name);
          },
          [](const py::tuple& state) {
            return MakeRules(state[0].cast<std::string>(),
                             state[1].cast<std::string>(),
                             state[2].cast<std::string>());
          }));

  py::class_<urdulex::WordFormTable> table_class(
      m, "WordFormTable", py::dynamic_attr(),
      "A word-form table file, read once; share one object between threads\n"
      "freely. Without a path, the shipped table (see urdulex.data_file).\n"
      "Pickled, it is opened again from its path.");
  table_class
      .def(py::init([](const PathArg& path) {
             return OpenPath(&urdulex::WordFormTable::Open,
                             PathOf(path, "path"));
           }),
           py::arg("path"), "Opens the table file `path`.")
      .def_property_readonly("path", &urdulex::WordFormTable::path,
                             "The path the table was opened from.")
      .def(
          "forms",
          [](const urdulex::WordFormTable& table, const Text& word) {
            const std::string_view utf8 = Utf8(word, "word");
            py::gil_scoped_release release;
            return table.Forms(utf8);
          },
          py::arg("word"),
          "Every form of `word` in table order, found as diacritize finds\n"
          "it; of a word with marks only the forms that agree with them;\n"
          "empty when unknown.")
      .def(
          "_diacritize",
          [](const urdulex::WordFormTable& table, const Text& text,
             const Text& ambiguous, const Text& fallback,
             const PyContextRules* rules, bool lines, bool normalize) {
            const urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, RulesOf(rules), lines, normalize);
            LongUtf8 long_text;
            const std::string_view utf8 = long_text.Of(text, "text");
            std::string out;
            // A word takes less time than letting the GIL go and back.
            if (utf8.size() <= 4 * kMemoChars) {
              out = table.Diacritize(utf8, options);
            } else {
              py::gil_scoped_release release;
              out = table.Diacritize(utf8, options);
            }
            return StrOf(out);
          },
          py::arg("text"), py::kw_only(), py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr,
          py::arg("lines") = false, py::arg("normalize") = false,
          "diacritize without its memo of words.")
      .def(
          "diacritize_counted",
          [](const urdulex::WordFormTable& table, const Text& text,
             const Text& ambiguous, const Text& fallback,
             const PyContextRules* rules, bool lines, bool normalize,
             bool lists) {
            const urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, RulesOf(rules), lines, normalize);
            LongUtf8 long_text;
            const std::string_view utf8 = long_text.Of(text, "text");
            PyCoverage coverage;
            coverage.has_lists = lists;
            std::string out;
            {
              py::gil_scoped_release release;
              urdulex::WordLists words;
              out = table.Diacritize(utf8, options, &coverage.counts,
                                     lists ? &words : nullptr);
              if (lists) coverage.SetLists(std::move(words));
            }
            return py::make_tuple(StrOf(out), std::move(coverage));
          },
          py::arg("text"), py::kw_only(), py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr,
          py::arg("lines") = false, py::arg("normalize") = false,
          py::arg("lists") = false,
          "(diacritize(text, ...), coverage(text, ...)) in one pass over the\n"
          "text.")
      .def(
          "diacritize_many",
          [](const urdulex::WordFormTable& table, const py::iterable& texts,
             const Text& ambiguous, const Text& fallback,
             const PyContextRules* rules, bool lines, bool normalize) {
            const urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, RulesOf(rules), lines, normalize);
            // Every text converted first (the views live as long as the
            // strs, held here), then all diacritized without the GIL.
            std::vector<py::object> held;
            std::vector<std::string_view> views;
            for (const py::handle& text : texts) {
              held.push_back(py::reinterpret_borrow<py::object>(text));
              views.push_back(Utf8(Text{text}, "texts item"));
            }
            std::vector<std::string> out(views.size());
            {
              py::gil_scoped_release release;
              for (size_t i = 0; i < views.size(); ++i) {
                out[i] = table.Diacritize(views[i], options);
              }
            }
            return out;
          },
          py::arg("texts"), py::kw_only(), py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr,
          py::arg("lines") = false, py::arg("normalize") = false,
          "[diacritize(text, ...) for text in texts], the GIL released\n"
          "across the whole batch.")
      .def(
          "coverage",
          [](const urdulex::WordFormTable& table, const Text& text, bool lines,
             bool lists, const Text& ambiguous, const Text& fallback,
             const PyContextRules* rules) {
            const urdulex::DiacritizeOptions options =
                Options(ambiguous, fallback, RulesOf(rules), lines);
            const std::string_view utf8 = Utf8(text, "text");
            PyCoverage coverage;
            coverage.has_lists = lists;
            py::gil_scoped_release release;
            urdulex::WordLists words;
            table.Diacritize(utf8, options, &coverage.counts,
                             lists ? &words : nullptr);
            if (lists) coverage.SetLists(std::move(words));
            return coverage;
          },
          py::arg("text"), py::kw_only(), py::arg("lines") = false,
          py::arg("lists") = false, py::arg("ambiguous") = "context",
          py::arg("fallback") = "first", py::arg("rules") = nullptr,
          "How many words of `text` the table knows, diacritized with the\n"
          "options of diacritize; with `lists`, also which words (the\n"
          "unknown, the homographs, the kept and the split words).")
      .def(
          "unknown_words",
          [](const urdulex::WordFormTable& table, const Text& text,
             bool lines) {
            const std::string_view utf8 = Utf8(text, "text");
            urdulex::WordLists lists;
            {
              py::gil_scoped_release release;
              table.Diacritize(utf8, urdulex::DiacritizeOptions{lines}, nullptr,
                               &lists);
            }
            return WordCounts(lists.unknown);
          },
          py::arg("text"), py::kw_only(), py::arg("lines") = false,
          "The words of `text` the table does not know, (word, count), most\n"
          "frequent first, equal counts in the order of their UTF-16 text.")
      .def(py::pickle(
          [](const urdulex::WordFormTable& t) {
            return py::make_tuple(t.path());
          },
          [](const py::tuple& state) {
            return OpenPath(&urdulex::WordFormTable::Open,
                            state[0].cast<std::string>());
          }));

  // diacritize: the memo in front of _diacritize.
  memo_name = PyUnicode_InternFromString("_memo");
  full_diacritize = PyObject_GetAttrString(table_class.ptr(), "_diacritize");
  if (memo_name == nullptr || full_diacritize == nullptr) {
    throw py::error_already_set();
  }
  const py::object method = py::reinterpret_steal<py::object>(PyDescr_NewMethod(
      reinterpret_cast<PyTypeObject*>(table_class.ptr()), &diacritize_method));
  if (!method) throw py::error_already_set();
  table_class.attr("diacritize") = method;

  py::class_<urdulex::WordFormTableBuilder>(
      m, "WordFormTableBuilder", "Diacritized words to a word-form table file.")
      .def(py::init<>(), "A builder with no words.")
      .def(
          "add",
          [](urdulex::WordFormTableBuilder& builder, const Text& word,
             uint32_t id, uint8_t tag, uint8_t flag) {
            return builder.Add(Utf8(word, "word"), id, tag, flag);
          },
          py::arg("word"), py::arg("id") = 0xFFFFFFFFu, py::arg("tag") = 0,
          py::arg("flag") = 0,
          "Adds a word with the values carried along; False when it is\n"
          "skipped (build lists why).")
      .def(
          "build",
          [](const urdulex::WordFormTableBuilder& builder, const PathArg& path,
             int64_t slots) {
            const std::string file = PathOf(path, "path");
            urdulex::BuildReport report;
            {
              py::gil_scoped_release release;
              report = builder.Build(file, slots);
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
          py::arg("path"), py::kw_only(), py::arg("slots") = 0,
          "Writes the table file (replaced whole); slots 0 sizes it for the\n"
          "forms at the builder's usual load factor. Returns {\"forms\",\n"
          "\"slots\", \"skipped\"}, skipped being (word, reason) pairs.");

  py::class_<PyUztCodec>(
      m, "UztCodec",
      "UZT, the 8-bit Urdu code page, through a mapping file. Pickled, it\n"
      "is opened again from its path.")
      .def(py::init([](const PathArg& mapping) {
             std::string path = PathOf(mapping, "mapping");
             return PyUztCodec{OpenPath(&urdulex::UztCodec::Open, path), path};
           }),
           py::arg("mapping"), "The codec of the mapping file `mapping`.")
      .def(
          "encode",
          [](const PyUztCodec& codec, const Text& text, const Text& errors) {
            const urdulex::ErrorPolicy policy = ErrorPolicy(errors);
            const std::string_view utf8 = Utf8(text, "text");
            std::string uzt;
            {
              py::gil_scoped_release release;
              uzt = codec.Encode(utf8, policy);
            }
            return py::bytes(uzt);
          },
          py::arg("text"), py::kw_only(), py::arg("errors") = "fail",
          "Text to UZT; errors \"fail\", \"skip\" or \"substitute\" ('?').")
      .def(
          "decode",
          [](const PyUztCodec& codec, const py::bytes& uzt,
             const Text& errors) {
            const urdulex::ErrorPolicy policy = ErrorPolicy(errors);
            const std::string bytes = uzt;
            py::gil_scoped_release release;
            return codec.Decode(bytes, policy);
          },
          py::arg("uzt"), py::kw_only(), py::arg("errors") = "fail",
          "UZT to text; errors \"fail\", \"skip\" or \"substitute\" ('?').")
      .def(py::pickle(
          [](const PyUztCodec& c) { return py::make_tuple(c.path); },
          [](const py::tuple& state) {
            const std::string path = state[0].cast<std::string>();
            return PyUztCodec{OpenPath(&urdulex::UztCodec::Open, path), path};
          }));

  py::class_<PyLetterCodes>(
      m, "LetterCodes",
      "A code table: lines of text as the decimal codes of their letters,\n"
      "as the codemapper program writes them. Without a path, the shipped\n"
      "table. Pickled, it is opened again from its path.")
      .def(py::init([](const PathArg& path_arg) {
             std::string path = PathOf(path_arg, "path");
             return PyLetterCodes{OpenPath(&urdulex::LetterCodes::Open, path),
                                  path};
           }),
           py::arg("path"), "The code table of the file `path`.")
      .def(
          "map",
          [](const PyLetterCodes& codes, const Text& line) {
            const std::string_view utf8 = Utf8(line, "line");
            py::gil_scoped_release release;
            return codes.Map(utf8);
          },
          py::arg("line"), "The codes of one line (without its line end).")
      .def(py::pickle(
          [](const PyLetterCodes& c) { return py::make_tuple(c.path); },
          [](const py::tuple& state) {
            const std::string path = state[0].cast<std::string>();
            return PyLetterCodes{OpenPath(&urdulex::LetterCodes::Open, path),
                                 path};
          }));

  py::class_<urdulex::Evaluation>(
      m, "Evaluation", "The measures of a diacritization against a gold text.")
      .def_readonly("words", &urdulex::Evaluation::words, "Gold words.")
      .def_readonly("letters", &urdulex::Evaluation::letters,
                    "Letters of the gold words.")
      .def_readonly("letter_errors", &urdulex::Evaluation::letter_errors,
                    "Letters with other marks than the gold's.")
      .def_readonly("last_letter_errors",
                    &urdulex::Evaluation::last_letter_errors,
                    "Of those, the last letters of words.")
      .def_readonly("word_errors", &urdulex::Evaluation::word_errors,
                    "Words with a letter in error.")
      .def_readonly("word_errors_before_last",
                    &urdulex::Evaluation::word_errors_before_last,
                    "Words with a letter in error before their last.")
      .def_readonly("covered", &urdulex::Evaluation::covered,
                    "Gold words the table knows (with a table).")
      .def_readonly("covered_exactly", &urdulex::Evaluation::covered_exactly,
                    "Gold words that are one of the table's forms.")
      .def_property_readonly("der", &urdulex::Evaluation::DiacriticErrorRate,
                             "Letters with wrong marks / letters.")
      .def_property_readonly("wer", &urdulex::Evaluation::WordErrorRate,
                             "Words with a wrong letter / words.")
      .def_property_readonly("der_before_last",
                             &urdulex::Evaluation::DiacriticErrorRateBeforeLast,
                             "der counting no last letter of a word.")
      .def_property_readonly("wer_before_last",
                             &urdulex::Evaluation::WordErrorRateBeforeLast,
                             "wer counting no error in a last letter.")
      .def("report", &urdulex::Evaluation::Report,
           "The report of the measures, one a line.");
  m.def(
      "evaluate",
      [](const Text& gold, const Text& predicted,
         const urdulex::WordFormTable* table) {
        const std::string_view gold_text = Utf8(gold, "gold");
        const std::string_view predicted_text = Utf8(predicted, "predicted");
        py::gil_scoped_release release;
        return urdulex::Evaluate(gold_text, predicted_text, table);
      },
      py::arg("gold"), py::arg("predicted"), py::kw_only(),
      py::arg("table") = nullptr,
      "Compares a diacritized text with the gold text word by word; with a\n"
      "table, also counts its coverage of the gold words.");

  // Pickling by protocols 0 and 1 as by protocol 2 (a new object of the
  // class and its __setstate__): their own way makes a bare object of the
  // binding's base class, which aborts the interpreter.
  for (const char* name :
       {"Normalizer", "Coverage", "ContextRules", "WordFormTable",
        "WordFormTableBuilder", "UztCodec", "LetterCodes", "Evaluation"}) {
    py::object cls = m.attr(name);
    cls.attr("__reduce_ex__") = py::cpp_function(
        [](py::handle self, int protocol) {
          return py::handle(reinterpret_cast<PyObject*>(&PyBaseObject_Type))
              .attr("__reduce_ex__")(self, std::max(protocol, 2));
        },
        py::is_method(cls), py::name("__reduce_ex__"), py::arg("protocol"));
  }
}
