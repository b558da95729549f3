// SPDX-License-Identifier: MIT
#include "writer_liveness.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace ytdec {

bool writer_gone(uint32_t pid, uint64_t instance) {
  // Larger pids are none (and kill would take them for process groups).
  if (pid == 0 || pid > INT_MAX) return true;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
  char path[32], stat[1024];
  snprintf(path, sizeof path, "/proc/%u/stat", pid);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;  // it ended since; otherwise /proc cannot tell
  ssize_t n = read(fd, stat, sizeof stat - 1);
  close(fd);
  if (n <= 0) return false;
  stat[n] = 0;
  // Fields after the command, which may hold anything but ends at the last ')':
  // 3 the state, 22 the start time.
  const char *p = strrchr(stat, ')');
  if (p == nullptr || p[1] != ' ') return false;
  const char state = p[2];
  if (state == 'Z' || state == 'X') return true;
  for (int field = 3; field <= 22 && p != nullptr; ++field) p = strchr(p + 1, ' ');
  return instance != 0 && p != nullptr && strtoull(p + 1, nullptr, 10) != instance;
}

}  // namespace ytdec
