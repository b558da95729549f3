// SPDX-License-Identifier: MIT
// String buffer against a model of its text: pieces of several formats through
// both entry points, sends and gets, on small capacities so that overflow, the
// exact fit and sends past the end are met often. Guard bytes follow each block.
#include <algorithm>
#include <string>

#include "guarded_alloc.h"
#include "yutil_string_buff.h"

namespace {

__attribute__((format(printf, 2, 3))) int via_vprintf(yutil_string_buff_s *b, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int n = yutil_string_buff_vprintf(b, f, ap);
  va_end(ap);
  return n;
}

struct Model {
  uint32_t capacity = 0;
  std::string text;
  uint32_t sent = 0;
  bool overflow = false;

  // What a piece whose output is `out` returns, and its effect.
  int piece(const std::string &out) {
    if (overflow) return 0;
    if (out.size() >= capacity - text.size()) {
      overflow = true;
      return 0;
    }
    text += out;
    return static_cast<int>(out.size());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  guarded::reset();
  Model m;
  m.capacity = 1 + in.below(40);
  yutil_string_buff_s *b = nullptr;
  FUZZ_REQUIRE(yutil_string_buff_init(&b, guarded::alloc, guarded::release, m.capacity) == 0,
               "init");
  while (!in.empty()) {
    bool v = in.byte() & 1;
    // A piece is formatted by the buffer and by snprintf for the model.
    char want[64];
    int got = -1;
#define PIECE(...)                           \
  (snprintf(want, sizeof want, __VA_ARGS__), \
   got = v ? via_vprintf(b, __VA_ARGS__) : yutil_string_buff_printf(b, __VA_ARGS__))
    switch (in.below(6)) {
      case 0: {
        std::string s = in.bytes(20);
        std::replace(s.begin(), s.end(), '\0', '0');
        PIECE("%s", s.c_str());
        break;
      }
      case 1: {
        int32_t i = static_cast<int32_t>(in.u32());
        PIECE("%d|", i);
        break;
      }
      case 2: {
        int prec = static_cast<int>(in.below(8));
        PIECE("%.*s%c", prec, "precision", 'A' + prec);
        break;
      }
      case 3:
        PIECE("%s", "");
        break;
      case 4: {
        uint32_t n = in.byte() == 0xff ? UINT32_MAX - in.below(4) : in.below(24);
        FUZZ_REQUIRE(yutil_string_buff_sent(b, n) == 0, "sent %u", n);
        m.sent += static_cast<uint32_t>(std::min<uint64_t>(n, m.text.size() - m.sent));
        break;
      }
      default: {
        char *t = nullptr;
        uint32_t n = 0;
        FUZZ_REQUIRE(yutil_string_buff_get(b, &t, &n) == 0, "get");
        FUZZ_REQUIRE(t == b->text + m.sent && std::string(t) == m.text.substr(m.sent) &&
                         n == m.text.size() - m.sent,
                     "get gave %u characters, model %zu", n, m.text.size() - m.sent);
        break;
      }
    }
#undef PIECE
    if (got >= 0) {
      int expected = m.piece(want);
      FUZZ_REQUIRE(got == expected, "piece \"%s\" returned %d, model %d", want, got, expected);
    }
    FUZZ_REQUIRE(std::string(b->text) == m.text && b->len == m.text.size(), "text \"%s\"", b->text);
    FUZZ_REQUIRE(b->sent == m.sent && (b->overflow != 0) == m.overflow, "sent %u overflow %d",
                 b->sent, b->overflow);
    FUZZ_REQUIRE(guarded::intact(b->text, m.capacity), "written past the text storage");
  }
  yutil_string_buff_free(b);
  FUZZ_REQUIRE(guarded::live.empty(), "%zu blocks left after free", guarded::live.size());
  return 0;
}
