// SPDX-License-Identifier: MIT
// Reads the trace message catalogs a library file carries: the loaded
// ".ytrace_luids_<identity>" sections (ids and lengths), the compressed
// ".ytrace_format_strings" texts and the ".ytrace_decoder" type table.
// Every inconsistency is reported as an error text; no input makes it crash.
#ifndef YTRACE_CATALOGS_CATALOG_READER_H
#define YTRACE_CATALOGS_CATALOG_READER_H

#include <stdint.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace ytcat {

using Identity = std::array<uint8_t, 16>;

inline constexpr std::string_view kLuidsPrefix = ".ytrace_luids_";
inline constexpr std::string_view kFormatStrings = ".ytrace_format_strings";
inline constexpr std::string_view kDecoder = ".ytrace_decoder";
inline constexpr uint16_t kFormatVersion = 1;

struct SectionInfo {
  std::string name;
  uint64_t flags = 0;   // sh_flags
  uint64_t offset = 0;  // in the file
  uint64_t size = 0;
  bool operator==(const SectionInfo &) const = default;
};

struct Message {
  uint32_t index = 0;
  uint32_t id = 0;
  std::string text;  // without the space that precedes it in the stored form
  bool operator==(const Message &) const = default;
};

struct Catalog {
  uint16_t version = 0;
  uint16_t ordinal = 0;
  Identity identity{};
  SectionInfo section;
  std::vector<Message> messages;  // in index order
};

struct DecoderType {
  uint8_t code = 0;  // argument-type digit of the emit functions' names
  uint8_t size = 0;  // bytes in a record; 0 for a NUL-terminated string
  bool operator==(const DecoderType &) const = default;
};

struct CatalogFile {
  int elf_class = 0;              // 32 or 64
  std::vector<Catalog> catalogs;  // in ordinal order, ordinals 0..n-1
  SectionInfo format_strings;
  uint64_t text_bytes = 0;  // size of the decompressed texts
  SectionInfo decoder;
  uint16_t decoder_version = 0;
  std::vector<DecoderType> decoder_types;
};

struct ReadResult {
  CatalogFile file;
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

// Reads the ELF file at `path` (32- or 64-bit). The error does not name the
// path: the caller puts it first, once.
ReadResult read_catalog_file(const std::string &path);
// Same for an ELF image held in memory.
ReadResult read_catalog_image(std::vector<char> image);

// The derivations the build uses, so that a reader can check a file's ids and
// recognise a catalog by name:
//   identity = SHA-256("ytrace-catalog\0" name "\0" text "\0" ...)[0:16]
//   id       = u32le(SHA-256(identity u16le(index) text)[0:4])
Identity catalog_identity(std::string_view name, const std::vector<Message> &messages);
uint32_t message_id(const Identity &identity, uint16_t index, std::string_view text);

std::string to_hex(const uint8_t *bytes, size_t n);

}  // namespace ytcat

#endif
