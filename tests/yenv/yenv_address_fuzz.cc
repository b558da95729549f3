// SPDX-License-Identifier: MIT
// Address values against the C library's own conversions: each call of an input
// picks reading or storing, a family (the two supported, small ones, any number)
// and the text or the raw bytes. The model takes inet_pton and inet_ntop as the
// judges, the result codes and records from the rules, and wants what is stored
// read back as the same bytes. Output bytes lie between guards and change only
// on success, the variable's earlier value only on a stored one.
#include <arpa/inet.h>
#include <errno.h>
#include <sys/socket.h>

#include "yenv.h"
#include "yenv_records.h"
#include "ytrace.h"

namespace {

const char *kName = "YF_A";

// The bytes an address of the family takes; 0 for a family not stored.
size_t address_size(int family) {
  return family == AF_INET ? 4 : family == AF_INET6 ? 16 : 0;
}

struct Out {
  alignas(8) unsigned char bytes[32];
  unsigned char *address() { return bytes + 8; }
};

// Reads `text` (null: unset) as the family; the output must show what inet_pton
// made of it, or nothing at all.
void check_get(int family, const char *text, uint8_t fill) {
  put_variable(kName, text);
  Out out, want;
  memset(out.bytes, fill, sizeof out.bytes);
  want = out;
  uint64_t f = static_cast<uint32_t>(family);
  Trace expected = {rec(GET_ADDR, 6, {kName, f})};
  int res = 0;
  if (text == nullptr || *text == 0) {
    res = ENOENT;
    expected.push_back(rec(ADDR_NOT_SET, 6, {kName}));
  } else {
    expected.push_back(rec(ADDR_VALUE, 6, {kName, kept(text)}));
    errno = 0;
    int parsed = inet_pton(family, text, want.address());
    if (parsed == 0) {
      res = EINVAL;
      expected.push_back(rec(ADDR_UNPARSEABLE, 3, {kName, kept(text), f}));
    } else if (parsed < 0) {
      res = errno;
      expected.push_back(rec(ADDR_GET_FAMILY, 3, {kName, f}));
    }
  }
  ytrace_capture_clear();
  int got = ygetenv_addr(kName, family, out.address());
  FUZZ_REQUIRE(got == res, "family %d, '%s': result %d, model %d", family, text ? text : "(unset)",
               got, res);
  FUZZ_REQUIRE(memcmp(out.bytes, want.bytes, sizeof out.bytes) == 0, "family %d: output", family);
  Trace records = take_trace();
  FUZZ_REQUIRE_RECORDS(records, expected);
}

// Stores the raw address under `name` over an earlier value, then reads it back.
void check_set(const char *name, int family, const unsigned char *address) {
  if (*name) setenv(name, "earlier", 1);
  uint64_t f = static_cast<uint32_t>(family);
  size_t size = address_size(family);
  Trace expected;
  char text[INET6_ADDRSTRLEN] = "earlier";
  int res = 0;
  if (size == 0) {
    res = EAFNOSUPPORT;
    expected.push_back(rec(ADDR_SET_FAMILY, 3, {name, f}));
  } else {
    expected.push_back(rec(SET_ADDR, 6, {name, f}));
    for (size_t i = 0; i < size; i++)
      expected.push_back(rec(ADDR_BYTE, 6, {uint64_t{address[i]}}, 0, YTRACE_CONTINUATION));
    FUZZ_REQUIRE(inet_ntop(family, address, text, sizeof text), "inet_ntop refused");
    expected.push_back(rec(SETENV, 6, {name, text}));
    if (*name == 0) {
      res = ENOMEM;  // setenv refuses an empty name
      expected.push_back(rec(SETENV_FAILED, 3, {name}));
    }
  }
  ytrace_capture_clear();
  int got = ysetenv_addr(name, family, address);
  FUZZ_REQUIRE(got == res, "family %d, store: result %d, model %d", family, got, res);
  Trace records = take_trace();
  FUZZ_REQUIRE_RECORDS(records, expected);
  if (*name == 0) return;
  FUZZ_REQUIRE(strcmp(getenv(name), res == 0 ? text : "earlier") == 0, "family %d: stored '%s'",
               family, getenv(name));
  if (res != 0) return;
  Out back;
  memset(back.bytes, 0x5a, sizeof back.bytes);
  FUZZ_REQUIRE(ygetenv_addr(name, family, back.address()) == 0, "read back '%s'", text);
  FUZZ_REQUIRE(memcmp(back.address(), address, size) == 0, "'%s' read back other bytes", text);
  ytrace_capture_clear();
}

// One call: reading or storing, a family, then the raw bytes or the text.
void check(FuzzInput &in) {
  uint8_t pick = in.byte();
  // AF_INET, AF_INET6, a small one (0, AF_UNIX, negative ones) or any number.
  int family = pick & 2 ? (pick & 1 ? static_cast<int>(in.u32()) : static_cast<int8_t>(in.byte()))
                        : (pick & 1 ? AF_INET6 : AF_INET);
  bool other = pick & 4;  // the variable unset, or an empty name to store under
  if (pick & 8) {
    unsigned char address[16];
    for (unsigned char &b : address) b = in.byte();
    check_set(other ? "" : kName, family, address);
  } else {
    uint8_t fill = in.byte();
    std::string text = in.bytes(255);
    text.resize(strnlen(text.c_str(), text.size()));
    check_get(family, other ? nullptr : text.c_str(), fill);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  while (!in.empty()) check(in);
  return 0;
}
