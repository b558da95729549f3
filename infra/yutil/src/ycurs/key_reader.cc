// SPDX-License-Identifier: MIT
// The key reader's decoding: held bytes, lookup, hand-back and end of input. It
// never touches the terminal, so any order of arrivals and calls can be fed to it.
#include "key_reader.h"

#include <string.h>

#include "ycurs_internal.h"

namespace {

// Returns the first held byte and moves the others down one place. The place
// freed at the end is cleared: the buffer holds nothing past the held bytes.
int hand_back(ycurs_ctx_s *ctx) {
  unsigned char *held = ctx->input_read_buf;
  int first = held[0];
  uint32_t rest = --ctx->input_read_buf_used;
  if (rest != 0) memmove(held, held + 1, rest);
  held[rest] = 0;
  return first;
}

// Adds `byte` to the held bytes and looks them all up.
int check(ycurs_ctx_s *ctx, uint8_t byte) {
  uint32_t used = ctx->input_read_buf_used;
  ctx->input_read_buf[used++] = byte;
  ctx->input_read_buf_used = used;

  ycurs_trace_with_bytes<ycurs_msg::CURRENT_BUFFER>(
      reinterpret_cast<const char *>(ctx->input_read_buf), used);

  int r = key_lookup(ctx->keytry, ctx->input_read_buf, used);
  // A full buffer cannot wait for more: the next byte would have no room. So a
  // sequence longer than the buffer is never decoded; its bytes come back.
  if (r == -1 && used < kHeldMax) {
    ytrace::emit<ycurs_msg::PARTIAL_MATCH>(g_ycurs_trace_module_id, ytrace::Level::debug);
    return YCURS_NOTHING;
  }
  if (r <= 0) {
    ytrace::emit<ycurs_msg::NO_MATCH>(g_ycurs_trace_module_id, ytrace::Level::debug);
    return hand_back(ctx);
  }
  ytrace::emit<ycurs_msg::EXACT_MATCH>(g_ycurs_trace_module_id, ytrace::Level::debug, r);
  memset(ctx->input_read_buf, 0, kHeldMax);
  ctx->input_read_buf_used = 0;
  return r;
}

}  // namespace

void ycurs_trace_bytes(const char *bytes, size_t max) {
  if (bytes == nullptr) {
    ytrace::emit_continuation<ycurs_msg::BYTES_TEXT>("(empty)");
    return;
  }
  for (size_t i = 0; i < max && bytes[i] != 0; i++) {
    ytrace::emit_continuation<ycurs_msg::BYTE_VALUE>(static_cast<unsigned char>(bytes[i]));
  }
}

int key_reader_step(ycurs_ctx_s *ctx, int arrival, int32_t *input_ended) {
  int result;
  if (arrival >= 0) {
    result = check(ctx, static_cast<uint8_t>(arrival));
  } else {
    if (arrival == kEndOfInput) {
      ytrace::emit<ycurs_msg::END_OF_INPUT>(g_ycurs_trace_module_id, ytrace::Level::debug);
      *input_ended = 1;
    }
    // Nothing new: one held byte comes back, whether or not input has ended.
    if (ctx->input_read_buf_used != 0) {
      result = hand_back(ctx);
    } else {
      result = *input_ended ? YCURS_ENDED : YCURS_NOTHING;
    }
  }
  ytrace::emit<ycurs_msg::RETURNING>(g_ycurs_trace_module_id, ytrace::Level::info, result);
  return result;
}
