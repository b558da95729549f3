// SPDX-License-Identifier: MIT
// ytrace-catalogs FILE: prints the trace message catalogs a library file carries,
// one header line per catalog and one line per message.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <string_view>

#include "catalog_reader.h"
#include "command_line.h"
#include "trace_catalogs.h"

namespace {

// The file stores no catalog names; a name is recognised when it, together
// with the catalog's texts, gives the identity the file holds. The names tried
// are those of the catalogs this build defines.
std::string catalog_name(const ytcat::Catalog &c) {
  for (const ytrace::CatalogEntry &known : ytrace::kCatalogs) {
    if (ytcat::catalog_identity(known.name, c.messages) == c.identity) {
      return known.name;
    }
  }
  return "";
}

// The text in double quotes, with C escapes for anything that is not printable
// ASCII, so that leading and trailing spaces stay visible.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (unsigned char ch : text) {
    switch (ch) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (ch < 0x20 || ch >= 0x7f) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\x%02x", ch);
          out += buf;
        } else {
          out += static_cast<char>(ch);
        }
    }
  }
  return out + "\"";
}

const char kUsage[] =
    "usage: ytrace-catalogs FILE\n"
    "Prints the trace message catalogs that the library file FILE carries: per catalog\n"
    "its ordinal, name (when recognised) and identity, then per message the catalog,\n"
    "index, message id and text.\n"
    "  -h, --help     show this text\n"
    "      --version  show the version\n";

}  // namespace

int main(int argc, char **argv) {
  cli_s cli;
  cli_start(&cli, "ytrace-catalogs", kUsage, argc, argv);
  const char *path = nullptr;
  while (cli_next(&cli)) {
    int standard = cli_standard(&cli);
    if (standard >= 0) return standard;
    if (cli_is_option(&cli) || path != nullptr) return cli_unexpected(&cli);
    path = cli.arg;
  }
  if (path == nullptr) return cli_usage_error(&cli, "missing FILE");
  ytcat::ReadResult r = ytcat::read_catalog_file(path);
  if (!r.ok()) {
    fprintf(stderr, "ytrace-catalogs: %s: %s\n", path, r.error.c_str());
    return 1;
  }
  const ytcat::CatalogFile &f = r.file;
  printf("%s: ELF%d, %zu catalogs, texts %llu bytes (%llu compressed), decoder version %u types",
         path, f.elf_class, f.catalogs.size(), static_cast<unsigned long long>(f.text_bytes),
         static_cast<unsigned long long>(f.format_strings.size), f.decoder_version);
  for (const ytcat::DecoderType &t : f.decoder_types) {
    printf(" %u:%u", t.code, t.size);
  }
  printf("\n");

  // A wrong id is reported, and the listing goes on: it shows what the file holds.
  int status = 0;
  for (const ytcat::Catalog &c : f.catalogs) {
    std::string name = catalog_name(c);
    // An unrecognised catalog is labelled by its ordinal, "#1".
    char unnamed[16];
    snprintf(unnamed, sizeof unnamed, "#%u", c.ordinal);
    const char *label = name.empty() ? unnamed : name.c_str();
    printf("catalog %u %s: identity %s, %zu messages, section %s\n", c.ordinal,
           name.empty() ? "(name not recognised)" : name.c_str(),
           ytcat::to_hex(c.identity.data(), c.identity.size()).c_str(), c.messages.size(),
           c.section.name.c_str());
    for (const ytcat::Message &m : c.messages) {
      printf("%s\t%u\t0x%08x\t%s\n", label, m.index, m.id, quoted(m.text).c_str());
      uint32_t derived = ytcat::message_id(c.identity, static_cast<uint16_t>(m.index), m.text);
      if (derived != m.id) {
        fprintf(stderr,
                "ytrace-catalogs: %s: catalog %u message %u: id 0x%08x is not the one derived "
                "from identity, index and text (0x%08x)\n",
                path, c.ordinal, m.index, m.id, derived);
        status = 1;
      }
    }
  }
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "ytrace-catalogs: cannot write the listing: %s\n", strerror(errno));
    return 1;
  }
  return status;
}
