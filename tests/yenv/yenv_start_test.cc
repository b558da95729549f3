// SPDX-License-Identifier: MIT
// The module start, in a process of its own: records made before it carry module
// id 0 (those of the getters and addresses: their fuzz targets), and concurrent
// first calls register once and trace under the new id.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "yenv_records.h"
#include "yenv.h"

namespace {

// Threads released together make the first calls; exits 0 when the start
// happened once, before every other record, and all records carry the new id.
void race_first_calls() {
  std::atomic<int> waiting{4};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&waiting, t] {
      for (--waiting; waiting > 0;) {
      }
      t % 2 ? yenv_init() : (void)ygetenv("YE_PRE", nullptr);
    });
  for (auto &t : threads) t.join();
  uint16_t id = ytrace_capture_module_id("yenv");
  std::vector<TraceRecord> trace = take_trace();
  bool ok = id != 0 && g_yenv_trace_module_id == id && ytrace_capture_registrations("yenv") == 1 &&
            trace.size() == 1 + 2 * 2 && trace[0] == rec(MODULE_STARTED, 6, {}, id);
  for (size_t i = 1; i < trace.size(); i++)
    ok = ok && trace[i].index != MODULE_STARTED && trace[i].module_id == id;
  exit(ok ? 0 : 1);
}

TEST(EnvStart, RecordsBeforeTheStartCarryIdZeroAndConcurrentStartsRegisterOnce) {
  const char *list[] = {"YE_GONE", nullptr};
  ysetenv("YE_PRE", "1");
  ysetenv_u32("YE_PRE", 2);
  yunsetenv("YE_PRE");
  yunsetenv_list(list);
  std::vector<TraceRecord> before = take_trace();
  EXPECT_EQ(before.size(), 5u);
  for (const TraceRecord &r : before) EXPECT_EQ(r.module_id, 0) << r;
  EXPECT_EQ(ytrace_capture_registrations("yenv"), 0u);

  // Each round in a child of this still unstarted process.
  for (int round = 0; round < 50; round++)
    EXPECT_EXIT(race_first_calls(), testing::ExitedWithCode(0), "") << round;
}

}  // namespace
