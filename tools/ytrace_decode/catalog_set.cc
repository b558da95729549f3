// SPDX-License-Identifier: MIT
#include "catalog_set.h"

#include <stdio.h>
#include <string.h>

namespace ytdec {
namespace {

std::string hex(const ytcat::Identity &identity) {
  return ytcat::to_hex(identity.data(), identity.size());
}

bool same(const std::vector<CatalogMessage> &held, const std::vector<ytcat::Message> &messages) {
  if (held.size() != messages.size()) return false;
  for (size_t i = 0; i < held.size(); ++i) {
    if (held[i].id != messages[i].id || held[i].text != messages[i].text) return false;
  }
  return true;
}

}  // namespace

bool CatalogSet::load(const std::string &path, std::string *error) {
  ytcat::ReadResult r = ytcat::read_catalog_file(path);
  if (!r.ok()) {
    *error = path + ": " + r.error;
    return false;
  }
  std::map<ytcat::Identity, std::vector<CatalogMessage>> fresh;
  std::unordered_map<uint32_t, Where> ids = ids_;
  for (const ytcat::Catalog &c : r.file.catalogs) {
    const std::vector<CatalogMessage> *held = find(c.identity.data());
    if (auto f = fresh.find(c.identity); held == nullptr && f != fresh.end()) held = &f->second;
    if (held != nullptr) {
      if (same(*held, c.messages)) continue;
      *error = path + ": catalog " + hex(c.identity) +
               " has other messages than the catalog of that identity loaded before";
      return false;
    }
    std::vector<CatalogMessage> &messages = fresh[c.identity];
    for (const ytcat::Message &m : c.messages) {
      auto [it, added] = ids.try_emplace(m.id, Where{c.identity, m.index});
      if (!added) {
        char id[16];
        snprintf(id, sizeof id, "0x%08x", m.id);
        *error = path + ": message id " + id + " repeats: catalog " + hex(it->second.catalog) +
                 " index " + std::to_string(it->second.index) + " and catalog " + hex(c.identity) +
                 " index " + std::to_string(m.index);
        return false;
      }
      messages.push_back({m.id, m.text, {}, {}});
      messages.back().format.compile(m.text, &messages.back().unsupported);
    }
  }
  catalogs_.merge(fresh);
  ids_ = std::move(ids);
  return true;
}

const std::vector<CatalogMessage> *CatalogSet::find(const uint8_t *identity) const {
  ytcat::Identity key;
  memcpy(key.data(), identity, key.size());
  auto it = catalogs_.find(key);
  return it == catalogs_.end() ? nullptr : &it->second;
}

}  // namespace ytdec
