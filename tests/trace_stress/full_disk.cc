// SPDX-License-Identifier: MIT
// A disk that fills up, in the traced writer: with TRACED_WRITER_DISK_BYTES set,
// space asked for past that many bytes of a file is refused with ENOSPC, as a full
// disk refuses it. These definitions take the C library's place for every caller,
// the trace stand-in included, which grows the file with fallocate only; the
// 64-bit form is what 32-bit builds with 64-bit file offsets call.
// Each form defined apart: with 64-bit offsets the headers would name fallocate
// fallocate64 here. 64-bit time (a compiler default on Debian 13 armhf) needs
// 64-bit offsets, and nothing here uses time.
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>

namespace {

const char *const limit_text = getenv("TRACED_WRITER_DISK_BYTES");
const long long limit = limit_text != nullptr ? atoll(limit_text) : -1;

bool refused(long long offset, long long length) {
  return limit >= 0 && offset + length > limit;
}

template <typename Fn>
Fn real(const char *name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fallocate(int fd, int mode, off_t offset, off_t length) {
  if (refused(offset, length)) return errno = ENOSPC, -1;
  return real<int (*)(int, int, off_t, off_t)>("fallocate")(fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  if (refused(offset, length)) return errno = ENOSPC, -1;
  return real<int (*)(int, int, off64_t, off64_t)>("fallocate64")(fd, mode, offset, length);
}

}  // extern "C"
