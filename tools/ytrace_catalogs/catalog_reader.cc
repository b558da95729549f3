// SPDX-License-Identifier: MIT
#include "catalog_reader.h"

#include <bzlib.h>
#include <errno.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace ytcat {
namespace {

constexpr size_t kLuidsHeader = 20;   // version, ordinal, identity
constexpr size_t kEntrySize = 6;      // id, length
constexpr size_t kDecoderHeader = 8;  // "YTDC", version, count
// A catalog's texts are a few kilobytes; more than this is a damaged length.
constexpr uint64_t kMaxTextBytes = 64u << 20;
constexpr size_t kFirstOutputChunk = 64u << 10;

uint16_t le16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

struct ElfEnd {
  void operator()(Elf *e) const { elf_end(e); }
};
using ElfPtr = std::unique_ptr<Elf, ElfEnd>;

std::string elf_error() {
  const char *m = elf_errmsg(-1);
  return m ? m : "unknown libelf error";
}

struct Bytes {
  const uint8_t *data = nullptr;
  size_t size = 0;
};

struct Entry {
  uint32_t id;
  uint16_t length;  // stored text with its leading space
};

struct PendingCatalog {
  Catalog catalog;
  std::vector<Entry> entries;
};

// The section's bytes as the file holds them (these sections are untyped, so
// libelf converts nothing).
bool section_bytes(Elf_Scn *scn, const GElf_Shdr &sh, const std::string &name, Bytes *out,
                   std::string *error) {
  if (sh.sh_type == SHT_NOBITS) {
    *error = "section " + name + " has no contents in the file";
    return false;
  }
  if (sh.sh_flags & SHF_COMPRESSED) {
    *error = "section " + name + " is compressed (SHF_COMPRESSED), which is not supported";
    return false;
  }
  Elf_Data *d = elf_getdata(scn, nullptr);
  if (d == nullptr) {
    *error = "cannot read section " + name + ": " + elf_error();
    return false;
  }
  if (d->d_size != sh.sh_size || (d->d_size != 0 && d->d_buf == nullptr)) {
    *error = "section " + name + " is incomplete in the file";
    return false;
  }
  out->data = static_cast<const uint8_t *>(d->d_buf);
  out->size = d->d_size;
  return true;
}

bool parse_luids(const SectionInfo &info, Bytes b, PendingCatalog *out, std::string *error) {
  const std::string &name = info.name;
  if (b.size < kLuidsHeader || (b.size - kLuidsHeader) % kEntrySize != 0) {
    *error =
        "section " + name + ": size " + std::to_string(b.size) + " is not 20 + 6 bytes per message";
    return false;
  }
  size_t count = (b.size - kLuidsHeader) / kEntrySize;
  if (count > std::numeric_limits<uint16_t>::max() + size_t{1}) {
    *error =
        "section " + name + ": " + std::to_string(count) + " messages, more than 16-bit indices";
    return false;
  }
  Catalog &c = out->catalog;
  c.section = info;
  c.version = le16(b.data);
  c.ordinal = le16(b.data + 2);
  if (c.version != kFormatVersion) {
    *error = "section " + name + ": format version " + std::to_string(c.version) +
             ", this reader knows version " + std::to_string(kFormatVersion);
    return false;
  }
  std::copy(b.data + 4, b.data + kLuidsHeader, c.identity.begin());
  std::string hex = to_hex(c.identity.data(), c.identity.size());
  if (name.substr(kLuidsPrefix.size()) != hex) {
    *error = "section " + name + ": the name does not match the identity " + hex + " it holds";
    return false;
  }
  out->entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t *p = b.data + kLuidsHeader + i * kEntrySize;
    out->entries.push_back({le32(p), le16(p + 4)});
  }
  return true;
}

