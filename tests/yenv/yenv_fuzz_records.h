// The records one call left with the trace stand-in, as texts that the fuzz
// targets' models write the same way: "index/level" (a "+" after the level marks
// a continuation), then "|argument" each.
#ifndef YUTIL_TESTS_YENV_FUZZ_RECORDS_H
#define YUTIL_TESTS_YENV_FUZZ_RECORDS_H

#include <stdlib.h>

#include <string>
#include <vector>

#include "fuzz_input.h"
#include "trace_catalogs.h"
#include "ytrace_capture.h"

using namespace yenv_msg;
using Records = std::vector<std::string>;

// A string argument as the stand-in keeps it: cut to fit its copy.
inline std::string kept(const std::string &s) {
  return s.substr(0, YTRACE_CAPTURE_STRING_MAX - 1);
}

inline std::string rec(uint32_t index, uint32_t level, std::vector<std::string> args = {},
                       bool continuation = false) {
  std::string s = std::to_string(index) + "/" + std::to_string(level) + (continuation ? "+" : "");
  for (const std::string &a : args) s += "|" + a;
  return s;
}

inline Records take_records() {
  Records out;
  ytrace_capture_record_s r;
  for (size_t i = 0; ytrace_capture_get(i, &r) == 0; i++) {
    std::vector<std::string> args;
    for (unsigned a = 0; a < r.arg_count; a++)
      args.push_back(r.args[a].type == '1' ? r.args[a].text : std::to_string(r.args[a].number));
    out.push_back(rec(r.message_index, r.level_word >> 24, args, r.level_word & 0x10000u));
  }
  ytrace_capture_clear();
  return out;
}

// Sets or (value null) removes a variable through putenv: setenv keeps every
// value it ever made, and a long run would end on the memory limit. Each entry
// lives on until the one after next replaces it in the environment.
inline void put_variable(const char *name, const char *value) {
  static std::string entries[2];
  static int last;
  if (value == nullptr) {
    unsetenv(name);
    return;
  }
  std::string &entry = entries[last ^= 1];
  entry = std::string(name) + "=" + value;
  putenv(entry.data());
}

inline std::string joined(const Records &records) {
  std::string s;
  for (const std::string &r : records) s += "\n  " + r;
  return s;
}

#define FUZZ_REQUIRE_RECORDS(got, want) \
  FUZZ_REQUIRE(got == want, "records%s\nmodel%s", joined(got).c_str(), joined(want).c_str())

#endif
