// Kernels of the diacritizer: the home-slot hash, and one lookup through the
// index against the same lookup through the table's Search and the merge,
// on a generated table of 200 000 word forms (larger than the cache).
// The whole program is timed against its peers by run.sh.
//
// Opening a table file, mapped or read into private memory, against the
// check that a mapped table is still the file opened (an fstat) and one
// lookup in it: WORDFORM_BENCH_TABLE=FILE names the table (default: the
// generated one).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "diacritizer/ChainDirectory.h"
#include "diacritizer/HashTable.h"
#include "diacritizer/TableBuilder.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormIndex.h"
#include "diacritizer/WordFormLookup.h"
#include "diacritizer/hashmain.h"
#include "script/LexEnigneUtility.h"

namespace {

constexpr int kForms = 200000;

std::vector<std::wstring> RandomKeys(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::wstring> keys;
  for (size_t i = 0; i < count; ++i) {
    std::wstring key(4 + rng() % 6, L'\0');
    for (wchar_t& c : key) c = static_cast<wchar_t>(0x0627 + rng() % 40);
    keys.push_back(key);
  }
  return keys;
}

// The generated table, loaded both ways, and lookup keys of which about
// 70% are in it.
struct Fixture {
  Fixture() {
    std::mt19937 rng(5);
    wordform::WordFormTableBuilder builder;
    const wchar_t marks[] = {0, 0x064E, 0x0650, 0x064F, 0x0652};
    for (const std::wstring& bare : RandomKeys(kForms, 1)) {
      std::wstring word;
      for (wchar_t c : bare) {
        word += c;
        if (wchar_t m = marks[rng() % 5]) word += m;
      }
      builder.Add(word, 0, 0, 0);
    }
    std::string bytes;
    if (!builder.Build(builder.SlotsForLoad(0.8), &bytes).ok()) std::abort();
    char name[] = "/tmp/wordform_bench_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) !=
                      static_cast<ssize_t>(bytes.size())) {
      std::abort();
    }
    close(fd);
    std::string why;
    if (!ReadWordFormTableFile(name, &file, &why) ||
        !LoadWordFormHashTable(name)) {
      std::abort();
    }
    index.Build(file);
    const char* table = std::getenv("WORDFORM_BENCH_TABLE");
    if (table != nullptr && *table != '\0') {
      std::remove(name);
      path = table;
    } else {
      path = name;  // removed at exit
      static std::string* removed = &path;
      std::atexit([] { std::remove(removed->c_str()); });
    }
    std::vector<std::wstring> known = RandomKeys(kForms, 1);
    std::vector<std::wstring> unknown = RandomKeys(kForms, 2);
    for (size_t i = 0; i < 100000; ++i) {
      lookups.push_back(rng() % 10 < 7 ? known[rng() % known.size()]
                                       : unknown[rng() % unknown.size()]);
      std::string utf16;
      for (wchar_t c : lookups.back()) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
      }
      lookups_utf16.push_back(utf16);
    }
  }
  WordFormTableFile file;
  WordFormIndex index;
  std::string path;  // the table the Open benchmarks open
  std::vector<std::wstring> lookups;
  std::vector<std::string> lookups_utf16;
};

Fixture& Shared() {
  static Fixture* fixture = new Fixture;
  return *fixture;
}

void BM_HomeSlotHash(benchmark::State& state) {
  const HomeSlotHash hash(250000);
  const std::vector<std::wstring> keys = RandomKeys(4096, 3);
  size_t i = 0;
  for (auto _ : state) {
    const std::wstring& key = keys[i++ & 4095];
    benchmark::DoNotOptimize(hash(key.data(), key.size()));
  }
}
BENCHMARK(BM_HomeSlotHash);

// Four keys at a time, as the lookups of a batch hash theirs (UTF-16LE
// bytes read in place); the time is per key.
void BM_HomeSlotHashMany(benchmark::State& state) {
  const HomeSlotHash hash(250000);
  std::vector<std::u16string> keys;
  for (const std::wstring& key : RandomKeys(4096, 3)) {
    keys.emplace_back(key.begin(), key.end());
  }
  constexpr size_t kLanes = HomeSlotHash::kLanes;
  size_t i = 0;
  for (auto _ : state) {
    const unsigned char* lane[kLanes];
    size_t units[kLanes];
    uint32_t home[kLanes];
    for (size_t k = 0; k < kLanes; ++k) {
      const std::u16string& key = keys[(i + k) & 4095];
      lane[k] = reinterpret_cast<const unsigned char*>(key.data());
      units[k] = key.size();
    }
    i += kLanes;
    hash.Many(lane, units, home);
    benchmark::DoNotOptimize(home);
  }
  state.SetItemsProcessed(state.iterations() * kLanes);
}
BENCHMARK(BM_HomeSlotHashMany);

