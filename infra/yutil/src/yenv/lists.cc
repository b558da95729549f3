// SPDX-License-Identifier: MIT
// Lists of variables: removed, or printed to a caller's descriptor.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "internal.h"

namespace {

// "name=value\n" and its length, or -1 when a piece fails. Written piece by piece
// rather than formatted: glibc's fprintf (2.37 on) passes a long value through the
// stream's buffer, one write(2) per buffer, where fwrite hands it over in one.
long long put_line(FILE *out, const char *name, const char *val) {
  size_t name_len = strlen(name), val_len = strlen(val);
  if (fwrite(name, 1, name_len, out) != name_len || fputc('=', out) == EOF ||
      fwrite(val, 1, val_len, out) != val_len || fputc('\n', out) == EOF) {
    return -1;
  }
  return static_cast<long long>(name_len) + static_cast<long long>(val_len) + 2;
}

}  // namespace

extern "C" {

void yunsetenv_list(const char *const *list) {
  for (; list != nullptr && *list != nullptr; list++) {
    ytrace::emit_if_kept<yenv_msg::UNSETENV>(yenv::trace_id(), ytrace::Level::info, *list);
    unsetenv(*list);
  }
}

int yprintenv_list(int fd, const char *const *list, int all) {
  ytrace::emit_if_kept<yenv_msg::PRINT_LIST>(yenv::trace_id(), ytrace::Level::info, fd, all);
  // The stream works on a private duplicate so that closing it leaves fd open.
  // Close-on-exec keeps the duplicate out of a program another thread starts
  // meanwhile (a pipe's writer left in a child would hold off its end of file).
  int dup_fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (dup_fd == -1) {
    ytrace::emit_if_kept<yenv_msg::DUP_FAILED>(yenv::trace_id(), ytrace::Level::failure, fd);
    return -1;
  }
  // Append mode puts the lines at the end of the file, not over whatever lies at
  // the shared offset. fdopen sets O_APPEND on the open file the duplicate shares
  // with fd, so its own status flags are kept here and put back before return.
  int flags = fcntl(dup_fd, F_GETFL);
  FILE *out = flags == -1 ? nullptr : fdopen(dup_fd, "a");
  if (out == nullptr) {
    ytrace::emit_if_kept<yenv_msg::FDOPEN_FAILED>(yenv::trace_id(), ytrace::Level::failure, dup_fd);
    close(dup_fd);
    return -1;
  }

  int total = 0;
  bool lost = false, overflow = false;
  for (; list != nullptr && *list != nullptr; list++) {
    const char *val = nullptr;
    int res = ygetenv(*list, &val);
    if (res != 0) {
      YENV_ASSERT(res == 2);
      if (all == 0) continue;
      val = "";
    }
    YENV_ASSERT(val);
    // A line past INT_MAX characters is an overflowing total like any other.
    long long written = put_line(out, *list, val);
    if (written < 0) {
      lost = true;
    } else if (__builtin_add_overflow(total, written, &total)) {
      overflow = true;  // the walk goes on: every line is still written
    }
  }
  // The lines still buffered go out while O_APPEND holds, then the caller's flags
  // return. A failed flush lost lines as surely as a failed write, and neither
  // may pass for a count of characters written.
  if (fflush(out) != 0) lost = true;
  fcntl(dup_fd, F_SETFL, flags);
  if (fclose(out) != 0) lost = true;
  if (lost) return -1;
  if (overflow) {
    errno = EOVERFLOW;  // as printf reports a count beyond an int
    return -1;
  }
  return total;
}

}  // extern "C"
