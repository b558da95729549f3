// SPDX-License-Identifier: MIT
// Function keys: their sequences come from the terminal entry into the trie.
#include <string.h>

#include "ycurs_internal.h"

void load_key(ycurs_ctx_s *ctx, const ycurs_fkey_s &key, const char *seq) {
  ycurs_trace_with_bytes<ycurs_msg::LOADED_SEQUENCE>(seq, kCapAreaSize, key.key_name, key.cap_name);
  if (seq == nullptr) return;
  if (int err = ycurs_add_to_try(&ctx->keytry, seq, key.key_code)) {
    ytrace::emit<ycurs_msg::ADD_SEQUENCE_FAILED>(g_ycurs_trace_module_id, ytrace::Level::failure,
                                                 key.key_name, strerror(err));
  }
}

extern "C" {

const ycurs_fkey_s ycurs_fkeys[YCURS_FKEY_COUNT + 1] = {
    {YCURS_KEY_UP, "ku", "KEY_UP"},
    {YCURS_KEY_DOWN, "kd", "KEY_DOWN"},
    {YCURS_KEY_LEFT, "kl", "KEY_LEFT"},
    {YCURS_KEY_RIGHT, "kr", "KEY_RIGHT"},
    {YCURS_KEY_F(1), "k1", "KEY_F1"},
    {YCURS_KEY_F(2), "k2", "KEY_F2"},
    {YCURS_KEY_F(3), "k3", "KEY_F3"},
    {YCURS_KEY_F(4), "k4", "KEY_F4"},
    {YCURS_KEY_F(5), "k5", "KEY_F5"},
    {YCURS_KEY_F(6), "k6", "KEY_F6"},
    {YCURS_KEY_F(7), "k7", "KEY_F7"},
    {YCURS_KEY_F(8), "k8", "KEY_F8"},
    {YCURS_KEY_F(9), "k9", "KEY_F9"},
    {YCURS_KEY_F(10), "k;", "KEY_F10"},
    {YCURS_KEY_F(11), "F1", "KEY_F11"},
    {YCURS_KEY_F(12), "F2", "KEY_F12"},
    {YCURS_KEY_ENTER, "@8", "KEY_ENTER"},
    {YCURS_KEY_HOME, "kh", "KEY_HOME"},
    {YCURS_KEY_END, "@7", "KEY_END"},
    {YCURS_KEY_BACKSPACE, "kb", "KEY_BACKSPACE"},
    {0, nullptr, nullptr},
};

int ycurs_keypad(ycurs_ctx_s *ctx, int32_t on) {
  put_term_cap(ctx, on != 0 ? "ks" : "ke");
  if (on == 0) return 0;  // loaded keys stay decodable

  for (size_t row = 0; row < YCURS_FKEY_COUNT; row++) {
    char buf[kCapAreaSize];
    load_key(ctx, ycurs_fkeys[row], fetch_term_cap(ycurs_fkeys[row].cap_name, buf));
  }
  return 0;
}

}  // extern "C"
