// Key-sequence trie: the documented cases, allocation failures at every step of
// an insertion, and a randomized comparison with a map-based model.
#include <errno.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
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

TEST(Trie, FailedAllocationAtAnyStepLeavesTrieAsBefore) {
  struct Case {
    std::vector<std::string> stored;
    std::string added;
  };
  const std::vector<Case> cases = {
      {{}, "\x1b[A"},                   // into an empty trie
      {{"\x1b[1"}, "\x1b[1~x"},         // below the last node of a stored sequence
      {{"\x1b[A", "b"}, "c~z"},         // a new top-level sibling
      {{"\x1b[A", "\x1bOP"}, "\x1bOQ"}  // a new sibling deeper down
  };
  for (const auto &c : cases) {
    Trie t;
    for (const auto &s : c.stored) ASSERT_EQ(t.add(s, A), 0);
    const Dump before = dump(t.root);
    const long live = quillet_testing_live("tries");
    int step = 1;
    for (;; step++) {
      quillet_testing_fail_nth(step);
      int r = t.add(c.added, B);
      quillet_testing_fail_nth(0);
      if (r == 0) break;
      ASSERT_EQ(r, ENOMEM) << testing::PrintToString(c.added) << " step " << step;
      EXPECT_EQ(dump(t.root), before) << testing::PrintToString(c.added) << " step " << step;
      EXPECT_EQ(quillet_testing_live("tries"), live);
    }
    EXPECT_GT(step, 1) << "no allocation was made for " << testing::PrintToString(c.added);
    EXPECT_EQ(t.find(c.added), B);
  }
}

// The model: stored sequences (0x80 already turned into 0) and their codes.
int model_lookup(const std::map<std::string, uint16_t> &stored, const std::string &s) {
  auto is_path = [&](const std::string &p) {
    auto it = stored.lower_bound(p);
    return it != stored.end() && it->first.compare(0, p.size(), p) == 0;
  };
  auto deepest_code = [&](size_t len) {
    for (; len > 0; len--)
      if (auto it = stored.find(s.substr(0, len)); it != stored.end()) return int{it->second};
    return 0;
  };
  size_t matched = 0;
  while (matched < s.size() && is_path(s.substr(0, matched + 1))) matched++;
  if (matched == s.size() && !s.empty()) {
    auto next = stored.upper_bound(s);
    if (next != stored.end() && next->first.compare(0, s.size(), s) == 0) return -1;
  }
  return deepest_code(matched);
}

TEST(Trie, RandomizedAgainstModel) {
  std::mt19937 rng(20261206);
  const std::string alphabet = "\x1b[A1~\x80";
  auto random_text = [&](size_t max_len) {
    std::string s(1 + rng() % max_len, ' ');
    for (char &ch : s) ch = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 50; round++) {
    Trie t;
    std::map<std::string, uint16_t> stored;
    for (int i = 0; i < 40; i++) {
      std::string s = random_text(5);
      uint16_t code = static_cast<uint16_t>(1 + rng() % 4);
      ASSERT_EQ(t.add(s, code), 0);
      for (char &ch : s) ch = ch == '\x80' ? '\0' : ch;
      stored[s] = code;
    }
    for (int i = 0; i < 200; i++) {
      std::string s = random_text(6);
      ASSERT_EQ(t.find(s), model_lookup(stored, s)) << testing::PrintToString(s);
    }
    for (uint16_t code = 1; code <= 4; code++) {
      std::map<std::string, uint16_t> expanded;
      int32_t occurrence = 0;
      for (;; occurrence++) {
        auto [text, counter] = t.expand(code, occurrence);
        if (text.empty()) break;
        EXPECT_EQ(counter, -1);
        for (char &ch : text) ch = ch == '\x80' ? '\0' : ch;
        expanded[text] = code;
      }
      std::map<std::string, uint16_t> want;
      for (const auto &[s, c] : stored)
        if (c == code) want[s] = c;
      EXPECT_EQ(expanded, want);
    }
  }
}

}  // namespace