// Decompresses the single bzip2 stream, which must give exactly `expected`
// bytes; the output grows in steps and never beyond expected + 1.
bool decompress(Bytes in, uint64_t expected, std::string *out, std::string *error) {
  if (in.size > std::numeric_limits<unsigned int>::max()) {
    *error = std::string(kFormatStrings) + " is too large";
    return false;
  }
  bz_stream s;
  memset(&s, 0, sizeof s);
  if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) {
    *error = "cannot start bzip2 decompression";
    return false;
  }
  s.next_in = const_cast<char *>(reinterpret_cast<const char *>(in.data));
  s.avail_in = static_cast<unsigned int>(in.size);
  size_t limit = static_cast<size_t>(expected) + 1;
  out->assign(std::min(limit, kFirstOutputChunk), '\0');
  size_t produced = 0;
  std::string fault;
  for (;;) {
    s.next_out = out->data() + produced;
    s.avail_out = static_cast<unsigned int>(out->size() - produced);
    int rc = BZ2_bzDecompress(&s);
    produced = out->size() - s.avail_out;
    if (rc == BZ_STREAM_END) {
      if (s.avail_in != 0) {
        fault = std::to_string(s.avail_in) + " bytes follow the end of the bzip2 stream";
      }
      break;
    }
    if (rc != BZ_OK) {
      fault = rc == BZ_DATA_ERROR_MAGIC ? "not a bzip2 stream"
              : rc == BZ_DATA_ERROR     ? "damaged bzip2 stream (data or checksum error)"
              : rc == BZ_MEM_ERROR      ? "out of memory while decompressing"
                                        : "bzip2 error " + std::to_string(rc);
      break;
    }
    if (s.avail_out != 0) {  // all input consumed before the end of the stream
      fault = "bzip2 stream is truncated";
      break;
    }
    if (out->size() == limit) {
      fault = "the texts are longer than the " + std::to_string(expected) +
              " bytes the message lengths add up to";
      break;
    }
    out->resize(std::min(limit, out->size() * 2));
  }
  BZ2_bzDecompressEnd(&s);
  if (fault.empty() && produced != expected) {
    fault = "the texts are " + std::to_string(produced) + " bytes, the message lengths add up to " +
            std::to_string(expected);
  }
  if (!fault.empty()) {
    *error = std::string(kFormatStrings) + ": " + fault;
    return false;
  }
  out->resize(produced);
  return true;
}

bool parse_decoder(Bytes b, CatalogFile *file, std::string *error) {
  std::string name(kDecoder);
  if (b.size < kDecoderHeader || memcmp(b.data, "YTDC", 4) != 0) {
    *error = "section " + name + " does not start with \"YTDC\"";
    return false;
  }
  file->decoder_version = le16(b.data + 4);
  uint16_t count = le16(b.data + 6);
  if (file->decoder_version != kFormatVersion) {
    *error = "section " + name + ": version " + std::to_string(file->decoder_version) +
             ", this reader knows version " + std::to_string(kFormatVersion);
    return false;
  }
  if (b.size != kDecoderHeader + 2 * size_t{count}) {
    *error = "section " + name + ": size " + std::to_string(b.size) + " does not fit " +
             std::to_string(count) + " types";
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    file->decoder_types.push_back(
        {b.data[kDecoderHeader + 2 * i], b.data[kDecoderHeader + 2 * i + 1]});
  }
  return true;
}

// Checks that the ordinals run 0..n-1 without repeats: the texts are stored in
// ordinal order, so a missing or doubled ordinal would misassign them.
bool check_ordinals(std::vector<PendingCatalog> &cats, std::string *error) {
  std::stable_sort(cats.begin(), cats.end(), [](const PendingCatalog &a, const PendingCatalog &b) {
    return a.catalog.ordinal < b.catalog.ordinal;
  });
  for (size_t i = 0; i < cats.size(); ++i) {
    const Catalog &c = cats[i].catalog;
    if (i > 0 && c.ordinal == cats[i - 1].catalog.ordinal) {
      *error = "ordinal " + std::to_string(c.ordinal) + " is used by both " +
               cats[i - 1].catalog.section.name + " and " + c.section.name;
      return false;
    }
    if (c.ordinal != i) {
      *error = "catalog ordinal " + std::to_string(i) + " is missing (ordinals must run from 0)";
      return false;
    }
  }
  return true;
}

