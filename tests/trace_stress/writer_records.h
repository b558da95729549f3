// SPDX-License-Identifier: MIT
// What ytrace-decode prints of the traced writer's records, judged per thread.
#ifndef YUTIL_TESTS_TRACE_STRESS_WRITER_RECORDS_H
#define YUTIL_TESTS_TRACE_STRESS_WRITER_RECORDS_H

#include <stdint.h>

#include <map>
#include <string>

// Records each writer call leaves: one of the store, two of the read back.
constexpr uint64_t kRecordsPerCall = 3;

struct Tally {
  std::map<std::string, uint64_t> records;  // per variable (writer thread), counted
  std::string problems;                     // empty when every line was as expected
};

// Reads decoded lines, "TIME PID/TID MODULE LLEVEL TEXT": one module start per
// process, from its main thread, and per other thread the records of one
// variable, gap-free and in order from the first call on, its values after `pad`
// spaces. Counts them per variable.
Tally tally(const std::string &decoded, unsigned pad);

// The lines of `text` that `notice` does not match in full, each with its newline.
std::string lines_besides(const std::string &text, const char *notice);

#endif
