// SPDX-License-Identifier: MIT
// Typed emission of trace records for the library's own code. The message is a
// template argument, so every call is checked at compile time against the
// arguments its text's conversions take (derived by the build from the catalog
// definitions); the argument types then pick the facility's emit function.
#ifndef YUTIL_SRC_TRACE_H
#define YUTIL_SRC_TRACE_H

#include <stdint.h>

#include <type_traits>
#include <utility>

#include "trace_catalogs.h"
#include "ytrace.h"

namespace ytrace {

enum class Level : uint32_t {
  fatal = 0,  // the process aborts next
  failure = 3,
  info = 6,
  debug = 7,  // kept only when the facility's threshold is raised
};

constexpr uint32_t level_word(Level level) {
  return static_cast<uint32_t>(level) << YTRACE_LEVEL_SHIFT;
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

// The emit functions' digit for an argument of type T as wire() passes it; 0 for a
// type they do not take.
template <typename T>
constexpr char arg_digit() {
  if constexpr (requires(T v) { wire(v); }) {
    using Wire = decltype(wire(std::declval<T>()));
    return std::is_same_v<Wire, const char *> ? '1' : std::is_same_v<Wire, uint32_t> ? '4' : '5';
  } else {
    return 0;
  }
}

// Whether the arguments are, in order, those the message's conversions take.
template <auto Msg, typename... Args>
constexpr bool arguments_fit() {
  constexpr char given[] = {arg_digit<Args>()..., 0};
  const char *wanted = CatalogDef<decltype(Msg)>::messages[Msg].args;
  unsigned i = 0;
  while (given[i] != 0 && given[i] == wanted[i]) i++;
  return given[i] == wanted[i];
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

// Hands a record of Msg to the facility. A call whose arguments do not fit the
// message stops at the assertion alone, without a cascade of other errors.
template <auto Msg, typename... Args>
inline void send_checked(uint16_t module_id, uint32_t level_word, Args... args) {
  constexpr bool fit = arguments_fit<Msg, Args...>();
  static_assert(fit,
                "trace message: the arguments do not match the conversions of its text "
                "(%s: a string; %d, %u, %x, %c: 32 bits; %lld, %llu: 64 bits)");
  if constexpr (fit) {
    send(CatalogDef<decltype(Msg)>::identity, Msg, module_id, level_word, wire(args)...);
  }
}

// One record of Msg at `level` under `module_id`.
template <auto Msg, typename... Args>
inline void emit(uint16_t module_id, Level level, Args... args) {
  send_checked<Msg>(module_id, level_word(level), args...);
}

// The same, but only after the facility has said that it keeps `level`: a filtered
// record then costs one cheap call instead of an emit.
template <auto Msg, typename... Args>
inline void emit_if_kept(uint16_t module_id, Level level, Args... args) {
  if (ytrace_module_test(module_id, static_cast<uint32_t>(level))) {
    emit<Msg>(module_id, level, args...);
  }
}

// A record that extends the last one: its module id and level are asked anew.
template <auto Msg, typename... Args>
inline void emit_continuation(Args... args) {
  send_checked<Msg>(ytrace_last_module_id(),
                    level_word(Level{ytrace_last_level()}) | YTRACE_CONTINUATION, args...);
}

// The facility's latched guard: it is asked once whether `module_id` keeps
// `level`, and each step runs only if the latched answer, read back before that
// step, says so.
template <typename... Steps>
inline void when_kept(uint16_t module_id, Level level, Steps... steps) {
  ytrace_eval_once(ytrace_module_test(module_id, static_cast<uint32_t>(level)));
  ((ytrace_eval_once_res() ? steps() : void()), ...);
}

}  // namespace ytrace

#endif
