// SPDX-License-Identifier: MIT
// Key-sequence trie: what a lookup answers and the order expansion walks in, case
// by case. Insertion, removal, allocation failures and long runs of operations are
// checked against a model by the fuzz target (trie_fuzz.cc) and its corpus.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "quillet.h"
#include "quillet_testing.h"
#include "ycurs.h"

namespace {

using namespace std::string_literals;

const uint16_t A = 0x111, B = 0x222, C = 0x333, KEY_UP = 0x103;

struct Trie {
  tries *root = nullptr;
  explicit Trie(std::initializer_list<std::pair<const char *, uint16_t>> keys) {
    for (auto [seq, code] : keys) EXPECT_EQ(ycurs_add_to_try(&root, seq, code), 0) << seq;
  }
  ~Trie() { ycurs_free_keytry(root); }
};

TEST(Trie, LookupAnswersExactPartialOrNone) {
  const long live = quillet_testing_live("tries");
  // A prefix of a stored sequence takes no node of its own.
  Trie t({{"\x1b[A", KEY_UP}, {"\x1b[1~", B}, {"\x1b[1", A}, {"\x1b\x80", C}});
  EXPECT_EQ(quillet_testing_live("tries") - live, 6);
  const std::pair<const char *, int> cases[] = {
      {"\x1b", -1},    {"\x1b[", -1},   {"\x1b[A", KEY_UP}, {"\x1b[B", 0},  {"\x1b[Ax", KEY_UP},
      {"x", 0},        {"", 0},         {"\x1b[1", -1},     {"\x1b[1~", B}, {"\x1b[15", A},
      {"\x1b[1~~", B}, {"\x1b\x80", 0}, {nullptr, 0},
  };
  for (auto [seq, want] : cases)
    EXPECT_EQ(ycurs_key_defined(t.root, seq), want) << testing::PrintToString(seq);
  EXPECT_EQ(ycurs_key_defined(nullptr, "\x1b"), 0);
}

TEST(Trie, ExpansionWalksChildrenBeforeTheirNode) {
  Trie t({{"\x1b[1", A}, {"\x1b[1~", A}, {"\x1b\x80", C}});
  struct {
    uint16_t code;
    int32_t counter, pos;
    std::string text;  // the pos zero bytes before the path included; "" for null
    int32_t counter_after;
  } cases[] = {{A, 0, 0, "\x1b[1~", -1},
               {A, 1, 0, "\x1b[1", -1},
               {A, 2, 0, "", 0},
               {C, 0, 0, "\x1b\x80", -1},
               {0, 0, 0, "", 0},
               {C, 0, 2, "\0\0\x1b\x80"s, -1},
               {C, 0, -1, "", 0},
               // A negative counter names nothing and is left as it was, never run below INT32_MIN.
               {C, -1, 0, "", -1},
               {C, INT32_MIN, 0, "", INT32_MIN}};
  for (const auto &c : cases) {
    int32_t counter = c.counter;
    char *text = ycurs_expand_try(t.root, c.code, &counter, c.pos);
    EXPECT_EQ(text ? std::string(text, c.pos) + (text + c.pos) : "", c.text) << c.counter;
    EXPECT_EQ(counter, c.counter_after) << c.code << " " << c.counter;
    __quillet_free(text);
  }
  quillet_testing_fail_site(0xb00e3c03);
  int32_t counter = 0;
  EXPECT_EQ(ycurs_expand_try(t.root, A, &counter, 0), nullptr);
  quillet_testing_fail_site(0);
}

}  // namespace
