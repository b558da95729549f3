// SPDX-License-Identifier: MIT
// Byte trie of key sequences. Levels are singly linked sibling lists kept in
// creation order; every search takes the first node of a level that matches.
#include <errno.h>
#include <stddef.h>
#include <string.h>

#include "alloc_tags.h"
#include "ycurs_internal.h"

namespace {

// Sequence texts cannot hold a zero byte, so 0x80 stands for one.
constexpr uint8_t kZeroByteStandIn = 0x80;

uint8_t stored_byte(uint8_t text_byte) {
  return text_byte == kZeroByteStandIn ? 0 : text_byte;
}
char text_byte(const tries *n) {
  return static_cast<char>(n->byte == 0 ? kZeroByteStandIn : n->byte);
}

tries *new_node(uint32_t site) {
  return static_cast<tries *>(YUTIL_QUILLET_CALLOC(site, tries, sizeof(tries)));
}

int lookup(const tries *level, const uint8_t *s, size_t count) {
  if (count == 0) return 0;
  for (const tries *n = level; n != nullptr; n = n->next_sibling) {
    if (n->byte != *s) continue;
    if (count == 1) {
      if (n->first_child != nullptr) return -1;
      if (n->key_code != 0) return n->key_code;
      continue;
    }
    int r = lookup(n->first_child, s + 1, count - 1);
    if (r != 0) return r;
    if (n->key_code != 0) return n->key_code;
  }
  return 0;
}

char *expand(const tries *level, uint16_t code, int32_t *occurrence, size_t pos) {
  for (const tries *n = level; n != nullptr; n = n->next_sibling) {
    if (char *text = expand(n->first_child, code, occurrence, pos + 1)) {
      text[pos] = text_byte(n);
      return text;
    }
    if (n->key_code != code) continue;
    int32_t wanted = (*occurrence)--;
    if (wanted != 0) continue;
    // Positions 0..pos and the terminating zero byte.
    auto *text = static_cast<char *>(YUTIL_QUILLET_CALLOC(kSiteExpandText, BYTE, pos + 2));
    if (text == nullptr) return nullptr;
    text[pos] = text_byte(n);
    return text;
  }
  return nullptr;
}

}  // namespace

int key_lookup(const tries *root, const uint8_t *bytes, size_t count) {
  return lookup(root, bytes, count);
}

extern "C" {

int ycurs_add_to_try(tries **root, const char *seq, uint16_t code) {
  if (seq == nullptr || seq[0] == 0 || code == 0) return EINVAL;
  auto s = reinterpret_cast<const uint8_t *>(seq);

  // Find the link that receives the first new node, or store the code when the
  // whole text is already there.
  tries **link = root;
  uint32_t site = kSiteTrieRoot;
  for (tries *level = *root; level != nullptr;) {
    tries *n = level, *last = level;
    for (; n != nullptr && n->byte != stored_byte(*s); n = n->next_sibling) last = n;
    if (n == nullptr) {
      link = &last->next_sibling;
      site = kSiteTrieSibling;
      break;
    }
    if (*++s == 0) {
      n->key_code = code;
      return 0;
    }
    link = &n->first_child;
    site = kSiteTrieChild;
    level = n->first_child;
  }

  // Hang the rest of the text below it as one chain; codes are set only once the
  // whole text is placed, so a failure is undone by releasing the chain.
  tries **chain = link;
  for (;;) {
    tries *node = new_node(site);
    if (node == nullptr) {
      ycurs_free_keytry(*chain);
      *chain = nullptr;
      return ENOMEM;
    }
    *link = node;
    node->byte = stored_byte(*s);
    if (*++s == 0) {
      node->key_code = code;
      return 0;
    }
    link = &node->first_child;
    site = kSiteTrieChild;
  }
}

void ycurs_free_keytry(tries *node) {
  while (node != nullptr) {
    ycurs_free_keytry(node->first_child);
    tries *next = node->next_sibling;
    __quillet_free(node);
    node = next;
  }
}

int ycurs_key_defined(tries *root, const char *seq) {
  // A string holds no zero byte, so it never meets a stored one.
  if (seq == nullptr) return 0;
  return lookup(root, reinterpret_cast<const uint8_t *>(seq), strlen(seq));
}

char *ycurs_expand_try(tries *node, uint16_t code, int32_t *occurrence, int32_t pos) {
  // A negative position would index before the text; a negative counter names no
  // occurrence, and decrementing it could run past INT32_MIN.
  if (node == nullptr || code == 0 || occurrence == nullptr || *occurrence < 0 || pos < 0)
    return nullptr;
  return expand(node, code, occurrence, static_cast<size_t>(pos));
}

int ycurs_remove_key(tries **link, uint16_t code) {
  if (code == 0) return 0;
  for (tries **l = link; *l != nullptr; l = &(*l)->next_sibling) {
    tries *n = *l;
    if (ycurs_remove_key(&n->first_child, code)) return 1;
    if (n->key_code != code) continue;
    if (n->first_child != nullptr) {
      n->key_code = 0;
    } else {
      *l = n->next_sibling;
      __quillet_free(n);
    }
    return 1;
  }
  return 0;
}

int ycurs_remove_string(tries **link, const char *seq) {
  if (seq == nullptr || seq[0] == 0) return 0;
  auto s = reinterpret_cast<const uint8_t *>(seq);
  tries **l = link;
  for (;;) {
    while (*l != nullptr && (*l)->byte != *s) l = &(*l)->next_sibling;
    if (*l == nullptr) return 0;
    if (*++s == 0) break;
    l = &(*l)->first_child;
  }
  tries *n = *l;
  if (n->first_child != nullptr) return 0;
  *l = n->next_sibling;
  __quillet_free(n);
  return 1;
}

}  // extern "C"
