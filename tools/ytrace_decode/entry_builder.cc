// SPDX-License-Identifier: MIT
#include "entry_builder.h"

#include "ytrace_file_format.h"

namespace ytdec::build {
namespace {

void put(std::string &out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// The head with the entry's size and site, and the entry padded to it.
std::string entry(uint16_t site, const std::string &body) {
  const size_t size =
      (4 + body.size() + YTRACE_ENTRY_ALIGN - 1) / YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;
  std::string out;
  put(out, uint32_t{site} << YTRACE_HEAD_SITE_SHIFT | size, 4);
  out += body;
  out.resize(size);
  return out;
}

}  // namespace

std::string definition(uint16_t site, const ytcat::Identity &catalog, uint32_t index,
                       uint32_t level_word, uint16_t module, std::string_view module_name,
                       std::string_view tags) {
  std::string body;
  put(body, YTRACE_DEFINE_SITE, 1);
  put(body, site, 2);
  body.append(catalog.begin(), catalog.end());
  put(body, index, 4);
  put(body, level_word, 4);
  put(body, module, 2);
  put(body, module_name.size(), 1);
  body += module_name;
  put(body, tags.size(), 1);
  body += tags;
  return entry(0, body);
}

std::string tags(const std::vector<Value> &args) {
  std::string out;
  for (const Value &v : args) {
    out += static_cast<char>(v.index() == 0   ? YTRACE_ARG_STRING
                             : v.index() == 1 ? YTRACE_ARG_U32
                                              : YTRACE_ARG_U64);
  }
  return out;
}

std::string record(uint16_t site, uint64_t time_ns, const std::vector<Value> &args) {
  std::string body;
  put(body, time_ns, 8);
  for (const Value &v : args) {
    if (const std::string *s = std::get_if<std::string>(&v)) {
      put(body, s->size(), 2);
      body += *s;
    } else if (const uint32_t *n = std::get_if<uint32_t>(&v)) {
      put(body, *n, 4);
    } else {
      put(body, std::get<uint64_t>(v), 8);
    }
  }
  return entry(site, body);
}

std::string head(uint32_t value) {
  std::string out;
  put(out, value, 4);
  return out;
}

std::string block(const Writer &w, std::string_view entries, uint32_t block_size) {
  std::string out;
  put(out, w.pid, 4);
  put(out, w.tid, 4);
  put(out, w.instance, 8);
  put(out, w.taken, 8);
  out += entries;
  out.resize(block_size);
  return out;
}

std::string file(const std::vector<std::string> &blocks, uint32_t block_size, uint32_t stopped,
                 uint32_t stop_errno) {
  std::string out = YTRACE_FILE_MAGIC;
  put(out, YTRACE_FILE_VERSION, 2);
  put(out, YTRACE_FILE_HEADER_SIZE, 2);
  put(out, block_size, 4);
  put(out, blocks.size() + 1, 4);
  put(out, stopped, 4);
  put(out, stop_errno, 4);
  out.resize(block_size);
  for (const std::string &b : blocks) out += b;
  return out;
}

}  // namespace ytdec::build
