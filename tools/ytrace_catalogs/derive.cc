// SPDX-License-Identifier: MIT
// The catalog identity and message id, with SHA-256 from libmd.
#include <sha2.h>
#include <string.h>

#include "catalog_reader.h"

namespace ytcat {
namespace {

void update(SHA2_CTX *ctx, const void *bytes, size_t n) {
  SHA256Update(ctx, static_cast<const uint8_t *>(bytes), n);
}

// The bytes and a zero byte after them.
void update_terminated(SHA2_CTX *ctx, std::string_view bytes) {
  update(ctx, bytes.data(), bytes.size());
  update(ctx, "", 1);
}

}  // namespace

Identity catalog_identity(std::string_view name, const std::vector<Message> &messages) {
  SHA2_CTX ctx;
  SHA256Init(&ctx);
  update_terminated(&ctx, "ytrace-catalog");
  update_terminated(&ctx, name);
  for (const Message &m : messages) {
    update_terminated(&ctx, m.text);
  }
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256Final(digest, &ctx);
  Identity id;
  memcpy(id.data(), digest, id.size());
  return id;
}

uint32_t message_id(const Identity &identity, uint16_t index, std::string_view text) {
  const uint8_t index_le[2] = {static_cast<uint8_t>(index & 0xff),
                               static_cast<uint8_t>(index >> 8)};
  SHA2_CTX ctx;
  SHA256Init(&ctx);
  update(&ctx, identity.data(), identity.size());
  update(&ctx, index_le, sizeof index_le);
  update(&ctx, text.data(), text.size());
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256Final(digest, &ctx);
  return uint32_t{digest[0]} | uint32_t{digest[1]} << 8 | uint32_t{digest[2]} << 16 |
         uint32_t{digest[3]} << 24;
}

std::string to_hex(const uint8_t *bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

}  // namespace ytcat
