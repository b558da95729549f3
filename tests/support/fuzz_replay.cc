// Runs a fuzz target on stored inputs where libFuzzer is not linked (g++, armhf,
// valgrind): each file named, or each file of each folder named, once. Options
// meant for libFuzzer ("-runs=0") are skipped, so one test command serves both.
// A 32-bit readdir() fails with EOVERFLOW on ext4's 64-bit directory offsets
// and would list no inputs at all (armhf under qemu-arm).
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool replay_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fprintf(stderr, "fuzz replay: cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  fprintf(stderr, "fuzz replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

// The files of a folder, in name order so a run is repeatable.
std::vector<std::string> files_in(const std::string &dir) {
  std::vector<std::string> files;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '-') continue;
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      fprintf(stderr, "fuzz replay: no such input %s\n", argv[i]);
      return 1;
    }
    std::vector<std::string> inputs =
        S_ISDIR(st.st_mode) ? files_in(argv[i]) : std::vector<std::string>{argv[i]};
    for (const std::string &path : inputs) {
      if (!replay_file(path)) return 1;
      replayed++;
    }
  }
  fprintf(stderr, "fuzz replay: %zu inputs, all passed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
