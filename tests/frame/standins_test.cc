// SPDX-License-Identifier: MIT
// What the library relies on of the allocator stand-in and no other test sees:
// blocks come zero-filled (the library uses records without initialising
// them), and a failed allocation sets errno (reported through strerror). The
// rest of the stand-ins' behaviour is met through the library's own tests.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "quillet.h"
#include "quillet_testing.h"

namespace {

TEST(AllocatorStandin, ZeroFillsAndSetsErrnoOnFailure) {
  uint32_t cache = 0;
  auto calloc64 = [&] {
    return static_cast<unsigned char *>(
        __quillet_calloc(7, &cache, "standin_t", nullptr, "yutil", 1, 64));
  };
  // Memory just released is the likeliest to come back, dirty unless cleared.
  unsigned char *dirty = calloc64();
  ASSERT_NE(dirty, nullptr);
  memset(dirty, 0xff, 64);
  __quillet_free(dirty);
  unsigned char *p = calloc64();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(p, p + 64), std::vector<unsigned char>(64, 0));
  __quillet_free(p);

  quillet_testing_fail_site(7);
  errno = 0;
  EXPECT_EQ(calloc64(), nullptr);
  EXPECT_EQ(errno, ENOMEM);
  quillet_testing_fail_site(0);
}

}  // namespace
