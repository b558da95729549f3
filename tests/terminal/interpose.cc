// Failures on demand: these definitions in the test program take the place of the
// C library's for every caller, the library under test included.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <termios.h>
#include <unistd.h>

#include "harness.h"

int g_fail_tcsetattr_errno;
int g_fail_fpathconf;
int g_read_eagain_times;
int g_read_returns_two;

template <typename F>
F next_definition(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

extern "C" int tcsetattr(int fd, int action, const struct termios *t) {
  if (g_fail_tcsetattr_errno != 0) {
    errno = g_fail_tcsetattr_errno;
    return -1;
  }
  static auto real = next_definition<int (*)(int, int, const termios *)>("tcsetattr");
  return real(fd, action, t);
}

extern "C" long fpathconf(int fd, int name) {
  if (g_fail_fpathconf) {
    errno = EINVAL;
    return -1;
  }
  static auto real = next_definition<long (*)(int, int)>("fpathconf");
  return real(fd, name);
}

extern "C" ssize_t read(int fd, void *buf, size_t n) {
  if (fd == 0 && g_read_eagain_times > 0) {
    g_read_eagain_times--;
    errno = EAGAIN;
    return -1;
  }
  static auto real = next_definition<ssize_t (*)(int, void *, size_t)>("read");
  ssize_t r = real(fd, buf, n);
  return fd == 0 && g_read_returns_two && r == 1 ? 2 : r;
}
