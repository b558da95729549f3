// SPDX-License-Identifier: MIT
// One call of the trace emitters, given as CALL by the test that compiles it.
#include "trace.h"

void emit_call() {
  CALL;
}
