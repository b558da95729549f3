// SPDX-License-Identifier: MIT
// The key reader's decoding apart from the terminal: a context's held bytes and
// trie, plus what one poll and read gave, make one result and its trace records.
// ycurs_wgetch polls and reads beneath it; tests and fuzzers feed it directly.
#ifndef YUTIL_SRC_YCURS_KEY_READER_H
#define YUTIL_SRC_YCURS_KEY_READER_H

#include "ycurs.h"

// What a poll and read gave when it was not a byte (0 to 255): nothing ready, or no
// poll since input had already ended; or a read that met end of input.
constexpr int kNoArrival = -1;
constexpr int kEndOfInput = -2;

// One call of the key reader on `arrival`. `input_ended` is the end-of-input flag:
// set here by kEndOfInput, and read to tell YCURS_ENDED from YCURS_NOTHING when no
// byte is held. Emits the call's trace records, ending with the result's, and
// returns the result.
int key_reader_step(ycurs_ctx_s *ctx, int arrival, int32_t *input_ended);

#endif
