// SPDX-License-Identifier: MIT
// Whether the process that wrote a block still runs: only then may an entry it
// marked as being written still be finished.
#ifndef YTRACE_DECODE_WRITER_LIVENESS_H
#define YTRACE_DECODE_WRITER_LIVENESS_H

#include <stdint.h>

namespace ytdec {

// True if no process `pid` runs, it is a zombie or dead, or (when `instance`,
// its start time in clock ticks after boot, is nonzero) the process that now
// has that pid started at another time.
bool writer_gone(uint32_t pid, uint64_t instance);

}  // namespace ytdec

#endif
