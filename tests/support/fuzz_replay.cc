// SPDX-License-Identifier: MIT
// Runs a fuzz target on stored inputs where libFuzzer is not linked (g++, armhf,
// valgrind): each file named, or each file of each folder named, once. Options
// meant for libFuzzer ("-runs=0") are skipped, so one test command serves both.
// A 32-bit readdir() fails with EOVERFLOW on ext4's 64-bit directory offsets
// and would list no inputs at all (armhf under qemu-arm).
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '-') continue;
    // A folder's files in name order, so that a run is repeatable.
    size_t first = inputs.size();
    if (DIR *d = opendir(argv[i])) {
      while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') inputs.push_back(std::string(argv[i]) + "/" + e->d_name);
      closedir(d);
    } else {
      inputs.push_back(argv[i]);
    }
    std::sort(inputs.begin() + first, inputs.end());
  }
  for (const std::string &path : inputs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      fprintf(stderr, "fuzz replay: cannot read %s\n", path.c_str());
      return 1;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    fprintf(stderr, "fuzz replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  fprintf(stderr, "fuzz replay: %zu inputs, all passed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
