// SPDX-License-Identifier: MIT
// These definitions in the test program take the C library's place for every
// caller, the library under test included.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "harness.h"

int g_fail_tcsetattr_errno, g_fail_fpathconf, g_read_eagain_times, g_read_returns_two, g_fail_fork;
std::string g_pids_used;

// glibc's check failure: prints "buffer overflow detected" and aborts.
extern "C" [[noreturn]] void __chk_fail();

#define REAL(name, type) reinterpret_cast<type>(dlsym(RTLD_NEXT, name))

extern "C" int tcsetattr(int fd, int action, const struct termios *t) {
  if (g_fail_tcsetattr_errno) return errno = g_fail_tcsetattr_errno, -1;
  return REAL("tcsetattr", int (*)(int, int, const termios *))(fd, action, t);
}

extern "C" long fpathconf(int fd, int name) {
  if (g_fail_fpathconf) return errno = EINVAL, -1;
  return REAL("fpathconf", long (*)(int, int))(fd, name);
}

extern "C" pid_t fork() {
  if (g_fail_fork) return errno = EAGAIN, -1;
  return REAL("fork", pid_t(*)())();
}

extern "C" int kill(pid_t pid, int sig) {
  g_pids_used += " kill " + std::to_string(pid);
  // Every process the user may signal: no test means that, whatever the code asks.
  if (pid == -1) return errno = EPERM, -1;
  return REAL("kill", int (*)(pid_t, int))(pid, sig);
}

extern "C" pid_t waitpid(pid_t pid, int *status, int options) {
  g_pids_used += " waitpid " + std::to_string(pid);
  return REAL("waitpid", pid_t(*)(pid_t, int *, int))(pid, status, options);
}

extern "C" ssize_t read(int fd, void *buf, size_t n) {
  if (fd == 0 && g_read_eagain_times > 0) return g_read_eagain_times--, errno = EAGAIN, -1;
  ssize_t r = REAL("read", ssize_t(*)(int, void *, size_t))(fd, buf, n);
  return fd == 0 && g_read_returns_two && r == 1 ? 2 : r;
}

// With _FORTIFY_SOURCE the compiler may call the checked form instead (clang 19 with
// glibc 2.41 does); it must meet the same failures.
extern "C" ssize_t __read_chk(int fd, void *buf, size_t n, size_t buf_size) {
  if (n > buf_size) __chk_fail();
  return read(fd, buf, n);
}
