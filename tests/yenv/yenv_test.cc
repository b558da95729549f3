// SPDX-License-Identifier: MIT
// The environment family once started: strings, integers, addresses, lists.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <thread>

#include "yenv_records.h"
#include "yenv.h"

// A lookup of "YE_PEEK" notes the descriptor flags of peek_fd and moves its
// offset back to the start, as another user of the open file may. Other names
// pass through.
static int peek_fd = -1, peek_fd_flags;
extern "C" char *getenv(const char *name) {
  size_t n = strlen(name);
  if (strcmp(name, "YE_PEEK") == 0) {
    peek_fd_flags = fcntl(peek_fd, F_GETFD);
    lseek(peek_fd, 0, SEEK_SET);
  }
  for (char **e = environ; *e != nullptr; e++)
    if (strncmp(*e, name, n) == 0 && (*e)[n] == '=') return *e + n + 1;
  return nullptr;
}

namespace {

const std::string kAssert = "yassert: infra/yutil/src/yenv:[0-9]+: assertion failed: ";

class Env : public ::testing::Test {
 protected:
  void SetUp() override {
    yenv_init();
    id = g_yenv_trace_module_id;
    ytrace_capture_set_level("yenv", 6);
    take_trace();
  }
  TraceRecord R(uint32_t m, uint32_t level, std::vector<Arg> args = {}) {
    return rec(m, level, std::move(args), id);
  }
  uint16_t id = 0;
};

TEST_F(Env, StringAccess) {
  const char *v = "x";
  unsetenv("YE_S");
  EXPECT_EQ(ygetenv("YE_S", &v), ENOENT);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(ysetenv("YE_S", ""), 0);
  EXPECT_EQ(ygetenv("YE_S", &v), 0);
  EXPECT_STREQ(v, "");
  EXPECT_EQ(ysetenv("YE_S", "b"), 0);
  EXPECT_EQ(ygetenv("YE_S", nullptr), 0);
  EXPECT_EQ(ysetenv("YE=S", "c"), ENOMEM);
  EXPECT_EQ(yunsetenv("YE_S") + yunsetenv("YE_S"), 0);
  EXPECT_EQ(getenv("YE_S"), nullptr);
  EXPECT_EQ(ygetenv(nullptr, &v), EINVAL);  // v still points to "b"
  EXPECT_EQ(v, nullptr);
  // clang-format off
  Trace want = {R(GETENV, 6, {"YE_S"}), R(GETENV_NOT_SET, 6, {"YE_S"}), R(SETENV, 6, {"YE_S", ""}),
                R(GETENV, 6, {"YE_S"}), R(GETENV_VALUE, 6, {"YE_S", ""}), R(SETENV, 6, {"YE_S", "b"}),
                R(GETENV, 6, {"YE_S"}), R(GETENV_VALUE, 6, {"YE_S", "b"}),
                R(SETENV, 6, {"YE=S", "c"}), R(SETENV_FAILED, 3, {"YE=S"}),
                R(UNSETENV, 6, {"YE_S"}), R(UNSETENV, 6, {"YE_S"})};
  // clang-format on
  EXPECT_EQ(take_trace(), want);
  EXPECT_DEATH(ysetenv("YE_S", nullptr), kAssert + "val");
}

// Grammar, ranges, records and the text they show are the getters fuzz target's.
template <typename T, int (*F)(const char *, T *)>
int get_null(const char *name) {
  return F(name, nullptr);
}

TEST_F(Env, GettersAssertOnNullPointersNameFirst) {
  setenv("YE_N", "1", 1);
  for (auto g : {get_null<uint8_t, ygetenv_u8>, get_null<uint16_t, ygetenv_u16>,
                 get_null<uint32_t, ygetenv_u32>, get_null<uint64_t, ygetenv_u64>,
                 get_null<int8_t, ygetenv_s8>, get_null<int16_t, ygetenv_s16>,
                 get_null<int32_t, ygetenv_s32>, get_null<int64_t, ygetenv_s64>}) {
    EXPECT_DEATH(g("YE_N"), kAssert + "val");
    EXPECT_DEATH(g(nullptr), kAssert + "name");
  }
}

TEST_F(Env, IntegerSettersStoreDecimalText) {
#define SET(f, v) [](const char *n) { return f(n, v); }, uint64_t(v)
  // clang-format off
  const struct { int (*set)(const char *); uint64_t arg; uint32_t announce; const char *text; } rows[] = {
      {SET(ysetenv_u32, 0), SET_U32, "0"},
      {SET(ysetenv_u32, UINT32_MAX), SET_U32, "4294967295"},
      {SET(ysetenv_s32, INT32_MIN) & UINT32_MAX, SET_S32, "-2147483648"},
      {SET(ysetenv_s32, INT32_MAX), SET_S32, "2147483647"},
      {SET(ysetenv_u64, UINT64_MAX), SET_U64, "18446744073709551615"},
      {SET(ysetenv_s64, INT64_MIN), SET_S64, "-9223372036854775808"},
      {SET(ysetenv_s64, INT64_MAX), SET_S64, "9223372036854775807"},
  };
  // clang-format on
  for (const auto &row : rows) {
    SCOPED_TRACE(row.text);
    setenv("YE_N", "old", 1);
    EXPECT_EQ(row.set("YE_N"), 0);
    EXPECT_STREQ(getenv("YE_N"), row.text);
    EXPECT_EQ(row.set(""), ENOMEM);
    Trace want = {R(row.announce, 6, {"YE_N", row.arg}), R(SETENV, 6, {"YE_N", row.text}),
                  R(row.announce, 6, {"", row.arg}), R(SETENV, 6, {"", row.text}),
                  R(SETENV_FAILED, 3, {""})};
    EXPECT_EQ(take_trace(), want);
  }
}

// Values, round trips and refusals are the address fuzz target's.
TEST_F(Env, AddressNullArgumentsAndFilteredByteDump) {
  uint8_t out[16] = {};
  const char *a = "YE_A";
  setenv(a, "kept", 1);
  EXPECT_EQ(ygetenv_addr(nullptr, AF_INET, out), EINVAL);
  EXPECT_EQ(ygetenv_addr(a, AF_INET, nullptr), EINVAL);
  EXPECT_EQ(ysetenv_addr(a, AF_INET, nullptr), EINVAL);
  EXPECT_EQ(take_trace(), Trace{});
  EXPECT_STREQ(getenv(a), "kept");
  // Filtered, the byte dump stays with its filtered record, not the kept one before.
  ytrace_capture_set_level("yenv", 5);
  EXPECT_EQ(ysetenv_addr(a, AF_INET, out) + ysetenv_addr(a, AF_UNIX, out), EAFNOSUPPORT);
  EXPECT_EQ(ysetenv_addr(a, AF_INET, out), 0);
  EXPECT_EQ(take_trace(), Trace{R(ADDR_SET_FAMILY, 3, {a, 1u})});
}

// The lowest free descriptor: what the next dup would return.
int lowest_free() {
  int fd = dup(0);
  close(fd);
  return fd;
}

std::string read_pipe(int fd, size_t bytes) {
  std::string out(bytes, 0);
  for (size_t got = 0; got < bytes;) got += read(fd, &out[got], bytes - got);
  return out;
}

TEST_F(Env, ListsArePrintedAndRemoved) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  setenv("YE_A", "1", 1);
  setenv("YE_E", "", 1);
  unsetenv("YE_B");
  const char *list[] = {"YE_A", "YE_B", "YE_E", "YE_A", nullptr}, *empty[] = {nullptr};
  // clang-format off
  const struct { const char *const *list; int all; const char *out; } rows[] = {
    {list, 0, "YE_A=1\nYE_E=\nYE_A=1\n"}, {list, 1, "YE_A=1\nYE_B=\nYE_E=\nYE_A=1\n"},
    {empty, 1, ""}, {nullptr, 0, ""}};
  // clang-format on
  int free_fd = lowest_free();
  for (const auto &row : rows) {
    Trace want = {R(PRINT_LIST, 6, {uint64_t(p[1]), uint64_t(row.all)})};
    for (const char *const *n = row.list; n && *n; n++) {
      want.push_back(R(GETENV, 6, {*n}));
      want.push_back(getenv(*n) ? R(GETENV_VALUE, 6, {*n, getenv(*n)})
                                : R(GETENV_NOT_SET, 6, {*n}));
    }
    EXPECT_EQ(yprintenv_list(p[1], row.list, row.all), int(strlen(row.out)));
    EXPECT_EQ(read_pipe(p[0], strlen(row.out)), row.out);
    EXPECT_EQ(take_trace(), want);
    EXPECT_EQ(lowest_free(), free_fd);
  }

