// SPDX-License-Identifier: MIT
// The message catalogs of the library files a trace is decoded with, each
// message's text made ready for formatting. The set refuses a message id that
// two different messages would share.
#ifndef YTRACE_DECODE_CATALOG_SET_H
#define YTRACE_DECODE_CATALOG_SET_H

#include <stdint.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog_reader.h"
#include "printf_format.h"

namespace ytdec {

struct CatalogMessage {
  uint32_t id = 0;
  std::string text;
  PrintfFormat format;
  std::string unsupported;  // why the text cannot be formatted; empty if it can
};

class CatalogSet {
 public:
  // Adds every catalog the ELF file at `path` carries; nothing of it on error.
  // A catalog already held (the same identity and messages) is taken once.
  bool load(const std::string &path, std::string *error);
  // The messages of the catalog with this identity, in index order; null if
  // no such catalog is held.
  const std::vector<CatalogMessage> *find(const uint8_t *identity) const;

 private:
  struct Where {
    ytcat::Identity catalog;
    uint32_t index;
  };
  std::map<ytcat::Identity, std::vector<CatalogMessage>> catalogs_;
  std::unordered_map<uint32_t, Where> ids_;
};

}  // namespace ytdec

#endif
