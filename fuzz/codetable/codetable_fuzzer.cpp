// Fuzz target for the letter-code table reader. The input is written to a
// scratch file and loaded with ReadPatterns; the result and every slot of the
// table must agree with a plain model of the reading rules that works on the
// bytes in memory. A line of text is then mapped with the loaded table and
// compared with the model's mapping. A difference aborts.
//
// Input layout: the table file (mark included, or not), then optionally
// 0x00 0x00 0x00 0x00 and a 16-bit little-endian line to map.
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "codemapper/CodeMapper.h"
#include "fuzz/FuzzUtil.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

// What loading the table should give: the result and the slots it sets.
struct Model {
  bool ok = false;
  std::map<uint32_t, int> slots;
};

int ModelNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return 0;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return 0;  // does not fit
  }
  if (negative) value = -value;
  if (value > 2147483647LL || value < -2147483647LL - 1) return 0;
  return static_cast<int>(value);
}

Model ModelLoad(const uint8_t* data, size_t size) {
  Model model;
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) return model;
  size_t units = (size - 2) / 2;
  auto unit = [&](size_t k) {
    return static_cast<uint32_t>(data[2 + 2 * k] | (data[3 + 2 * k] << 8));
  };
  std::string value;
  bool has_last = false, has_key = false;
  uint32_t last = 0, key = 0;
  for (size_t k = 0; k < units; ++k) {
    uint32_t c = unit(k);
    if (c == ':') {
      has_key = has_last;
      key = last;
      value.clear();
    } else if (c == '\r') {
      if (has_key) model.slots[key] = ModelNumber(value);
      // The character after the CR is skipped; if there is none, the next
      // read fails and the whole load fails.
      if (k + 1 >= units) return model;
      ++k;
      value.clear();
    } else {
      has_last = true;
      last = c;
      value.push_back(static_cast<char>(c & 0xFF));
    }
  }
  model.ok = true;
  return model;
}

std::string ModelMap(const std::wstring& line, const Model& model) {
  std::string out;
  for (wchar_t wc : line) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (c <= 0xFF) {
      if (c != '\r') out.push_back(static_cast<char>(c));
      continue;
    }
    auto it = model.slots.find(c);
    if (it != model.slots.end() && it->second != 0) {
      out += std::to_string(it->second);
    }
  }
  return out + "\n";
}

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "codetable fuzzer: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  std::wstring line;
  const size_t table_size = urdulex::fuzz::SplitFileAndLine(data, size, &line);

  memset(mapper, 0, sizeof(mapper));
  bool ok;
  {
    urdulex::fuzz::ScratchFile file("codetable_fuzz");
    file.Write(data, table_size);
    ok = ReadPatterns(file.path().c_str());
  }
  Model model = ModelLoad(data, table_size);
  Check(ok == model.ok, "load result differs");
  size_t set = 0;
  for (int slot = 0; slot < kMapperSlots; ++slot) {
    if (show(slot) == 0) continue;
    ++set;
    auto it = model.slots.find(static_cast<uint32_t>(slot));
    Check(it != model.slots.end() && it->second == show(slot), "slot differs");
  }
  size_t model_set = 0;
  for (const auto& entry : model.slots) model_set += entry.second != 0;
  Check(set == model_set, "number of codes differs");
  Check(GetValue(line) == ModelMap(line, model), "mapped line differs");
  return 0;
}