  yunsetenv_list(list);
  yunsetenv_list(empty);
  yunsetenv_list(nullptr);
  EXPECT_EQ(getenv("YE_A"), getenv("YE_E"));  // both gone
  Trace want;
  for (const char *const *n = list; *n; n++) want.push_back(R(UNSETENV, 6, {*n}));
  EXPECT_EQ(take_trace(), want);
}

TEST_F(Env, PrintListFailures) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const char *list[] = {"YE_L", nullptr};
  int free_fd = lowest_free();
  EXPECT_EQ(yprintenv_list(-1, list, 1), -1);
  EXPECT_EQ(yprintenv_list(p[0], list, 1), -1);  // read only: no stream
  Trace want = {R(PRINT_LIST, 6, {uint64_t(UINT32_MAX), 1u}),
                R(DUP_FAILED, 3, {uint64_t(UINT32_MAX)}), R(PRINT_LIST, 6, {uint64_t(p[0]), 1u}),
                R(FDOPEN_FAILED, 3, {uint64_t(free_fd)})};
  EXPECT_EQ(take_trace(), want);
  EXPECT_EQ(lowest_free(), free_fd);

  // Lines lost in a write or in the final flush are no count of characters.
  int full = open("/dev/full", O_WRONLY);
  for (size_t size : {1, 100000}) {
    setenv("YE_L", std::string(size, 'v').c_str(), 1);
    EXPECT_EQ(yprintenv_list(full, list, 0), -1) << size;
  }
  close(full);
}

