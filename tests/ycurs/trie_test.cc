// Key-sequence trie: what a lookup answers and the order expansion walks in, case
// by case. Insertion, removal, allocation failures and long runs of operations are
// checked against a model by the fuzz target (trie_fuzz.cc) and its corpus.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "quillet.h"
#include "quillet_testing.h"
#include "ycurs.h"

namespace {

struct Trie {
  tries *root = nullptr;
  ~Trie() { ycurs_free_keytry(root); }
  int add(const std::string &s, uint16_t code) { return ycurs_add_to_try(&root, s.c_str(), code); }
  int find(const std::string &s) const { return ycurs_key_defined(root, s.c_str()); }
  // Expansion as a string (empty when null) and the counter afterwards.
  std::pair<std::string, int32_t> expand(uint16_t code, int32_t occurrence) const {
    char *text = ycurs_expand_try(root, code, &occurrence, 0);
    std::string s = text ? text : "";
    if (text) __quillet_free(text);
    return {s, occurrence};
  }
};

const uint16_t A = 0x111, B = 0x222, C = 0x333, KEY_UP = 0x103;

TEST(Trie, LookupAnswersExactPartialOrNone) {
  Trie t;
  const long live = quillet_testing_live("tries");
  ASSERT_EQ(t.add("\x1b[A", KEY_UP), 0);
  ASSERT_EQ(t.add("\x1b[1~", B), 0);
  ASSERT_EQ(t.add("\x1b[1", A), 0);  // a prefix of a stored sequence: no new node
  ASSERT_EQ(t.add("\x1b\x80", C), 0);
  EXPECT_EQ(quillet_testing_live("tries") - live, 6);

  const std::vector<std::pair<std::string, int>> cases = {
      {"\x1b", -1},    {"\x1b[", -1},   {"\x1b[A", KEY_UP}, {"\x1b[B", 0},  {"\x1b[Ax", KEY_UP},
      {"x", 0},        {"", 0},         {"\x1b[1", -1},     {"\x1b[1~", B}, {"\x1b[15", A},
      {"\x1b[1~~", B}, {"\x1b\x80", 0},
  };
  for (const auto &[seq, want] : cases) EXPECT_EQ(t.find(seq), want) << testing::PrintToString(seq);
  EXPECT_EQ(ycurs_key_defined(nullptr, "\x1b"), 0);
  EXPECT_EQ(ycurs_key_defined(t.root, nullptr), 0);
}

TEST(Trie, ExpansionWalksChildrenBeforeTheirNode) {
  Trie t;
  ASSERT_EQ(t.add("\x1b[1", A), 0);
  ASSERT_EQ(t.add("\x1b[1~", A), 0);
  ASSERT_EQ(t.add("\x1b\x80", C), 0);
  EXPECT_EQ(t.expand(A, 0), std::make_pair(std::string("\x1b[1~"), -1));
  EXPECT_EQ(t.expand(A, 1), std::make_pair(std::string("\x1b[1"), -1));
  EXPECT_EQ(t.expand(A, 2), std::make_pair(std::string(), 0));
  EXPECT_EQ(t.expand(C, 0), std::make_pair(std::string("\x1b\x80"), -1));
  EXPECT_EQ(t.expand(0, 0), std::make_pair(std::string(), 0));

  // A start position leaves zero bytes before the path.
  int32_t occurrence = 0;
  char *text = ycurs_expand_try(t.root, C, &occurrence, 2);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, 5), std::string("\0\0\x1b\x80\0", 5));
  __quillet_free(text);
  // A negative position or counter finds nothing; the counter is left as it was
  // rather than run below INT32_MIN.
  EXPECT_EQ(ycurs_expand_try(t.root, C, &occurrence, -1), nullptr);
  EXPECT_EQ(t.expand(C, -1), std::make_pair(std::string(), -1));
  EXPECT_EQ(t.expand(C, INT32_MIN), std::make_pair(std::string(), INT32_MIN));

  quillet_testing_fail_site(0xb00e3c03);
  EXPECT_EQ(t.expand(A, 0).first, "");
  quillet_testing_fail_site(0);
}

}  // namespace
