// Replays the inputs named on the command line through a fuzz target, so
// every target builds and runs without libFuzzer (and its seed inputs serve
// as a regression test). Linked in place of libFuzzer's own main.

#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::FILE* f = std::fopen(argv[i], "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "cannot open %s\n", argv[i]);
      return 2;
    }
    std::string input;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) input.append(buf, n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()),
                           input.size());
  }
  std::printf("replayed %d input(s)\n", argc - 1);
  return 0;
}
