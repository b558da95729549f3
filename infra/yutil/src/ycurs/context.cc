// SPDX-License-Identifier: MIT
// Terminal context: creation from standard input and TERM, restore and release.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <termcap.h>
#include <unistd.h>

#include "alloc_tags.h"
#include "ycurs_internal.h"

extern "C" {
uint16_t g_ycurs_trace_module_id;
}

namespace {

uint32_t g_ycurs_trace_registration;

ycurs_ctx_s *create(int32_t screen_mode) {
  // Registered at every creation: the facility makes a repeat harmless.
  ytrace_module_init_fn("ycurs", &g_ycurs_trace_module_id, &g_ycurs_trace_registration);

  auto *ctx = static_cast<ycurs_ctx_s *>(
      YUTIL_QUILLET_CALLOC(kSiteContext, ycurs_ctx_s, sizeof(ycurs_ctx_s)));
  if (ctx == nullptr) {
    ytrace::emit<ycurs_msg::ALLOC_CONTEXT_FAILED>(g_ycurs_trace_module_id, ytrace::Level::failure,
                                                  strerror(errno));
    return nullptr;
  }
  ctx->screen_mode = screen_mode;
  ctx->output_fd = STDOUT_FILENO;

  const char *term = getenv("TERM");
  if (!isatty(STDIN_FILENO)) {
    ytrace::emit<ycurs_msg::NOT_A_TERMINAL>(g_ycurs_trace_module_id, ytrace::Level::debug);
    ctx->cur_attrs = ctx->saved_attrs;
    ytrace::emit<ycurs_msg::TERM_NOT_SET>(g_ycurs_trace_module_id, ytrace::Level::info);
    return ctx;
  }
  if (tcgetattr(ctx->input_fd, &ctx->saved_attrs) != 0) {
    ytrace::emit<ycurs_msg::GET_ATTRS_FAILED>(g_ycurs_trace_module_id, ytrace::Level::failure,
                                              ctx->input_fd, strerror(errno));
    __quillet_free(ctx);
    return nullptr;
  }
  ctx->cur_attrs = ctx->saved_attrs;

  if (term == nullptr) {
    ytrace::emit<ycurs_msg::TERM_NOT_SET>(g_ycurs_trace_module_id, ytrace::Level::info);
    return ctx;
  }
  if (tgetent(nullptr, term) <= 0) {
    ytrace::emit<ycurs_msg::TERM_UNKNOWN>(g_ycurs_trace_module_id, ytrace::Level::info, term);
    return ctx;
  }
  // Initialisation strings is1, is2, is3; termcap names is3 "i2".
  put_term_cap(ctx, "i1");
  put_term_cap(ctx, "is");
  put_term_cap(ctx, "i2");
  return ctx;
}

}  // namespace

extern "C" {

ycurs_ctx_s *ycurs_initscr(void) {
  return create(1);
}

ycurs_ctx_s *ycurs_initterm(void) {
  return create(0);
}

void ycurs_endwin(ycurs_ctx_s *ctx) {
  if (ctx == nullptr) return;
  put_term_cap(ctx, "ke");
  if (isatty(ctx->input_fd)) {
    if (tcsetattr(ctx->input_fd, TCSAFLUSH, &ctx->saved_attrs) < 0) {
      ytrace::emit<ycurs_msg::RESET_ATTRS_FAILED>(g_ycurs_trace_module_id, ytrace::Level::failure,
                                                  ctx->input_fd, strerror(errno));
    }
  } else {
    ytrace::emit<ycurs_msg::NOT_A_TERMINAL_AT_END>(g_ycurs_trace_module_id, ytrace::Level::debug);
  }
}

void ycurs_free(ycurs_ctx_s *ctx) {
  if (ctx == nullptr) return;
  ycurs_free_keytry(ctx->keytry);
  __quillet_free(ctx);
}

}  // extern "C"
