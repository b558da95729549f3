// SPDX-License-Identifier: MIT
#include "trace_entries.h"

namespace ytdec {
namespace {

uint64_t le(const char *p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}

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

bool scan_args(Reader &r, uint8_t count, std::vector<Arg> *args, std::string *why) {
  args->clear();
  for (unsigned i = 0; i < count; ++i) {
    Arg a;
    uint16_t length = 0;
    const char *bytes;
    bool ok = r.number(&a.tag);
    if (ok && a.tag == YTRACE_ARG_STRING) {
      ok = r.number(&length) && r.take(length, &bytes);
      if (ok) a.text = std::string_view(bytes, length);
    } else if (ok && a.tag == YTRACE_ARG_U32) {
      uint32_t v = 0;
      ok = r.number(&v);
      a.number = v;
    } else if (ok && a.tag == YTRACE_ARG_U64) {
      ok = r.number(&a.number);
    } else if (ok) {
      *why = "argument " + std::to_string(i + 1) + " has the unknown type " + std::to_string(a.tag);
      return false;
    }
    if (!ok) {
      *why = "argument " + std::to_string(i + 1) + " runs past the end of the entry";
      return false;
    }
    args->push_back(a);
  }
  return true;
}

}  // namespace

Scan scan_header(std::string_view bytes, size_t *size, std::string *why) {
  constexpr std::string_view kMagic = YTRACE_FILE_MAGIC;
  if (bytes.substr(0, kMagic.size()) != kMagic.substr(0, bytes.size())) {
    *why = "not a trace file: it does not start with \"" + std::string(kMagic) + "\"";
    return Scan::kDamaged;
  }
  if (bytes.size() < YTRACE_FILE_HEADER_SIZE) return Scan::kNothing;
  uint64_t version = le(bytes.data() + 4, 2);
  *size = le(bytes.data() + 6, 2);
  if (version != YTRACE_FILE_VERSION) {
    *why = "file format version " + std::to_string(version) + ", this decoder reads version " +
           std::to_string(YTRACE_FILE_VERSION);
    return Scan::kDamaged;
  }
  if (*size < YTRACE_FILE_HEADER_SIZE || *size % YTRACE_ENTRY_ALIGN != 0) {
    *why = "header size " + std::to_string(*size) + " is not a multiple of " +
           std::to_string(YTRACE_ENTRY_ALIGN) + " from " + std::to_string(YTRACE_FILE_HEADER_SIZE) +
           " on";
    return Scan::kDamaged;
  }
  return bytes.size() < *size ? Scan::kPart : Scan::kComplete;
}

Scan scan_entry(std::string_view bytes, Entry *out, std::string *why) {
  if (bytes.size() < YTRACE_ENTRY_KIND_OFFSET) return Scan::kNothing;
  out->size = static_cast<uint32_t>(le(bytes.data(), YTRACE_ENTRY_KIND_OFFSET));
  if (out->size == 0) return Scan::kNothing;
  if (out->size < YTRACE_ENTRY_COMMON_SIZE || out->size > kMaxEntrySize ||
      out->size % YTRACE_ENTRY_ALIGN != 0) {
    *why = "entry size " + std::to_string(out->size) + " is not a multiple of " +
           std::to_string(YTRACE_ENTRY_ALIGN) + " in " + std::to_string(YTRACE_ENTRY_COMMON_SIZE) +
           ".." + std::to_string(kMaxEntrySize);
    return Scan::kDamaged;
  }
  // The kind is stored last: the entry is whole once it is nonzero.
  out->kind = bytes.size() > YTRACE_ENTRY_KIND_OFFSET
                  ? static_cast<uint8_t>(bytes[YTRACE_ENTRY_KIND_OFFSET])
                  : 0;
  if (out->kind == 0) return Scan::kUnwritten;
  if (bytes.size() < out->size) return Scan::kPart;
  Reader r{bytes.data() + YTRACE_ENTRY_KIND_OFFSET + 1,
           out->size - size_t{YTRACE_ENTRY_KIND_OFFSET + 1}};
  r.number(&out->time_ns);
  r.number(&out->pid);
  r.number(&out->tid);
  bool ok = true;
  const char *at;
  if (out->kind == YTRACE_ENTRY_REGISTRATION) {
    uint8_t length = 0;
    ok = r.number(&out->module) && r.number(&length) && r.take(length, &at);
    if (ok) out->name = std::string_view(at, length);
  } else if (out->kind == YTRACE_ENTRY_RECORD) {
    uint8_t count = 0;
    ok = r.take(YTRACE_FILE_IDENTITY_SIZE, &at) && r.number(&out->index) &&
         r.number(&out->module) && r.number(&out->level_word) && r.number(&count);
    if (ok) out->identity = reinterpret_cast<const uint8_t *>(at);
    if (ok && !scan_args(r, count, &out->args, why)) return Scan::kDamaged;
  } else {
    return Scan::kComplete;
  }
  // What is left is the padding, fewer bytes than the alignment.
  if (!ok || r.left >= YTRACE_ENTRY_ALIGN) {
    *why = (out->kind == YTRACE_ENTRY_RECORD ? "record" : "registration") +
           std::string(" of size ") + std::to_string(out->size) +
           (ok ? " has bytes left over after its fields" : " is too short for its fields");
    return Scan::kDamaged;
  }
  return Scan::kComplete;
}

}  // namespace ytdec
