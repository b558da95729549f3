// Key-sequence trie: the documented cases. Allocation failures and long runs of
// operations against a model are the fuzz target's (trie_fuzz.cc).
#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "quillet.h"
#include "quillet_testing.h"
#include "ycurs.h"

namespace {

using Dump = std::vector<std::pair<std::string, int>>;

// Every node as (path of stored bytes, code), in walk order: the whole shape.
void dump(const tries *n, const std::string &prefix, Dump &out) {
  for (; n != nullptr; n = n->next_sibling) {
    std::string path = prefix + static_cast<char>(n->byte);
    out.emplace_back(path, n->key_code);
    dump(n->first_child, path, out);
  }
}
Dump dump(const tries *root) {
  Dump out;
  dump(root, "", out);
  return out;
}

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
  ASSERT_EQ(t.add("\x1b[A", KEY_UP), 0);
  ASSERT_EQ(t.add("\x1b[1~", B), 0);
  ASSERT_EQ(t.add("\x1b[1", A), 0);  // a prefix of a stored sequence: no new node
  ASSERT_EQ(t.add("\x1b\x80", C), 0);
  EXPECT_EQ(dump(t.root).size(), 6u);

  const std::vector<std::pair<std::string, int>> cases = {
      {"\x1b", -1},    {"\x1b[", -1},   {"\x1b[A", KEY_UP}, {"\x1b[B", 0},  {"\x1b[Ax", KEY_UP},
      {"x", 0},        {"", 0},         {"\x1b[1", -1},     {"\x1b[1~", B}, {"\x1b[15", A},
      {"\x1b[1~~", B}, {"\x1b\x80", 0},
  };
  for (const auto &[seq, want] : cases) EXPECT_EQ(t.find(seq), want) << testing::PrintToString(seq);
  EXPECT_EQ(ycurs_key_defined(nullptr, "\x1b"), 0);
  EXPECT_EQ(ycurs_key_defined(t.root, nullptr), 0);
}

TEST(Trie, InsertionRefusesBadArgumentsAndReplacesCodes) {
  Trie t;
  ASSERT_EQ(t.add("ab", A), 0);
  Dump before = dump(t.root);
  EXPECT_EQ(ycurs_add_to_try(&t.root, nullptr, A), EINVAL);
  EXPECT_EQ(t.add("", A), EINVAL);
  EXPECT_EQ(t.add("cd", 0), EINVAL);
  EXPECT_EQ(dump(t.root), before);

  EXPECT_EQ(t.add("ab", B), 0);
  EXPECT_EQ(t.find("ab"), B);
  EXPECT_EQ(dump(t.root).size(), 2u);

  // A new top-level byte goes after every existing top-level node.
  ASSERT_EQ(t.add("c", C), 0);
  ASSERT_EQ(t.add("\x80", C), 0);
  EXPECT_EQ(dump(t.root), (Dump{{"a", 0}, {"ab", B}, {"c", C}, {std::string(1, '\0'), C}}));
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

TEST(Trie, RemovalByCodeAndByText) {
  Trie t;
  ASSERT_EQ(t.add("\x1b[1", A), 0);
  ASSERT_EQ(t.add("\x1b[1~", B), 0);
  ASSERT_EQ(t.add("xy", C), 0);

  EXPECT_EQ(ycurs_remove_string(&t.root, "\x1b[1"), 0);  // has children: kept
  EXPECT_EQ(t.find("\x1b[15"), A);
  EXPECT_EQ(ycurs_remove_key(&t.root, A), 1);  // interior: loses its code only
  EXPECT_EQ(t.find("\x1b[1"), -1);
  EXPECT_EQ(t.find("\x1b[15"), 0);

  long nodes = quillet_testing_live("tries");
  EXPECT_EQ(ycurs_remove_key(&t.root, C), 1);  // leaf: released
  EXPECT_EQ(quillet_testing_live("tries"), nodes - 1);
  EXPECT_EQ(ycurs_remove_key(&t.root, C), 0);
  EXPECT_EQ(ycurs_remove_string(&t.root, "\x1b[1~"), 1);
  EXPECT_EQ(ycurs_remove_string(&t.root, "\x1b[1~"), 0);
  EXPECT_EQ(ycurs_remove_string(&t.root, ""), 0);
  EXPECT_EQ(ycurs_remove_string(&t.root, nullptr), 0);
  EXPECT_EQ(ycurs_remove_key(&t.root, 0), 0);
  EXPECT_EQ(dump(t.root), (Dump{{"\x1b", 0}, {"\x1b[", 0}, {"\x1b[1", 0}, {"x", 0}}));
}

}  // namespace
