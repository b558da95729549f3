// SPDX-License-Identifier: MIT
// Turns the bytes of a trace record file, each time those from offset() on,
// into one readable line per record, as ytrace_decode.h describes. A
// line is handed out once its thread has begun another (until then a
// continuation may still join it), or on flush() or end().
#ifndef YTRACE_DECODE_DECODER_H
#define YTRACE_DECODE_DECODER_H

#include <stdint.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "catalog_set.h"
#include "trace_entries.h"

namespace ytdec {

class Decoder {
 public:
  using Sink = std::function<void(const std::string &line)>;
  explicit Decoder(Sink sink) : sink_(std::move(sink)) {}

  // Adds the catalogs of a library file (see CatalogSet::load); a failure
  // leaves the decoder as it was, with the reason in error().
  bool load(const std::string &path);
  // Waits at entries not written yet instead of skipping them, and at a header
  // not written yet (zero bytes where its magic goes).
  void follow() { follow_ = true; }
  // Where in the file the bytes of the next feed() start.
  uint64_t offset() const { return offset_ + pending_.size(); }
  // Decodes the whole entries in these bytes and keeps the start of a written
  // one they cut; what follows where it stops is not kept. False at damage,
  // with every line before it handed out; later calls do nothing.
  bool feed(std::string_view bytes);
  // Hands out the lines held for continuations that may still come.
  void flush();
  // The input is over: flushes, and fails if it stopped inside the header or
  // an entry kept.
  bool end();
  const std::string &error() const { return error_; }
  // Stops decoding for this reason, handing out the lines held.
  void fail(std::string why);

 private:
  size_t consume(std::string_view bytes);
  void record(const Entry &e);
  void append_text(const Entry &e, std::string &out);
  void add_line(uint64_t thread, std::string line);
  void release(bool all);

  struct Held {
    uint64_t thread;  // pid << 32 | tid
    bool open;        // its thread's latest line, which continuations extend
    std::string text;
  };

  Sink sink_;
  CatalogSet catalogs_;
  std::string error_;
  bool damaged_ = false;
  bool header_done_ = false;
  bool follow_ = false;
  uint64_t offset_ = 0;  // in the file, of pending_'s first byte
  size_t part_ = 0;      // the size of the header or entry pending_ holds the start of
  std::string pending_;
  Entry entry_;
  std::string scratch_, spare_;
  std::unordered_map<uint64_t, std::string> modules_;  // pid << 16 | module id: name
  std::deque<Held> held_;
  uint64_t released_ = 0;                        // lines handed out so far
  std::unordered_map<uint64_t, uint64_t> open_;  // thread: number of its open line
};

}  // namespace ytdec

#endif
