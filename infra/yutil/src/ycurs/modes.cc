// SPDX-License-Identifier: MIT
// Input modes: changes accumulate in the working attributes, and each operation
// applies the whole working copy.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "ycurs_internal.h"

namespace {

int apply(ycurs_ctx_s *ctx) {
  if (!isatty(ctx->input_fd)) return 0;
  if (tcsetattr(ctx->input_fd, TCSAFLUSH, &ctx->cur_attrs) < 0) {
    int err = errno;
    ytrace::emit<ycurs_msg::SET_ATTRS_FAILED>(g_ycurs_trace_module_id, ytrace::Level::failure,
                                              ctx->input_fd, strerror(err));
    return err;
  }
  return 0;
}

}  // namespace

extern "C" {

int ycurs_cbreak(ycurs_ctx_s *ctx) {
  ctx->cur_attrs.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
  ctx->cur_attrs.c_lflag &= ~static_cast<tcflag_t>(ICANON);
  ctx->cur_attrs.c_lflag |= ISIG;
  ctx->cur_attrs.c_cc[VTIME] = 0;
  ctx->cur_attrs.c_cc[VMIN] = 1;
  return apply(ctx);
}

int ycurs_noecho(ycurs_ctx_s *ctx) {
  ctx->cur_attrs.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  return apply(ctx);
}

int ycurs_intr(ycurs_ctx_s *ctx, int32_t on) {
  long c;
  if (on != 0) {
    c = ctx->saved_attrs.c_cc[VINTR];
  } else {
    c = fpathconf(STDIN_FILENO, _PC_VDISABLE);
    if (c == -1) {
      ytrace::emit<ycurs_msg::DISABLE_INTR_FAILED>(g_ycurs_trace_module_id, ytrace::Level::fatal);
      abort();
    }
  }
  ctx->cur_attrs.c_cc[VINTR] = static_cast<cc_t>(c & 0xff);
  return apply(ctx);
}

int ycurs_meta(ycurs_ctx_s *ctx, int32_t on) {
  if (ctx->screen_mode == 0) return 0;
  put_term_cap(ctx, on != 0 ? "mm" : "mo");
  return 0;
}

}  // extern "C"
