// SPDX-License-Identifier: MIT
// Expected records of the "yenv" catalog, by message name, and what the fuzz
// targets need besides.
#ifndef YUTIL_TESTS_YENV_RECORDS_H
#define YUTIL_TESTS_YENV_RECORDS_H

#include <stdlib.h>

#include <sstream>

#include "fuzz_input.h"
#include "trace_records.h"

using namespace yenv_msg;
using Arg = std::variant<std::string, uint64_t>;
using Trace = std::vector<TraceRecord>;

inline TraceRecord rec(uint32_t m, uint32_t level, std::vector<Arg> args = {}, uint16_t id = 0,
                       uint32_t flags = 0) {
  return {Catalog::yenv, m, id, level << 24 | flags, std::move(args)};
}

// A string argument as the stand-in keeps it: cut to fit its copy.
inline std::string kept(const std::string &s) {
  return s.substr(0, YTRACE_CAPTURE_STRING_MAX - 1);
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

inline std::string joined(const Trace &records) {
  std::ostringstream s;
  for (const TraceRecord &r : records) s << "\n  " << r;
  return s.str();
}

#define FUZZ_REQUIRE_RECORDS(got, want) \
  FUZZ_REQUIRE(got == want, "records%s\nmodel%s", joined(got).c_str(), joined(want).c_str())

#endif