void BM_HomeSlotHashByDivision(benchmark::State& state) {
  const std::vector<std::wstring> keys = RandomKeys(4096, 3);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(HomeSlotHash::Slow(keys[i++ & 4095], 250000));
  }
}
BENCHMARK(BM_HomeSlotHashByDivision);

void BM_IndexFind(benchmark::State& state) {
  Fixture& f = Shared();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& key = f.lookups_utf16[i++ % f.lookups_utf16.size()];
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    size_t bytes = 0;
    benchmark::DoNotOptimize(f.index.Find(
        p, key.size() / 2, WordFormIndex::HashKey(p, key.size() / 2), &bytes));
  }
}
BENCHMARK(BM_IndexFind);

void BM_SearchAndMerge(benchmark::State& state) {
  Fixture& f = Shared();
  size_t i = 0;
  for (auto _ : state) {
    std::wstring result;
    benchmark::DoNotOptimize(
        isValidWord(f.lookups[i++ % f.lookups.size()], result));
  }
}
BENCHMARK(BM_SearchAndMerge);

void BM_IndexBuild(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    WordFormIndex index;
    index.Build(f.file);
    benchmark::DoNotOptimize(index.size());
  }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond);

// Opens the table as the programs do (mapped: Open costs the same whatever
// the size) or as the API does (read into private memory).
void OpenTable(benchmark::State& state, bool private_copy) {
  Fixture& f = Shared();
  WordFormLookup::Limits limits;
  limits.private_copy = private_copy;
  for (auto _ : state) {
    WordFormLookup lookup;
    std::string problem;
    if (lookup.Open(f.path, false, &problem, limits) !=
        WordFormLookup::Verdict::kOpen) {
      state.SkipWithError(problem.c_str());
      break;
    }
    benchmark::DoNotOptimize(lookup.slots());
  }
  struct stat st;
  if (::stat(f.path.c_str(), &st) == 0) {
    state.counters["MB"] = static_cast<double>(st.st_size) / 1e6;
  }
}
void BM_OpenMapped(benchmark::State& state) { OpenTable(state, false); }
BENCHMARK(BM_OpenMapped)->Unit(benchmark::kMicrosecond);
void BM_OpenPrivateCopy(benchmark::State& state) { OpenTable(state, true); }
BENCHMARK(BM_OpenPrivateCopy)->Unit(benchmark::kMicrosecond);

// Building the chains' directory of the table (WORDFORM_BENCH_TABLE, or
// the generated one) held in memory, on one thread and on two.
void BM_DirectoryBuild(benchmark::State& state) {
  static const std::string* bytes = [] {
    std::FILE* f = std::fopen(Shared().path.c_str(), "rb");
    if (f == nullptr) std::abort();
    auto* read = new std::string;
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
      read->append(chunk, got);
    }
    std::fclose(f);
    return read;
  }();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes->data());
  wordform::TableHeader header;
  if (wordform::DecodeHeader(data, bytes->size(), &header)) std::abort();
  for (auto _ : state) {
    const ChainDirectory directory(data + header.size, header.slots, 256,
                                   static_cast<unsigned>(state.range(0)));
    benchmark::DoNotOptimize(directory.longest());
  }
}
BENCHMARK(BM_DirectoryBuild)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// What a mapped table's user pays per call to know the file unchanged,
// against one lookup in it.
struct MappedTable {
  MappedTable() {
    std::string problem;
    if (lookup.Open(Shared().path, false, &problem) !=
        WordFormLookup::Verdict::kOpen) {
      std::abort();
    }
  }
  WordFormLookup lookup;
};
MappedTable& Mapped() {
  static MappedTable* table = new MappedTable;
  return *table;
}

void BM_MappedUnchanged(benchmark::State& state) {
  const WordFormLookup& lookup = Mapped().lookup;
  for (auto _ : state) benchmark::DoNotOptimize(lookup.Unchanged());
}
BENCHMARK(BM_MappedUnchanged);

void BM_MappedFind(benchmark::State& state) {
  Fixture& f = Shared();
  const WordFormLookup& lookup = Mapped().lookup;
  unsigned char room[WordFormLookup::RoomBytes(1)];
  size_t i = 0;
  for (auto _ : state) {
    const std::string& key = f.lookups_utf16[i++ % f.lookups_utf16.size()];
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    benchmark::DoNotOptimize(lookup.Find(p, key.size() / 2, room));
  }
}
BENCHMARK(BM_MappedFind);

}  // namespace

BENCHMARK_MAIN();
