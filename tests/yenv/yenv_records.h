// Expected records of the "yenv" catalog, by message name.
#ifndef YUTIL_TESTS_YENV_RECORDS_H
#define YUTIL_TESTS_YENV_RECORDS_H

#include "trace_records.h"

namespace msg = yenv_msg;

using Arg = std::variant<std::string, uint64_t>;

inline TraceRecord rec(uint16_t id, uint32_t m, uint32_t level, std::vector<Arg> args = {}) {
  return {Catalog::yenv, m, id, level << 24, std::move(args)};
}

#endif
