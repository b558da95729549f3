// SPDX-License-Identifier: MIT
#include "entry_builder.h"

#include "ytrace_file_format.h"

namespace ytdec::build {
namespace {

void put(std::string &out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

std::string entry(uint8_t kind, const Origin &o, const std::string &body) {
  const size_t size = (YTRACE_ENTRY_COMMON_SIZE + body.size() + YTRACE_ENTRY_ALIGN - 1) /
                      YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;
  std::string out;
  put(out, size, 4);
  put(out, kind, 1);
  put(out, o.time_ns, 8);
  put(out, o.pid, 4);
  put(out, o.tid, 4);
  out += body;
  out.resize(size);  // padded with zeros
  return out;
}

}  // namespace

std::string file(std::string_view entries) {
  std::string out = YTRACE_FILE_MAGIC;
  put(out, YTRACE_FILE_VERSION, 2);
  put(out, YTRACE_FILE_HEADER_SIZE, 2);
  put(out, YTRACE_FILE_HEADER_SIZE + entries.size(), 8);
  return out.append(entries);
}

std::string registration(const Origin &o, uint16_t module, std::string_view name) {
  std::string body;
  put(body, module, 2);
  put(body, name.size(), 1);
  return entry(YTRACE_ENTRY_REGISTRATION, o, body.append(name));
}

std::string record(const Origin &o, const ytcat::Identity &catalog, uint32_t index, uint16_t module,
                   uint32_t level_word, const std::vector<Value> &args) {
  std::string body(catalog.begin(), catalog.end());
  put(body, index, 4);
  put(body, module, 2);
  put(body, level_word, 4);
  put(body, args.size(), 1);
  for (const Value &v : args) {
    if (const std::string *s = std::get_if<std::string>(&v)) {
      put(body, YTRACE_ARG_STRING, 1);
      put(body, s->size(), 2);
      body += *s;
    } else if (const uint32_t *n = std::get_if<uint32_t>(&v)) {
      put(body, YTRACE_ARG_U32, 1);
      put(body, *n, 4);
    } else {
      put(body, YTRACE_ARG_U64, 1);
      put(body, std::get<uint64_t>(v), 8);
    }
  }
  return entry(YTRACE_ENTRY_RECORD, o, body);
}

}  // namespace ytdec::build
