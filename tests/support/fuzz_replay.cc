// Runs a fuzz target on stored inputs where libFuzzer is not linked (g++, armhf,
// valgrind): each file named, or each file of each folder named, once. Options
// meant for libFuzzer ("-runs=0") are skipped, so one test command serves both.
// 64-bit offsets and inode numbers on 32-bit targets too: else readdir fails with
// EOVERFLOW where the file system's are wider (armhf under qemu-arm on ext4).
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
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

// Adds the files of a folder, in name order so a run is repeatable. Returns 0, or
// the errno value that stopped the listing.
int files_in(const std::string &dir, std::vector<std::string> &files) {
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return errno;
  errno = 0;
  while (dirent *e = readdir(d)) {
    if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
  }
  int err = errno;
  closedir(d);
  std::sort(files.begin(), files.end());
  return err;
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
    std::vector<std::string> inputs;
    if (!S_ISDIR(st.st_mode)) {
      inputs.push_back(argv[i]);
    } else if (int err = files_in(argv[i], inputs)) {
      fprintf(stderr, "fuzz replay: cannot list %s: %s\n", argv[i], strerror(err));
      return 1;
    }
    for (const std::string &path : inputs) {
      if (!replay_file(path)) return 1;
      replayed++;
    }
  }
  fprintf(stderr, "fuzz replay: %zu inputs, all passed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
