// SPDX-License-Identifier: MIT
// The programs the trace stress tests start: the traced writer and ytrace-decode,
// each behind the build's emulator, if any.
#ifndef YUTIL_TESTS_TRACE_STRESS_PROGRAMS_H
#define YUTIL_TESTS_TRACE_STRESS_PROGRAMS_H

#include <sys/types.h>

#include <string>
#include <vector>

// The command that starts the traced writer: NAME_t<thread> for each thread's
// variable; calls 0: until killed; values after `pad` spaces; a pause of
// `pause_us` microseconds after each call.
std::vector<std::string> writer_command(const std::string &name, int threads, unsigned calls,
                                        unsigned pad, unsigned pause_us);

// Whether the programs run under an emulator (valgrind, qemu), many times slower.
bool emulated();

// The environment that has the writer trace yenv's records to `file`.
std::vector<std::string> tracing_to(const std::string &file);

// ytrace-decode [--follow] FILE --lib LIBYUTIL
std::vector<std::string> decode_command(const std::string &file, bool follow);

// What ytrace-decode says on standard error of a file that is not damaged.
inline constexpr char kUnfinishedNotice[] =
    "ytrace-decode: .*: offset [0-9]+: an entry its writer never finished, skipped";
inline constexpr char kStoppedNotice[] = "ytrace-decode: .*: recording stopped early: .*";

// Starts `command` with `environment` ("NAME=VALUE") added to this process's, its
// standard output to fd `out` and standard error to the file `err`.
pid_t launch(const std::vector<std::string> &command, int out, const std::string &err,
             const std::vector<std::string> &environment = {});

struct Finished {
  int status;  // as waitpid gives it
  std::string out, err;
};

// Runs `command` to its end, its output kept in files in `dir`.
Finished run(const std::vector<std::string> &command, const std::string &dir,
             const std::vector<std::string> &environment = {});

std::string contents(const std::string &path);

// A folder of the test's own, removed with all it holds.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
};

#endif
