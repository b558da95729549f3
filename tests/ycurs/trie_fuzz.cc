// SPDX-License-Identifier: MIT
// Trie operations decoded from the input against a model that keeps every node by
// its path, with an allocation failure injected into one operation in four: the
// trie must then be exactly as before, and no node or text may be left behind.
#include <errno.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "quillet.h"
#include "quillet_testing.h"
#include "ycurs.h"

namespace {

using Shape = std::vector<std::pair<std::string, uint16_t>>;  // (path, code), levels in order
using Text = std::optional<std::string>;                      // nullopt: a null pointer

// The text with every byte `from` made `to`: 0x80 in a text stands for a stored zero.
std::string with(std::string s, char from, char to) {
  std::replace(s.begin(), s.end(), from, to);
  return s;
}

// The trie's rules on nodes named by their path of stored bytes. Paths are
// prefix-closed: only leaves are ever removed.
struct Model {
  std::map<std::string, std::pair<uint64_t, uint16_t>> nodes;  // path: (birth, code)
  uint64_t births = 0;

  bool has(const std::string &p) const { return nodes.count(p) != 0; }
  bool has_children(const std::string &p) const {
    auto next = nodes.upper_bound(p);
    return next != nodes.end() && next->first.starts_with(p);
  }
  // A level's nodes by birth: they are kept in the order they were made.
  std::map<uint64_t, std::string> children(const std::string &p) const {
    std::map<uint64_t, std::string> found;
    for (auto it = nodes.upper_bound(p); it != nodes.end() && it->first.starts_with(p); ++it)
      if (it->first.size() == p.size() + 1) found[it->second.first] = it->first;
    return found;
  }
  void shape(const std::string &p, Shape &out) const {
    for (auto &[birth, c] : children(p)) out.emplace_back(c, nodes.at(c).second), shape(c, out);
  }
  // The nodes carrying `code`, a level's children before the node above them.
  void occurrences(const std::string &p, uint16_t code, std::vector<std::string> &out) const {
    for (auto &[birth, c] : children(p)) {
      occurrences(c, code, out);
      if (nodes.at(c).second == code) out.push_back(c);
    }
  }

