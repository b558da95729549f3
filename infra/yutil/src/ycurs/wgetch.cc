// Key reader: one poll and at most one byte per call, never waiting. Bytes that
// may still grow into a key sequence are held in the context between calls.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <unistd.h>

#include "ycurs_internal.h"

namespace {

constexpr uint32_t kHeldMax = sizeof(ycurs_ctx_s::input_read_buf);

// Set by the first read that meets end of input, on any context; never cleared.
int32_t ycurs_input_ended;

bool input_ready(int fd) {
  int n;
  do {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval no_wait = {0, 0};
    n = select(fd + 1, &readable, nullptr, nullptr, &no_wait);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    ytrace::emit<ycurs_msg::SELECT_FAILED>(g_ycurs_trace_module_id, ytrace::Level::fatal,
                                           strerror(errno));
    abort();
  }
  return n > 0;
}

// Returns the first held byte and moves the others down one place.
int hand_back(ycurs_ctx_s *ctx) {
  unsigned char *held = ctx->input_read_buf;
  int first = held[0];
  uint32_t rest = --ctx->input_read_buf_used;
  if (rest != 0) memmove(held, held + 1, rest);
  held[rest] = 0;
  return first;
}

// Reads one byte into the buffer and looks the held bytes up.
int read_and_check(ycurs_ctx_s *ctx) {
  ssize_t nbytes;
  do {
    nbytes = read(ctx->input_fd, &ctx->input_read_buf[ctx->input_read_buf_used], 1);
  } while (nbytes < 0 && (errno == EAGAIN || errno == EINTR));
  if (nbytes < 0) {
    ytrace::emit<ycurs_msg::READ_FAILED>(g_ycurs_trace_module_id, ytrace::Level::fatal,
                                         strerror(errno));
    abort();
  }
  if (nbytes == 0) {
    ytrace::emit<ycurs_msg::END_OF_INPUT>(g_ycurs_trace_module_id, ytrace::Level::debug);
    ycurs_input_ended = 1;
    return 0;
  }
  YCURS_ASSERT(nbytes == 1);
  uint32_t used = ++ctx->input_read_buf_used;

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

int next_result(ycurs_ctx_s *ctx) {
  if (!ycurs_input_ended && input_ready(ctx->input_fd)) {
    // End of input met by this read falls through to the hand-back.
    int r = read_and_check(ctx);
    if (!ycurs_input_ended) return r;
  }
  if (ctx->input_read_buf_used == 0) return ycurs_input_ended ? YCURS_ENDED : YCURS_NOTHING;
  return hand_back(ctx);
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

extern "C" int ycurs_wgetch(ycurs_ctx_s *ctx) {
  int result = next_result(ctx);
  ytrace::emit<ycurs_msg::RETURNING>(g_ycurs_trace_module_id, ytrace::Level::info, result);
  return result;
}
