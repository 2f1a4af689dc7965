// Replays a fuzz target's seed files as an ordinary test: every file given on the command
// line, and every file in the folders given, goes through the target once. A seed that crashes, leaks or trips a
// sanitizer fails the test; a crash found by fuzzing is kept here as a seed for good.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> seeds;
  for (int i = 1; i < argc; ++i) {
    if (std::filesystem::is_regular_file(argv[i])) seeds.push_back(argv[i]);
    else
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
        if (entry.is_regular_file()) seeds.push_back(entry.path());
  }
  std::sort(seeds.begin(), seeds.end());
  if (seeds.empty()) {
    std::fprintf(stderr, "no seed files found\n");
    return 1;
  }
  for (const auto& seed : seeds) {
    std::ifstream in(seed, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu seeds replayed\n", seeds.size());
  return 0;
}
