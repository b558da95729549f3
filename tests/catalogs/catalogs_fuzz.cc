// SPDX-License-Identifier: MIT
// The catalog reader behind ytrace-catalogs on damaged library files: it ends
// with the catalogs or an error, and what it reports is what the image holds.
// (The tool's way, through a file, meets the same images in decode_fuzz.)
// Seeds: the .ytrace* sections of the catalog object built for armhf and for
// the host, and of the host's library, as `objcopy -j '.ytrace*' --strip-all`
// copies them.
#include <string>
#include <vector>

#include "catalog_reader.h"
#include "fuzz_input.h"

namespace {

uint64_t le(const std::vector<char> &image, uint64_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(image[size_t(at) + i]);
  return v;
}

// The section's bytes lie in the image where the reader says.
bool in_image(const std::vector<char> &image, const ytcat::SectionInfo &s) {
  return s.offset <= image.size() && s.size <= image.size() - s.offset;
}

void check(const std::vector<char> &image, const ytcat::CatalogFile &f) {
  FUZZ_REQUIRE(f.elf_class == 32 || f.elf_class == 64, "class %d", f.elf_class);
  uint64_t text_bytes = 0;
  for (size_t k = 0; k < f.catalogs.size(); ++k) {
    const ytcat::Catalog &c = f.catalogs[k];
    const ytcat::SectionInfo &s = c.section;
    FUZZ_REQUIRE(c.ordinal == k, "catalog %zu has ordinal %u", k, c.ordinal);
    FUZZ_REQUIRE(s.name == std::string(ytcat::kLuidsPrefix) +
                               ytcat::to_hex(c.identity.data(), c.identity.size()),
                 "section %s", s.name.c_str());
    FUZZ_REQUIRE(in_image(image, s) && s.size == 20 + 6 * c.messages.size(), "%s: %zu messages",
                 s.name.c_str(), c.messages.size());
    FUZZ_REQUIRE(le(image, s.offset, 2) == c.version && le(image, s.offset + 2, 2) == c.ordinal,
                 "%s: header not as stored", s.name.c_str());
    for (size_t i = 0; i < c.messages.size(); ++i) {
      const ytcat::Message &m = c.messages[i];
      // An id need not be the derived one (the tool warns); it is the stored one.
      FUZZ_REQUIRE(m.index == i && m.id == le(image, s.offset + 20 + 6 * i, 4), "%s: message %zu",
                   s.name.c_str(), i);
      FUZZ_REQUIRE(m.text.size() + 1 == le(image, s.offset + 20 + 6 * i + 4, 2),
                   "%s: message %zu text of %zu bytes", s.name.c_str(), i, m.text.size());
      text_bytes += m.text.size() + 1;
    }
  }
  FUZZ_REQUIRE(text_bytes == f.text_bytes, "texts %llu bytes, reported %llu",
               static_cast<unsigned long long>(text_bytes),
               static_cast<unsigned long long>(f.text_bytes));
  FUZZ_REQUIRE(in_image(image, f.format_strings) && in_image(image, f.decoder) &&
                   f.decoder.size == 8 + 2 * f.decoder_types.size(),
               "texts or decoder table out of place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<char> image(data, data + size);
  ytcat::ReadResult r = ytcat::read_catalog_image(image);
  if (r.ok()) check(image, r.file);
  return 0;
}