// The lines go to the end of the caller's file, not over it at the offset, through
// a close-on-exec duplicate; afterwards the file has its own status flags again.
TEST_F(Env, PrintListAppendsAndPutsTheFileFlagsBack) {
  char path[] = "/tmp/yenv_test.XXXXXX";
  int made = mkstemp(path);
  ASSERT_NE(made, -1);
  close(made);
  const char *list[] = {"YE_PEEK", nullptr};
  setenv("YE_PEEK", "1", 1);
  for (int flags : {O_WRONLY, O_WRONLY | O_APPEND, O_RDWR | O_NONBLOCK}) {
    SCOPED_TRACE(flags);
    int fd = open(path, flags | O_TRUNC);
    ASSERT_EQ(pwrite(fd, "old\n", 4, 0), 4);
    int before = fcntl(fd, F_GETFL);
    peek_fd = lowest_free();
    EXPECT_EQ(yprintenv_list(fd, list, 0), 10);
    EXPECT_EQ(peek_fd_flags, FD_CLOEXEC);
    EXPECT_EQ(fcntl(fd, F_GETFL), before);
    close(fd);
    char text[32] = {};
    fd = open(path, O_RDONLY);
    EXPECT_EQ(read(fd, text, sizeof text), 14);
    EXPECT_STREQ(text, "old\nYE_PEEK=1\n");
    close(fd);
  }
  unlink(path);
}

// A total that does not fit an int is no count, though every line is written:
// 128 lines of 16 MiB just pass INT_MAX, 257 wrap round to a positive number.
TEST_F(Env, PrintListRefusesATotalBeyondAnInt) {
  ytrace_capture_set_level("yenv", 3);  // no record copies a value
  const size_t size = 16 << 20, line = size + strlen("YE_BIG=\n");
  setenv("YE_BIG", std::string(size, 'v').c_str(), 1);
  for (size_t lines : {128, 257}) {
    std::vector<const char *> list(lines, "YE_BIG");
    list.push_back(nullptr);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    uint64_t got = 0;
    std::thread reader([&] {
      static char buf[1 << 16];
      for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) got += n;
    });
    errno = 0;
    EXPECT_EQ(yprintenv_list(p[1], list.data(), 0), -1) << lines;
    EXPECT_EQ(errno, EOVERFLOW);
    close(p[1]);
    reader.join();
    close(p[0]);
    EXPECT_EQ(got, uint64_t{lines} * line);
  }
  unsetenv("YE_BIG");
}

}  // namespace
