// SPDX-License-Identifier: MIT
#include "trace_records.h"

#include <string.h>

#include <iterator>

std::vector<TraceRecord> take_trace() {
  std::vector<TraceRecord> out;
  ytrace_capture_record_s r;
  for (size_t i = 0; ytrace_capture_get(i, &r) == 0; i++) {
    // The catalog pointer is the identity inside the catalog's section, just
    // after the version and the ordinal.
    uint16_t ordinal;
    memcpy(&ordinal, static_cast<const unsigned char *>(r.catalog) - 2, sizeof ordinal);
    TraceRecord t{static_cast<Catalog>(ordinal), r.message_index, r.module_id, r.level_word, {}};
    for (unsigned a = 0; a < r.arg_count; a++) {
      if (r.args[a].type == '1') {
        t.args.emplace_back(std::string(r.args[a].text));
      } else {
        t.args.emplace_back(r.args[a].number);
      }
    }
    out.push_back(std::move(t));
  }
  ytrace_capture_clear();
  return out;
}

const char *catalog_name(Catalog catalog) {
  auto c = static_cast<size_t>(catalog);
  return c < std::size(ytrace::kCatalogs) ? ytrace::kCatalogs[c].name : "?";
}

std::ostream &operator<<(std::ostream &os, const TraceRecord &r) {
  os << catalog_name(r.catalog) << "#" << r.index << " module " << r.module_id << " level "
     << r.level() << (r.continuation() ? " (cont)" : "") << " (";
  for (size_t i = 0; i < r.args.size(); i++) {
    if (i) os << ", ";
    if (auto s = std::get_if<std::string>(&r.args[i])) {
      os << '"' << *s << '"';
    } else {
      os << std::get<uint64_t>(r.args[i]);
    }
  }
  return os << ")";
}
