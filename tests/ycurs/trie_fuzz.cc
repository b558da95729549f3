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

// The trie's rules on nodes named by their path of stored bytes (0x80 in a text is
// stored as a zero byte). Paths are prefix-closed: only leaves are ever removed.
struct Model {
  struct Node {
    uint16_t code;
    uint64_t born;  // a level's nodes are kept in the order they were made
  };
  std::map<std::string, Node> nodes;
  uint64_t births = 0;

  bool has(const std::string &p) const { return nodes.count(p) != 0; }
  bool has_children(const std::string &p) const {
    auto next = nodes.upper_bound(p);
    return next != nodes.end() && next->first.starts_with(p) && next->first.size() > p.size();
  }
  std::vector<std::string> children(const std::string &p) const {
    std::vector<std::pair<uint64_t, std::string>> found;
    for (auto it = nodes.upper_bound(p); it != nodes.end() && it->first.starts_with(p); ++it)
      if (it->first.size() == p.size() + 1) found.emplace_back(it->second.born, it->first);
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto &f : found) out.push_back(f.second);
    return out;
  }
  void shape(const std::string &p, Shape &out) const {
    for (const std::string &c : children(p)) out.emplace_back(c, nodes.at(c).code), shape(c, out);
  }
  // The nodes carrying `code`, a level's children before the node above them.
  void occurrences(const std::string &p, uint16_t code, std::vector<std::string> &out) const {
    for (const std::string &c : children(p)) {
      occurrences(c, code, out);
      if (nodes.at(c).code == code) out.push_back(c);
    }
  }

  // Insertion when allocation `fail_at` (1: the first; 0: none) fails: one is
  // made per node not there yet.
  int add(const std::string &text, uint16_t code, unsigned fail_at) {
    if (text.empty() || code == 0) return EINVAL;
    std::string path = text;
    for (char &c : path) c = c == '\x80' ? 0 : c;
    size_t have = 0;
    while (have < path.size() && has(path.substr(0, have + 1))) have++;
    if (fail_at != 0 && fail_at <= path.size() - have) return ENOMEM;
    for (size_t n = have + 1; n <= path.size(); n++) nodes[path.substr(0, n)] = {0, births++};
    nodes[path].code = code;
    return 0;
  }
  // Lookup compares text bytes as they are: 0x80 never meets a stored zero byte.
  int lookup(const std::string &s) const {
    size_t matched = 0;
    while (matched < s.size() && has(s.substr(0, matched + 1))) matched++;
    if (!s.empty() && matched == s.size() && has_children(s)) return -1;
    for (; matched > 0; matched--)
      if (uint16_t code = nodes.at(s.substr(0, matched)).code) return code;
    return 0;
  }
  int remove_key(uint16_t code) {
    std::vector<std::string> found;
    if (code != 0) occurrences("", code, found);
    if (found.empty()) return 0;
    if (has_children(found[0])) {
      nodes[found[0]].code = 0;
    } else {
      nodes.erase(found[0]);
    }
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
std::optional<std::string> text(FuzzInput &in) {
  uint32_t length = in.below(8);
  if (length == 7) return std::nullopt;
  static const char kBytes[] = "\x1b[A1~O\x80";
  std::string s;
  while (length-- > 0) {
    uint32_t pick = in.below(8);
    s += pick < 7 ? kBytes[pick] : static_cast<char>(in.byte());
  }
  return s.substr(0, strlen(s.c_str()));
}
const char *c_str(const std::optional<std::string> &s) {
  return s ? s->c_str() : nullptr;
}

// The bytes in hex, for a message.
std::string printable(const std::optional<std::string> &s) {
  if (!s) return "null";
  std::string out;
  char hex[8];
  for (unsigned char c : *s) snprintf(hex, sizeof hex, "%02x ", c), out += hex;
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
    switch (op) {
      case 0: {
        auto t = text(in);
        uint16_t code = static_cast<uint16_t>(in.below(5));
        int got = ycurs_add_to_try(&root, c_str(t), code);
        int want = t ? m.add(*t, code, fail_at) : EINVAL;
        FUZZ_REQUIRE(got == want, "add %s code %u: %d, model %d", printable(t).c_str(), code, got,
                     want);
        break;
      }
      case 1: {
        auto t = text(in);
        int got = ycurs_key_defined(root, c_str(t)), want = t ? m.lookup(*t) : 0;
        FUZZ_REQUIRE(got == want, "lookup %s: %d, model %d", printable(t).c_str(), got, want);
        break;
      }
      case 2: {
        uint16_t code = static_cast<uint16_t>(in.below(5));
        uint32_t pick = in.below(8);
        const int32_t entry = pick < 5    ? static_cast<int32_t>(pick)
                              : pick == 5 ? -1
                              : pick == 6 ? INT32_MIN
                                          : static_cast<int32_t>(in.u32());
        int32_t pos = static_cast<int32_t>(in.below(3)), counter = entry;
        char *got = ycurs_expand_try(root, code, &counter, pos);
        std::vector<std::string> found;
        if (code != 0 && entry >= 0) m.occurrences("", code, found);
        bool hit = entry >= 0 && static_cast<size_t>(entry) < found.size();
        if (hit && fail_at == 1) {
          // Its one allocation, the text's, fails; the counter is left where the cut walk ends.
          FUZZ_REQUIRE(got == nullptr, "expansion of %u despite a failed allocation", code);
        } else if (hit) {
          std::string want = found[static_cast<size_t>(entry)];
          for (char &c : want) c = c == 0 ? '\x80' : c;
          FUZZ_REQUIRE(
              got != nullptr && std::string(got, pos) == std::string(pos, '\0') &&
                  want == got + pos && counter == -1,
              "expansion %d of %u at %d: %s, counter %d; model %s", entry, code, pos,
              printable(got ? std::optional<std::string>(got + pos) : std::nullopt).c_str(),
              counter, printable(want).c_str());
        } else {
          const int32_t left = entry < 0 ? entry : entry - static_cast<int32_t>(found.size());
          FUZZ_REQUIRE(got == nullptr && counter == left,
                       "expansion %d of %u: counter %d, model %d", entry, code, counter, left);
        }
        if (got != nullptr) __quillet_free(got);
        break;
      }
      case 3: {
        uint16_t code = static_cast<uint16_t>(in.below(5));
        int got = ycurs_remove_key(&root, code), want = m.remove_key(code);
        FUZZ_REQUIRE(got == want, "remove key %u: %d, model %d", code, got, want);
        break;
      }
      case 4: {
        auto t = text(in);
        int got = ycurs_remove_string(&root, c_str(t)), want = t ? m.remove_string(*t) : 0;
        FUZZ_REQUIRE(got == want, "remove %s: %d, model %d", printable(t).c_str(), got, want);
        break;
      }
      default:
        ycurs_free_keytry(root);
        root = nullptr;
        m = Model{};
    }
    quillet_testing_fail_nth(0);
    Shape got, want;
    shape(root, "", got);
    m.shape("", want);
    FUZZ_REQUIRE(got == want, "after operation %u: %zu nodes, model %zu", op, got.size(),
                 want.size());
    FUZZ_REQUIRE(quillet_testing_live("tries") - nodes_before == static_cast<long>(want.size()) &&
                     quillet_testing_live("BYTE") == texts_before,
                 "after operation %u: %ld nodes and %ld texts live, model %zu and 0", op,
                 quillet_testing_live("tries") - nodes_before,
                 quillet_testing_live("BYTE") - texts_before, want.size());
  }
  ycurs_free_keytry(root);
  FUZZ_REQUIRE(quillet_testing_live("tries") == nodes_before, "nodes left after release");
  return 0;
}