  // Insertion when allocation `fail_at` (1: the first; 0: none) fails: one is
  // made per node not there yet.
  int add(const std::string &text, uint16_t code, unsigned fail_at) {
    if (text.empty() || code == 0) return EINVAL;
    std::string path = with(text, '\x80', 0);
    size_t have = 0;
    while (have < path.size() && has(path.substr(0, have + 1))) have++;
    if (fail_at != 0 && fail_at <= path.size() - have) return ENOMEM;
    for (size_t n = have + 1; n <= path.size(); n++) nodes[path.substr(0, n)] = {births++, 0};
    nodes[path].second = code;
    return 0;
  }
  // Lookup compares text bytes as they are: 0x80 never meets a stored zero byte.
  int lookup(const std::string &s) const {
    size_t matched = 0;
    while (matched < s.size() && has(s.substr(0, matched + 1))) matched++;
    if (!s.empty() && matched == s.size() && has_children(s)) return -1;
    for (; matched > 0; matched--)
      if (uint16_t code = nodes.at(s.substr(0, matched)).second) return code;
    return 0;
  }
  int remove_key(uint16_t code) {
    std::vector<std::string> found;
    if (code != 0) occurrences("", code, found);
    if (found.empty()) return 0;
    has_children(found[0]) ? void(nodes[found[0]].second = 0) : void(nodes.erase(found[0]));
    return 1;
  }
  int remove_string(const std::string &s) {
    if (s.empty() || !has(s) || has_children(s)) return 0;
    return nodes.erase(s), 1;
  }
};

void shape(const tries *n, const std::string &prefix, Shape &out) {
  for (; n != nullptr; n = n->next_sibling) {
    std::string path = prefix + static_cast<char>(n->byte);
    out.emplace_back(path, n->key_code);
    shape(n->first_child, path, out);
  }
}

// A short text of the bytes keys are made of, 0x80 among them, and now and then
// any byte (a zero one ends it); null one time in eight.
Text text(FuzzInput &in) {
  uint32_t length = in.below(8);
  if (length == 7) return std::nullopt;
  std::string s;
  while (length-- > 0) {
    uint32_t pick = in.below(8);
    s += pick < 7 ? "\x1b[A1~O\x80"[pick] : static_cast<char>(in.byte());
  }
  return s.substr(0, strlen(s.c_str()));
}

// The bytes in hex, for a message.
std::string hex(const Text &s) {
  std::string out = s ? "" : "null";
  char two[4];
  for (unsigned char c : s.value_or("")) snprintf(two, sizeof two, "%02x ", c), out += two;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  Model m;
  tries *root = nullptr;
  const long nodes_before = quillet_testing_live("tries"),
             texts_before = quillet_testing_live("BYTE");
  while (!in.empty()) {
    uint32_t op = in.below(6);
    unsigned fail_at = in.below(4) == 0 ? 1 + in.below(4) : 0;
    quillet_testing_fail_nth(fail_at);
    Text t;
    const char *s = nullptr;
    uint16_t code = 0;
    int got = 0, want = 0;
    if (op == 0 || op == 1 || op == 4) t = text(in), s = t ? t->c_str() : nullptr;
    if (op == 0 || op == 2 || op == 3) code = static_cast<uint16_t>(in.below(5));
    if (op == 0)
      got = ycurs_add_to_try(&root, s, code), want = t ? m.add(*t, code, fail_at) : EINVAL;
    if (op == 1) got = ycurs_key_defined(root, s), want = t ? m.lookup(*t) : 0;
    if (op == 3) got = ycurs_remove_key(&root, code), want = m.remove_key(code);
    if (op == 4) got = ycurs_remove_string(&root, s), want = t ? m.remove_string(*t) : 0;
    FUZZ_REQUIRE(got == want, "operation %u, text %s, code %u: %d, model %d", op, hex(t).c_str(),
                 code, got, want);
    if (op == 2) {
      uint32_t pick = in.below(8);
      const int32_t entry = pick < 5    ? static_cast<int32_t>(pick)
                            : pick == 5 ? -1
                            : pick == 6 ? INT32_MIN
                                        : static_cast<int32_t>(in.u32());
      int32_t pos = static_cast<int32_t>(in.below(3)), counter = entry;
      char *made = ycurs_expand_try(root, code, &counter, pos);
      if (made) t = std::string(made, pos) + (made + pos), __quillet_free(made);
      std::vector<std::string> found;
      if (code != 0 && entry >= 0) m.occurrences("", code, found);
      bool hit = entry >= 0 && static_cast<size_t>(entry) < found.size();
      Text expected;
      int32_t left = entry < 0 ? entry : entry - static_cast<int32_t>(found.size());
      if (hit)
        expected = std::string(pos, 0) + with(found[static_cast<size_t>(entry)], 0, '\x80'),
        left = -1;
      // A hit's one allocation, the text's, may fail: nothing then, the counter left
      // where the cut walk ends.
      if (hit && fail_at == 1) expected = std::nullopt, left = counter;
      FUZZ_REQUIRE(t == expected && counter == left,
                   "expansion %d of %u at %d: %s, counter %d; model %s, %d", entry, code, pos,
                   hex(t).c_str(), counter, hex(expected).c_str(), left);
    }
    if (op == 5) ycurs_free_keytry(root), root = nullptr, m = Model{};
    quillet_testing_fail_nth(0);
    Shape got_shape, want_shape;
    shape(root, "", got_shape);
    m.shape("", want_shape);
    FUZZ_REQUIRE(got_shape == want_shape, "after operation %u: %zu nodes, model %zu", op,
                 got_shape.size(), want_shape.size());
    FUZZ_REQUIRE(quillet_testing_live("tries") - nodes_before == long(want_shape.size()) &&
                     quillet_testing_live("BYTE") == texts_before,
                 "after operation %u: %ld nodes and %ld texts live, model %zu and 0", op,
                 quillet_testing_live("tries") - nodes_before,
                 quillet_testing_live("BYTE") - texts_before, want_shape.size());
  }
  ycurs_free_keytry(root);
  FUZZ_REQUIRE(quillet_testing_live("tries") == nodes_before, "nodes left after release");
  return 0;
}
