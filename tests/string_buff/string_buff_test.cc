// SPDX-License-Identifier: MIT
// String buffer against its contract: refusals, allocation failures and guard
// bytes past every block. Sequences against a model: string_buff_fuzz.cc.
#include "yutil_string_buff.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "guarded_alloc.h"

namespace {

class StringBuff : public ::testing::Test {
 protected:
  void SetUp() override { guarded::reset(); }
  void TearDown() override { EXPECT_TRUE(guarded::live.empty()) << "blocks left allocated"; }
  yutil_string_buff_s *make(uint32_t capacity) {
    yutil_string_buff_s *b = nullptr;
    EXPECT_EQ(yutil_string_buff_init(&b, guarded::alloc, guarded::release, capacity), 0);
    return b;
  }
};

TEST_F(StringBuff, InitRefusalsAndAllocationFailuresLeaveNothing) {
  auto *const kUntouched = reinterpret_cast<yutil_string_buff_s *>(0x1234);
  struct Case {
    bool null_out, null_alloc, null_free;
    uint32_t capacity;
    int fail_at, result;
    size_t releases;
  } cases[] = {{true, false, false, 8, 0, 22, 0},  {false, false, false, 0, 0, 22, 0},
               {false, true, false, 8, 0, 22, 0},  {false, false, true, 8, 0, 22, 0},
               {false, false, false, 8, 1, 12, 0}, {false, false, false, 8, 2, 12, 1}};
  for (const Case &c : cases) {
    SetUp();
    guarded::fail_at = c.fail_at;
    yutil_string_buff_s *b = kUntouched;
    EXPECT_EQ(
        yutil_string_buff_init(c.null_out ? nullptr : &b, c.null_alloc ? nullptr : guarded::alloc,
                               c.null_free ? nullptr : guarded::release, c.capacity),
        c.result);
    EXPECT_EQ(b, kUntouched);
    EXPECT_EQ(guarded::allocs, c.fail_at);
    ASSERT_EQ(guarded::released.size(), c.releases) << "case failing allocation " << c.fail_at;
    EXPECT_TRUE(guarded::live.empty());
  }
}

TEST_F(StringBuff, InvalidRecordsAndOutputsAreRefusedUntouched) {
  yutil_string_buff_s stale{};  // magic 0, as a freed record
  char storage_of_4[4] = "abc", *text = nullptr;
  uint32_t len = 7;
  // Valid magic, but counts a caller scribbled over: no call may trust them.
  yutil_string_buff_s past_end{YUTIL_STRING_BUFF_MAGIC, nullptr, storage_of_4, 4, 4, 0, 0};
  yutil_string_buff_s sent_past_len{YUTIL_STRING_BUFF_MAGIC, nullptr, storage_of_4, 1, 4, 3, 0};
  for (yutil_string_buff_s *b : {static_cast<yutil_string_buff_s *>(nullptr), &stale}) {
    EXPECT_EQ(yutil_string_buff_is_valid(b), 0);
  }
  for (yutil_string_buff_s *b :
       {static_cast<yutil_string_buff_s *>(nullptr), &stale, &past_end, &sent_past_len}) {
    EXPECT_EQ(yutil_string_buff_printf(b, "%d", 1), 0);
    EXPECT_EQ(yutil_string_buff_get(b, &text, &len), 22);
    EXPECT_EQ(yutil_string_buff_sent(b, 1), 22);
    if (b != &past_end && b != &sent_past_len) yutil_string_buff_free(b);
  }
  EXPECT_STREQ(storage_of_4, "abc");
  EXPECT_EQ(past_end.sent + sent_past_len.sent, 3u);
  EXPECT_TRUE(guarded::released.empty());
  yutil_string_buff_s *b = make(8);
  EXPECT_EQ(yutil_string_buff_is_valid(b), 1);
  EXPECT_EQ(yutil_string_buff_get(b, nullptr, &len), 22);
  EXPECT_EQ(yutil_string_buff_get(b, &text, nullptr), 22);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(len, 7u);
  void *storage = b->text;
  yutil_string_buff_free(b);
  EXPECT_EQ(guarded::released, (std::vector<void *>{storage, b}));
}

// A null format on purpose, out of the compilers' sight.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int null_format(yutil_string_buff_s *b, ...) {
  va_list ap;
  va_start(ap, b);
  const char *volatile no_format = nullptr;
  int n = yutil_string_buff_vprintf(b, no_format, ap);
  va_end(ap);
  return n;
}
#pragma GCC diagnostic pop
TEST_F(StringBuff, FormatterErrorAndNullFormatChangeNothing) {
  yutil_string_buff_s *b = make(32);
  yutil_string_buff_printf(b, "ok");
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0x7fffffff), 0};  // not encodable
  EXPECT_EQ(yutil_string_buff_printf(b, "abc%ls", bad), 0);
  EXPECT_EQ(null_format(b, 1), 0);
  EXPECT_STREQ(b->text, "ok");
  EXPECT_EQ(b->len, 2u);
  EXPECT_EQ(b->overflow, 0);
  EXPECT_EQ(yutil_string_buff_printf(b, "!"), 1);
  yutil_string_buff_free(b);
}

// Storage larger than 2 GiB: room must not turn negative. Only the bytes written
// need to exist, so a small block stands in for the promised size.
void *small_block(uint32_t size) {
  return malloc(size < 4096 ? size : 4096);
}
TEST_F(StringBuff, CapacitiesPastTwoGigabytesStillTakePieces) {
  for (uint32_t capacity : {0x80000001u, UINT32_MAX}) {
    yutil_string_buff_s *b = nullptr;
    ASSERT_EQ(yutil_string_buff_init(&b, small_block, free, capacity), 0);
    EXPECT_EQ(yutil_string_buff_printf(b, "%s%0100d", "x", 7), 101);
    EXPECT_EQ(b->overflow, 0);
    yutil_string_buff_free(b);
  }
}

}  // namespace
