// The key reader's decoding against a model of its rules: a few stored keys of up
// to 18 bytes, zero bytes among them, then arrivals interleaved with calls (a byte,
// nothing, end of input). Each call's result, the bytes then held and the one
// record kept at the default level (the result's) must agree with the model.
#include <map>
#include <string>

#include "fuzz_input.h"
#include "trace_catalogs.h"
#include "ycurs/key_reader.h"
#include "ytrace.h"
#include "ytrace_capture.h"

namespace {

constexpr size_t kHeldMax = sizeof(ycurs_ctx_s::input_read_buf);

// The stored keys by their bytes, a zero byte where the text had 0x80.
using Keys = std::map<std::string, uint16_t>;

// -1 while a longer key starts with the held bytes; else the code of the longest
// key they start with; else 0.
int lookup(const Keys &keys, const std::string &held) {
  auto next = keys.upper_bound(held);
  if (next != keys.end() && next->first.starts_with(held)) return -1;
  for (size_t n = held.size(); n > 0; n--)
    if (auto k = keys.find(held.substr(0, n)); k != keys.end()) return k->second;
  return 0;
}

struct Model {
  std::string held;
  bool ended = false;

  int hand_back() {
    int first = static_cast<uint8_t>(held[0]);
    held.erase(0, 1);
    return first;
  }
  int step(const Keys &keys, int arrival) {
    if (arrival >= 0) {
      held += static_cast<char>(arrival);
      int r = lookup(keys, held);
      if (r == -1 && held.size() < kHeldMax) return YCURS_NOTHING;  // a full buffer cannot wait
      if (r > 0) return held.clear(), r;
      return hand_back();
    }
    if (arrival == kEndOfInput) ended = true;
    if (!held.empty()) return hand_back();
    return ended ? YCURS_ENDED : YCURS_NOTHING;
  }
};

// Key bytes, 0x80 standing for a zero byte, and now and then any byte (a zero one
// ends the text).
std::string key_text(FuzzInput &in) {
  static const char kBytes[] = "\x1b[O1~\x80";
  std::string s;
  for (uint32_t n = 1 + in.below(18); n > 0; n--) {
    uint32_t pick = in.below(7);
    s += pick < 6 ? kBytes[pick] : static_cast<char>(in.byte());
  }
  return s.substr(0, strlen(s.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static uint32_t registration;
  ytrace_module_init_fn("ycurs", &g_ycurs_trace_module_id, &registration);
  FuzzInput in(data, size);
  ycurs_ctx_s ctx{};
  int32_t ended = 0;
  Keys keys;
  for (uint32_t n = in.below(6); n > 0; n--) {
    std::string text = key_text(in);
    uint16_t code = static_cast<uint16_t>(YCURS_KEY_F(1 + in.below(4)));
    if (ycurs_add_to_try(&ctx.keytry, text.c_str(), code) != 0) continue;  // an empty text
    for (char &c : text) c = c == '\x80' ? 0 : c;
    keys[text] = code;
  }
  Model m;
  static const char kArrivals[] = "\x1b[O1~";
  while (!in.empty()) {
    uint32_t pick = in.below(16);
    int arrival = pick < 5    ? static_cast<uint8_t>(kArrivals[pick])
                  : pick < 8  ? 0
                  : pick < 11 ? in.byte()
                  : pick < 15 ? kNoArrival
                              : kEndOfInput;
    if (m.ended) arrival = kNoArrival;  // nothing is read after end of input
    ytrace_capture_clear();
    int got = key_reader_step(&ctx, arrival, &ended);
    int want = m.step(keys, arrival);
    FUZZ_REQUIRE(got == want, "arrival %d gave %d, model %d (%zu bytes held)", arrival, got, want,
                 m.held.size());
    FUZZ_REQUIRE(ctx.input_read_buf_used == m.held.size() &&
                     std::string(reinterpret_cast<char *>(ctx.input_read_buf), kHeldMax) ==
                         m.held + std::string(kHeldMax - m.held.size(), '\0'),
                 "%u bytes held, model %zu", ctx.input_read_buf_used, m.held.size());
    ytrace_capture_record_s r;
    FUZZ_REQUIRE(ytrace_capture_count() == 1 && ytrace_capture_get(0, &r) == 0 &&
                     r.message_index == ycurs_msg::RETURNING && r.arg_count == 1 &&
                     static_cast<int32_t>(r.args[0].number) == got,
                 "%zu records kept, the last not the result's", ytrace_capture_count());
  }
  ycurs_free_keytry(ctx.keytry);
  return 0;
}
