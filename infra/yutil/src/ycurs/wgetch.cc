// SPDX-License-Identifier: MIT
// Key reader on the terminal: one poll and at most one byte per call, never
// waiting. What the byte means is decided by key_reader_step.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <unistd.h>

#include "key_reader.h"
#include "ycurs_internal.h"

namespace {

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

// The byte the terminal has ready, kNoArrival or kEndOfInput.
int poll_and_read(int fd) {
  if (!input_ready(fd)) return kNoArrival;
  unsigned char byte;
  ssize_t nbytes;
  do {
    nbytes = read(fd, &byte, 1);
  } while (nbytes < 0 && (errno == EAGAIN || errno == EINTR));
  if (nbytes < 0) {
    ytrace::emit<ycurs_msg::READ_FAILED>(g_ycurs_trace_module_id, ytrace::Level::fatal,
                                         strerror(errno));
    abort();
  }
  if (nbytes == 0) return kEndOfInput;
  YCURS_ASSERT(nbytes == 1);
  return byte;
}

}  // namespace

extern "C" int ycurs_wgetch(ycurs_ctx_s *ctx) {
  // Once input has ended, no context polls or reads again.
  int arrival = ycurs_input_ended ? kNoArrival : poll_and_read(ctx->input_fd);
  return key_reader_step(ctx, arrival, &ycurs_input_ended);
}
