// The stand-ins behave as the library and its tests rely on.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>

#include <thread>
#include <vector>

#include "quillet.h"
#include "quillet_testing.h"
#include "trace_records.h"
#include "ycurs.h"
#include "ytrace.h"

namespace {

// A catalog-shaped block: version, ordinal, then the identity the records point at.
const unsigned char kFakeCatalog[20] = {1, 0, 1, 0};
const void *const kCatalog = kFakeCatalog + 4;

TEST(TraceStandin, RegistrationGivesOneStableNonzeroIdPerName) {
  uint16_t a = 0, a_again = 0, b = 0;
  uint32_t word = 0;
  ytrace_module_init_fn("standin_a", &a, &word);
  ytrace_module_init_fn("standin_b", &b, &word);
  ytrace_module_init_fn("standin_a", &a_again, &word);
  EXPECT_NE(a, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, a_again);
  EXPECT_EQ(ytrace_capture_registrations("standin_a"), 2u);
}

TEST(TraceStandin, KeepsLevelsUpToThresholdWithTypedArguments) {
  uint16_t id = 0;
  uint32_t word = 0;
  ytrace_module_init_fn("standin_levels", &id, &word);
  take_trace();
  __YTf_114(kCatalog, 3, id, 6u << 24, "name", nullptr, 0x41);
  __YTf_15(kCatalog, 4, id, 7u << 24, "dropped", 1);
  EXPECT_EQ(ytrace_last_level(), 7u);
  EXPECT_FALSE(ytrace_module_test(id, 7));
  ytrace_capture_set_level("standin_levels", 7);
  EXPECT_TRUE(ytrace_module_test(id, 7));
  __YTf_15(kCatalog, 5, id, 7u << 24, "kept", UINT64_MAX);

  std::vector<TraceRecord> expected = {
      {Catalog::yenv, 3, id, 6u << 24, {std::string("name"), std::string("(null)"), 0x41u}},
      {Catalog::yenv, 5, id, 7u << 24, {std::string("kept"), UINT64_MAX}},
  };
  EXPECT_EQ(take_trace(), expected);
  EXPECT_EQ(ytrace_last_module_id(), id);
}

TEST(TraceStandin, ConcurrentEmittersLoseNoRecord) {
  take_trace();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([] {
      for (uint32_t i = 0; i < 200; i++) __YTf_4(kCatalog, 0, 0, 3u << 24, i);
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(take_trace().size(), 800u);
}

TEST(AllocatorStandin, ZeroFillsCountsLiveBlocksAndInjectsFailures) {
  long before = quillet_testing_live("standin_t");
  uint32_t cache = 0;
  auto *p = static_cast<unsigned char *>(
      __quillet_calloc(7, &cache, "standin_t", &g_yutil_tag_cache, "yutil", 1, 64));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(p, p + 64), std::vector<unsigned char>(64, 0));
  EXPECT_EQ(quillet_testing_live("standin_t"), before + 1);

  quillet_testing_fail_nth(2);
  void *ok = __quillet_calloc(7, &cache, "standin_t", nullptr, "yutil", 1, 8);
  errno = 0;
  EXPECT_EQ(__quillet_calloc(7, &cache, "standin_t", nullptr, "yutil", 1, 8), nullptr);
  EXPECT_EQ(errno, ENOMEM);
  void *after = __quillet_calloc(7, &cache, "standin_t", nullptr, "yutil", 1, 8);
  EXPECT_NE(after, nullptr);

  quillet_testing_fail_site(9);
  EXPECT_EQ(__quillet_calloc(9, &cache, "standin_t", nullptr, "yutil", 1, 8), nullptr);
  EXPECT_EQ(quillet_testing_last_site(), 9u);
  quillet_testing_fail_site(0);

  for (void *b : {static_cast<void *>(p), ok, after}) __quillet_free(b);
  EXPECT_EQ(quillet_testing_live("standin_t"), before);
}

}  // namespace
