// Expected records of the "yenv" catalog, by message name.
#ifndef YUTIL_TESTS_ENV_RECORDS_H
#define YUTIL_TESTS_ENV_RECORDS_H

#include "trace_records.h"

namespace msg {
#define YTRACE_MESSAGE(index, name, text) name = index,
enum : uint32_t {
#include "yenv.def"
};
#undef YTRACE_MESSAGE
}  // namespace msg

using Arg = std::variant<std::string, uint64_t>;

inline TraceRecord rec(uint16_t id, uint32_t m, uint32_t level, std::vector<Arg> args = {}) {
  return {Catalog::yenv, m, id, level << 24, std::move(args)};
}

#endif
