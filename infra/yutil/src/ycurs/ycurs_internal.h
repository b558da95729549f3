// SPDX-License-Identifier: MIT
// Helpers shared by the terminal layer's sources; nothing here is exported.
#ifndef YUTIL_SRC_YCURS_YCURS_INTERNAL_H
#define YUTIL_SRC_YCURS_YCURS_INTERNAL_H

#include <stddef.h>

#include "trace.h"
#include "yassert.h"
#include "ycurs.h"

#define YCURS_ASSERT(expr) ((expr) ? (void)0 : yassert(#expr, "infra/yutil/src/ycurs", __LINE__))

// Capability strings are fetched into areas of this size; the longest string
// that fits leaves the cursor one below the end.
constexpr size_t kCapAreaSize = 128;

// Fetches the termcap capability `name` (cut to two characters) of the current
// terminal entry into `buf`. Null when no entry is loaded, the entry lacks it, or
// it is longer than 126 bytes: the copy is bounded only by the area, so such a
// string is skipped rather than fetched.
const char *fetch_term_cap(const char *name, char (&buf)[kCapAreaSize]);

// The bytes the key reader holds: a longer sequence is never decoded.
constexpr size_t kHeldMax = sizeof(ycurs_ctx_s::input_read_buf);

// Adds `key` under `seq`, as fetched into a capability area (null: the entry
// lacks it), to the context's trie with its loading records; a key that cannot
// be added is traced and skipped.
void load_key(ycurs_ctx_s *ctx, const ycurs_fkey_s &key, const char *seq);

// Sends one capability string to standard output, in screen mode only.
void put_term_cap(ycurs_ctx_s *ctx, const char *name);

// Looks up the first `count` bytes at `bytes` from the root node, as
// ycurs_key_defined does a string, but any byte may be 0 and then meets a stored
// zero byte. Null root or no bytes: 0.
int key_lookup(const tries *root, const uint8_t *bytes, size_t count);

// Continues the last trace record with the bytes of `bytes` up to its first zero
// byte, at most `max` of them, one record each; null shows as "(empty)".
void ycurs_trace_bytes(const char *bytes, size_t max);

// A debug record of Msg continued by the bytes of `bytes` (as ycurs_trace_bytes
// shows them), both under one latched guard.
template <ycurs_msg::Id Msg, typename... Args>
void ycurs_trace_with_bytes(const char *bytes, size_t max, Args... args) {
  ytrace::when_kept(
      g_ycurs_trace_module_id, ytrace::Level::debug,
      [&] { ytrace::emit<Msg>(g_ycurs_trace_module_id, ytrace::Level::debug, args...); },
      [&] { ycurs_trace_bytes(bytes, max); });
}

#endif
