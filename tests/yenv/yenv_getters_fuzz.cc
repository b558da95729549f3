// SPDX-License-Identifier: MIT
// Integer getters against a model of their grammar and ranges: each call of an
// input picks a getter, whether the variable is set and its text; the model
// gives the result, the value stored and the records. The caller's variable lies
// between guard bytes, all filled beforehand; only its own bytes may change, and
// only on success. Lookups after a call's first find the variable gone, as if
// another thread had removed it meanwhile: the records show the text judged.
#include <errno.h>
#include <unistd.h>

#include "yenv.h"
#include "yenv_records.h"

static int lookups;
extern "C" char *getenv(const char *name) {
  size_t n = strlen(name);
  if (strcmp(name, "YF_N") == 0 && lookups++ > 0) return nullptr;
  for (char **e = environ; *e != nullptr; e++)
    if (strncmp(*e, name, n) == 0 && (*e)[n] == '=') return *e + n + 1;
  return nullptr;
}

namespace {

template <typename T, int (*F)(const char *, T *)>
int get(const char *name, void *out) {
  return F(name, static_cast<T *>(out));
}
struct Getter {
  bool is_signed;
  unsigned bits;
  uint32_t entry, range;
  int (*get)(const char *, void *);
};
const Getter kGetters[] = {
    {false, 8, GET_U8, U8_RANGE, get<uint8_t, ygetenv_u8>},
    {false, 16, GET_U16, U16_RANGE, get<uint16_t, ygetenv_u16>},
    {false, 32, GET_U32, U32_RANGE, get<uint32_t, ygetenv_u32>},
    {false, 64, GET_U64, U64_RANGE, get<uint64_t, ygetenv_u64>},
    {true, 8, GET_S8, S8_RANGE, get<int8_t, ygetenv_s8>},
    {true, 16, GET_S16, S16_RANGE, get<int16_t, ygetenv_s16>},
    {true, 32, GET_S32, S32_RANGE, get<int32_t, ygetenv_s32>},
    {true, 64, GET_S64, S64_RANGE, get<int64_t, ygetenv_s64>},
};

enum Kind { OK, UNSET, SPACES, LEADING, INVALID, RANGE64, RANGE };
struct Outcome {
  Kind kind;
  uint64_t value = 0;  // two's complement for the signed family
};

bool space(char c) {
  return c != 0 && strchr(" \t\n\v\f\r", c) != nullptr;
}
bool digit(char c) {
  return c >= '0' && c <= '9';
}

// Leading white space (the unsigned family calls a text of nothing else unset,
// the signed one only an empty text), one sign, decimal digits to the end. The
// unsigned family refuses a bad first byte on its own and any "-" as too big.
Outcome model(const Getter &g, const char *text) {
  if (text == nullptr || (g.is_signed && *text == 0)) return {UNSET};
  const char *p = text;
  while (space(*p)) p++;
  if (*p == 0) return {g.is_signed ? INVALID : SPACES};
  bool minus = *p == '-';
  if (*p == '+' || *p == '-') {
    p++;
  } else if (!digit(*p)) {
    return {g.is_signed ? INVALID : LEADING};
  }
  uint64_t magnitude = 0;
  bool huge = false;
  const char *digits = p;
  for (; digit(*p); p++)
    huge |= __builtin_mul_overflow(magnitude, 10, &magnitude) ||
            __builtin_add_overflow(magnitude, *p - '0', &magnitude);
  if (p == digits || *p != 0) return {INVALID};
  if (!g.is_signed) {
    if (minus || huge) return {RANGE64};
    return {g.bits < 64 && magnitude >> g.bits ? RANGE : OK, magnitude};
  }
  uint64_t half = uint64_t{1} << 63;  // -2^63 is the one magnitude without a positive twin
  if (huge || magnitude > half - !minus) return {RANGE64};
  half >>= 64 - g.bits;
  return {magnitude > half - !minus ? RANGE : OK, minus ? 0 - magnitude : magnitude};
}

// One call: a getter, whether the variable is set, its text.
void check(FuzzInput &in) {
  uint8_t pick = in.byte();
  const Getter &g = kGetters[pick & 7];
  bool unset = pick & 8;
  int errno_before = pick & 16 ? ERANGE : 0;  // a leftover errno is no overflow
  uint8_t fill = in.byte();
  std::string value = in.bytes(1000);
  value.resize(strnlen(value.c_str(), value.size()));

  const char *name = "YF_N";
  put_variable(name, unset ? nullptr : value.c_str());
  Outcome want = model(g, unset ? nullptr : value.c_str());

  alignas(8) unsigned char out[24], expect[24];
  memset(out, fill, sizeof out);
  memcpy(expect, out, sizeof out);
  // The low bytes of the value first: two's complement narrowed, as the getter does.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
  if (want.kind == OK) memcpy(expect + 8, &want.value, g.bits / 8);
  ytrace_capture_clear();
  errno = errno_before, lookups = 0;
  int res = g.get(name, out + 8);

  const int results[] = {0, ENOENT, ENOENT, EINVAL, EINVAL, ERANGE, ERANGE};
  FUZZ_REQUIRE(res == results[want.kind], "getter %u%c, '%s': result %d, model %d", g.bits,
               g.is_signed ? 's' : 'u', value.c_str(), res, results[want.kind]);
  FUZZ_REQUIRE(memcmp(out, expect, sizeof out) == 0, "getter %u%c, '%s': stored bytes", g.bits,
               g.is_signed ? 's' : 'u', value.c_str());

  // The entry, then "not set" alone, or the value and at most one failure.
  Trace expected = {rec(g.entry, 6, {name})};
  uint32_t not_set = g.is_signed ? SIGNED_NOT_SET : UNSIGNED_NOT_SET;
  if (want.kind == UNSET) expected.push_back(rec(not_set, 6, {name}));
  std::string v = kept(value);
  if (want.kind != UNSET)
    expected.push_back(rec(g.is_signed ? SIGNED_VALUE : UNSIGNED_VALUE, 6, {name, v}));
  if (want.kind == SPACES) expected.push_back(rec(UNSIGNED_ONLY_SPACES, 6, {name}));
  if (want.kind == LEADING) {
    unsigned char c = value[strspn(value.c_str(), " \t\n\v\f\r")];
    expected.push_back(rec(UNSIGNED_LEADING_CHAR, 3, {name, v, uint64_t{c}}));
  }
  if (want.kind == INVALID)
    expected.push_back(rec(g.is_signed ? SIGNED_INVALID : UNSIGNED_INVALID, 3, {name, v}));
  if (want.kind == RANGE64)
    expected.push_back(rec(g.is_signed ? S64_RANGE : U64_RANGE, 3, {name, v}));
  if (want.kind == RANGE) expected.push_back(rec(g.range, 3, {name, v}));
  Trace got = take_trace();
  FUZZ_REQUIRE_RECORDS(got, expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  while (!in.empty()) check(in);
  return 0;
}
