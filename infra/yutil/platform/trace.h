// Typed emission of trace records for the library's own code: each catalog is an
// enum made by the build from its definition file, and the argument types pick
// the facility's emit function, so a call site can name neither a bare number nor
// a signature the facility lacks.
#ifndef YUTIL_PLATFORM_TRACE_H
#define YUTIL_PLATFORM_TRACE_H

#include <stdint.h>

#include <type_traits>

#include "trace_catalogs.h"
#include "ytrace.h"

namespace ytrace {

constexpr uint32_t level_word(uint32_t level) {
  return level << YTRACE_LEVEL_SHIFT;
}

// Arguments as the facility takes them: strings, 32-bit or 64-bit integers.
inline const char *wire(const char *s) {
  return s;
}
template <typename T>
requires std::is_integral_v<T>
constexpr auto wire(T v) {
  if constexpr (sizeof(T) <= 4) {
    return static_cast<uint32_t>(v);
  } else {
    return static_cast<uint64_t>(v);
  }
}

using Cat = const void *;
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w) {
  __YTf_0(c, i, m, w);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, const char *a) {
  __YTf_1(c, i, m, w, a);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, uint32_t a) {
  __YTf_4(c, i, m, w, a);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, const char *a, const char *b) {
  __YTf_11(c, i, m, w, a, b);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, const char *a, uint32_t b) {
  __YTf_14(c, i, m, w, a, b);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, const char *a, uint64_t b) {
  __YTf_15(c, i, m, w, a, b);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, uint32_t a, const char *b) {
  __YTf_41(c, i, m, w, a, b);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, uint32_t a, uint32_t b) {
  __YTf_44(c, i, m, w, a, b);
}
inline void send(Cat c, uint32_t i, uint16_t m, uint32_t w, const char *a, const char *b,
                 uint32_t d) {
  __YTf_114(c, i, m, w, a, b, d);
}

// One record of `msg` at `level` under `module_id`.
template <typename Msg, typename... Args>
inline void emit(Msg msg, uint16_t module_id, uint32_t level, Args... args) {
  send(CatalogDef<Msg>::identity, msg, module_id, level_word(level), wire(args)...);
}

// A record that extends the last one: its module id and level are asked anew.
template <typename Msg, typename... Args>
inline void emit_continuation(Msg msg, Args... args) {
  send(CatalogDef<Msg>::identity, msg, ytrace_last_module_id(),
       level_word(ytrace_last_level()) | YTRACE_CONTINUATION, wire(args)...);
}

}  // namespace ytrace

#endif
