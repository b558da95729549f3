// SPDX-License-Identifier: MIT
#include "ytrace_decode.h"

#include <new>

#include "decoder.h"

struct ytrace_decoder_s {
  ytdec::Decoder decoder;
};

namespace {

// No exception may cross into C: a failed allocation stops the decoder.
template <typename F>
int checked(ytrace_decoder_s *d, F call) {
  try {
    return call() ? 0 : -1;
  } catch (const std::bad_alloc &) {
    d->decoder.fail("out of memory");
    return -1;
  }
}

}  // namespace

ytrace_decoder_s *ytrace_decoder_new(ytrace_decoder_line_fn line, void *context) {
  try {
    return new ytrace_decoder_s{
        ytdec::Decoder([=](const std::string &text) { line(context, text.c_str(), text.size()); })};
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void ytrace_decoder_free(ytrace_decoder_s *d) {
  delete d;
}

int ytrace_decoder_load(ytrace_decoder_s *d, const char *library_path) {
  return checked(d, [&] { return d->decoder.load(library_path); });
}

void ytrace_decoder_on_notice(ytrace_decoder_s *d, ytrace_decoder_line_fn notice, void *context) {
  d->decoder.on_notice(
      [=](const std::string &text) { notice(context, text.c_str(), text.size()); });
}

void ytrace_decoder_follow(ytrace_decoder_s *d) {
  d->decoder.follow();
}

int ytrace_decoder_read(ytrace_decoder_s *d, int fd) {
  return checked(d, [&] { return d->decoder.read(fd); });
}

int ytrace_decoder_bytes(ytrace_decoder_s *d, const void *bytes, size_t length) {
  return checked(d, [&] { return d->decoder.bytes({static_cast<const char *>(bytes), length}); });
}

void ytrace_decoder_flush(ytrace_decoder_s *d) {
  checked(d, [&] {
    d->decoder.flush();
    return true;
  });
}

int ytrace_decoder_end(ytrace_decoder_s *d) {
  return checked(d, [&] { return d->decoder.end(); });
}

const char *ytrace_decoder_error(const ytrace_decoder_s *d) {
  return d->decoder.error().c_str();
}
