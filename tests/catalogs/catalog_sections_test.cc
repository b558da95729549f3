// SPDX-License-Identifier: MIT
// The catalog sections of the built libyutil.so, read with the ytrace-catalogs
// reader and checked against the catalog definition files. What the reader
// checks of any image (section names, ordinals, text lengths) is its fuzz
// target's and the damage table's.
#include <elf.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "catalog_reader.h"
#include "trace_catalogs.h"

namespace {

ytcat::CatalogFile read_ok(const char *path) {
  ytcat::ReadResult r = ytcat::read_catalog_file(path);
  EXPECT_TRUE(r.ok()) << path << ": " << r.error;
  return r.file;
}

TEST(CatalogSections, MatchTheDefinitions) {
  ytcat::CatalogFile f = read_ok(YUTIL_LIBRARY);
  ASSERT_EQ(f.catalogs.size(), std::size(ytrace::kCatalogs));
  for (uint16_t ordinal = 0; ordinal < std::size(ytrace::kCatalogs); ++ordinal) {
    const ytrace::CatalogEntry &want = ytrace::kCatalogs[ordinal];
    const ytcat::Catalog &c = f.catalogs[ordinal];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(c.version, 1);
    EXPECT_TRUE(c.section.flags & SHF_ALLOC);
    EXPECT_FALSE(c.section.flags & SHF_WRITE);
    ASSERT_EQ(c.messages.size(), want.count);
    for (uint32_t i = 0; i < want.count; ++i) {
      EXPECT_EQ(c.messages[i].text, want.messages[i].text) << "index " << i;
    }
    std::set<uint32_t> ids;
    for (const ytcat::Message &m : c.messages) {
      EXPECT_EQ(m.id, ytcat::message_id(c.identity, static_cast<uint16_t>(m.index), m.text))
          << "index " << m.index;
      ids.insert(m.id);
    }
    EXPECT_EQ(ids.size(), want.count) << "message ids repeat within the catalog";
    EXPECT_EQ(c.identity, ytcat::catalog_identity(want.name, c.messages));
  }
  for (const ytcat::SectionInfo *s : {&f.format_strings, &f.decoder}) {
    EXPECT_FALSE(s->flags & SHF_ALLOC) << s->name;
  }
  EXPECT_EQ(f.decoder_version, 1);
  // Argument-type digits of the emit functions: string, 32-bit, 64-bit.
  EXPECT_EQ(f.decoder_types, (std::vector<ytcat::DecoderType>{{1, 0}, {4, 4}, {5, 8}}));
}

// Everything a strip must leave alone: all but the file offsets.
auto content(const ytcat::CatalogFile &f) {
  std::vector<
      std::tuple<uint16_t, ytcat::Identity, std::string, uint64_t, std::vector<ytcat::Message>>>
      cats;
  for (const ytcat::Catalog &c : f.catalogs) {
    cats.emplace_back(c.ordinal, c.identity, c.section.name, c.section.flags, c.messages);
  }
  return std::tuple(cats, f.text_bytes, f.format_strings.size, f.format_strings.flags,
                    f.decoder.flags, f.decoder_types);
}

TEST(CatalogSections, SurviveStripping) {
  ytcat::CatalogFile original = read_ok(YUTIL_LIBRARY);
  for (const char *path : {YUTIL_STRIPPED, YUTIL_LLVM_STRIPPED}) {
    if (*path == '\0') {
      continue;  // llvm-strip not installed
    }
    SCOPED_TRACE(path);
    EXPECT_LT(std::filesystem::file_size(path), std::filesystem::file_size(YUTIL_LIBRARY));
    EXPECT_EQ(content(read_ok(path)), content(original));
  }
}

TEST(CatalogSections, DamagedFilesAreRejected) {
  std::ifstream in(YUTIL_LIBRARY, std::ios::binary);
  const std::vector<char> image{std::istreambuf_iterator<char>(in), {}};
  const ytcat::CatalogFile f = read_ok(YUTIL_LIBRARY);
  ASSERT_EQ(f.catalogs.size(), 3u);
  using Image = std::vector<char>;
  auto luids = [&](size_t ordinal, size_t at) { return f.catalogs[ordinal].section.offset + at; };
  auto length_at = [&](size_t ordinal, size_t index) { return luids(ordinal, 20 + 6 * index + 4); };
  const uint64_t texts = f.format_strings.offset, texts_size = f.format_strings.size;
  const struct {
    const char *what;
    std::function<void(Image &)> damage;
    const char *error;
  } cases[] = {
      {"not ELF", [](Image &b) { b[0] = 'X'; }, "not an ELF file"},
      {"cut short", [](Image &b) { b.resize(b.size() / 2); }, "truncated"},
      {"texts flipped", [&](Image &b) { b[texts + texts_size / 2] ^= 0x5a; },
       "damaged bzip2 stream"},
      {"texts not bzip2", [&](Image &b) { b[texts] = 'X'; }, "not a bzip2 stream"},
      {"version", [&](Image &b) { b[luids(1, 0)] = 2; }, "format version 2"},
      {"ordinal twice", [&](Image &b) { b[luids(1, 2)] = 0; }, "ordinal 0 is used by both"},
      {"ordinal gap", [&](Image &b) { b[luids(2, 2)] = 5; }, "ordinal 2 is missing"},
      {"identity", [&](Image &b) { b[luids(0, 4)] ^= 1; }, "does not match the identity"},
      {"length too long", [&](Image &b) { ++b[length_at(0, 0)]; }, "lengths add up to"},
      {"length too short", [&](Image &b) { b[length_at(2, 1)] -= 2; }, "longer than"},
      {"lengths shifted",
       [&](Image &b) {
         ++b[length_at(0, 0)];
         --b[length_at(0, 1)];
       },
       "catalog 0 message 1: the stored text does not start with a space"},
      {"decoder", [&](Image &b) { b[f.decoder.offset] = 'X'; }, "does not start with \"YTDC\""},
  };
  for (const auto &c : cases) {
    Image damaged = image;
    c.damage(damaged);
    ytcat::ReadResult r = ytcat::read_catalog_image(damaged);
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": got \"" << r.error << '"';
  }
}

}  // namespace
