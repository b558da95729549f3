// SPDX-License-Identifier: MIT
// Module start. Concurrent first calls are serialised by a once-guard, so there
// is one registration and one start record, and no caller goes on to trace
// under id 0 while another is still registering.
#include <pthread.h>

#include "internal.h"

extern "C" {
uint16_t g_yenv_trace_module_id = 0;
uint32_t yenv_init_count = 0;
}

namespace {

// Handed to the trace facility; the module never touches it.
uint32_t registration_word = 0;
pthread_once_t start_once = PTHREAD_ONCE_INIT;

void register_module() {
  ytrace_module_init_fn("yenv", &g_yenv_trace_module_id, &registration_word);
  ytrace::emit_if_kept<yenv_msg::MODULE_STARTED>(yenv::trace_id(), ytrace::Level::info);
  __atomic_store_n(&yenv_init_count, yenv_init_count + 1, __ATOMIC_RELEASE);
}

}  // namespace

void yenv::start() {
  // The counter spares every later call the once-guard.
  if (__atomic_load_n(&yenv_init_count, __ATOMIC_ACQUIRE) != 0) return;
  pthread_once(&start_once, register_module);
}

extern "C" void yenv_init() {
  yenv::start();
}
