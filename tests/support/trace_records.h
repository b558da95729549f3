// SPDX-License-Identifier: MIT
// The trace stand-in's kept records as plain C++ values, for assertions.
#ifndef YUTIL_TESTS_TRACE_RECORDS_H
#define YUTIL_TESTS_TRACE_RECORDS_H

#include <stdint.h>

#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "trace_catalogs.h"
#include "ytrace_capture.h"

using ytrace::Catalog;

struct TraceRecord {
  Catalog catalog;
  uint32_t index;
  uint16_t module_id;
  uint32_t level_word;
  std::vector<std::variant<std::string, uint64_t>> args;

  uint32_t level() const { return level_word >> 24; }
  bool continuation() const { return (level_word & 0x10000u) != 0; }
  bool operator==(const TraceRecord &) const = default;
};

std::ostream &operator<<(std::ostream &os, const TraceRecord &r);

// Every record held now, oldest first; the stand-in is cleared afterwards.
std::vector<TraceRecord> take_trace();

// The catalog's name, or "?" for an unknown ordinal.
const char *catalog_name(Catalog catalog);

#endif
