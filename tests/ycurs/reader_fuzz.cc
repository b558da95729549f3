// SPDX-License-Identifier: MIT
// The key reader's decoding against a model of its rules: a few stored keys of up
// to 18 bytes, zero bytes among them, then arrivals interleaved with calls (a byte,
// nothing, end of input). Each call's result, the bytes then held and the records
// it keeps must agree with the model: once at the default level, where only the
// result's is kept, once at level 7, where every step is.
#include <map>
#include <string>
#include <vector>

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

// A record as "INDEX LLEVEL", "+" after the level for a continuation, then its
// number, if any.
std::string shown(uint32_t index, uint32_t level, bool continued, const std::string &arg = "") {
  return std::to_string(index) + " L" + std::to_string(level) + (continued ? "+" : "") +
         (arg.empty() ? "" : " " + arg);
}

struct Model {
  bool debug = false;  // level 7 kept
  std::string held;
  bool ended = false;
  std::vector<std::string> kept;  // by the last call

  void note(uint32_t index, const std::string &arg = "", bool continued = false) {
    if (debug) kept.push_back(shown(index, 7, continued, arg));
  }
  int hand_back() {
    int first = static_cast<uint8_t>(held[0]);
    held.erase(0, 1);
    return first;
  }
  int decide(const Keys &keys, int arrival) {
    if (arrival < 0) {
      if (arrival == kEndOfInput) ended = true, note(ycurs_msg::END_OF_INPUT);
      if (!held.empty()) return hand_back();
      return ended ? YCURS_ENDED : YCURS_NOTHING;
    }
    held += static_cast<char>(arrival);
    note(ycurs_msg::CURRENT_BUFFER);  // the held bytes up to a zero one
    for (size_t i = 0; i < held.size() && held[i] != 0; i++)
      note(ycurs_msg::BYTE_VALUE, std::to_string(static_cast<uint8_t>(held[i])), true);
    int r = lookup(keys, held);
    // A full buffer cannot wait: the next byte would have no room.
    if (r == -1 && held.size() < kHeldMax) return note(ycurs_msg::PARTIAL_MATCH), YCURS_NOTHING;
    if (r > 0) return note(ycurs_msg::EXACT_MATCH, std::to_string(r)), held.clear(), r;
    return note(ycurs_msg::NO_MATCH), hand_back();
  }
  int step(const Keys &keys, int arrival) {
    kept.clear();
    int r = decide(keys, arrival);
    kept.push_back(shown(ycurs_msg::RETURNING, 6, false, std::to_string(r)));
    return r;
  }
};

// Key bytes, 0x80 standing for a zero byte, and now and then any byte (a zero one
// ends the text).
std::string key_text(FuzzInput &in) {
  std::string s;
  for (uint32_t n = 1 + in.below(18); n > 0; n--) {
    uint32_t pick = in.below(7);
    s += pick < 6 ? "\x1b[O1~\x80"[pick] : static_cast<char>(in.byte());
  }
  return s.substr(0, strlen(s.c_str()));
}

void run(const uint8_t *data, size_t size, bool debug) {
  ytrace_capture_set_level("ycurs", debug ? 7 : 6);
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
  m.debug = debug;
  while (!in.empty()) {
    uint32_t pick = in.below(16);
    int arrival = pick < 5    ? static_cast<uint8_t>("\x1b[O1~"[pick])
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
    std::vector<std::string> kept;
    ytrace_capture_record_s r;
    for (size_t i = 0; ytrace_capture_get(i, &r) == 0; i++) {
      bool ours = r.catalog == ytrace_catalog_ycurs && r.module_id == g_ycurs_trace_module_id &&
                  (r.level_word & ~0xff010000u) == 0 && r.arg_count <= 1;
      kept.push_back(ours ? shown(r.message_index, r.level_word >> 24, r.level_word & 0x10000,
                                  r.arg_count ? std::to_string(int32_t(r.args[0].number)) : "")
                          : "foreign");
    }
    FUZZ_REQUIRE(kept == m.kept, "arrival %d: %zu records kept, model %zu, the last %s", arrival,
                 kept.size(), m.kept.size(), kept.empty() ? "none" : kept.back().c_str());
  }
  ycurs_free_keytry(ctx.keytry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static uint32_t registration;
  ytrace_module_init_fn("ycurs", &g_ycurs_trace_module_id, &registration);
  for (bool debug : {false, true}) run(data, size, debug);
  return 0;
}
