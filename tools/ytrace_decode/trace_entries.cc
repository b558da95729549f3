// SPDX-License-Identifier: MIT
#include "trace_entries.h"

#include <algorithm>
#include <string.h>

namespace ytdec {
namespace {

uint64_t le(const char *p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}

constexpr size_t kDefinitionMinSize = (YTRACE_DEFINITION_FIXED_SIZE + YTRACE_ENTRY_ALIGN - 1) /
                                      YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;

// Reads fields in order, never past the end it was given.
struct Reader {
  const char *p;
  size_t left;
  bool take(size_t n, const char **at) {
    if (n > left) return false;
    *at = p;
    p += n;
    left -= n;
    return true;
  }
  template <typename T>
  bool number(T *v) {
    const char *at;
    if (!take(sizeof(T), &at)) return false;
    *v = static_cast<T>(le(at, sizeof(T)));
    return true;
  }
};

bool known_tag(uint8_t tag) {
  return tag == YTRACE_ARG_STRING || tag == YTRACE_ARG_U32 || tag == YTRACE_ARG_U64;
}

// False with the reason if the definition is damaged; one of another kind is
// read no further (*skipped).
bool scan_definition(Reader &r, Sites *sites, bool *skipped, std::string *why) {
  uint8_t kind = 0, name_length = 0, count = 0;
  uint16_t id = 0;
  Site s;
  const char *catalog, *name, *tags;
  r.number(&kind);
  *skipped = kind != YTRACE_DEFINE_SITE;
  if (*skipped) return true;
  if (!(r.number(&id) && r.take(s.catalog.size(), &catalog) && r.number(&s.index) &&
        r.number(&s.level_word) && r.number(&s.module) && r.number(&name_length) &&
        r.take(name_length, &name) && r.number(&count) && r.take(count, &tags))) {
    *why = "definition too short for its fields";
    return false;
  }
  memcpy(s.catalog.data(), catalog, s.catalog.size());
  s.module_name.assign(name, name_length);
  s.tags.assign(tags, count);
  for (size_t i = 0; i < s.tags.size(); ++i) {
    if (!known_tag(static_cast<uint8_t>(s.tags[i]))) {
      *why = "argument " + std::to_string(i + 1) + " of site " + std::to_string(id) +
             " has the unknown type " + std::to_string(static_cast<uint8_t>(s.tags[i]));
      return false;
    }
  }
  if (id == 0 || !sites->try_emplace(id, std::move(s)).second) {
    *why = "definition of site " + std::to_string(id) +
           (id == 0 ? ", which no record can name" : ", which its block defined before");
    return false;
  }
  return true;
}

bool scan_record(Reader &r, uint16_t site, const Sites &sites, Record *out, std::string *why) {
  auto it = sites.find(site);
  if (it == sites.end()) {
    *why = "record of site " + std::to_string(site) + ", which its block does not define before it";
    return false;
  }
  out->site = &it->second;
  out->args.clear();
  r.number(&out->time_ns);
  for (char tag : it->second.tags) {
    Arg a{static_cast<uint8_t>(tag), 0, {}};
    uint16_t length = 0;
    const char *bytes;
    bool ok = true;
    if (a.tag == YTRACE_ARG_STRING) {
      ok = r.number(&length) && r.take(length, &bytes);
      if (ok) a.text = std::string_view(bytes, length);
    } else if (a.tag == YTRACE_ARG_U32) {
      uint32_t v = 0;
      ok = r.number(&v);
      a.number = v;
    } else {
      ok = r.number(&a.number);
    }
    if (!ok) {
      *why = "argument " + std::to_string(out->args.size() + 1) + " runs past the end of the entry";
      return false;
    }
    out->args.push_back(a);
  }
  return true;
}

}  // namespace

HeaderScan scan_file_header(std::string_view bytes, FileHeader *out, std::string *why) {
  constexpr std::string_view kMagic = YTRACE_FILE_MAGIC;
  if (bytes.substr(0, kMagic.size()) != kMagic.substr(0, bytes.size())) {
    *why = "not a trace file: it does not start with \"" + std::string(kMagic) + "\"";
    return HeaderScan::kDamaged;
  }
  if (bytes.size() < YTRACE_FILE_HEADER_SIZE) return HeaderScan::kShort;
  const char *p = bytes.data();
  uint64_t version = le(p + 4, 2), size = le(p + 6, 2);
  out->block_size = static_cast<uint32_t>(le(p + 8, 4));
  out->taken = static_cast<uint32_t>(le(p + YTRACE_FILE_TAKEN_OFFSET, 4));
  out->stopped = static_cast<uint32_t>(le(p + YTRACE_FILE_STOPPED_OFFSET, 4));
  out->stop_errno = static_cast<uint32_t>(le(p + YTRACE_FILE_STOP_ERRNO_OFFSET, 4));
  if (version != YTRACE_FILE_VERSION) {
    *why = "file format version " + std::to_string(version) + ", this decoder reads version " +
           std::to_string(YTRACE_FILE_VERSION);
  } else if (out->block_size < kBlockSizeUnit || out->block_size % kBlockSizeUnit != 0) {
    *why = "block size " + std::to_string(out->block_size) + " is not a multiple of " +
           std::to_string(kBlockSizeUnit);
  } else if (size < YTRACE_FILE_HEADER_SIZE || size > out->block_size ||
             size % YTRACE_ENTRY_ALIGN != 0) {
    *why = "header size " + std::to_string(size) + " is not a multiple of " +
           std::to_string(YTRACE_ENTRY_ALIGN) + " from " + std::to_string(YTRACE_FILE_HEADER_SIZE) +
           " to the block size";
  } else {
    return HeaderScan::kComplete;
  }
  return HeaderScan::kDamaged;
}

BlockHeader scan_block_header(std::string_view bytes) {
  const char *p = bytes.data();
  return {static_cast<uint32_t>(le(p, 4)), static_cast<uint32_t>(le(p + 4, 4)), le(p + 8, 8),
          le(p + 16, 8)};
}

Step scan_entry(std::string_view bytes, size_t at, size_t block_size, Sites *sites, Record *record,
                size_t *size, std::string *why) {
  if (at + 4 > block_size) return Step::kClosed;  // no room for another head
  if (at + 4 > bytes.size()) return Step::kEnd;
  const uint32_t head = static_cast<uint32_t>(le(bytes.data() + at, 4));
  if (head == 0) return Step::kEnd;
  if (head == YTRACE_HEAD_WRITING) return Step::kWriting;
  if (head == YTRACE_HEAD_CLOSED) return Step::kClosed;
  *size = head & YTRACE_HEAD_SIZE_MASK;
  const auto site = static_cast<uint16_t>(head >> YTRACE_HEAD_SITE_SHIFT);
  const size_t least = site == 0 ? kDefinitionMinSize : YTRACE_RECORD_FIXED_SIZE;
  auto of_size = [&] { return " of size " + std::to_string(*size); };
  if (*size < least || *size % YTRACE_ENTRY_ALIGN != 0) {
    *why = "entry size " + std::to_string(*size) + " is not a multiple of " +
           std::to_string(YTRACE_ENTRY_ALIGN) + " from " + std::to_string(least) + " on";
    return Step::kDamaged;
  }
  if (at + *size > block_size) {
    *why = "entry" + of_size() + " runs past the end of its block";
    return Step::kDamaged;
  }
  if (at + *size > bytes.size()) {
    *why = "the file ends inside an entry" + of_size();
    return Step::kDamaged;
  }
  Reader r{bytes.data() + at + 4, *size - 4};
  bool skipped = false;
  if (site == 0 ? !scan_definition(r, sites, &skipped, why)
                : !scan_record(r, site, *sites, record, why)) {
    return Step::kDamaged;
  }
  // What is left is the padding, zero bytes.
  if (!skipped && std::any_of(r.p, r.p + r.left, [](char c) { return c != 0; })) {
    *why =
        (site == 0 ? "definition" : "record") + of_size() + " has bytes left over after its fields";
    return Step::kDamaged;
  }
  return site == 0 ? Step::kDefinition : Step::kRecord;
}

}  // namespace ytdec
