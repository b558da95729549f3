// String buffer against its contract: refusals, allocation failures and guard
// bytes past every block. Sequences against a model: string_buff_fuzz.cc.
#include "yutil_string_buff.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kGuard = 16;
int g_fail_at;  // 1-based allocation to refuse; 0 none
int g_allocs;
std::map<void *, uint32_t> g_live;  // block -> size asked
std::vector<void *> g_released;

bool guard_intact(void *p, uint32_t size) {
  auto *tail = static_cast<unsigned char *>(p) + size;
  for (size_t i = 0; i < kGuard; i++)
    if (tail[i] != 0xa5) return false;
  return true;
}
void *test_alloc(uint32_t size) {
  if (++g_allocs == g_fail_at) return nullptr;
  auto *p = static_cast<unsigned char *>(malloc(size + kGuard));
  memset(p, 0xcc, size);  // not zeroed: every field must be set by init
  memset(p + size, 0xa5, kGuard);
  g_live[p] = size;
  return p;
}
void test_free(void *p) {
  EXPECT_TRUE(g_live.count(p) == 1 && guard_intact(p, g_live[p])) << "bad or overrun block";
  g_live.erase(p);
  g_released.push_back(p);
  free(p);
}

class StringBuff : public ::testing::Test {
 protected:
  void SetUp() override { g_fail_at = g_allocs = 0, g_live.clear(), g_released.clear(); }
  void TearDown() override { EXPECT_TRUE(g_live.empty()) << "blocks left allocated"; }
  yutil_string_buff_s *make(uint32_t capacity) {
    yutil_string_buff_s *b = nullptr;
    EXPECT_EQ(yutil_string_buff_init(&b, test_alloc, test_free, capacity), 0);
    return b;
  }
  static std::string unsent(yutil_string_buff_s *b) {
    char *t = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(yutil_string_buff_get(b, &t, &n), 0);
    EXPECT_EQ(strlen(t), n);
    return std::string(t, n);
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
    g_fail_at = c.fail_at;
    yutil_string_buff_s *b = kUntouched;
    EXPECT_EQ(yutil_string_buff_init(c.null_out ? nullptr : &b, c.null_alloc ? nullptr : test_alloc,
                                     c.null_free ? nullptr : test_free, c.capacity),
              c.result);
    EXPECT_EQ(b, kUntouched);
    EXPECT_EQ(g_allocs, c.fail_at);
    ASSERT_EQ(g_released.size(), c.releases) << "case failing allocation " << c.fail_at;
    EXPECT_TRUE(g_live.empty());
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
  EXPECT_TRUE(g_released.empty());
  yutil_string_buff_s *b = make(8);
  EXPECT_EQ(yutil_string_buff_is_valid(b), 1);
  EXPECT_EQ(yutil_string_buff_get(b, nullptr, &len), 22);
  EXPECT_EQ(yutil_string_buff_get(b, &text, nullptr), 22);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(len, 7u);
  void *storage = b->text;
  yutil_string_buff_free(b);
  EXPECT_EQ(g_released, (std::vector<void *>{storage, b}));
}

TEST_F(StringBuff, SendingCountsFromTheFirstUnsentCharacterAndNeverWraps) {
  yutil_string_buff_s *b = make(32);
  EXPECT_EQ(yutil_string_buff_printf(b, "%s", "abc") + yutil_string_buff_printf(b, "def"), 6);
  struct Step {
    uint32_t count;
    const char *append, *unsent;
  } steps[] = {{0, "", "abcdef"}, {4, "", "ef"},    {100, "", ""},
               {0, "gh", "gh"},   {1, "ij", "hij"}, {UINT32_MAX, "", ""}};
  for (const Step &s : steps) {
    EXPECT_EQ(yutil_string_buff_sent(b, s.count), 0);
    yutil_string_buff_printf(b, "%s", s.append);
    EXPECT_EQ(unsent(b), s.unsent) << "after sending " << s.count;
  }
  EXPECT_EQ(b->sent, b->len);
  yutil_string_buff_free(b);
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
  EXPECT_EQ(unsent(b), "ok");
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