ReadResult read_elf(Elf *e) {
  ReadResult r;
  CatalogFile &file = r.file;
  if (elf_kind(e) != ELF_K_ELF) {
    r.error = "not an ELF file";
    return r;
  }
  int cls = gelf_getclass(e);
  if (cls != ELFCLASS32 && cls != ELFCLASS64) {
    r.error = "unknown ELF class";
    return r;
  }
  file.elf_class = cls == ELFCLASS32 ? 32 : 64;
  // libelf shows no sections at all when the header table lies past the end of
  // the file; say so rather than report the catalogs missing.
  GElf_Ehdr ehdr;
  size_t section_count = 0;
  if (gelf_getehdr(e, &ehdr) == nullptr || elf_getshdrnum(e, &section_count) != 0) {
    r.error = "cannot read the ELF header: " + elf_error();
    return r;
  }
  if (ehdr.e_shnum != 0 && section_count == 0) {
    r.error = "the file is truncated: its section headers lie beyond its end";
    return r;
  }
  size_t shstrndx = 0;
  if (elf_getshdrstrndx(e, &shstrndx) != 0) {
    r.error = "cannot find the section names: " + elf_error();
    return r;
  }

  std::vector<PendingCatalog> cats;
  Bytes texts, decoder;
  bool have_texts = false, have_decoder = false;
  for (Elf_Scn *scn = elf_nextscn(e, nullptr); scn != nullptr; scn = elf_nextscn(e, scn)) {
    GElf_Shdr sh;
    if (gelf_getshdr(scn, &sh) == nullptr) {
      r.error = "cannot read a section header: " + elf_error();
      return r;
    }
    const char *raw_name = elf_strptr(e, shstrndx, sh.sh_name);
    if (raw_name == nullptr) {
      r.error =
          "cannot read the name of section " + std::to_string(elf_ndxscn(scn)) + ": " + elf_error();
      return r;
    }
    std::string name(raw_name);
    SectionInfo info{name, sh.sh_flags, sh.sh_offset, sh.sh_size};
    bool is_luids = name.starts_with(kLuidsPrefix);
    bool is_texts = name == kFormatStrings, is_decoder = name == kDecoder;
    if (!is_luids && !is_texts && !is_decoder) {
      continue;
    }
    if ((is_texts && have_texts) || (is_decoder && have_decoder)) {
      r.error = "two sections named " + name;
      return r;
    }
    Bytes b;
    if (!section_bytes(scn, sh, name, &b, &r.error)) {
      return r;
    }
    if (is_luids) {
      cats.emplace_back();
      if (!parse_luids(info, b, &cats.back(), &r.error)) {
        return r;
      }
    } else if (is_texts) {
      have_texts = true;
      texts = b;
      file.format_strings = info;
    } else {
      have_decoder = true;
      decoder = b;
      file.decoder = info;
    }
  }

  if (cats.empty()) {
    r.error = have_texts || have_decoder
                  ? "no " + std::string(kLuidsPrefix) + "* section"
                  : "no trace catalog sections (" + std::string(kLuidsPrefix) + "*, " +
                        std::string(kFormatStrings) + ", " + std::string(kDecoder) + ")";
    return r;
  }
  const std::pair<bool, std::string_view> required[] = {{have_texts, kFormatStrings},
                                                        {have_decoder, kDecoder}};
  for (auto [have, name] : required) {
    if (!have) {
      r.error = "section " + std::string(name) +
                " is missing (a strip that drops non-loaded sections removes it)";
      return r;
    }
  }
  if (!check_ordinals(cats, &r.error) || !parse_decoder(decoder, &file, &r.error)) {
    return r;
  }

  uint64_t total = 0;
  for (const PendingCatalog &pc : cats) {
    for (const Entry &en : pc.entries) {
      total += en.length;
    }
  }
  if (total > kMaxTextBytes) {
    r.error = "the message lengths add up to " + std::to_string(total) + " bytes, too many";
    return r;
  }
  std::string all;
  if (!decompress(texts, total, &all, &r.error)) {
    return r;
  }
  file.text_bytes = all.size();

  size_t pos = 0;
  for (PendingCatalog &pc : cats) {
    Catalog &c = pc.catalog;
    for (size_t i = 0; i < pc.entries.size(); ++i) {
      const Entry &en = pc.entries[i];
      if (en.length == 0 || all[pos] != ' ') {
        r.error = "catalog " + std::to_string(c.ordinal) + " message " + std::to_string(i) +
                  ": the stored text does not start with a space";
        return r;
      }
      c.messages.push_back({static_cast<uint32_t>(i), en.id, all.substr(pos + 1, en.length - 1)});
      pos += en.length;
    }
    file.catalogs.push_back(std::move(c));
  }
  return r;
}

bool init_libelf(std::string *error) {
  if (elf_version(EV_CURRENT) == EV_NONE) {
    *error = "libelf is out of date: " + elf_error();
    return false;
  }
  return true;
}

}  // namespace

ReadResult read_catalog_image(std::vector<char> image) {
  ReadResult r;
  if (!init_libelf(&r.error)) {
    return r;
  }
  ElfPtr e(elf_memory(image.data(), image.size()));
  if (!e) {
    r.error = "cannot read the ELF image: " + elf_error();
    return r;
  }
  return read_elf(e.get());
}

ReadResult read_catalog_file(const std::string &path) {
  ReadResult r;
  if (!init_libelf(&r.error)) {
    return r;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.error = std::string("cannot open: ") + strerror(errno);
    return r;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    r.error = "not a regular file";
  } else {
    ElfPtr e(elf_begin(fd, ELF_C_READ, nullptr));
    if (!e) {
      r.error = "cannot read: " + elf_error();
    } else {
      r = read_elf(e.get());
    }
  }
  close(fd);
  return r;
}

}  // namespace ytcat
